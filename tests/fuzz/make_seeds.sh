#!/usr/bin/env bash
# Writes the fuzz targets' seed inputs, tests/fuzz/seeds/NAME/, from the project's own
# fixtures: the example form and scripts, inputs in each target's format, and images made
# by ImageMagick as the image tests make them. Needs a built carvel:
#   tests/fuzz/make_seeds.sh build
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
cd "$(dirname "$0")/../.."
seeds=tests/fuzz/seeds
rm -rf "$seeds"
for t in template script multibyte crypt_strings image_input compiler field_ops font_maps; do
  mkdir -p "$seeds/fuzz_$t"
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Templates: the compiled example form, and patches of the fuzzer's own valid template
# ('P', a 4-byte cut length, then 4-byte offset and new byte).
cp examples/form.pdf "$tmp/form.pdf"
"$build/bin/carvel" "$tmp/form.pdf" >/dev/null
cp "$tmp/form.pdf.tpl" "$seeds/fuzz_template/example_form.tpl"
printf 'P\xff\xff\xff\xff' >"$seeds/fuzz_template/patch_whole"
printf 'P\x00\x02\x00\x00' >"$seeds/fuzz_template/patch_cut"
printf 'P\xff\xff\xff\xff\x24\x00\x00\x00\xff\x64\x01\x00\x00\x00' >"$seeds/fuzz_template/patch_bytes"

# Scripts: the example fill with its field names turned into the fuzzer's field "Name",
# and one line of each page command.
sed -E 's/\t(name|company|code|amount|kanji_name|note)\t/\tName\t/' examples/fill_form.txt \
  >"$seeds/fuzz_script/fill_form.txt"
printf '%s\n' \
  $'setPageFieldScriptValue\t_Script\tvalue' \
  $'setPageFieldInvisible\tName' \
  $'makeArrayPageField\tName\t3\t20' \
  $'drawLine\t50\t400\t300\t0\t4\t10\t10\t10\t10' \
  $'drawBox\t100\t150\t200\t100\t4\t0\t0\t0\t0' \
  $'setYenSign\t0' \
  $'setPageFieldDataWithAttribute\tName\tA long value\t14\tHelv\t10\tff8000\t1\t2\t3\t0.5\t1' \
  >"$seeds/fuzz_script/page_commands.txt"

# Multibyte: the example's Japanese value in each input encoding.
for f in fill_form fill_form_euc fill_form_sjis; do
  grep -a 'kanji_name' "examples/$f.txt" | cut -f3 | tr -d '\n' >"$seeds/fuzz_multibyte/$f"
done

# String bodies as the encryption rewrites them.
printf 'Hello (nested) \\) \\\\ \\n\\101\\0 end' >"$seeds/fuzz_crypt_strings/literal"
printf '48 65 6C 6c6f7>' >"$seeds/fuzz_crypt_strings/hex"
printf '(a) 1 0 R <41> /N [(b\\)) 2.5]' >"$seeds/fuzz_crypt_strings/array"

# Images: a small JPEG, and a PNG without its signature (the fuzzer puts it in front).
convert -seed 7 -size 8x4 plasma:fractal -depth 8 +set date:create +set date:modify \
  -define png:exclude-chunks=date,time,tEXt,zTXt "PNG24:$tmp/p.png"
tail -c +9 "$tmp/p.png" >"$seeds/fuzz_image_input/rgb_png"
convert "$tmp/p.png" -strip -quality 80 "$tmp/p.jpg"
cp "$tmp/p.jpg" "$seeds/fuzz_image_input/rgb_jpeg"

# Compiler: the first byte picks the use of the rest (whole file, dictionary body,
# object stream, text between objects).
{ printf '\x00'; cat examples/form.pdf; } >"$seeds/fuzz_compiler/whole_form"
printf '\x01/Type/Annot/Subtype/Widget/FT/Tx/T(Name)/Rect[0 0 100 20]/DA(/Helv 12 Tf 0 g)' \
  >"$seeds/fuzz_compiler/dictionary"
printf '\x027 0 8 9 9 17<</A 1>> [1 2 3] (x)' >"$seeds/fuzz_compiler/object_stream"
printf '\x035 0 obj <</Type/Annot/Subtype/Widget/FT/Tx/T(Name)/Rect[0 0 100 20]/P 3 0 R>> endobj' \
  >"$seeds/fuzz_compiler/between_objects"

# Field operations: the mode byte, then (3-byte position, new byte) edits.
printf '\x00' >"$seeds/fuzz_field_ops/plain"
printf '\x01' >"$seeds/fuzz_field_ops/compressed"
printf '\x13\x00\x00\x40\xff' >"$seeds/fuzz_field_ops/array_edit"
printf '\x25\x00\x01\x00\x00\x00\x02\x00\x41' >"$seeds/fuzz_field_ops/script_edits"

# Font maps: a /ToUnicode CMap and /W widths.
printf '/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n1 begincodespacerange <0000> <FFFF> endcodespacerange\n2 beginbfchar <0003> <0020> <0024> <D835DC00> endbfchar\n2 beginbfrange <0010> <0019> <0030> <0020> <0022> [<0041> <00660069> <0043>] endbfrange\nendcmap CMapName currentdict /CMap defineresource pop end end\n' \
  >"$seeds/fuzz_font_maps/tounicode.txt"
printf '1 [500 600] 10 20 250 [ 5 [ 1 2 ] ]' >"$seeds/fuzz_font_maps/widths.txt"
