#!/usr/bin/env bash
# Runs karvex-run on four simulated boards (one answering ERROR, one silent, one late), writes its
# HTML report, and saves headless Chromium's picture of it as docs/report.png.
#   scripts/report-screenshot.sh [build dir]   (default: build/default, built if needed)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/default}
out=$root/docs/report.png
if [[ ! -x $build/cli/karvex-run || ! -x $build/sim/karvex-board ]]; then
    [[ -f $build/build.ninja ]] || (cd "$root" && cmake --preset default >/dev/null)
    cmake --build "$build" --target karvex-run karvex-board -j 2
fi
command -v chromium >/dev/null || { echo "report-screenshot: chromium is not installed" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

# Each board prints its device path once it is ready.
ports=()
start_board() {
    local n=${#pids[@]}
    "$build/sim/karvex-board" --quiet --time "Sat Mar  7 09:05:30 2026 JST" "$@" >"$work/board$n" &
    pids+=($!)
    for _ in $(seq 100); do [[ -s $work/board$n ]] && break; sleep 0.05; done
    [[ -s $work/board$n ]] || { echo "report-screenshot: a board did not start" >&2; exit 1; }
    ports+=(--port "$(head -n1 "$work/board$n")")
}
start_board
start_board --answer AT+CSQ error
start_board --answer "AT+CCLK?" silent
start_board --answer AT 120

"$build/cli/karvex-run" "${ports[@]}" --items all-safe --repeat 3 --html "$work/report.html" \
    >/dev/null || true  # some items fail on purpose
[[ -s $work/report.html ]] || { echo "report-screenshot: no report was written" >&2; exit 1; }

mkdir -p "$(dirname "$out")"
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/chromium" --hide-scrollbars --window-size=1140,1180 \
    --screenshot="$out" "file://$work/report.html" >/dev/null 2>&1
[[ -s $out ]] || { echo "report-screenshot: chromium wrote no picture" >&2; exit 1; }
echo "report-screenshot: $out"
