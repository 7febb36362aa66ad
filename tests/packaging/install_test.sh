#!/usr/bin/env bash
# Installs into a scratch prefix and runs the installed rowlark-dedupe against the sandbox; builds
# the Debian package and checks its metadata, contents and driver registration.
set -uo pipefail
build=${1:?usage: install_test.sh BUILD_DIR SOURCE_DIR}
source_dir=${2:?}
dir=${ROWLARK_TEST_SANDBOX:?run through ctest}
port=$(cat "$dir/port")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
check() { if eval "$2"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $1" >&2; fi; }

# 1. cmake --install into a scratch prefix
cmake --install "$build" --prefix "$work/prefix" > "$work/install.log" 2>&1
check "install ran" '[ $? -eq 0 ] || { cat "$work/install.log" >&2; false; }'
prog=$(find "$work/prefix" -path '*/rowlark/rowlark' -type f | head -1)
check "wizard in its own folder" '[ -x "$prog" ]'
folder=$(dirname "$prog")
check "hand cursor beside it" '[ -f "$folder/HAND-M.CUR" ]'
check "help picture beside it" '[ -f "$folder/local-connection-example.jpg" ]'
check "bin/rowlark leads to it" '[ "$(readlink -f "$work/prefix/bin/rowlark")" = "$(readlink -f "$prog")" ]'
check "desktop entry" 'grep -q "^Exec=rowlark$" "$work/prefix/share/applications/rowlark.desktop"'
check "manual pages" '[ -f "$work/prefix/share/man/man1/rowlark-dedupe.1.gz" ] && [ -f "$work/prefix/share/man/man1/rowlark.1.gz" ]'
check "icons" '[ -f "$work/prefix/share/icons/hicolor/256x256/apps/rowlark.png" ] && [ -f "$work/prefix/share/icons/hicolor/32x32/apps/rowlark.png" ]'

db="Install_$$"
printf 'CREATE DATABASE [%s]\ngo\n' "$db" | tsql -H 127.0.0.1 -p "$port" -U sa -P 'Rowlark;Test{1' > /dev/null 2>&1
printf 'CREATE TABLE T (a int, b nvarchar(5)) INSERT INTO T VALUES (1, N%s), (1, N%s), (2, N%s)\ngo\n' "'x'" "'x'" "'y'" |
    tsql -H 127.0.0.1 -p "$port" -U sa -P 'Rowlark;Test{1' -D "$db" > /dev/null 2>&1
out=$(ROWLARK_SETTINGS_DIR=$work/settings ROWLARK_PASSWORD='Rowlark;Test{1' "$work/prefix/bin/rowlark-dedupe" \
      --server 127.0.0.1 --port "$port" --user sa --database "$db" --table T --column a --column b 2> /dev/null)
check "installed rowlark-dedupe runs a job" 'grep -q "holds 2 rows" <<< "$out"'

# 2. the Debian package
(cd "$build" && cpack -G DEB -B "$work/pkg" > "$work/cpack.log" 2>&1)
deb=$(ls "$work"/pkg/*.deb 2> /dev/null | head -1)
check "package built" '[ -f "$deb" ] || { cat "$work/cpack.log" >&2; false; }'
depends=$(dpkg-deb -f "$deb" Depends 2> /dev/null)
for p in libqt6widgets6 unixodbc odbcinst tdsodbc; do check "depends on $p" 'grep -q "$p" <<< "$depends"'; done
contents=$(dpkg-deb -c "$deb" 2> /dev/null)
check "package holds the command line" 'grep -q "usr/bin/rowlark-dedupe$" <<< "$contents"'
check "package holds the manual pages" 'grep -q "usr/share/man/man1/rowlark-dedupe.1.gz$" <<< "$contents" && grep -q "usr/share/man/man1/rowlark.1.gz$" <<< "$contents"'
check "package holds the desktop entry" 'grep -q "usr/share/applications/rowlark.desktop$" <<< "$contents"'
dpkg-deb -x "$deb" "$work/root"
check "unpacked rowlark-dedupe answers --help" '"$work/root/usr/bin/rowlark-dedupe" --help | grep -q "^usage: rowlark-dedupe"'
check "package holds copyright and changelog" 'grep -q "usr/share/doc/rowlark/copyright$" <<< "$contents" && grep -q "usr/share/doc/rowlark/changelog.gz$" <<< "$contents"'
check "binaries are stripped" '! readelf -S "$work/root/usr/bin/rowlark-dedupe" | grep -q "\.debug_info" && ! readelf -S "$work/root/usr/lib/"*/rowlark/rowlark 2> /dev/null | grep -q "\.debug_info"'
check "depends on the fonts and the opener" 'grep -q "fonts-liberation2" <<< "$depends" && grep -q "xdg-utils" <<< "$depends"'
dpkg-deb -e "$deb" "$work/control"
# The driver registration: added when missing and taken away with the package; an existing one
# left alone both times.
mkdir -p "$work/odbc" "$work/state"
: > "$work/odbc/odbcinst.ini"
export ROWLARK_STATE_DIR=$work/state/rowlark
ODBCSYSINI=$work/odbc sh "$work/control/postinst" configure
check "postinst registers SQL Server" 'grep -q "^\[SQL Server\]" "$work/odbc/odbcinst.ini" && grep -q "libtdsodbc.so" "$work/odbc/odbcinst.ini"'
ODBCSYSINI=$work/odbc sh "$work/control/postrm" remove
check "postrm takes its registration away" '! grep -q "SQL Server" "$work/odbc/odbcinst.ini" && [ ! -e "$ROWLARK_STATE_DIR" ]'
printf '[SQL Server]\nDriver = /opt/vendor/libmsodbcsql.so\n' > "$work/odbc/odbcinst.ini"
cp "$work/odbc/odbcinst.ini" "$work/before.ini"
ODBCSYSINI=$work/odbc sh "$work/control/postinst" configure
check "postinst leaves an existing SQL Server alone" '! grep -q libtdsodbc "$work/odbc/odbcinst.ini"'
ODBCSYSINI=$work/odbc sh "$work/control/postrm" purge
check "and so does postrm" 'cmp -s "$work/before.ini" "$work/odbc/odbcinst.ini"'
if command -v lintian > /dev/null; then
    lintian --tag-display-limit 0 "$deb" > "$work/lintian.txt" 2>&1
    check "lintian reports no errors" '! grep -q "^E:" "$work/lintian.txt" || { grep "^E:" "$work/lintian.txt" >&2; false; }'
else
    echo "lintian is not installed: the package's lint is not checked"
fi

echo "install and package: $passed passed, $failed failed"
[ $failed -eq 0 ]
