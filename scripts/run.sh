#!/usr/bin/env bash
# The README's run command: installs what is missing, builds, starts the simulated board as COM1
# and opens the window on it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
exec scripts/run-demo.sh "$@"
