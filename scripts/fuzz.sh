#!/usr/bin/env bash
# Runs every libFuzzer target of a build for a while. Each starts from its committed seeds
# and regressions (tests/fuzz/seeds/NAME, tests/fuzz/regressions/NAME) and grows a corpus
# of its own in BUILD/fuzz-corpus/NAME; a failing input is written to BUILD/fuzz-crashes/ and
# belongs, once fixed, in tests/fuzz/regressions/NAME/.
set -euo pipefail
build=${1:-build-asan}
seconds=${2:-120}
src=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$build/fuzz-corpus" "$build/fuzz-crashes"
found=0
for f in "$build"/bin/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  case "$name" in *_replay) continue ;; esac
  found=1
  mkdir -p "$build/fuzz-corpus/$name"
  inputs=()
  for d in "$src/tests/fuzz/seeds/$name" "$src/tests/fuzz/regressions/$name"; do
    [ -d "$d" ] && inputs+=("$d")
  done
  echo "== $name for ${seconds}s"
  ASAN_OPTIONS=detect_leaks=0 "$f" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
      -artifact_prefix="$build/fuzz-crashes/$name-" "$build/fuzz-corpus/$name" "${inputs[@]}"
done
[ "$found" = 1 ] || echo "no fuzz targets in $build/bin (they need the clang sanitizer build)"
