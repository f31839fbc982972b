#!/usr/bin/env bash
# Sets up, builds and runs every test: scripts/test.sh [FOLDER [CMAKE OPTIONS...]]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
folder=${1:-build}
bash scripts/build.sh "$@"
ctest --test-dir "$folder" -j2 --output-on-failure
