#!/usr/bin/env bash
# Sets up, builds and runs the program: scripts/run.sh [ARCHIVE | FOLDER]
# With a display zenkari opens its window (an archive given is extracted
# straight away, a folder opens in its browser). Without one it extracts the
# given archive in console mode, prints the output folder and exits with 0
# on success.
set -euo pipefail
paths=()
for path in "$@"; do paths+=("$(realpath -m -- "$path")"); done
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build
exec build/bin/zenkari "${paths[@]}"
