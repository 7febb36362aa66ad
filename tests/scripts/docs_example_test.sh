#!/usr/bin/env bash
# The handler shown in docs/architecture.md is the code as it stands, line for line.
set -uo pipefail
source_dir=${1:?usage: docs_example_test.sh SOURCE_DIR}
shown=$(awk '/^```cpp$/ { inside = 1; next } /^```$/ { inside = 0 } inside' "$source_dir/docs/architecture.md")
name=$(head -1 <<< "$shown")
code=$(awk -v first="$name" '$0 == first { inside = 1 } inside { print } inside && /^}$/ { exit }' \
    "$source_dir/pages/form3.cpp")
if [ -z "$code" ] || [ "$shown" != "$code" ]; then
    echo "FAIL: the example in docs/architecture.md is not the code of pages/form3.cpp:" >&2
    diff <(echo "$shown") <(echo "$code") >&2
    exit 1
fi
echo "docs example: 1 passed, 0 failed"
