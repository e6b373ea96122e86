#!/usr/bin/env bash
# Installs what the benchmarks compare against and use (not needed by the build or the
# tests): the peer tools pikepdf, pypdf, pdftk-java and pdf-lib (npm, into
# $TESSARO_BENCH_NODE, default ~/.cache/tessaro-bench), reportlab for the peers' own form,
# and GNU parallel for the split-run benchmark line.
set -euo pipefail
missing=()
command -v pdftk >/dev/null 2>&1 || missing+=(pdftk-java)
command -v parallel >/dev/null 2>&1 || missing+=(parallel)
command -v node >/dev/null 2>&1 || missing+=(nodejs)
command -v npm >/dev/null 2>&1 || missing+=(npm)
/usr/bin/python3 -c 'import pypdf' >/dev/null 2>&1 || missing+=(python3-pypdf)
/usr/bin/python3 -c 'import pikepdf' >/dev/null 2>&1 || missing+=(python3-pikepdf)
/usr/bin/python3 -c 'import reportlab' >/dev/null 2>&1 || missing+=(python3-reportlab)
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
node_dir=${TESSARO_BENCH_NODE:-$HOME/.cache/tessaro-bench}
if [ ! -d "$node_dir/node_modules/pdf-lib" ]; then
  mkdir -p "$node_dir"
  npm install --silent --no-audit --no-fund --prefix "$node_dir" pdf-lib@1.17.1
fi
