#!/usr/bin/env bash
# The installer under Wine: a silent install puts both programs, the Qt files and the wizard's own
# files in one folder with a Start-menu entry, the installed command line runs, and the
# uninstaller removes all of it while the user's settings stay in the registry.
set -uo pipefail
source "$(dirname "$0")/wine_support.sh"
trap finish EXIT
installer=$(ls "$1"/rowlark-*-win64.exe 2> /dev/null | head -1)
[ -n "$installer" ] || { echo "SKIPPED: no installer in $1 (scripts/windows.sh packs it)"; exit 77; }
start_wine
key='HKCU\Software\VB and VBA Program Settings\Quenbrook\Rowlark'
wine reg add "$key" /v MSServer /d kept.example /f > /dev/null 2>&1

wine "$installer" /S '/D=C:\Rowlark' > /dev/null 2>&1
wineserver --wait 2> /dev/null
folder=$WINEPREFIX/drive_c/Rowlark
for f in rowlark.exe rowlark-dedupe.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll platforms/qwindows.dll \
    styles/qwindowsvistastyle.dll imageformats/qico.dll libstdc++-6.dll libgcc_s_seh-1.dll \
    libwinpthread-1.dll HAND-M.CUR local-connection-example.jpg Uninstall.exe; do
    check "installed: $f" '[ -f "$folder/$f" ]'
done
shortcut=$(find "$WINEPREFIX/drive_c" -path '*Start Menu*' -name 'Rowlark.lnk' 2> /dev/null | head -1)
check "a Start-menu entry" '[ -n "$shortcut" ]'
version=$(wine "$folder/rowlark-dedupe.exe" --version 2> /dev/null | tr -d '\r')
check "the installed command line runs ($version)" '[[ "$version" == "rowlark-dedupe "* ]]'

wine "$folder/Uninstall.exe" /S > /dev/null 2>&1
wineserver --wait 2> /dev/null
# The uninstaller runs a copy of itself from the temporary folder and returns at once.
for _ in $(seq 100); do [ -f "$folder/rowlark.exe" ] || break; sleep 0.1; done
left=$(find "$folder" -type f 2> /dev/null | wc -l)
check "the uninstaller removed the programs ($left files left)" '[ "$left" -eq 0 ]'
shortcut=$(find "$WINEPREFIX/drive_c" -path '*Start Menu*' -name 'Rowlark.lnk' 2> /dev/null | head -1)
check "and the Start-menu entry" '[ -z "$shortcut" ]'
kept=$(wine reg query "$key" /v MSServer 2> /dev/null | tr -d '\r' | awk '/MSServer/ { print $NF }')
check "the user's settings stay ($kept)" '[ "$kept" = kept.example ]'

echo "installer under Wine: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
