#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks what a desktop needs from it: both programs,
# a launcher entry and an AppStream record that the validators accept, the document type whose
# magic matches what our files really start with, and each icon at its stated size.
# Usage: check-install.sh BUILD_DIR
set -uo pipefail
BUILD=$1
PREFIX=$(mktemp -d)
trap 'rm -rf "$PREFIX"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cmake --install "$BUILD" --prefix "$PREFIX" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }
SHARE=$PREFIX/share

for exe in zepho zepho-cli; do
  [ -x "$PREFIX/bin/$exe" ] || fail "bin/$exe is not installed"
done

DESKTOP=$SHARE/applications/zepho.desktop
METAINFO=$SHARE/metainfo/io.zepho.zepho.metainfo.xml
MIME=$SHARE/mime/packages/zepho.xml
for f in "$DESKTOP" "$METAINFO" "$MIME" "$SHARE/icons/hicolor/scalable/apps/zepho.svg"; do
  [ -s "$f" ] || fail "$f is missing"
done

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$DESKTOP" || fail "desktop-file-validate rejects zepho.desktop"
else
  echo "SKIP: desktop-file-validate is not installed"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$METAINFO" >/dev/null || {
    appstreamcli validate --no-net "$METAINFO"
    fail "appstreamcli rejects the metainfo"
  }
else
  echo "SKIP: appstreamcli is not installed"
fi

# The launcher offers every type we open, our own documents first.
for type in application/x-zepho-image image/png image/jpeg image/bmp image/gif image/tiff \
            image/x-tga image/x-pcx image/vnd.adobe.photoshop image/vnd.microsoft.icon \
            image/x-win-bitmap application/x-navi-animation video/x-msvideo image/webp image/avif \
            image/heic image/heif image/jxl; do
  grep -q "^MimeType=.*$type;" "$DESKTOP" || fail "zepho.desktop does not list $type"
done
grep -q '^Icon=zepho$' "$DESKTOP" || fail "zepho.desktop does not name the zepho icon"

# A document written by our own code starts with the magic the type declares.
magic=$(sed -n 's/.*<match type="string" offset="0" value="\([^"]*\)".*/\1/p' "$MIME")
[ -n "$magic" ] || fail "the mime type declares no magic at offset 0"
WORK=$(mktemp -d)
trap 'rm -rf "$PREFIX" "$WORK"' EXIT
printf 'P6\n2 2\n255\n%s' "$(printf 'abcdefghijkl')" >"$WORK/in.ppm"
if /usr/bin/convert -version 2>/dev/null | grep -q ImageMagick; then
  /usr/bin/convert "$WORK/in.ppm" "$WORK/in.png"
  if "$PREFIX/bin/zepho-cli" convert "$WORK/in.png" "$WORK/doc.qzi" >/dev/null; then
    head=$(head -c ${#magic} "$WORK/doc.qzi")
    [ "$head" = "$magic" ] || fail "a saved document starts with '$head', the mime magic says '$magic'"
  else
    fail "zepho-cli could not write a document"
  fi
else
  echo "SKIP: ImageMagick is not installed, no document to check the magic against"
fi
if command -v update-mime-database >/dev/null; then
  XDG_DATA_DIRS=$SHARE update-mime-database "$SHARE/mime" 2>&1 | grep . && fail "update-mime-database complains about zepho.xml"
  grep -q 'application/x-zepho-image' "$SHARE/mime/globs2" 2>/dev/null || fail "the *.qzi glob did not reach the mime database"
fi

# Each PNG icon is the size of its folder: width and height from the IHDR chunk.
for size in 16 22 24 32 48 64 128 256; do
  png=$SHARE/icons/hicolor/${size}x${size}/apps/zepho.png
  if [ ! -s "$png" ]; then
    fail "icon ${size}x${size} is missing"
    continue
  fi
  read -r w h < <(od -An -tu1 -j16 -N8 "$png" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
  [ "$w" = "$size" ] && [ "$h" = "$size" ] || fail "icon ${size}x${size} is ${w}x${h}"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "desktop install: all checks passed"
