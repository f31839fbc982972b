#!/usr/bin/env bash
# Extraction speed of our Tar32, UnZip32 and Unarj32j modules, reached through
# Dravolix with the program's own command lines, against bsdtar, unzip and arj
# on the same archives: bench/extract.sh [BUILD FOLDER]   (default: build)
#
# Builds what it needs, makes about 100 MB in about 10,000 files (the same bytes
# on every run), packs them as .tar.gz, .zip and .arj, times every tool into a fresh
# folder, checks every output tree against the input and prints a table.
# Exits 0 when everything ran and every tree matched; a missed target is
# reported, not a failure.
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath -m "${1:-build}")
work=$build/bench-work
runs=${RUNS:-5}
tar_target=1.10   # dravx / bsdtar on the .tar.gz
zip_target=1.00   # dravx / unzip on the .zip
arj_target=1.20   # dravx / arj on the .arj (method 1)

for tool in bsdtar zip unzip arj c++ cmake; do
  command -v "$tool" >/dev/null || {
    echo "extract.sh needs $tool (Debian packages: libarchive-tools zip unzip arj)" >&2
    exit 2
  }
done

started=$(date +%s)
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target Dravolix Tar32 UnZip32 Unarj32j dravx-bench
bench=$build/bin/dravx-bench

rm -rf "$work"
mkdir -p "$work/input"

# The input: a fixed seed, a few hundred folders, text-like and random files
# of 1 byte to 64 KiB and, every 250th file, of 256 KiB to 2 MiB.
c++ -std=c++20 -O2 -Wall -Wextra -o "$work/make_tree" "$root/bench/endtoend_input.cpp"
echo "input: $("$work/make_tree" wide-tree "$work/input/tree" 10000) in $(find "$work/input/tree" -type d | wc -l) folders"

(cd "$work/input" && bsdtar -czf "$work/a.tar.gz" tree && zip -qr "$work/a.zip" tree &&
  arj a -r -m1 -y "$work/a.arj" 'tree/*' >/dev/null)
echo "archives: a.tar.gz $(($(stat -c %s "$work/a.tar.gz") / 1000000)) MB," \
  "a.zip $(($(stat -c %s "$work/a.zip") / 1000000)) MB," \
  "a.arj $(($(stat -c %s "$work/a.arj") / 1000000)) MB"

names=("bsdtar -xf" "dravx Tar32" "unzip -q" "dravx UnZip32" "arj x" "dravx Unarj32j")
tools=(1 2 3 4 5 6)
# Extracts with tool N (1..6) into $work/out-N; what it prints goes to out-N.log.
run_tool() {
  local out=$work/out-$1
  case $1 in
    1) bsdtar -xf "$work/a.tar.gz" -C "$out" ;;
    2) "$bench" 4 "-xvf \"$work/a.tar.gz\" \"$out/\" *.*" ;;
    3) unzip -q "$work/a.zip" -d "$out" ;;
    4) "$bench" 2 "-x -o -q \"$work/a.zip\" \"$out/\" *.*" ;;
    5) (cd "$out" && arj x -y "$work/a.arj") ;;
    6) "$bench" 5 "x -i \"$work/a.arj\" \"$out/\" *.*" ;;
  esac >"$out.log" 2>&1
}

# Rounds of every tool in turn, so that a change in the machine's load falls
# on all of them alike; round 0 warms up and is not counted. Each run starts
# with its output folder empty and the disk synced. Wall and CPU (user +
# system) seconds are kept per tool.
declare -A wall cpu
TIMEFORMAT='%3R %3U %3S'
for round in $(seq 0 "$runs"); do
  echo "round $round of $runs ..."
  for n in "${tools[@]}"; do
    rm -rf "$work/out-$n" && mkdir "$work/out-$n" && sync
    if ! timing=$({ time run_tool $n; } 2>&1); then
      echo "${names[n - 1]} failed:" >&2
      cat "$work/out-$n.log" >&2
      exit 1
    fi
    read -r real user system <<<"$timing"
    [ "$round" = 0 ] && continue
    wall[$n]+="$real "
    cpu[$n]+="$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }') "
  done
done

# "median min max" of a list of seconds.
summary() {
  tr ' ' '\n' <<<"$1" | grep . | sort -g |
    awk '{ t[NR] = $1 } END { printf "%.3f %.3f %.3f", t[int((NR + 1) / 2)], t[1], t[NR] }'
}

identical=1
for n in "${tools[@]}"; do
  if ! diff -r "$work/input/tree" "$work/out-$n/tree" >"$work/out-$n.diff" 2>&1; then
    echo "MISMATCH: ${names[n - 1]}'s output differs from the input (see $work/out-$n.diff)"
    identical=0
  fi
done

row() { printf '%-7s %-14s %8s %7s %7s %7s %6s %8s %s\n' "$@" | sed 's/ *$//'; }
echo
row archive tool median/s min/s max/s cpu/s ratio target result
archives=(tar.gz tar.gz zip zip arj arj)
targets=(- "$tar_target" - "$zip_target" - "$arj_target")
for n in "${tools[@]}"; do
  read -r median low high <<<"$(summary "${wall[$n]}")"
  read -r cpu_median _ <<<"$(summary "${cpu[$n]}")"
  archive=${archives[n - 1]}
  if [ $((n % 2)) = 1 ]; then
    peer=$median
    row "$archive" "${names[n - 1]}" "$median" "$low" "$high" "$cpu_median"
    continue
  fi
  target=${targets[n - 1]}
  read -r ratio result < <(awk -v a="$median" -v b="$peer" -v t="$target" \
    'BEGIN { r = sprintf("%.2f", a / b); print r, (r + 0 <= t + 0 ? "PASS" : "MISS") }')
  row "$archive" "${names[n - 1]}" "$median" "$low" "$high" "$cpu_median" "$ratio" "<= $target" "$result"
done
echo
echo "seconds: wall-clock median, min and max, and CPU (user + system) median of $runs rounds"
echo "after a warm-up round; ratio: our median over the peer's median"
echo "output trees: $([ $identical = 1 ] && echo "all identical to" || echo "some DIFFER from") the input;" \
  "whole run $(($(date +%s) - started)) s"
[ $identical = 1 ]
