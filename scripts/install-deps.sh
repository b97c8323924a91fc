#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those that are missing.
# Runs apt-get update only when something must be installed.
set -euo pipefail

PACKAGES=(
  # build
  cmake ninja-build g++ pkg-config make
  # core libraries
  libagg-dev libpixman-1-dev libpng-dev libjpeg-dev libtiff-dev libimagequant-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev zlib1g-dev libtbb-dev
  libfreetype-dev libfontconfig-dev libharfbuzz-dev libwebp-dev libavif-dev liblcms2-dev
  libheif-dev libjxl-dev
  libexiv2-dev
  # the standard press CMYK profile that CMYK photos without a profile of their own are read with
  libgs-common
  fonts-dejavu-core fonts-liberation2
  # shell
  qt6-base-dev libxcb1-dev libxcb-shape0-dev libxcb-xfixes0-dev xvfb xauth
  # the desktop portal tests run a private session bus
  dbus-daemon
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev valgrind libgif-dev
  # an independent reader of every file our writers make
  imagemagick gifsicle
  # reads the photo information our exports carry (skipped when absent)
  libimage-exiftool-perl
  # independent decoders the tests read our WebP, AVIF and JPEG XL files with, and the HEIF
  # encoder that makes the tests' inputs (skipped when absent)
  webp libavif-bin python3-pil libjxl-tools libheif-examples
  # the sanitizer builds: the parsers and the fuzzers (clang's ASan, UBSan and libFuzzer), the
  # layers below the shell under ThreadSanitizer;
  # Pillow makes seeds in layouts our writers never produce
  clang libclang-rt-14-dev
  # the desktop files' validators, and the icon renderer (scripts/render-icons.sh)
  desktop-file-utils appstream shared-mime-info librsvg2-bin
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: missing packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  SUDO=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  SUDO=(sudo -n)
elif command -v sudo >/dev/null 2>&1; then
  SUDO=(sudo)
else
  echo "install-deps: not root and no sudo available. Run as root:" >&2
  echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -q
"${SUDO[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
