#!/usr/bin/env bash
# Makes the Wine prefix the Windows build's tests and benchmarks run in: 64-bit, no optional
# installers, Wine's null graphics driver (dialogs open, run and end without an X server) and
# IPAPGothic standing in for the dialog font "ＭＳ Ｐゴシック"; a crashing test prints its backtrace
# and ends instead of waiting behind a crash dialog nobody sees. Done once per prefix: later calls
# return at once, and parallel callers wait for the first.
#   usage: wine-prefix.sh PREFIX
set -euo pipefail
prefix=$(realpath -m "${1:?usage: wine-prefix.sh PREFIX}")  # Wine wants it absolute
# The prefix is remade when this script has changed since it was made.
version=$(sha1sum <"$0" | cut -c1-40)
ready() { [ "$(cat "$prefix/.karvex-ready" 2>/dev/null)" = "$version" ]; }
ready && exit 0

mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
ready && exit 0

here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh" "$prefix"
rm -rf "$prefix"
mkdir -p "$prefix"
# No display while the prefix is made: nothing may try to open a window.
unset DISPLAY WAYLAND_DISPLAY
"$WINE64" wineboot --init >/dev/null 2>&1
"$WINESERVER" -w

# The graphics driver is chosen when the wineserver starts: the settings go in while none runs.
printf '%s\r\n' \
    'Windows Registry Editor Version 5.00' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Drivers]' \
    '"Graphics"="null"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
    '"ＭＳ Ｐゴシック"="IPAPGothic"' \
    '"MS PGothic"="IPAPGothic"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' \
    '"ShowCrashDialog"=dword:00000000' '' |
    iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$prefix/drive_c/karvex-settings.reg"
"$WINE64" regedit /S 'C:\karvex-settings.reg' >/dev/null 2>&1
rm -f "$prefix/drive_c/karvex-settings.reg"
"$WINESERVER" -w
grep -q '"Graphics"="null"' "$prefix/user.reg" || { echo "wine-prefix.sh: settings not stored" >&2; exit 1; }
echo "$version" >"$prefix/.karvex-ready"
