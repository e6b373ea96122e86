#!/usr/bin/env bash
# Installs, with apt-get, whatever the build and the tests need and the machine lacks.
# Safe to run repeatedly: when everything is present it does nothing.
set -euo pipefail

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

check_pkg() { have_pkg "$1" || need+=("$1"); }

for p in build-essential cmake ninja-build pkg-config git \
         zlib1g-dev libpng-dev libgtest-dev libbenchmark-dev libcsv-dev \
         bison flex clang clang-format libclang-rt-14-dev \
         qpdf poppler-utils poppler-data imagemagick ghostscript fonts-urw-base35 \
         fonts-ipafont man-db python3 ccache; do
  check_pkg "$p"
done

if [ ${#need[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${need[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${need[@]}"
