#!/usr/bin/env bash
# Installs the peer tools the text-field benchmark compares against (not needed by the
# build or the tests): pdftk-java and python3-pypdf.
set -euo pipefail
missing=()
command -v pdftk >/dev/null 2>&1 || missing+=(pdftk-java)
/usr/bin/python3 -c 'import pypdf' >/dev/null 2>&1 || missing+=(python3-pypdf)
if [ ${#missing[@]} -eq 0 ]; then exit 0; fi
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
