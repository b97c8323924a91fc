#!/usr/bin/env bash
# Drives the libFuzzer executables of a fuzz build (cmake -DZEPHO_BUILD_FUZZ=ON, clang).
#
#   fuzz/run.sh replay BUILD            every target once over its seeds and regressions
#   fuzz/run.sh fuzz BUILD TARGET SECS  fuzzes one target; findings land in BUILD/findings
#
# Seeds are our writers' files (zepho-fuzz-seeds) and other programs' (peer-seeds.py, when
# ImageMagick or Pillow is there); fuzz/regressions/<target> holds every input that once failed,
# and the round trip replays the native ones too.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mode=${1:-}
build=${2:-}
[ -n "$build" ] || { sed -n '2,8p' "$0" >&2; exit 2; }

# Each run is held to the same limits: a slow input is a finding at 25 s, a hungry one at 2.5 GB.
limits=(-timeout=25 -rss_limit_mb=2560)
py=/usr/bin/python3
[ -x "$py" ] || py=python3

dict_of() {
  case $1 in
    native | clipboard | roundtrip) echo "$here/dict/native.dict" ;;
    gif | gifpreview) echo "$here/dict/gif.dict" ;;
    psd) echo "$here/dict/psd.dict" ;;
    avi | ani) echo "$here/dict/riff.dict" ;;
  esac
}

seeds() {
  "$build/fuzz/zepho-fuzz-seeds" "$1"
  "$py" "$here/peer-seeds.py" "$1" || echo "run.sh: peer seeds skipped"
}

case $mode in
replay)
  corpus=$build/replay-corpus
  rm -rf "$corpus"
  seeds "$corpus"
  failed=()
  for exe in "$build"/fuzz/fuzz_*; do
    t=${exe##*/fuzz_}
    dirs=("$corpus/$t")
    [ -d "$here/regressions/$t" ] && dirs+=("$here/regressions/$t")
    # A kept document that parses must also draw and write.
    [ "$t" = roundtrip ] && dirs+=("$here/regressions/native")
    log=$build/replay-$t.log
    start=$SECONDS
    if "$exe" -runs=0 "${limits[@]}" -artifact_prefix="$build/replay-$t-" "${dirs[@]}" >"$log" 2>&1; then
      echo "replay $t: $(ls "${dirs[@]}" | grep -vc ':$\|^$') inputs, $((SECONDS - start)) s"
    else
      echo "replay $t: FAILED (log: $log)"
      grep -E 'ERROR|SUMMARY|runtime error|Running:|#[0-9]+ 0x' "$log" | head -30
      failed+=("$t")
    fi
  done
  [ ${#failed[@]} -eq 0 ] || { echo "replay failed for: ${failed[*]}"; exit 1; }
  ;;
fuzz)
  target=${3:?target}
  seconds=${4:-60}
  exe=$build/fuzz/fuzz_$target
  [ -x "$exe" ] || { echo "no fuzz target $target in $build" >&2; exit 2; }
  seeds "$build/corpus"
  mkdir -p "$build/findings"
  args=(-max_total_time="$seconds" "${limits[@]}" -artifact_prefix="$build/findings/$target-")
  dict=$(dict_of "$target")
  [ -n "$dict" ] && args+=(-dict="$dict")
  # The regressions are left out: most are huge documents that would slow every mutation of them.
  exec "$exe" "${args[@]}" "$build/corpus/$target"
  ;;
*)
  sed -n '2,8p' "$0" >&2
  exit 2
  ;;
esac
