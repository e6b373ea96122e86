#!/usr/bin/env python3
"""Generates multibyte/generated/fmetric_table.cpp: advance widths of the standard Type 1 fonts,
one row of 256 codes per standard font number, in thousandths of the font size.

Two tables: in `fmetric` text fonts are laid out by Adobe StandardEncoding, in
`fmetric_winansi` by WinAnsiEncoding (the encoding forms give their standard fonts); glyph
names are looked up in the AFM. Symbol
(row 40) and ZapfDingbats (row 17) by the codes of their built-in encodings as their AFMs give
them (Symbol without URW's extra "apple" at 128, ZapfDingbats without the ornaments 128-141
that the classic built-in encoding leaves out). Rows 0, 18, 19 and 44-63 stay zero.

Sources (metric-compatible fonts published by the distribution):
  apt-get install fonts-urw-base35                 -> /usr/share/fonts/type1/urw-base35/*.afm
  Charter (rows 9-12):     texlive-fonts-recommended  bchb8a bchbi8a bchr8a bchri8a .afm
  URW Antiqua T (row 41):  texlive-fonts-extra        uaqr8ac.afm
  URW Grotesk T (row 42):  texlive-fonts-extra        ugqb8a.afm
The TeX Live AFMs can be taken without installing TeX Live:
  apt-get download texlive-fonts-recommended texlive-fonts-extra
  dpkg-deb -x texlive-fonts-recommended_*.deb x; dpkg-deb -x texlive-fonts-extra_*.deb x
  find x -name 'bch*8a.afm' -o -name uaqr8ac.afm -o -name ugqb8a.afm | xargs cp -t AFMDIR

Usage: tools/gen_font_metrics.py AFMDIR [output.cpp]
       (AFMDIR holds the TeX Live AFMs; the URW base 35 ones are read from their package path)
"""
import os
import sys

URW = "/usr/share/fonts/type1/urw-base35"

# Standard font number -> (directory key, AFM file).
FONTS = {
    1: ("urw", "URWGothic-Book"), 2: ("urw", "URWGothic-Demi"),
    3: ("urw", "URWGothic-BookOblique"), 4: ("urw", "URWGothic-DemiOblique"),
    5: ("urw", "URWBookman-Light"), 6: ("urw", "URWBookman-Demi"),
    7: ("urw", "URWBookman-LightItalic"), 8: ("urw", "URWBookman-DemiItalic"),
    9: ("tex", "bchb8a"), 10: ("tex", "bchbi8a"), 11: ("tex", "bchr8a"), 12: ("tex", "bchri8a"),
    13: ("urw", "C059-Roman"), 14: ("urw", "C059-Bold"), 15: ("urw", "C059-Italic"),
    16: ("urw", "C059-BdIta"), 17: ("urw", "D050000L"),
    20: ("urw", "NimbusSans-Regular"), 21: ("urw", "NimbusSans-Bold"),
    22: ("urw", "NimbusSans-Italic"), 23: ("urw", "NimbusSans-BoldItalic"),
    24: ("urw", "NimbusSansNarrow-Regular"), 25: ("urw", "NimbusSansNarrow-Bold"),
    26: ("urw", "NimbusSansNarrow-Oblique"), 27: ("urw", "NimbusSansNarrow-BoldOblique"),
    28: ("urw", "NimbusRoman-Regular"), 29: ("urw", "NimbusRoman-Bold"),
    30: ("urw", "NimbusRoman-Italic"), 31: ("urw", "NimbusRoman-BoldItalic"),
    32: ("urw", "NimbusMonoPS-Regular"), 33: ("urw", "NimbusMonoPS-Bold"),
    34: ("urw", "NimbusMonoPS-Italic"), 35: ("urw", "NimbusMonoPS-BoldItalic"),
    36: ("urw", "P052-Roman"), 37: ("urw", "P052-Bold"), 38: ("urw", "P052-Italic"),
    39: ("urw", "P052-BoldItalic"), 40: ("urw", "StandardSymbolsPS"),
    41: ("tex", "uaqr8ac"), 42: ("tex", "ugqb8a"), 43: ("urw", "Z003-MediumItalic"),
}
BUILTIN = {17: set(range(128, 142)), 40: {128}}  # codes left out of the built-in encodings

STANDARD_ENCODING = {
    0x20: "space", 0x21: "exclam", 0x22: "quotedbl", 0x23: "numbersign", 0x24: "dollar",
    0x25: "percent", 0x26: "ampersand", 0x27: "quoteright", 0x28: "parenleft",
    0x29: "parenright", 0x2A: "asterisk", 0x2B: "plus", 0x2C: "comma", 0x2D: "hyphen",
    0x2E: "period", 0x2F: "slash", 0x3A: "colon", 0x3B: "semicolon", 0x3C: "less",
    0x3D: "equal", 0x3E: "greater", 0x3F: "question", 0x40: "at", 0x5B: "bracketleft",
    0x5C: "backslash", 0x5D: "bracketright", 0x5E: "asciicircum", 0x5F: "underscore",
    0x60: "quoteleft", 0x7B: "braceleft", 0x7C: "bar", 0x7D: "braceright", 0x7E: "asciitilde",
    0xA1: "exclamdown", 0xA2: "cent", 0xA3: "sterling", 0xA4: "fraction", 0xA5: "yen",
    0xA6: "florin", 0xA7: "section", 0xA8: "currency", 0xA9: "quotesingle",
    0xAA: "quotedblleft", 0xAB: "guillemotleft", 0xAC: "guilsinglleft", 0xAD: "guilsinglright",
    0xAE: "fi", 0xAF: "fl", 0xB1: "endash", 0xB2: "dagger", 0xB3: "daggerdbl",
    0xB4: "periodcentered", 0xB6: "paragraph", 0xB7: "bullet", 0xB8: "quotesinglbase",
    0xB9: "quotedblbase", 0xBA: "quotedblright", 0xBB: "guillemotright", 0xBC: "ellipsis",
    0xBD: "perthousand", 0xBF: "questiondown", 0xC1: "grave", 0xC2: "acute",
    0xC3: "circumflex", 0xC4: "tilde", 0xC5: "macron", 0xC6: "breve", 0xC7: "dotaccent",
    0xC8: "dieresis", 0xCA: "ring", 0xCB: "cedilla", 0xCD: "hungarumlaut", 0xCE: "ogonek",
    0xCF: "caron", 0xD0: "emdash", 0xE1: "AE", 0xE3: "ordfeminine", 0xE8: "Lslash",
    0xE9: "Oslash", 0xEA: "OE", 0xEB: "ordmasculine", 0xF1: "ae", 0xF5: "dotlessi",
    0xF8: "lslash", 0xF9: "oslash", 0xFA: "oe", 0xFB: "germandbls",
}
for i, n in enumerate(["zero", "one", "two", "three", "four", "five", "six", "seven", "eight",
                       "nine"]):
    STANDARD_ENCODING[0x30 + i] = n
for c in range(26):
    STANDARD_ENCODING[0x41 + c] = chr(0x41 + c)
    STANDARD_ENCODING[0x61 + c] = chr(0x61 + c)
assert len(STANDARD_ENCODING) == 149

WINANSI_HIGH = [
    "Euro", None, "quotesinglbase", "florin", "quotedblbase", "ellipsis", "dagger", "daggerdbl",
    "circumflex", "perthousand", "Scaron", "guilsinglleft", "OE", None, "Zcaron", None,
    None, "quoteleft", "quoteright", "quotedblleft", "quotedblright", "bullet", "endash",
    "emdash", "tilde", "trademark", "scaron", "guilsinglright", "oe", None, "zcaron", "Ydieresis",
    "space", "exclamdown", "cent", "sterling", "currency", "yen", "brokenbar", "section",
    "dieresis", "copyright", "ordfeminine", "guillemotleft", "logicalnot", "hyphen", "registered",
    "macron", "degree", "plusminus", "twosuperior", "threesuperior", "acute", "mu", "paragraph",
    "periodcentered", "cedilla", "onesuperior", "ordmasculine", "guillemotright", "onequarter",
    "onehalf", "threequarters", "questiondown",
    "Agrave", "Aacute", "Acircumflex", "Atilde", "Adieresis", "Aring", "AE", "Ccedilla",
    "Egrave", "Eacute", "Ecircumflex", "Edieresis", "Igrave", "Iacute", "Icircumflex",
    "Idieresis", "Eth", "Ntilde", "Ograve", "Oacute", "Ocircumflex", "Otilde", "Odieresis",
    "multiply", "Oslash", "Ugrave", "Uacute", "Ucircumflex", "Udieresis", "Yacute", "Thorn",
    "germandbls",
    "agrave", "aacute", "acircumflex", "atilde", "adieresis", "aring", "ae", "ccedilla",
    "egrave", "eacute", "ecircumflex", "edieresis", "igrave", "iacute", "icircumflex",
    "idieresis", "eth", "ntilde", "ograve", "oacute", "ocircumflex", "otilde", "odieresis",
    "divide", "oslash", "ugrave", "uacute", "ucircumflex", "udieresis", "yacute", "thorn",
    "ydieresis",
]
assert len(WINANSI_HIGH) == 128
WINANSI_ENCODING = {c: n for c, n in STANDARD_ENCODING.items() if c < 0x80}
WINANSI_ENCODING[0x27] = "quotesingle"
WINANSI_ENCODING[0x60] = "grave"
WINANSI_ENCODING.update({0x80 + i: n for i, n in enumerate(WINANSI_HIGH) if n})


def read_afm(path):
    """Returns ({glyph name: width}, {code: width}) from the CharMetrics of an AFM file."""
    by_name, by_code = {}, {}
    in_metrics = False
    for line in open(path, encoding="latin-1"):
        if line.startswith("StartCharMetrics"):
            in_metrics = True
            continue
        if line.startswith("EndCharMetrics"):
            break
        if not in_metrics:
            continue
        fields = {}
        for part in line.split(";"):
            toks = part.split()
            if len(toks) >= 2:
                fields[toks[0]] = toks[1]
        if "WX" not in fields:
            continue
        w = int(round(float(fields["WX"])))
        code = int(fields.get("C", "-1"))
        if "N" in fields:
            by_name[fields["N"]] = w
        if code >= 0:
            by_code[code] = w
    return by_name, by_code


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    texdir = sys.argv[1]
    out_path = sys.argv[2] if len(sys.argv) > 2 else "multibyte/generated/fmetric_table.cpp"
    rows = [[0] * 256 for _ in range(64)]
    winansi = [[0] * 256 for _ in range(64)]
    notes = {}
    for no, (where, name) in sorted(FONTS.items()):
        path = os.path.join(URW if where == "urw" else texdir, name + ".afm")
        by_name, by_code = read_afm(path)
        if no in BUILTIN:
            for code, w in by_code.items():
                if code < 256 and code not in BUILTIN[no]:
                    rows[no][code] = winansi[no][code] = w
        else:
            for table, encoding in ((rows, STANDARD_ENCODING), (winansi, WINANSI_ENCODING)):
                for code, glyph in encoding.items():
                    if glyph in by_name:
                        table[no][code] = by_name[glyph]
        notes[no] = "%s (%d codes)" % (name, sum(1 for w in rows[no] if w))
    with open(out_path, "w") as f:
        f.write("// Generated by tools/gen_font_metrics.py from published AFM metrics.\n")
        f.write("// Do not edit by hand.\n// clang-format off\n")
        f.write('#include "multibyte/font_metrics.h"\n')
        for label, table in (("fmetric", rows), ("fmetric_winansi", winansi)):
            f.write("\nconst uint16_t %s[FMETRIC_ROWS][256] = {\n" % label)
            for no in range(64):
                f.write("    // %d: %s\n" % (no, notes.get(no, "no metrics")))
                f.write("    {\n")
                for i in range(0, 256, 16):
                    f.write("        " + ", ".join(str(v) for v in table[no][i:i + 16]) + ",\n")
                f.write("    },\n")
            f.write("};\n")
    for no in sorted(notes):
        print(no, notes[no])


if __name__ == "__main__":
    main()
