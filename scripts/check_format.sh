#!/usr/bin/env bash
# Fails, naming the files, when clang-format would change any C++ file that git tracks.
set -uo pipefail
cd "$(dirname "$0")/.."
command -v clang-format > /dev/null || { echo "clang-format is missing (Debian: clang-format)" >&2; exit 1; }
changed=()
while IFS= read -r f; do
    clang-format --dry-run --Werror "$f" > /dev/null 2>&1 || changed+=("$f")
done < <(git ls-files '*.cpp' '*.h')
if [ ${#changed[@]} -gt 0 ]; then
    echo "clang-format would change: ${changed[*]}" >&2
    echo "Run: clang-format -i ${changed[*]}" >&2
    exit 1
fi
echo "format: every tracked C++ file as clang-format writes it"
