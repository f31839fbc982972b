#!/usr/bin/env bash
# What the worker process adds to identifying one small archive: times check,
# type and count of a small .tar.gz (Tar32) and check and count of a small
# .zip (UnZip32) through this tree's Dravolix and through that of a commit
# from before the worker, whose modules read the archive in the calling
# process: bench/identify.sh [BUILD FOLDER]   (default: build)
#
#   BASE_COMMIT   the commit to compare with (default 3e99fa5, the last one
#                 reading archives in process)
#   BASE_SOURCE   its work tree, added with git worktree when missing
#                 (default BUILD/identify-base/src)
#   BASE_BUILD    its build folder (default BUILD/identify-base/build)
#   ROUNDS        timed rounds per archive (default 50)
#
# Exits 0 when both builds recognised both archives alike; a missed target is
# reported, not a failure.
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath -m "${1:-build}")
base_commit=${BASE_COMMIT:-3e99fa5}
base_source=$(realpath -m "${BASE_SOURCE:-$build/identify-base/src}")
base_build=$(realpath -m "${BASE_BUILD:-$build/identify-base/build}")
work=$build/identify-work
rounds=${ROUNDS:-50}
target_ms=5   # worker over in process, per identification

for tool in tar gzip zip cmake git; do
  command -v "$tool" >/dev/null || {
    echo "identify.sh needs $tool (Debian package zip for zip)" >&2
    exit 2
  }
done
modules=(Dravolix Tar32 UnZip32)

[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target "${modules[@]}" zenkari-worker dravx-identify

if [ ! -e "$base_source/.git" ]; then
  git -C "$root" worktree add --detach "$base_source" "$base_commit"
elif [ "$(git -C "$base_source" rev-parse HEAD)" != "$(git -C "$root" rev-parse "$base_commit^{commit}")" ]; then
  echo "$base_source is not at $base_commit; give another BASE_SOURCE" >&2
  exit 2
fi
[ -f "$base_build/CMakeCache.txt" ] ||
  cmake -S "$base_source" -B "$base_build" -G Ninja -DKELVORA_TESTS=OFF >/dev/null
cmake --build "$base_build" --target "${modules[@]}"

# Two archives of the size a user double-clicks most: a few small files in
# two folders, about 20 KB. The same bytes on every run.
rm -rf "$work"
mkdir -p "$work/tree/docs/notes"
for i in $(seq 1 6); do
  seq -f "line %g of file $i" 1 $((i * 60)) >"$work/tree/docs/file$i.txt"
  seq -f "note %g" 1 $((i * 40)) >"$work/tree/docs/notes/note$i.txt"
done
touch -d '2024-06-01 12:00:00' "$work/tree/docs/notes"/* "$work/tree/docs"/* "$work/tree/docs"
(cd "$work/tree" && tar --sort=name --owner=0 --group=0 -cf - docs | gzip -n >"$work/small.tar.gz" &&
  zip -qrX "$work/small.zip" docs)
echo "archives: small.tar.gz $(stat -c %s "$work/small.tar.gz") bytes, small.zip $(stat -c %s "$work/small.zip") bytes," \
  "12 files in 2 folders"

echo "load before: $(uptime)"
"$build/bin/dravx-identify" -n "$rounds" "$work/small.tar.gz" "$work/small.zip" \
  "$base_build/bin" "$build/bin" | tee "$work/result.txt"
echo "load after:  $(uptime)"
echo
awk -v t="$target_ms" -v base="$base_commit" '$1 == "difference" {
  printf "%-7s worker over in process (%s): %+.2f ms per identification, target <= %d ms: %s\n",
    $2, base, $3, t, ($3 + 0 <= t + 0 ? "PASS" : "MISS")
}' "$work/result.txt"
