#!/usr/bin/env bash
# Sets up, builds and runs the main job: scripts/run.sh [FILE]
# Until the program exists this runs dravx-info, which shows the archiver
# modules that Dravolix finds and, for FILE, which one takes it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build
exec build/bin/dravx-info "$@"
