#!/usr/bin/env bash
# Installs what is missing, builds, and starts the desktop program with the
# given arguments.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
bash tools/build.sh
exec ./build/src/app/velmora "$@"
