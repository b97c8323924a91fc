#!/usr/bin/env bash
# Takes docs/screenshot-fitted.png: the editor on a 1400x900 virtual screen with a large picture
# opened fitted and the Window menu open. Needs a built editor, xvfb-run, xdotool and ImageMagick.
# Usage: scripts/screenshot-fitted.sh PICTURE [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
PICTURE=$(realpath "$1")
OUT=$(realpath -m "${2:-docs/screenshot-fitted.png}")
EDITOR_BIN=$(realpath "${BUILD:-build}/src/app/zepho")
export PICTURE OUT EDITOR_BIN
xvfb-run -a -s "-screen 0 1400x900x24" bash -c '
  export XDG_CONFIG_HOME=$(mktemp -d)   # the editor starts from its default settings
  "$EDITOR_BIN" "$PICTURE" & pid=$!
  for _ in $(seq 1 60); do
    xdotool search --onlyvisible --class zepho >/dev/null 2>&1 && break
    sleep 0.5
  done
  sleep 3
  win=$(xdotool search --onlyvisible --class zepho | head -1)
  xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus "$win"
  xdotool key --window "$win" alt+w
  sleep 1.5
  import -window root "$OUT"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
'
echo "wrote $OUT"
