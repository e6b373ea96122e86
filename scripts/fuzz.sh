#!/usr/bin/env bash
# Runs every libFuzzer target of a build for a while, each with its own growing corpus.
set -euo pipefail
build=${1:-build-asan}
seconds=${2:-120}
mkdir -p "$build/fuzz-corpus"
found=0
for f in "$build"/bin/fuzz_*; do
  [ -x "$f" ] || continue
  found=1
  name=$(basename "$f")
  mkdir -p "$build/fuzz-corpus/$name"
  echo "== $name for ${seconds}s"
  ASAN_OPTIONS=detect_leaks=0 "$f" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
      "$build/fuzz-corpus/$name"
done
[ "$found" = 1 ] || echo "no fuzz targets in $build/bin (they need the clang sanitizer build)"
