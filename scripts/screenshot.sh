#!/usr/bin/env bash
# Renders the operator window on a private Xvfb display and saves it as docs/window.png.
#   scripts/screenshot.sh [path/to/karvex]   (default: build/default/window/karvex, built if missing)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-$root/build/default/window/karvex}
out=$root/docs/window.png

if [[ ! -x $exe ]]; then
    cmake --preset default -S "$root" >/dev/null
    cmake --build "$root/build/default" --target karvex -j 2
    exe=$root/build/default/window/karvex
fi
for tool in Xvfb import convert; do
    command -v "$tool" >/dev/null || { echo "screenshot: $tool is not installed" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb_pid=
app_pid=
cleanup() {
    [[ -n $app_pid ]] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# A free display number: Xvfb writes it to the descriptor given with -displayfd.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [[ -s $work/display ]] && break; sleep 0.1; done
display=:$(head -n1 "$work/display")

# A copy of the program in a scratch directory, so that no settings file of a real run is read
# or written: the window shows its first-start state.
cp "$exe" "$work/karvex"
DISPLAY=$display QT_QPA_PLATFORM=xcb "$work/karvex" >"$work/karvex.log" 2>&1 &
app_pid=$!
sleep 2

mkdir -p "$(dirname "$out")"
# No window manager runs on the display, so the root window holds just the dialog's client area
# on black; trimming the black leaves the window.
DISPLAY=$display import -window root "$work/root.png"
convert "$work/root.png" -trim +repage "$out"
echo "screenshot: $out ($(identify -format '%wx%h' "$out"))"
