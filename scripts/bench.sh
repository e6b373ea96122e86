#!/usr/bin/env bash
# Runs every benchmark of a build and prints their figures.
set -euo pipefail
build=${1:-build}
for b in "$build"/bin/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b"
  echo
done
