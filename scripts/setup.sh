#!/usr/bin/env bash
# Installs the Debian packages that building and testing Kelvora need.
# Safe to run again: when everything is present it changes nothing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config binutils   # build
  qt6-base-dev                                # windows, dialogs, the wait window
  qt6-translations-l10n                       # Qt's own dialogs in the user's language
  libarchive-dev zlib1g-dev                   # our archiver modules
  libbz2-dev liblzma-dev libzstd-dev liblz4-dev nettle-dev  # the worker links them statically
  libxml2-dev                                 # the worker loads libxml2 for XAR itself: its headers
  libisal-dev                                 # ISA-L: Tar32's gzip inflated fast (zlib without it)
  libgtest-dev libgmock-dev locales           # tests (locales: localedef's sources)
  jlha-utils gcab p7zip-full libarchive-tools # making and checking the archive fixtures
  arj                                         # making the ARJ archives the ARJ reader's tests read
  xdg-utils desktop-file-utils shared-mime-info  # file associations on the desktop
  dbus-daemon                                 # a private session bus for the properties tests
  xvfb xauth fonts-noto-cjk                   # a display and Japanese glyphs for screenshots
)
# The Debian package (scripts/package.sh) and its checks: dpkg-shlibdeps and
# file for CPack, lintian, appstreamcli, mimetype for xdg-mime.
packages+=(dpkg-dev file lintian appstream libfile-mimeinfo-perl)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q "${missing[@]}"
