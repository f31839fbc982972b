#!/usr/bin/env bash
# Builds the Debian package kelvora_<version>_<architecture>.deb from the
# normal build and prints its path: scripts/package.sh [FOLDER]
# FOLDER is the build folder (default build/, configured when it is not yet);
# the package lands in FOLDER/package/. Its binaries are stripped copies of
# the build's (RelWithDebInfo unless the folder was configured otherwise).
# Only the path goes to standard output; everything else to standard error.
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-build}
bash scripts/setup.sh >&2
bash scripts/build.sh "$folder" >&2
if grep -q '^KELVORA_SANITIZE:BOOL=ON' "$folder/CMakeCache.txt"; then
  echo "$folder is a sanitizer build: package a plain one" >&2
  exit 2
fi
cpack --config "$folder/CPackConfig.cmake" -B "$folder/package" >&2
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$folder/CMakeCache.txt")
realpath "$folder/package/kelvora_${version}_$(dpkg --print-architecture).deb"
