#!/usr/bin/env bash
# The demonstration: compile the example form with Carvel, then fill it with Tessaro.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
bin="$build/bin"
form=examples/form.pdf
out=examples/out.pdf

"$bin/carvel" "$form"
if [ -f "$form.log.err" ]; then
  echo "carvel reported problems:"; cat "$form.log.err"; exit 1
fi

script=examples/fill_form.txt
if [ ! -f "$script" ]; then script=examples/print_form.txt; fi
"$bin/tessaro-utf8" "$script" examples/out.err
echo "tessaro: ran $script into $out"
qpdf --check "$out" | tail -n 1
echo "--- text of $out:"
pdftotext -layout "$out" - | sed -e '/^\s*$/d' | head -n 40
# The picture of the filled page that the README shows.
pdftoppm -png -r 60 -f 1 -l 1 -singlefile "$out" docs/demo
echo "picture of the first page: docs/demo.png"
