#!/usr/bin/env bash
# Fuzzes the archiver engine with libFuzzer, one module after the other:
#   scripts/fuzz.sh [SECONDS [MODULE...]]
#   scripts/fuzz.sh report        (figures and crashes of the runs so far)
# SECONDS is the time per module (default 60). MODULE is a kind number or a
# name: 0/lzh 1/zip 2/cab 3/tar 4/rar 5/arj (default: all six, in that order).
#
# Environment:
#   FUZZ_FLAGS    more libFuzzer flags; for long runs that go on past a crash:
#                 "-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 -timeout=20"
#   FUZZ_SEEDS    folders of more seed archives (libarchive's test folder,
#                 say); *.uu files are decoded, each file goes to the module
#                 its name points at
#   FUZZ_SYSTEM_LIBARCHIVE=1  link the system libarchive as it is, instead
#                 of an instrumented build of the same Debian source
#
# Everything lands in build-fuzz/: the corpus of each module in corpus/<kind>,
# crashes in findings/<kind>/, the log of each run in fuzz-<kind>.log.
# Coverage counts only what is instrumented: our engine, and libarchive when
# it is built here from Debian's source of the installed version (its
# security fixes included), with AddressSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-fuzz
# An impossible allocation fails as it does in the modules (malloc answers
# NULL and libarchive reports it) instead of ASan stopping the run.
export ASAN_OPTIONS=${ASAN_OPTIONS:-allocator_may_return_null=1}

# What a replayed crash was: the sanitizer's verdict and the first frame in
# libarchive or our code, or the problem our own checks reported.
crash_kind() {
  local what where
  what=$(grep -m1 -oE 'ERROR: [A-Za-z]+Sanitizer: [A-Za-z-]+|runtime error: .*|answered .*|written outside|below -1|above 55' "$1" ||
    echo "no crash on replay")
  where=$(grep -E '^ +#[0-9]+ ' "$1" | grep -m1 -E '/libarchive/|/archivers/|libarchive\.so' |
    sed -E -n 's/.* in ([^ ]+) .*/\1/p; t; s/.*\(([^)]*libarchive[^)]*)\).*/\1/p' || true)
  echo "$what ${where:+in $where}"
}

# scripts/fuzz.sh report: the figures of the runs so far, and each module's
# crashes grouped by the first frame of their stack (each replayed once).
if [ "${1:-}" = report ]; then
  for kind in 0 1 2 3 4 5; do
    log=$build/fuzz-$kind.log
    [ -f "$log" ] || continue
    findings=$build/findings/$kind
    echo "== module $kind: $(grep -E '^#[0-9]+' "$log" | tail -n 1)"
    echo "   corpus: $(ls "$build/corpus/$kind" | wc -l) files;" \
      "findings: $(ls "$findings" | grep -c '^crash-') crash, $(ls "$findings" | grep -c '^timeout-') timeout," \
      "$(ls "$findings" | grep -c '^oom-') out of memory, $(ls "$findings" | grep -c '^slow-unit-') slow (over 10 s)"
    for file in $(ls -tr "$findings" | grep '^crash-' | head -n 200); do
      KELVORA_FUZZ_KIND=$kind timeout 60 "$build/tests/archive_fuzzer" -runs=1 -artifact_prefix="$build/replay-" \
        "$findings/$file" > "$build/replay.log" 2>&1 || true
      crash_kind "$build/replay.log"
    done | sort | uniq -c
  done
  exit 0
fi

seconds=${1:-60}
shift || true
names=(lzh zip cab tar rar arj)
kinds=()
for module in "${@:-0 1 2 3 4 5}"; do
  for word in $module; do
    case $word in
      [0-5]) kinds+=("$word") ;;
      lzh|zip|cab|tar|rar|arj)
        for k in 0 1 2 3 4 5; do [ "${names[$k]}" = "$word" ] && kinds+=("$k"); done ;;
      *) echo "unknown module: $word (0..5 or lzh zip cab tar rar arj)" >&2; exit 2 ;;
    esac
  done
done

# --- packages -----------------------------------------------------------
bash scripts/setup.sh
# Tools that make seed archives, and what the instrumented libarchive needs
# beyond the packages of the normal build.
extra=(clang zip unzip cpio ncompress arj tar xz-utils bzip2 zstd sharutils
       dpkg-dev libbz2-dev liblzma-dev libzstd-dev liblz4-dev libxml2-dev libssl-dev)
missing=()
for package in "${extra[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' && continue
  # Only what this Debian release offers.
  apt-cache policy "$package" 2>/dev/null | grep -q 'Candidate: [0-9]' && missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  echo "Installing: ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q "${missing[@]}"
fi

# --- libarchive, instrumented --------------------------------------------
# The same source Debian built the installed library from, fetched with
# apt-get source through a private list of deb-src entries.
libarchive_flags=()
libarchive_dir=$build/libarchive
if [ "${FUZZ_SYSTEM_LIBARCHIVE:-0}" != 1 ]; then
  version=$(dpkg-query -W -f='${Version}' libarchive13)
  if [ ! -f "$libarchive_dir/build/libarchive/libarchive.so" ] ||
     [ "$(cat "$libarchive_dir/version" 2>/dev/null)" != "$version" ]; then
    rm -rf "$libarchive_dir"
    mkdir -p "$libarchive_dir/apt/lists/partial" "$libarchive_dir/apt/cache/archives/partial" "$libarchive_dir/download"
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    printf 'deb-src http://deb.debian.org/debian %s main\ndeb-src http://deb.debian.org/debian-security %s-security main\n' \
      "$codename" "$codename" > "$libarchive_dir/apt/sources.list"
    apt_private=(-o Dir::Etc::SourceList="$libarchive_dir/apt/sources.list" -o Dir::Etc::SourceParts=/dev/null
                 -o Dir::State::Lists="$libarchive_dir/apt/lists" -o Dir::Cache="$libarchive_dir/apt/cache")
    apt-get "${apt_private[@]}" update -q >/dev/null
    (cd "$libarchive_dir/download" && apt-get "${apt_private[@]}" source --download-only "libarchive=$version" >/dev/null 2>&1)
    # apt checked the files against the signed release; the .dsc signature
    # itself cannot be checked without Debian's keyring, which dpkg-source warns about.
    dpkg-source -x "$libarchive_dir"/download/libarchive_*.dsc "$libarchive_dir/src" >/dev/null 2>&1
    # Only AddressSanitizer: libarchive shifts and overflows on purpose in
    # places, which UBSan would stop at.
    CC=clang nice -n 10 cmake -S "$libarchive_dir/src" -B "$libarchive_dir/build" -G Ninja \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_SHARED_LIBS=ON \
      -DCMAKE_C_FLAGS="-fsanitize=address,fuzzer-no-link -fno-omit-frame-pointer" \
      -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address" \
      -DENABLE_TEST=OFF -DENABLE_TAR=OFF -DENABLE_CPIO=OFF -DENABLE_CAT=OFF -DENABLE_WERROR=OFF \
      -DENABLE_ACL=OFF -DENABLE_XATTR=OFF >/dev/null
    nice -n 10 cmake --build "$libarchive_dir/build" --target archive
    echo "$version" > "$libarchive_dir/version"
  fi
  libarchive_flags=(-DLibArchive_LIBRARY="$libarchive_dir/build/libarchive/libarchive.so"
                    -DLibArchive_INCLUDE_DIR="$libarchive_dir/src/libarchive")
else
  # Forget an instrumented build from an earlier run; CMake finds the system's.
  libarchive_flags=(-ULibArchive_LIBRARY -ULibArchive_INCLUDE_DIR)
fi

# --- the fuzz target ------------------------------------------------------
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DKELVORA_FUZZ=ON -DKELVORA_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "${libarchive_flags[@]}" >/dev/null
nice -n 10 cmake --build "$build" --target archive_fuzzer fixtures

# --- seeds ----------------------------------------------------------------
fixtures=$build/tests/data
seeds=$build/seeds
rm -rf "$seeds"
for k in 0 1 2 3 4 5; do mkdir -p "$seeds/$k"; done

# The module a file belongs to, from its name; nothing for other formats.
kind_of() {
  case ${1,,} in
    *.cab|*.cab.*|*_cab_*) echo 2 ;;
    *.lzh|*.lzh.*|*.lha|*_lha_*|*_lzh_*) echo 0 ;;
    *.rar|*.rar.*|*_rar_*|*_rar5_*) echo 4 ;;
    *.arj|*_arj_*) echo 5 ;;
    *.zip|*.zip.*|*.jar|*.zipx|*_zip_*) echo 1 ;;
    *.tar|*.tar.*|*.tgz|*.tbz|*.tbz2|*.txz|*.tlz|*.taz|*.tz|*.cpio|*.cpio.*|*.a|*.a.*|*.ar|*.deb|*.rpm| \
    *.gz|*.bz2|*.xz|*.lzma|*.zst|*.z|*_tar_*|*_gtar_*|*_ustar_*|*_pax_*|*_cpio_*|*_ar_*| \
    *.7z|*.7z.*|*.iso|*.iso.*|*.xar|*_7zip_*|*_iso9660_*|*_xar_*) echo 3 ;;
  esac
}
add_seed() {  # add_seed KIND FILE [NAME]
  local size
  size=$(stat -c %s "$2")
  [ "$size" -gt 0 ] && [ "$size" -le 1048576 ] || return 0
  cp "$2" "$seeds/$1/${3:-$(basename "$2")}"
}

# Every fixture the build made.
for file in "$fixtures"/*; do
  [ -f "$file" ] || continue
  kind=$(kind_of "$(basename "$file")")
  case $(basename "$file") in
    sfx_lzh.exe) kind=0 ;;
    sfx_zip.exe) kind=1 ;;
  esac
  [ -n "$kind" ] && add_seed "$kind" "$file"
done
# The compressed single files and the damaged ones read by every module.
for file in "$fixtures"/hello.txt.* "$fixtures"/not_archive.txt; do add_seed 3 "$file"; done

# Samples from elsewhere (libarchive's test folder), sorted by their names.
fuzz_seed_dirs=(${FUZZ_SEEDS:-})
[ -d "$libarchive_dir/src/libarchive/test" ] && fuzz_seed_dirs+=("$libarchive_dir/src/libarchive/test")
decoded=$(mktemp -d)
trap 'rm -rf "$decoded"' EXIT
for dir in "${fuzz_seed_dirs[@]}"; do
  for file in "$dir"/*; do
    [ -f "$file" ] || continue
    name=$(basename "$file")
    case $name in *.c|*.h|*.txt|*.sh|*.md|*.am|*.in|*.cmake|CMakeLists*) continue ;; esac
    if [[ $name == *.uu ]]; then
      name=${name%.uu}
      uudecode -o "$decoded/$name" "$file" 2>/dev/null || continue
      file=$decoded/$name
    fi
    kind=$(kind_of "$name")
    [ -n "$kind" ] && add_seed "$kind" "$file" "$name"
  done
done

# Archives made now by the tools Debian has for each format.
stage=$(mktemp -d)
trap 'rm -rf "$decoded" "$stage"' EXIT
make_tool_seeds() {
  local tree=$stage/tree out=$stage/out
  mkdir -p "$out"
  cp -r "$fixtures/tree" "$tree"
  (cd "$tree" && seq 1 2000 > dir/lines.txt && ln -s ../hello.txt dir/link && mkdir -p empty/deeper &&
   truncate -s 1M sparse.bin && printf 'middle' | dd of=sparse.bin bs=1 seek=300000 conv=notrunc status=none)
  # A path longer than the 100 bytes of a tar name field, with a link to it.
  local long
  long=$(printf 'folder%.0s' {1..12})/$(printf 'name%.0s' {1..30}).txt
  mkdir -p "$tree/${long%/*}" && echo long > "$tree/$long" && ln -s "$long" "$tree/link_to_long"
  cd "$tree"
  local files=(hello.txt dir/data.bin dir/empty.txt dir/lines.txt)
  # LZH: methods lh0/lh5/lh6/lh7 at header levels 0, 1 and 2.
  for level in 0 1 2; do
    for method in z o5 o6 o7; do
      lha "c${level}${method}q" "$out/lha_$level$method.lzh" hello.txt dir >/dev/null 2>&1 &&
        add_seed 0 "$out/lha_$level$method.lzh"
    done
  done
  # ARJ: each method.
  for method in 0 1 2 3 4; do
    arj a -m$method -y "$out/arj_m$method.arj" "${files[@]}" >/dev/null 2>&1 && add_seed 5 "$out/arj_m$method.arj"
  done
  # ZIP: stored, deflated, bzip2, encrypted, comments, zip64, symlinks.
  zip -q -0 "$out/zip_store.zip" "${files[@]}"
  zip -q -9 -r "$out/zip_deflate.zip" hello.txt dir
  zip -q -Z bzip2 "$out/zip_bzip2.zip" "${files[@]}" 2>/dev/null || true
  zip -q -P pw "$out/zip_crypt.zip" hello.txt dir/lines.txt
  zip -q -0 -P pw "$out/zip_crypt_store.zip" hello.txt
  echo "archive comment" | zip -q -z "$out/zip_comment.zip" hello.txt dir/lines.txt
  printf 'one\ntwo\n' | zip -q -c "$out/zip_entry_comments.zip" hello.txt dir/lines.txt
  zip -q -fz "$out/zip_zip64.zip" "${files[@]}"
  zip -q -y -r "$out/zip_symlink.zip" dir
  zip -q -X "$out/zip_no_extra.zip" "${files[@]}"
  zip -q - hello.txt dir/lines.txt > "$out/zip_streamed.zip"
  zip -q -fd -fz - hello.txt < /dev/null > "$out/zip_descriptor.zip" 2>/dev/null || true
  bsdtar --format zip --options zip:compression=store -cf "$out/bsdtar_store.zip" "${files[@]}"
  for crypt in zipcrypt aes128 aes256; do
    bsdtar --format zip --options "zip:encryption=$crypt" --passphrase pw -cf "$out/bsdtar_$crypt.zip" \
      hello.txt dir/lines.txt 2>/dev/null || true
  done
  for file in "$out"/*.zip; do add_seed 1 "$file"; done
  # CAB: stored and MSZIP.
  gcab --create "$out/gcab_store.cab" "${files[@]}" && add_seed 2 "$out/gcab_store.cab"
  gcab --create --zip "$out/gcab_mszip.cab" "${files[@]}" && add_seed 2 "$out/gcab_mszip.cab"
  # TAR family: GNU tar's formats and filters, sparse files, cpio, ar.
  for format in gnu oldgnu posix ustar v7; do
    tar --format=$format -cf "$out/tar_$format.tar" hello.txt dir empty 2>/dev/null || true
  done
  tar --format=gnu -S -cf "$out/tar_gnu_sparse.tar" sparse.bin hello.txt
  tar --format=posix -S -cf "$out/tar_pax_sparse.tar" sparse.bin hello.txt
  tar --format=posix --sparse-version=0.0 -S -cf "$out/tar_pax_sparse00.tar" sparse.bin
  tar --format=posix --sparse-version=0.1 -S -cf "$out/tar_pax_sparse01.tar" sparse.bin
  tar --format=gnu -cf "$out/tar_gnu_long.tar" "$long" link_to_long
  tar --format=posix -cf "$out/tar_pax_long.tar" "$long" link_to_long
  tar --format=ustar -cf "$out/tar_ustar_long.tar" "$long" 2>/dev/null || true
  for filter in gzip bzip2 xz zstd lzma compress; do
    flag=--$filter
    [ "$filter" = compress ] && flag=-Z
    tar --format=posix "$flag" -cf "$out/tar_posix.tar.$filter" hello.txt dir 2>/dev/null || true
  done
  for format in pax ustar gnutar; do
    bsdtar --format $format -cf "$out/bsdtar_$format.tar" hello.txt dir empty
  done
  for format in newc crc odc bin; do
    printf '%s\n' hello.txt dir dir/data.bin dir/lines.txt | cpio -o -H $format --quiet > "$out/cpio_$format.cpio" 2>/dev/null || true
  done
  printf '%s\n' hello.txt dir/lines.txt | cpio -o -H newc --quiet | gzip -n > "$out/cpio_newc.cpio.gz"
  ar rc "$out/ar_gnu.a" hello.txt dir/lines.txt dir/data.bin
  (cd dir && ar rc "$out/ar_long_names.a" "$tree/hello.txt" lines.txt &&
   cp lines.txt a_file_with_a_rather_long_name.txt && ar rc "$out/ar_long_names.a" a_file_with_a_rather_long_name.txt)
  bsdtar --format arbsd -cf "$out/bsdtar_arbsd.a" hello.txt dir/lines.txt
  for file in "$out"/*.tar* "$out"/*.cpio* "$out"/*.a; do [ -f "$file" ] && add_seed 3 "$file"; done
  cd "$root"
}
(make_tool_seeds)

# --- runs -----------------------------------------------------------------
# libarchive sizes some buffers from header fields (a cpio name length, say),
# so a hostile header may ask for a few GB once; that is not counted a fault.
for kind in "${kinds[@]}"; do
  corpus=$build/corpus/$kind
  findings=$build/findings/$kind
  mkdir -p "$corpus" "$findings"
  echo "== module $kind (${names[$kind]}): $(ls "$seeds/$kind" | wc -l) seeds, $seconds s, log $build/fuzz-$kind.log"
  # shellcheck disable=SC2086
  KELVORA_FUZZ_KIND=$kind nice -n 10 "$build/tests/archive_fuzzer" "$corpus" "$seeds/$kind" \
    -dict=tests/fuzz/archive.dict -max_total_time="$seconds" -artifact_prefix="$findings/" \
    -max_len=262144 -malloc_limit_mb=4096 -rss_limit_mb=6144 ${FUZZ_FLAGS:-} \
    > "$build/fuzz-$kind.log" 2>&1 || echo "module $kind: the fuzzer stopped with a finding (see the log)"
  tail -n 3 "$build/fuzz-$kind.log"
done
