#!/usr/bin/env bash
# Opens the operator window against the simulated board, which answers as COM1 (the window's
# default port). Builds first (the "default" preset, build/default). The board is
# stopped when the window closes. Without a display the window runs on a virtual one (xvfb-run).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/default
exe=$build/window/karvex
board=$build/sim/karvex-board

# Always built: after a pull the build brings the program up to date (and does next to nothing
# when it already is).
if [[ ! -f $build/build.ninja ]]; then
    (cd "$root" && cmake --preset default)
fi
cmake --build "$build" --target karvex karvex-board -j 2

work=$(mktemp -d)
board_pid=
stop_board() {
    if [[ -n $board_pid ]] && kill -0 "$board_pid" 2>/dev/null; then
        kill "$board_pid" 2>/dev/null || true
        wait "$board_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap stop_board EXIT

# The board names its device as COM1 through <exe dir>/dosdevices/com1, where the window's
# \\.\COM1 looks first, and prints the device path once it is ready.
"$board" --com 1 --dir "$(dirname "$exe")" --quiet >"$work/board.out" &
board_pid=$!
for _ in $(seq 100); do
    [[ -s $work/board.out ]] && break
    kill -0 "$board_pid" 2>/dev/null || { echo "run-demo: the board did not start" >&2; exit 1; }
    sleep 0.05
done
[[ -s $work/board.out ]] || { echo "run-demo: the board did not report its device" >&2; exit 1; }
echo "run-demo: simulated board on $(head -n1 "$work/board.out") as COM1"

status=0
if [[ -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ]]; then
    "$exe" || status=$?
else
    command -v xvfb-run >/dev/null || { echo "run-demo: no display and no xvfb-run" >&2; exit 1; }
    echo "run-demo: no display; the window runs on a virtual one (Ctrl+C ends it)"
    xvfb-run -a "$exe" || status=$?
fi
exit "$status"
