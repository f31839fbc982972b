#!/bin/bash
# Reads the fixtures back with bsdtar and bsdcat, which use libarchive as the
# archiver modules do: each good fixture must extract to its source tree,
# each damaged or hostile one must fail the way it is meant to.
# Usage: check_fixtures.sh FIXTURE_FOLDER
set -u
export LC_ALL=C.UTF-8
data=${1:?usage: check_fixtures.sh FIXTURE_FOLDER}
for tool in bsdtar bsdcat gzip; do
    command -v "$tool" >/dev/null || { echo "missing tool: $tool"; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

ok() { passed=$((passed + 1)); }
bad() { echo "FAIL: $*"; failed=$((failed + 1)); }

# extract ARCHIVE [bsdtar options]: into a new folder $into, messages in $into.err
runs=0
extract() {
    local archive=$1
    shift
    runs=$((runs + 1))
    into=$work/$runs
    mkdir -p "$into"
    bsdtar -xf "$archive" -C "$into" "$@" </dev/null 2>"$into.err"
}

# expect_tree FIXTURE TREE SUBFOLDER [bsdtar options]: same bytes as TREE, and
# every file dated 2020-01-02 03:04:05 UTC (03:04:04 in 2-second DOS times)
expect_tree() {
    local fixture=$1 tree=$2 sub=$3 times
    shift 3
    if ! extract "$data/$fixture" "$@"; then
        bad "$fixture: $(head -n1 "$into.err")"
    elif ! diff -r "$data/$tree" "$into/$sub" >/dev/null; then
        bad "$fixture does not extract to $tree/"
    elif times=$(find "$into/$sub" -type f -printf '%Ts\n' | grep -Ev '^157793424[45]$'); then
        bad "$fixture: files dated $(date -ud "@${times%%$'\n'*}")"
    else
        ok
    fi
}

# expect_error FIXTURE PATTERN [bsdtar options]: extraction fails with PATTERN
expect_error() {
    local fixture=$1 pattern=$2
    shift 2
    if extract "$data/$fixture" "$@"; then
        bad "$fixture extracts without error"
    elif ! grep -Eq -- "$pattern" "$into.err"; then
        bad "$fixture: expected /$pattern/, got: $(head -n1 "$into.err")"
    else
        ok
    fi
}

# expect_listing FIXTURE LINE...: names, with "-> target" or "link to" kept
expect_listing() {
    local fixture=$1
    shift
    local listed expected
    listed=$(bsdtar -tvf "$data/$fixture" </dev/null 2>&1 | sed 's/^.* 2020 //')
    expected=$(printf '%s\n' "$@")
    [ "$listed" = "$expected" ] && ok || bad "$fixture lists as: $listed"
}

# expect_bytes FIXTURE OFFSET HEX: the byte at OFFSET
expect_bytes() {
    local byte
    byte=$(od -An -tx1 -j"$2" -N1 "$data/$1" | tr -d ' ')
    [ "$byte" = "$3" ] && ok || bad "$1: byte $2 is $byte, not $3"
}

# expect_contains FIXTURE BYTES
expect_contains() {
    LC_ALL=C grep -Fq -- "$2" "$data/$1" && ok || bad "$1 does not contain $2"
}

# Good archives of tree/.
for fixture in tree.lzh tree_lh0.lzh tree_lh6.lzh tree_lh7.lzh tree_h0.lzh tree_h1.lzh \
    tree_h2.lzh tree_h3.lzh sfx_lzh.exe tree.zip tree.jar sfx_zip.exe tree.cab \
    tree.tar tree.tar.gz tree.tgz tree.tar.Z tree.tar.bz2 tree.tar.xz tree.tar.lzma \
    tree.tar.zst tree.cpio tree.cpio.gz tree.cpio.Z tree.cpio.bz2 tree.rar tree5.rar \
    tree.7z tree.iso tree.xar; do
    expect_tree "$fixture" tree .
done
expect_tree tree.rpm tree usr/share/kelvora-fixture
expect_tree flat.a flat .
expect_tree flat.a.gz flat .

# The LZH variants really use their method and header level.
expect_contains tree_lh6.lzh -lh6-
expect_contains tree_lh7.lzh -lh7-
grep -Fq -- -lh5- "$data/tree_lh0.lzh" && bad "tree_lh0.lzh is compressed" || ok
for level in 0 1 2 3; do expect_bytes "tree_h$level.lzh" 20 "0$level"; done

# The self-extractors start with a program stub; the ZIP one's central
# directory offset counts the stub, as "zip -A" leaves it.
for fixture in sfx_lzh.exe sfx_zip.exe; do expect_bytes "$fixture" 0 4d; done
size=$(stat -c %s "$data/sfx_zip.exe")
directory=$(od -An -tu4 -j $((size - 22 + 16)) -N4 "$data/sfx_zip.exe" | tr -d ' ')
[ "$(od -An -tx1 -j "$directory" -N4 "$data/sfx_zip.exe" | tr -d ' ')" = 504b0102 ] && ok ||
    bad "sfx_zip.exe: central directory offset $directory does not count the stub"

# A .deb is an ar archive around two tarballs.
expect_listing tree.deb debian-binary control.tar.gz data.tar.gz
if extract "$data/tree.deb" && extract "$into/data.tar.gz" &&
    diff -r "$data/tree" "$into/usr/share/kelvora-fixture" >/dev/null; then
    ok
else
    bad "tree.deb: data.tar.gz does not hold tree/"
fi

for suffix in .gz .Z .bz2 .xz .lzma .zst; do
    bsdcat "$data/hello.txt$suffix" </dev/null | cmp -s - "$data/tree/hello.txt" && ok ||
        bad "hello.txt$suffix does not decompress to hello.txt"
done

# Japanese names: CP932 without a UTF-8 mark, or UTF-8 with it.
cp932="--options hdrcharset=CP932"
expect_tree sjis.lzh sjis . $cp932
expect_tree sjis.zip sjis . $cp932
expect_tree sjis.cab sjis . $cp932
expect_tree utf8.zip sjis .
expect_tree utf8_noflag.zip sjis .
expect_tree euc.tar sjis . --options hdrcharset=EUC-JP
expect_tree euc.cpio sjis . --options hdrcharset=EUC-JP
expect_tree japanese.7z sjis .
# 表 is 95 5C, ソ is 83 5C; LZH ends folder names with FF, CAB separates with 5C.
expect_contains sjis.lzh $'\x95\x5C\xFF'
expect_contains sjis.lzh $'\x83\x5C.txt'
expect_contains sjis.zip $'\x95\x5C/\x83\x5C.txt'
expect_contains sjis.cab $'\x95\x5C\x5C\x83\x5C.txt'
for fixture in sjis.zip sjis.cab; do
    bsdtar -tf "$data/$fixture" </dev/null 2>/dev/null | grep -q 表 &&
        bad "$fixture names read as UTF-8" || ok
done

expect_tree encrypted.zip tree/hello.txt hello.txt --passphrase pw
expect_error encrypted.zip "Incorrect passphrase" --passphrase wrong

# Rock Ridge keeps the modes (the image's own root lists as ".").
expect_listing tree.iso . dir hello.txt dir/data.bin dir/empty.txt
[ "$(bsdtar -tvf "$data/tree.iso" 2>/dev/null | grep -c -- '^-rw-r--r-- .* dir/')" = 2 ] && ok ||
    bad "tree.iso: files in dir/ not 0644"

# Encrypted 7-Zip, which libarchive cannot decrypt; 7z can, when it is there.
expect_listing encrypted.7z dir/ dir/empty.txt dir/data.bin hello.txt
expect_error encrypted.7z "encrypted, but currently not supported"
expect_error encrypted_headers.7z "The archive header is encrypted"
if command -v 7z >/dev/null; then
    for fixture in encrypted.7z encrypted_headers.7z; do
        7z t -ppw "$data/$fixture" </dev/null >/dev/null 2>&1 && ok || bad "$fixture does not open with pw"
    done
fi

# Damaged archives.
expect_error truncated.lzh "Truncated LHa"
expect_error crc.lzh "LHa data CRC error"
expect_error truncated.zip "ZIP decompression failed|Truncated"
expect_error crc.zip "ZIP bad CRC"
expect_error truncated.cab "Truncated CAB"
expect_error truncated.tar.gz "truncated gzip input"
expect_error truncated.rar "Truncated RAR"
# libarchive does not check the gzip trailer; gzip does.
gzip -t "$data/crc.tar.gz" 2>&1 | grep -q "crc error" && ok || bad "crc.tar.gz passes gzip -t"

# Hostile archives: the entries are there and bsdtar refuses them.
expect_listing dotdot.lzh ../evil.txt
expect_listing dotdot.zip ../evil.txt
expect_listing dotdot.tar ../evil.txt
expect_listing absolute.zip /tmp/kelvora-evil.txt
expect_listing absolute.tar /tmp/kelvora-evil.txt
expect_listing link_escape.tar "up -> .." up/evil.txt
expect_listing abs_symlink.tar "passwd -> /etc/passwd"
expect_listing write_through_link.tar "ln -> /tmp" ln/kelvora-evil.txt
expect_listing dotdot.7z ../evil.txt
expect_listing absolute.7z /tmp/kelvora-evil.txt
expect_listing abs_symlink.iso . "passwd -> /etc/passwd"
expect_listing link_inside.tar hello.txt dir/ "dir/link -> ../hello.txt" \
    "dir/hard.txt link to hello.txt"
for fixture in dotdot.lzh dotdot.zip dotdot.tar dotdot.7z; do
    expect_error "$fixture" "Path contains '\.\.'"
done
expect_error link_escape.tar "Cannot extract through symlink"
expect_error write_through_link.tar "Cannot extract through symlink"
if extract "$data/link_inside.tar" && cmp -s "$into/dir/link" "$data/tree/hello.txt" &&
    cmp -s "$into/dir/hard.txt" "$data/tree/hello.txt"; then
    ok
else
    bad "link_inside.tar: links do not lead to hello.txt"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
