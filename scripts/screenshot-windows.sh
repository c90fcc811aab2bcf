#!/usr/bin/env bash
# Renders karvex.exe's dialog under Wine on a private Xvfb display and saves it as
# docs/window-windows.png. Also prints how long the exe took from start to its dialog on screen.
#   scripts/screenshot-windows.sh [path/to/karvex.exe]   (default: build/windows/win32/karvex.exe,
#                                                          built if missing)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-$root/build/windows/win32/karvex.exe}
out=$root/docs/window-windows.png

if [[ ! -f $exe ]]; then
    cmake --preset windows -S "$root" >/dev/null
    cmake --build "$root/build/windows" --target karvex -j 2
    exe=$root/build/windows/win32/karvex.exe
fi
for tool in Xvfb import convert xwininfo; do
    command -v "$tool" >/dev/null || { echo "screenshot: $tool is not installed" >&2; exit 1; }
done

# A prefix of its own, made like the tests' one but with Wine's X11 driver: the tests' prefix
# draws nothing (null driver).
prefix=$root/build/windows/wine-x11
"$root/scripts/wine-prefix.sh" "$prefix"  # (re)made with the null driver when needed
if [[ ! -f $prefix/.karvex-x11 ]]; then
    . "$root/scripts/wine-env.sh" "$prefix"
    "$WINE64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f >/dev/null 2>&1
    "$WINESERVER" -w
    touch "$prefix/.karvex-x11"
fi
. "$root/scripts/wine-env.sh" "$prefix"

work=$(mktemp -d)
xvfb_pid=
app_pid=
cleanup() {
    [[ -n $app_pid ]] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
    WINEPREFIX=$prefix "$WINESERVER" -k 2>/dev/null || true
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [[ -s $work/display ]] && break; sleep 0.1; done
display=:$(head -n1 "$work/display")

# The wineserver is started first, so that the figure below is the exe's own start.
DISPLAY=$display "$WINE64" cmd /c exit >/dev/null 2>&1 || true

# A copy of the exe in a scratch folder, so that no settings file of a real run is read or
# written: the dialog shows its first-start state.
cp "$exe" "$work/karvex.exe"
start=$(date +%s%N)
DISPLAY=$display "$WINE64" "$work/karvex.exe" >"$work/karvex.log" 2>&1 &
app_pid=$!
shown=
for _ in $(seq 300); do
    if DISPLAY=$display xwininfo -root -tree 2>/dev/null | grep -q '"Karvex"'; then
        shown=$(date +%s%N)
        break
    fi
    sleep 0.05
done
[[ -n $shown ]] || { echo "screenshot: the dialog did not appear" >&2; cat "$work/karvex.log" >&2; exit 1; }
echo "screenshot: start -> dialog mapped $(( (shown - start) / 1000000 )) ms"
# Let the first paint finish before the picture is taken.
sleep 1

mkdir -p "$(dirname "$out")"
DISPLAY=$display import -window root "$work/root.png"
convert "$work/root.png" -trim +repage "$out"
echo "screenshot: $out ($(identify -format '%wx%h' "$out"))"
