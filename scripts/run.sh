#!/usr/bin/env bash
# Sets up, builds and runs the main job: scripts/run.sh [FILE [FOLDER]]
# Until the program exists this runs dravx-demo, which shows the archiver
# modules that Dravolix finds and extracts FILE into a new folder named after
# it (inside FOLDER, by default the temporary folder), printing that folder.
set -euo pipefail
paths=()
for path in "$@"; do paths+=("$(realpath -m -- "$path")"); done
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build
exec build/bin/dravx-demo "${paths[@]}"
