#!/usr/bin/env bash
# Runs a program of the Windows build under Wine, in the given prefix (made on first use).
# CMake uses it as the cross-compiling emulator:  wine-run.sh PREFIX PROGRAM.exe [ARGS...]
set -euo pipefail
prefix=$(realpath -m "${1:?usage: wine-run.sh PREFIX PROGRAM [ARGS...]}")
shift
here=$(cd "$(dirname "$0")" && pwd)
"$here/wine-prefix.sh" "$prefix"
. "$here/wine-env.sh" "$prefix"
exec "$WINE64" "$@"
