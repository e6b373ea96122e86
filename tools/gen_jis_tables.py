#!/usr/bin/env python3
"""Generates multibyte/generated/jis_tables.cpp: the JIS X 0208 <-> Unicode tables and the
code page 932 IBM-extension replacement table used by the Japanese code converter.

Source data: the character-set converters of the GNU C library (iconv), called through ctypes.
  - JIS X 0208 rows 1-84 (except NEC row 13): glibc "EUC-JP", which follows the JIS mapping
    (0x2131 U+FFE3, 0x2140 U+FF3C, 0x2141 U+301C, 0x2171 U+00A2, ...).
  - NEC row 13 and the NEC-selected IBM extension rows 89-92: glibc "CP932", read through the
    Shift_JIS codes 0x8740-0x879E and 0xED40-0xEEFC.
  - The IBM extensions 0xFA40-0xFC4B: glibc "CP932"; each is replaced by the code of rows
    89-92, 13 or 1-84 (in that order of preference) that decodes to the same character.
The reverse table (Unicode -> JIS) takes the first cell in row order for each character, then
adds code page 932's readings of rows 1-84 (U+FF5E for 0x2141, U+2225, U+FF0D, U+FFE0, U+FFE1,
U+FFE2) for characters that the JIS mapping leaves without a code, so that text typed on
Windows still encodes to the intended Shift_JIS character.

Usage: tools/gen_jis_tables.py [output.cpp]   (needs only python3 and glibc)
"""
import ctypes
import sys

libc = ctypes.CDLL("libc.so.6", use_errno=True)
libc.iconv_open.restype = ctypes.c_void_p
libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
libc.iconv.restype = ctypes.c_size_t
libc.iconv.argtypes = [ctypes.c_void_p] + [ctypes.c_void_p] * 4


class Iconv:
    def __init__(self, charset):
        self.cd = libc.iconv_open(b"UTF-32LE", charset.encode())
        if self.cd in (None, ctypes.c_void_p(-1).value):
            sys.exit("iconv_open failed for " + charset)

    def decode_one(self, data):
        """Returns the single code point that `data` decodes to, or None."""
        libc.iconv(self.cd, None, None, None, None)
        inbuf = ctypes.create_string_buffer(data, len(data))
        outbuf = ctypes.create_string_buffer(64)
        inp = ctypes.c_void_p(ctypes.addressof(inbuf))
        outp = ctypes.c_void_p(ctypes.addressof(outbuf))
        inleft = ctypes.c_size_t(len(data))
        outleft = ctypes.c_size_t(64)
        r = libc.iconv(self.cd, ctypes.byref(inp), ctypes.byref(inleft), ctypes.byref(outp),
                       ctypes.byref(outleft))
        if r == ctypes.c_size_t(-1).value or inleft.value != 0:
            return None
        n = 64 - outleft.value
        if n != 4:
            return None
        return int.from_bytes(outbuf.raw[:4], "little")


def jis_to_sjis(j1, j2):
    s1 = ((j1 - 1) >> 1) + (0x71 if j1 < 0x5F else 0xB1)
    if j1 & 1:
        s2 = j2 + (0x1F if j2 < 0x60 else 0x20)
    else:
        s2 = j2 + 0x7E
    return s1, s2


def main():
    out_path = sys.argv[1] if len(sys.argv) > 1 else "multibyte/generated/jis_tables.cpp"
    euc = Iconv("EUC-JP")
    cp932 = Iconv("CP932")

    forward = [0] * (94 * 94)  # (row-1)*94 + (cell-1) -> code point
    for row in range(1, 95):
        for cell in range(1, 95):
            j1, j2 = row + 0x20, cell + 0x20
            if 1 <= row <= 84 and row != 13:
                u = euc.decode_one(bytes([j1 | 0x80, j2 | 0x80]))
            elif row == 13 or 89 <= row <= 92:
                u = cp932.decode_one(bytes(jis_to_sjis(j1, j2)))
            else:
                u = None
            if u is not None:
                assert u <= 0xFFFF and u != 0
                forward[(row - 1) * 94 + (cell - 1)] = u

    # Reverse table: first cell in row order wins (rows 1-84 before row 13 before 89-92).
    reverse = [0] * 65536
    order = [r for r in range(1, 95) if r != 13 and r <= 84] + [13] + list(range(85, 95))
    for row in order:
        for cell in range(1, 95):
            u = forward[(row - 1) * 94 + (cell - 1)]
            if u and not reverse[u]:
                reverse[u] = ((row + 0x20) << 8) | (cell + 0x20)
    aliases = []
    for row in range(1, 85):
        for cell in range(1, 95):
            j1, j2 = row + 0x20, cell + 0x20
            u = forward[(row - 1) * 94 + (cell - 1)]
            if not u:
                continue
            w = cp932.decode_one(bytes(jis_to_sjis(j1, j2)))
            if w is not None and w != u and w <= 0xFFFF and not reverse[w]:
                reverse[w] = (j1 << 8) | j2
                aliases.append((w, j1, j2))

    # IBM extensions: lead 0xFA-0xFC, trail 0x40-0xFC (189 columns).
    def pref(row):
        return 0 if 89 <= row <= 92 else (1 if row == 13 else 2)

    by_ucs = {}
    for row in range(1, 95):
        for cell in range(1, 95):
            u = forward[(row - 1) * 94 + (cell - 1)]
            if u:
                cand = (pref(row), row, cell)
                if u not in by_ucs or cand < by_ucs[u]:
                    by_ucs[u] = cand
    ibm = [[0] * 189 for _ in range(3)]
    filled = 0
    for lead in range(0xFA, 0xFD):
        for trail in range(0x40, 0xFD):
            u = cp932.decode_one(bytes([lead, trail]))
            if u is None or u not in by_ucs:
                continue
            _, row, cell = by_ucs[u]
            s1, s2 = jis_to_sjis(row + 0x20, cell + 0x20)
            ibm[lead - 0xFA][trail - 0x40] = (s1 << 8) | s2
            filled += 1

    mapped = sum(1 for u in forward if u)
    with open(out_path, "w") as f:
        f.write("// Generated by tools/gen_jis_tables.py from glibc iconv (EUC-JP, CP932).\n")
        f.write("// Do not edit by hand.\n// clang-format off\n")
        f.write('#include "multibyte/jis_tables.h"\n\n')
        f.write("// %d mapped cells.\n" % mapped)
        f.write("const uint16_t jis0208_to_ucs[94 * 94] = {\n")
        for row in range(94):
            f.write("    // row %d\n" % (row + 1))
            vals = forward[row * 94:(row + 1) * 94]
            for i in range(0, 94, 12):
                f.write("    " + ", ".join("0x%04X" % v for v in vals[i:i + 12]) + ",\n")
        f.write("};\n\n")
        f.write("// Code page 932 readings added for characters without a JIS mapping:\n")
        for w, j1, j2 in aliases:
            f.write("//   U+%04X -> 0x%02X%02X\n" % (w, j1, j2))
        f.write("const uint16_t ucs_to_jis0208[65536] = {\n")
        for base in range(0, 65536, 16):
            vals = reverse[base:base + 16]
            if not any(vals):
                f.write("    0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0, // U+%04X\n" % base)
            else:
                f.write("    " + ",".join("0x%04X" % v if v else "0" for v in vals) +
                        ", // U+%04X\n" % base)
        f.write("};\n\n")
        f.write("// %d of 567 entries filled.\n" % filled)
        f.write("const uint16_t cp932_ibm_to_nec[3][189] = {\n")
        for r in range(3):
            f.write("    {  // lead 0x%02X\n" % (0xFA + r))
            for i in range(0, 189, 12):
                f.write("        " + ", ".join("0x%04X" % v for v in ibm[r][i:i + 12]) + ",\n")
            f.write("    },\n")
        f.write("};\n")
    print("mapped cells %d, aliases %d, IBM entries %d" % (mapped, len(aliases), filled))


if __name__ == "__main__":
    main()
