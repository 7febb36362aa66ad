#!/usr/bin/env bash
# Fails, naming what is too big, when the stand-in outgrows the shape it is kept in: no file of
# sandbox/ over 500 lines, no function over 80, and all of it no larger than the ceiling below. A
# function counts from its first line at the left margin to the "}" that closes it there; the
# lexer's tokenize is the one function allowed more (its comment says why).
set -uo pipefail
cd "$(dirname "$0")/.."
dir=${1:-sandbox}
# Where the house stands, under 10,000: lower it as the sandbox shrinks, never raise it.
ceiling=9970
status=0
total=$(git ls-files "$dir" | xargs cat | wc -l)
if [ "$total" -gt "$ceiling" ]; then
    echo "$dir has $total lines: keep it at $ceiling at most" >&2
    status=1
fi
while read -r lines file; do
    [ "$file" = total ] && continue
    if [ "$lines" -gt 500 ]; then
        echo "$file has $lines lines: keep each file at 500 at most" >&2
        status=1
    fi
done < <(git ls-files "$dir" | xargs wc -l)
long=$(git ls-files "$dir" | grep -E '\.(cpp|h)$' | xargs awk '
    FNR == 1 { start = 0; head = 0 }
    !start && /^[A-Za-z]/ && /[(]/ && !/^(namespace|struct|class|enum|using)/ { head = FNR; name = $0 }
    !start && head && /;$/ { head = 0 }
    !start && head && /[{]$/ && FNR - head < 6 { start = head }
    start && /^}/ {
        if (FNR - start + 1 > 80 && name !~ /^Tokens tokenize\(/)
            printf "%s:%d: a function of %d lines (80 at most): %s\n", FILENAME, start,
                FNR - start + 1, name
        start = 0; head = 0
    }')
if [ -n "$long" ]; then
    echo "$long" >&2
    status=1
fi
[ "$status" -eq 0 ] && echo "shape: $dir has $total lines, no file over 500, no function over 80"
exit "$status"
