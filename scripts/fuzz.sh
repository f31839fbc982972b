#!/usr/bin/env bash
# Fuzzes every archiver module operation with libFuzzer:
#   scripts/fuzz.sh [SECONDS]     (default 60)
# Seeds are the test fixtures; each input's first byte chooses the module
# (0 LZH, 1 ZIP, 2 CAB, 3 TAR, 4 RAR). Findings land in build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bash scripts/setup.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKELVORA_FUZZ=ON -DKELVORA_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz --target archive_fuzzer fixtures

corpus=build-fuzz/corpus
mkdir -p "$corpus" build-fuzz/findings
seed() {  # seed KIND FILE...
  local kind=$1; shift
  for file in "$@"; do
    { printf "\\x0$kind"; cat "build-fuzz/tests/data/$file"; } > "$corpus/$kind-$file"
  done
}
seed 0 tree.lzh tree_h0.lzh tree_h3.lzh sjis.lzh
seed 1 tree.zip sjis.zip encrypted.zip
seed 2 tree.cab
seed 3 tree.tar tree.tar.gz tree.tar.bz2 tree.cpio flat.a tree.rpm
seed 4 tree.rar tree5.rar
# libarchive sizes some buffers from header fields (a cpio name length, say),
# so a hostile header may ask for a few GB once; that is not counted a fault.
build-fuzz/tests/archive_fuzzer "$corpus" -max_total_time="$seconds" \
  -artifact_prefix=build-fuzz/findings/ -max_len=262144 -malloc_limit_mb=4096 -rss_limit_mb=6144
