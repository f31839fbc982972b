#!/usr/bin/env bash
# The program end to end: `zenkari ARCHIVE` in console mode, from start to
# exit, against `bsdtar -xf` (and `unzip -q` for ZIP) on the same archives,
# everything on tmpfs: bench/endtoend.sh [BUILD FOLDER]   (default: build)
#
#   RUNS           timed rounds (default 5), after one warm-up round
#   WINDOW_ROUNDS  rounds of the window's type label (default 3)
#   SCALE          full (default): 15,000 files of about 106 MB, a file of 1 GiB,
#                  ZIPs of 1,000 and 100,000 entries; small: 1,500 files, 64 MiB,
#                  1,000 and 10,000 entries, to try the script out
#   WORK           the folder for archives and outputs (default: a new folder in
#                  /dev/shm, removed at the end)
#   JOBS           build jobs (default: Ninja's)
#
# The program runs from a copy of the build's application folder with a
# zenkari.ini of its own, so that it extracts into the work folder and the
# build's settings stay as they are. After the timed rounds every output is
# compared with bsdtar's. Then it times the main window's type label for the
# large .tar.xz (bench/window.cpp, under xvfb-run) and counts the bytes of the
# large .tar.gz that `zenkari` reads (strace).
#
# Exits 0 when every tool ran, every output matched bsdtar's and the window
# showed its labels; a missed target is reported, not a failure.
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath -m "${1:-build}")
report=$build/endtoend-work
runs=${RUNS:-5}
window_rounds=${WINDOW_ROUNDS:-3}
label_target_ms=200
umask 022

# xz -T2 cuts its input into blocks of 24 MiB; a tenth of that keeps the
# small .tar.xz in several blocks too.
case ${SCALE:-full} in
  full) tree_files=15000 big_bytes=$((1 << 30)) small_counts=(1000 100000) xz_block=24MiB ;;
  small) tree_files=1500 big_bytes=$((64 << 20)) small_counts=(1000 10000) xz_block=2400KiB ;;
  *) echo "SCALE is full or small" >&2; exit 2 ;;
esac

# What the script needs beyond the build, as command:Debian package.
needed=(bsdtar:libarchive-tools zip:zip unzip:unzip zstd:zstd xz:xz-utils gcab:gcab jlha:jlha-utils
  strace:strace xvfb-run:xvfb xauth:xauth perl:perl c++:g++ cmake:cmake ninja:ninja-build)
missing=()
for pair in "${needed[@]}"; do
  command -v "${pair%%:*}" >/dev/null || missing+=("${pair#*:}")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing ${missing[*]} ..."
  sudo=()
  [ "$(id -u)" = 0 ] || sudo=(sudo)
  apt_install() { "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null; }
  if ! apt_install && ! { "${sudo[@]}" apt-get update >/dev/null && apt_install; }; then
    echo "endtoend.sh needs the Debian packages ${missing[*]}" >&2
    exit 2
  fi
fi

started=$(date +%s)
echo "load before: $(uptime)"
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" ${JOBS:+-j "$JOBS"} --target zenkari Dravolix Tar32 UnZip32 Unlha32 Cab32 zenkari-worker \
  zenkari-window-bench

if [ -n "${WORK:-}" ]; then
  work=$(realpath -m "$WORK")
  # Only a folder of an earlier run, or an empty one, is emptied.
  if [ -n "$(ls -A "$work" 2>/dev/null)" ] && [ ! -e "$work/.endtoend-work" ]; then
    echo "WORK=$work holds files of something else; give an empty or new folder" >&2
    exit 2
  fi
  rm -rf "$work"
  mkdir -p "$work"
  touch "$work/.endtoend-work"
else
  work=$(mktemp -d /dev/shm/kelvora-endtoend.XXXXXX)
  trap 'rm -rf "$work"' EXIT
fi
rm -rf "$report"
mkdir -p "$report" "$work/input" "$work/out" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"

# The application folder, copied, with settings that put every extraction in
# $work/out/zenkari/, inside a folder named after the archive, and open
# nothing afterwards. Version is left out: the file then matches any build.
app=$work/app
cp -a "$build/bin/." "$app/"
cat >"$app/zenkari.ini" <<EOF
[Setting]
ExtractNumber=3
ExtractDir=$work/out/zenkari/
OpenAfterExtract=0
MakeArchiveFolder=1
PreventDoubleFolder=0
FileListDir=$work
EOF
# Console mode, with a home of its own: whatever happens, nothing lands on a desktop.
console=(env -u DISPLAY -u WAYLAND_DISPLAY HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
  XDG_RUNTIME_DIR="$work/runtime")

# --- Input and archives -------------------------------------------------------

c++ -std=c++20 -O2 -Wall -Wextra -o "$work/endtoend-input" "$root/bench/endtoend_input.cpp"
seconds() { echo "$(($(date +%s) - $1)) s"; }
size_mb() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.1f MB", b / 1e6 }'; }
xz_blocks() { xz --robot -l "$1" | awk '$1 == "totals" { print $3 }'; }

t=$(date +%s)
echo "input: tree $("$work/endtoend-input" tree "$work/input/tree" "$tree_files"), big.bin $("$work/endtoend-input" big \
  "$work/input/big.bin" "$big_bytes")"
for count in "${small_counts[@]}"; do
  echo "input: small$count $("$work/endtoend-input" small "$work/input/small$count" "$count")"
done

tar_of() { tar -C "$work/input" --sort=name --owner=0 --group=0 --numeric-owner -cf - "$1"; }
tar_of big.bin >"$work/big.tar"
mapfile -t tree_paths < <(cd "$work/input" && find tree -type f | LC_ALL=C sort)
# Makes the archive $1 from the input.
make_archive() {
  case $1 in
    # xz's default preset needs well over ten minutes of CPU for 1 GiB of this
    # text; -1 with the blocks of the default preset (24 MiB, as `xz -T2`
    # cuts them) needs one.
    big.tar.xz) xz -T2 -1 --block-size="$xz_block" <"$work/big.tar" >"$work/$1" ;;
    big.tar.gz) gzip -6 -n <"$work/big.tar" >"$work/$1" ;;
    tree.tar.xz) tar_of tree | xz -T2 --block-size="$xz_block" >"$work/$1" ;;
    tree.tar.gz) tar_of tree | gzip -6 -n >"$work/$1" ;;
    tree.tar.zst) tar_of tree | zstd -q >"$work/$1" ;;
    tree.zip) (cd "$work/input" && zip -qr "$work/$1" tree) ;;
    tree.lzh) (cd "$work/input" && jlha a "$work/$1" tree >/dev/null) ;;
    tree.cab) (cd "$work/input" && gcab -c -z "$work/$1" "${tree_paths[@]}") ;;
    small*.zip) (cd "$work/input" && zip -qr "$work/$1" "${1%.zip}") ;;
  esac
}
cases=(tree.tar.gz tree.tar.zst tree.tar.xz tree.zip tree.lzh tree.cab big.tar.gz big.tar.xz)
for count in "${small_counts[@]}"; do cases+=("small$count.zip"); done
# All at once, the slowest first, to keep both cores busy.
declare -A pids=()
for archive in big.tar.xz tree.tar.xz big.tar.gz tree.lzh "${cases[@]}"; do
  [[ " ${!pids[*]} " == *" $archive "* ]] && continue
  make_archive "$archive" >"$report/$archive.log" 2>&1 &
  pids[$archive]=$!
done
for archive in "${cases[@]}"; do
  if ! { wait "${pids[$archive]}" && [ -s "$work/$archive" ]; }; then
    echo "$archive was not made:" >&2
    cat "$report/$archive.log" >&2
    exit 1
  fi
  line="archive: $archive $(size_mb "$work/$archive")"
  [[ $archive == *.xz ]] && line+=", $(xz_blocks "$work/$archive") xz blocks"
  echo "$line"
done
rm -rf "$work/big.tar" "$work/input"
echo "input and archives made in $(seconds "$t")"

# --- Timed rounds -------------------------------------------------------------

# The peers of a case, and the target of our median over a peer's.
peers() { case $1 in *.zip) echo unzip bsdtar ;; *) echo bsdtar ;; esac; }
target() {
  case $1/$2 in
    *.tar.gz/bsdtar) echo 0.60 ;;
    *.tar.xz/bsdtar) echo 0.70 ;;
    *.zip/unzip) echo 0.70 ;;
    *.zip/bsdtar) echo 0.80 ;;
    *) echo 1.00 ;;
  esac
}
# The regular files every output holds.
files_in() {
  case $1 in
    tree.*) echo "$tree_files" ;;
    big.*) echo 1 ;;
    small*.zip) echo "${1//[^0-9]/}" ;;
  esac
}
declare -A name=([zenkari]="zenkari" [bsdtar]="bsdtar -xf" [unzip]="unzip -q")

# Extracts archive $2 with tool $1 into the empty folder $work/out/$1; what
# it prints goes to $report/$1.log ($report/$1.err for zenkari's errors).
run_tool() {
  local out=$work/out/$1 archive=$work/$2 log=$report/$1.log
  case $1 in
    zenkari) "${console[@]}" "$app/zenkari" "$archive" >"$log" 2>"$report/$1.err" ;;
    bsdtar) bsdtar -xf "$archive" -C "$out" >"$log" 2>&1 ;;
    unzip) unzip -q "$archive" -d "$out" >"$log" 2>&1 ;;
  esac
}

# An output's folders and files with their modes, the folder itself left out.
# Modes are taken as a user other than root gets them, with the umask
# applied: as root, bsdtar also restores the modes an archive stores as they
# are (0666 in LZH and CAB archives that store none of their own), which our
# modules, like any program a user runs, do not.
listing() {
  (cd "$1" && find . -mindepth 1 -printf '%y %m %p\n') |
    perl -pe 's/^(\S) (\d+)/sprintf("%s %o", $1, oct($2) & ~0022)/e' | LC_ALL=C sort
}

identical=1
# Compares the outputs of case $1 with bsdtar's: contents (diff -r), the
# folders and files with their modes, and the number of files.
check_case() {
  local reference=$work/out/bsdtar expected found tool output diffs
  expected=$(files_in "$1")
  found=$(find "$reference" -type f | wc -l)
  if [ "$found" != "$expected" ]; then
    echo "MISMATCH: $1: bsdtar made $found files, not $expected"
    identical=0
  fi
  for tool in zenkari $(peers "$1"); do
    [ "$tool" = bsdtar ] && continue
    output=$work/out/$tool
    if [ "$tool" = zenkari ]; then
      # What the program made, as it printed it: the folder named after the
      # archive, or the one file of a single-file archive.
      output=$(tail -n 1 "$report/zenkari.log")
      [[ $output == "$work/out/zenkari/"* && -e $output ]] || {
        echo "MISMATCH: $1: zenkari printed \"$output\", not a path in $work/out/zenkari/"
        identical=0
        continue
      }
      [ -d "$output" ] || output=$(dirname "$output")
    fi
    diffs=$report/$1.$tool.diff
    if { diff -r "$reference" "$output" && diff <(listing "$reference") <(listing "$output"); } >"$diffs" 2>&1; then
      rm "$diffs"
    else
      echo "MISMATCH: $1: ${name[$tool]}'s output differs from bsdtar's (see $diffs)"
      identical=0
    fi
  done
}

# Rounds of every case, each tool of a case in turn (in the opposite order
# every other round), so that a change in the machine's load falls on all of
# them alike; round 0 warms up and is not counted. Every run starts with its
# output folder emptied, so that no tool's outputs pile up in memory; those
# of the last round are checked as soon as the case is done.
declare -A wall cpu
TIMEFORMAT='%3R %3U %3S'
for round in $(seq 0 "$runs"); do
  echo "round $round of $runs ($(seconds "$started")) ..."
  for case_name in "${cases[@]}"; do
    # The warm-up brings the programs and their libraries into memory, which
    # the smaller cases do as well; it leaves out the large archives.
    [ "$round" = 0 ] && [[ $case_name == big.* ]] && continue
    read -ra tools <<<"zenkari $(peers "$case_name")"
    [ $((round % 2)) = 1 ] && mapfile -t tools < <(printf '%s\n' "${tools[@]}" | tac)
    for tool in "${tools[@]}"; do
      rm -rf "$work/out/$tool" && mkdir "$work/out/$tool"
      if ! timing=$({ time run_tool "$tool" "$case_name"; } 2>&1); then
        echo "${name[$tool]} failed on $case_name:" >&2
        cat "$report/$tool.log" "$report/$tool.err" 2>/dev/null >&2
        exit 1
      fi
      [ "$round" = 0 ] && continue
      read -r real user system <<<"$timing"
      wall[$case_name/$tool]+="$real "
      cpu[$case_name/$tool]+="$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }') "
    done
    [ "$round" = "$runs" ] && check_case "$case_name"
  done
done
rm -rf "$work/out"/*

# "median min max" of a list of seconds.
summary() {
  tr ' ' '\n' <<<"$1" | grep . | sort -g |
    awk '{ t[NR] = $1 } END { printf "%.3f %.3f %.3f", t[int((NR + 1) / 2)], t[1], t[NR] }'
}
row() { printf '%-16s %-11s %8s %7s %7s %7s %6s %8s %-6s %s\n' "$@" | sed 's/ *$//'; }
table=$report/table.txt
{
  echo
  row archive tool median/s min/s max/s cpu/s ratio target result against
  for case_name in "${cases[@]}"; do
    declare -A median=()
    for tool in $(peers "$case_name") zenkari; do
      read -r "median[$tool]" low high <<<"$(summary "${wall[$case_name/$tool]}")"
      read -r cpu_median _ <<<"$(summary "${cpu[$case_name/$tool]}")"
      [ "$tool" = zenkari ] || { row "$case_name" "${name[$tool]}" "${median[$tool]}" "$low" "$high" "$cpu_median"; continue; }
      first=1
      for peer in $(peers "$case_name"); do
        t=$(target "$case_name" "$peer")
        read -r ratio result < <(awk -v a="${median[zenkari]}" -v b="${median[$peer]}" -v t="$t" \
          'BEGIN { r = sprintf("%.2f", a / b); print r, (r + 0 <= t + 0 ? "PASS" : "MISS") }')
        if [ $first = 1 ]; then
          row "$case_name" zenkari "${median[zenkari]}" "$low" "$high" "$cpu_median" "$ratio" "<= $t" "$result" "${name[$peer]}"
        else
          row "" "" "" "" "" "" "$ratio" "<= $t" "$result" "${name[$peer]}"
        fi
        first=0
      done
    done
  done
  echo
  echo "seconds: wall-clock median, min and max, and CPU (user + system) median of $runs rounds after"
  echo "a warm-up round; ratio: zenkari's median over the peer's median"
  echo "outputs: $([ $identical = 1 ] && echo "all identical to" || echo "some DIFFER from") bsdtar's (contents, folders, modes)"
} | tee "$table"

# --- The window's type label ----------------------------------------------------

# The two large archives, side by side in a folder of their own: the main
# window opens on it, and each round clicks one, then the other, each under a
# name of its own that zenkari-window-bench gives it just before the click.
status=0
mkdir "$work/window"
ln "$work/big.tar.xz" "$work/big.tar.gz" "$work/window/"
echo
echo "the main window (xvfb-run), $window_rounds rounds:"
if timeout 1800 env -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
  XDG_RUNTIME_DIR="$work/runtime" xvfb-run -a -s "-screen 0 1280x1024x24" "$app/zenkari-window-bench" -n "$window_rounds" "$work/window" \
  big.tar.xz big.tar.gz >"$report/window.txt" 2>"$report/window.err"; then
  cat "$report/window.txt"
  awk -v t="$label_target_ms" '$1 == "big.tar.xz" {
    r = $2 + 0 <= t ? "PASS" : "MISS"
    printf "window: type label of big.tar.xz after %.1f ms (median), target <= %d ms: %s\n", $2, t, r
  }' "$report/window.txt" | tee -a "$table"
else
  echo "the window failed:" >&2
  cat "$report/window.txt" "$report/window.err" >&2
  status=1
fi
rm -rf "$work/window"

# --- Reading the archive once -------------------------------------------------

# Every read of the large .tar.gz by the program and the workers it starts;
# strace's -y names the file behind each descriptor.
echo
rm -rf "$work/out/zenkari" && mkdir "$work/out/zenkari"
if strace -f -qq -y -s 0 -o "$report/strace.txt" \
  -e trace=execve,clone,clone3,fork,vfork,read,pread64,readv,preadv,preadv2,mmap \
  "${console[@]}" "$app/zenkari" "$work/big.tar.gz" >"$report/zenkari.log" 2>"$report/zenkari.err"; then
  awk -v archive="$work/big.tar.gz" -v size="$(stat -c %s "$work/big.tar.gz")" '
    {
      pid = $1
      line = substr($0, length(pid) + 1)
      sub(/^ +/, "", line)  # strace pads the pid
      if (line ~ /<unfinished \.\.\.>$/) { pending[pid] = line; next }
      if (line ~ /^<\.\.\. [a-z0-9_]+ resumed>/) { line = pending[pid] line; delete pending[pid] }
      call = line; sub(/\(.*/, "", call)
      value = line
      if (!sub(/.*\) += /, "", value)) next
      sub(/ .*/, "", value)
      if (call == "execve") {
        if (value == "0") { program = line; sub(/^execve\("/, "", program); sub(/".*/, "", program); sub(/.*\//, "", program); who[pid] = program }
      } else if (call ~ /^(clone|clone3|fork|vfork)$/) {
        # A thread belongs to the process of the one that made it.
        if (value ~ /^[0-9]+$/ && !(value in who)) who[value] = (pid in who ? who[pid] : "?")
        if (value ~ /^[0-9]+$/) process[value] = index(line, "CLONE_THREAD") ? (pid in process ? process[pid] : pid) : value
      } else if (index(line, "<" archive ">")) {
        if (call == "mmap") mapped = 1
        else if (value ~ /^[0-9]+$/) {
          program = (pid in who ? who[pid] : "?")
          owner = (pid in process ? process[pid] : pid)
          read[program] += value; by_process[program, owner] += value; total += value
          if (!((program, owner) in by_process_seen)) {
            by_process_seen[program, owner] = 1
            owners[program] = owners[program] " " owner
            readers[program]++
          }
        }
      }
    }
    END {
      ratio = sprintf("%.2f", total / size)
      by = ""
      for (program in read) {
        each = ""
        n = split(substr(owners[program], 2), list, " ")
        for (i = 1; i <= n; i++) each = each sprintf("%s%.2f", i == 1 ? "" : " + ", by_process[program, list[i]] / size)
        by = by sprintf("%s%s %.2f (%d process%s: %s)", by == "" ? "" : ", ", program, read[program] / size,
                        readers[program], readers[program] == 1 ? "" : "es", each)
      }
      # Once in full; identification looks at the first blocks besides.
      printf "read once: zenkari read big.tar.gz (%.1f MB) %s times over: %s; target 1.05: %s\n",
             size / 1e6, ratio, by == "" ? "no reads seen" : by, (ratio + 0 <= 1.05 ? "PASS" : "MISS")
      if (mapped) print "read once: the archive was also mapped (mmap); what is read through a map is not counted"
    }' "$report/strace.txt" | tee -a "$table"
else
  echo "zenkari failed under strace:" >&2
  cat "$report/zenkari.err" >&2
  status=1
fi
rm -rf "$work/out/zenkari"

echo
echo "load after:  $(uptime)"
echo "whole run $(seconds "$started"); the table is kept in $table"
[ $identical = 1 ] || status=1
exit $status
