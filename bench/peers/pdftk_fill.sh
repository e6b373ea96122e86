#!/usr/bin/env bash
# Peer pipeline: pdftk-java fills the form once per page from an FDF, then joins the pages.
# usage: pdftk_fill.sh FORM.pdf PAGES FIELDS OUT.pdf
set -euo pipefail
form=$1 pages=$2 fields=$3 out=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for ((p = 0; p < pages; p++)); do
  {
    printf '%%FDF-1.2\n1 0 obj <</FDF <</Fields ['
    for ((f = 0; f < fields; f++)); do printf '<</T (F%d)/V (Value %d-%d)>>' "$f" "$p" "$f"; done
    printf ']>>>> endobj\ntrailer <</Root 1 0 R>>\n%%%%EOF\n'
  } > "$work/page.fdf"
  pdftk "$form" fill_form "$work/page.fdf" output "$work/p$(printf %06d "$p").pdf"
done
pdftk "$work"/p*.pdf cat output "$out"
