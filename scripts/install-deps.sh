#!/usr/bin/env bash
# Installs, with apt-get, whatever the build and the tests need and the machine lacks.
# Safe to run repeatedly: when everything is present it does nothing.
set -euo pipefail

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

check_pkg() { have_pkg "$1" || need+=("$1"); }

for p in build-essential cmake ninja-build pkg-config git \
         zlib1g-dev libpng-dev libssl-dev libgtest-dev libbenchmark-dev libcsv-dev \
         bison flex clang clang-format \
         qpdf poppler-utils poppler-data imagemagick ghostscript fonts-urw-base35 \
         fonts-ipafont man-db python3 python3-pikepdf ccache; do
  check_pkg "$p"
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
updated=0
install() {
  echo "install-deps: installing $*"
  if [ $updated = 0 ]; then $SUDO apt-get update -qq; updated=1; fi
  $SUDO apt-get install -y -qq --no-install-recommends "$@"
}

if [ ${#need[@]} -gt 0 ]; then install "${need[@]}"; fi

# The sanitizer and libFuzzer runtimes must be those of the clang that builds: take the
# major version from the installed clang.
major=$(clang --version | sed -n 's/.*clang version \([0-9][0-9]*\).*/\1/p' | head -n 1)
if [ -z "$major" ]; then
  echo "install-deps: cannot tell the version of clang" >&2
  exit 1
fi
have_pkg "libclang-rt-$major-dev" || install "libclang-rt-$major-dev"
