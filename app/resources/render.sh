#!/bin/sh
# Renders the program's pictures from their SVG sources beside them.
# Needs rsvg-convert (Debian package librsvg2-bin). Run after editing an SVG
# and commit both files.
set -eu
cd "$(dirname "$0")"

render() {  # name width height [output]
  rsvg-convert --width "$2" --height "$3" --output "${4:-$1.png}" "$1.svg"
}

render splash 96 96
render zenkari 48 48
render zenkari-archive 48 48
for n in 201 202 203 204 205; do
  render "shortcut_$n" 17 17
done
# The icon theme's other sizes of the program's icon, installed under
# share/icons/hicolor (zenkari.png is the 48-pixel one, the SVG the scalable one).
for size in 16 24 32 64 128 256; do
  mkdir -p "hicolor/${size}x$size/apps"
  render zenkari "$size" "$size" "hicolor/${size}x$size/apps/zenkari.png"
done
