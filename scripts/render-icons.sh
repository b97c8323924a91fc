#!/usr/bin/env bash
# Renders data/icons/zepho.svg into the PNG sizes the desktop asks for, under
# data/icons/hicolor/<size>x<size>/apps/zepho.png. Run it after changing the SVG and commit the
# PNGs; the build and the install use the committed files.
set -euo pipefail
cd "$(dirname "$0")/.."
SVG=data/icons/zepho.svg
for size in 16 22 24 32 48 64 128 256; do
  out=data/icons/hicolor/${size}x${size}/apps/zepho.png
  mkdir -p "$(dirname "$out")"
  if command -v rsvg-convert >/dev/null 2>&1; then
    rsvg-convert -w "$size" -h "$size" "$SVG" -o "$out"
  else
    /usr/bin/convert -background none -density 384 "$SVG" -resize "${size}x${size}" "PNG32:$out"
  fi
done
