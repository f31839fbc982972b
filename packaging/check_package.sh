#!/usr/bin/env bash
# Builds the Debian package from a built tree and checks it: its name and
# fields, lintian (no error, no warning that the overrides do not justify),
# the desktop entry and AppStream validators, the desktop's own tools on the
# installed files, and a copy unpacked into a throwaway root whose zenkari
# extracts an archive in console mode, finding its modules, and keeps its
# settings out of its own folders even where it may write there.
#   packaging/check_package.sh BUILD ARCHIVE EXPECTED_TREE
set -euo pipefail
build=$(realpath "$1")
archive=$(realpath "$2")
expected=$(realpath "$3")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
step() { echo "== $*"; }

step "cpack"
cpack --config "$build/CPackConfig.cmake" -B "$work/out" > "$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack could not build the package"; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=$work/out/kelvora_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $(basename "$deb") among: $(ls "$work/out")"

step "fields"
dpkg-deb --field "$deb" Package Version Section Depends
[ "$(dpkg-deb --field "$deb" Section)" = utils ] || fail "Section"
depends=$(dpkg-deb --field "$deb" Depends)
for library in libc6 libstdc++6 libqt6widgets6 libarchive13; do
  grep -q "\b$library\b" <<< "$depends" || fail "Depends lacks $library"
done

step "lintian"
lintian --fail-on error,warning "$deb" || fail "lintian"

dpkg-deb --extract "$deb" "$work/root"
share=$work/root/usr/share
entry=$(ls "$share"/applications/*.desktop)
id=$(basename "$entry")

step "validators"
desktop-file-validate "$entry"
appstreamcli validate --no-net "$share/metainfo/${id%.desktop}.metainfo.xml"
# The files the tests compared with the program's own registration.
cmp "$entry" "$build/packaging/$id"
cmp "$share/mime/packages/kelvora-zenkari.xml" "$build/packaging/kelvora-zenkari.xml"

step "the desktop's tools on the installed files"
home=$work/home
mkdir -p "$home/Desktop"
run() { env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 XDG_DATA_DIRS="$share" "$@"; }
run update-mime-database "$share/mime"
run update-desktop-database "$share/applications"
printf 'GZA0 not a real archive\n' > "$work/x.gza"
[ "$(run xdg-mime query filetype "$work/x.gza")" = application/x-kelvora-gza ] || fail "type of x.gza"
[ "$(run xdg-mime query default application/x-lha)" = "$id" ] || fail "opener of LZH archives"

step "console extraction from the unpacked copy"
folder=$(run "$work/root/usr/bin/zenkari" "$archive") || fail "zenkari $archive: status $?"
[ -d "$folder" ] || fail "no output folder: '$folder'"
diff -r "$expected" "$folder" || fail "extracted tree differs from $expected"
ini=$(cd "$work/root" && find . -name '*.ini')
[ -z "$ini" ] || fail "settings written into the installed folders: $ini"
[ -f "$home/.config/zenkari/zenkari.ini" ] || fail "no settings in ~/.config/zenkari/"
echo "ok: $(basename "$deb")"
