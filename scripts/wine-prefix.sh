#!/usr/bin/env bash
# Makes the Wine prefix the Windows build's tests and benchmarks run in: 64-bit, no optional
# installers, Wine's null graphics driver (dialogs open, run and end without an X server) and
# IPAPGothic standing in for the dialog font "ＭＳ Ｐゴシック". Done once per prefix: later calls
# return at once, and parallel callers wait for the first.
#   usage: wine-prefix.sh PREFIX
set -euo pipefail
prefix=${1:?usage: wine-prefix.sh PREFIX}
[ -f "$prefix/.karvex-ready" ] && exit 0

mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.karvex-ready" ] && exit 0

here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh" "$prefix"
rm -rf "$prefix"
mkdir -p "$prefix"
# No display while the prefix is made: nothing may try to open a window.
unset DISPLAY WAYLAND_DISPLAY
"$WINE64" wineboot --init >/dev/null 2>&1
"$WINESERVER" -w

# Both settings are read when the wineserver starts, so they go in while none runs for this prefix.
printf '%s\r\n' \
    'Windows Registry Editor Version 5.00' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Drivers]' \
    '"Graphics"="null"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
    '"ＭＳ Ｐゴシック"="IPAPGothic"' \
    '"MS PGothic"="IPAPGothic"' '' |
    iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$prefix/drive_c/karvex-settings.reg"
"$WINE64" regedit /S 'C:\karvex-settings.reg' >/dev/null 2>&1
rm -f "$prefix/drive_c/karvex-settings.reg"
"$WINESERVER" -w
grep -q '"Graphics"="null"' "$prefix/user.reg" || { echo "wine-prefix.sh: settings not stored" >&2; exit 1; }
touch "$prefix/.karvex-ready"
