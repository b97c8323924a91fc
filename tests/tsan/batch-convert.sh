#!/usr/bin/env bash
# The batch tool under ThreadSanitizer: several files converted at once on four threads, each
# file's pixel loops sharing one pool. A report ends the tool with a failure, and so this test.
#
#   batch-convert.sh ZEPHO-CLI WORKDIR
set -euo pipefail
cli=$1
dir=$2
rm -rf "$dir"
mkdir -p "$dir/in"

# A 24-bit gradient to start from, large enough that every pixel loop is cut into pieces.
python3 - "$dir/start.bmp" <<'PY'
import struct, sys
w, h = 720, 480
pixels = bytearray()
for y in range(h):
    for x in range(w):
        pixels += bytes(((x * 255) // w, (y * 255) // h, ((x ^ y) * 3) & 255))
head = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
with open(sys.argv[1], "wb") as f:
    f.write(head + info + pixels)
PY

# The inputs, one per reader, written by the tool itself.
for ext in qzi png tif gif jpg tga pcx webp bmp; do
  "$cli" convert "$dir/start.bmp" "$dir/in/picture_$ext.$ext"
done

# Every input into one type per run, four at a time.
for to in png qzi jpg webp; do
  "$cli" convert "$dir"/in/* --out-dir "$dir/out_$to" --to "$to" -j 4
  made=$(find "$dir/out_$to" -type f | wc -l)
  want=$(find "$dir/in" -type f | wc -l)
  [ "$made" -eq "$want" ] || { echo "--to $to: $made files written of $want"; exit 1; }
done
echo "batch conversion clean"
