#!/usr/bin/env python3
"""Writes examples/form.pdf: a one-page form with text fields for the demo.

The page carries static labels; the AcroForm holds text fields in the standard fonts
Helvetica, Times-Roman and Courier, and one field in HeiseiMin-W3, a Japanese Type0 font
that is not embedded and uses the /UniJIS-UCS2-H CMap. Every widget has an appearance
stream. Plain Python 3, no third-party modules.

usage: tools/make_example_form.py [output.pdf]   (default: examples/form.pdf)
"""
import os
import sys
import zlib

PAGE_W, PAGE_H = 595, 842  # A4

# name, label, font resource, font size, rectangle, quadding (0 left, 1 centre, 2 right)
FIELDS = [
    ("name", "Name", "Helv", 12, (150, 720, 450, 744), 0),
    ("company", "Company", "TiRo", 12, (150, 680, 450, 704), 0),
    ("code", "Customer code", "Cour", 11, (150, 640, 300, 664), 1),
    ("amount", "Amount", "Helv", 12, (150, 600, 300, 624), 2),
    ("kanji_name", "Name (Japanese)", "HeiMin", 12, (150, 560, 450, 584), 0),
    ("note", "Note", "Helv", 10, (150, 440, 450, 540), 0),
]


class Writer:
    def __init__(self):
        self.objects = {}

    def add(self, num, body):
        self.objects[num] = body if isinstance(body, bytes) else body.encode("latin-1")

    def stream(self, num, dict_text, data, compress=True):
        """A stream object; dict_text holds the entries of its dictionary."""
        if compress:
            data = zlib.compress(data)
            dict_text += "/Filter/FlateDecode"
        self.add(num, ("<<%s/Length %d>>\nstream\n" % (dict_text, len(data))).encode("latin-1")
                 + data + b"\nendstream")

    def output(self, root, info):
        out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
        size = max(self.objects) + 1
        offsets = [0] * size
        for num in sorted(self.objects):
            offsets[num] = len(out)
            out += b"%d 0 obj\n" % num + self.objects[num] + b"\nendobj\n"
        xref = len(out)
        out += b"xref\n0 %d\n0000000000 65535 f \n" % size
        for num in range(1, size):
            if num in self.objects:
                out += b"%010d 00000 n \n" % offsets[num]
            else:
                out += b"0000000000 65535 f \n"
        out += (b"trailer\n<</Size %d/Root %d 0 R/Info %d 0 R"
                b"/ID[<4361727665c6578616d706c6566f726d><4361727665c6578616d706c6566f726d>]>>\n"
                % (size, root, info))
        out += b"startxref\n%d\n%%%%EOF\n" % xref
        return bytes(out)


def pdf_string(text):
    return "(" + text.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)") + ")"


def build():
    w = Writer()
    font_objs = {"Helv": 10, "TiRo": 11, "Cour": 12, "HeiMin": 13}
    w.add(1, "<</Type/Catalog/Pages 2 0 R/AcroForm 3 0 R>>")
    w.add(2, "<</Type/Pages/Kids[4 0 R]/Count 1/MediaBox[0 0 %d %d]>>" % (PAGE_W, PAGE_H))
    field_base = 20
    field_refs = " ".join("%d 0 R" % (field_base + 2 * i) for i in range(len(FIELDS)))
    dr = "".join("/%s %d 0 R" % (k, v) for k, v in font_objs.items())
    w.add(3, "<</Fields[%s]/DR<</Font<<%s>>>>/DA(/Helv 0 Tf 0 g)>>" % (field_refs, dr))
    # The page inherits its MediaBox from the page tree.
    w.add(4, "<</Type/Page/Parent 2 0 R/Resources<</Font<</F1 10 0 R/F2 11 0 R>>"
             "/ProcSet[/PDF/Text]>>/Contents 5 0 R/Annots[%s]>>" % field_refs)
    lines = ["BT /F2 18 Tf 50 790 Td (Carvel and Tessaro example form) Tj ET"]
    for name, label, _, _, rect, _ in FIELDS:
        lines.append("BT /F1 10 Tf 50 %d Td %s Tj ET" % (rect[3] - 16, pdf_string(label)))
        lines.append("0.6 G 0.5 w %d %d %d %d re S" % (rect[0], rect[1], rect[2] - rect[0],
                                                     rect[3] - rect[1]))
    lines.append("BT /F1 8 Tf 50 60 Td (Filled by Tessaro from a template compiled by Carvel.)"
                 " Tj ET")
    w.stream(5, "", ("\n".join(lines) + "\n").encode("latin-1"))
    w.add(6, "<</Title(Example form)/Producer(make_example_form.py)/Creator(Carvel examples)>>")

    w.add(10, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica/Encoding/WinAnsiEncoding>>")
    w.add(11, "<</Type/Font/Subtype/Type1/BaseFont/Times-Roman/Encoding/WinAnsiEncoding>>")
    w.add(12, "<</Type/Font/Subtype/Type1/BaseFont/Courier/Encoding/WinAnsiEncoding>>")
    w.add(13, "<</Type/Font/Subtype/Type0/BaseFont/HeiseiMin-W3/Encoding/UniJIS-UCS2-H"
              "/DescendantFonts[14 0 R]>>")
    # Proportional Latin, fixed-width kana and kanji (the /W array nests one level).
    w.add(14, "<</Type/Font/Subtype/CIDFontType0/BaseFont/HeiseiMin-W3"
              "/CIDSystemInfo<</Registry(Adobe)/Ordering(Japan1)/Supplement 2>>"
              "/FontDescriptor 15 0 R/DW 1000/W [1 [250 333 408 500] 231 632 500]>>")
    w.add(15, "<</Type/FontDescriptor/FontName/HeiseiMin-W3/Flags 6"
              "/FontBBox[-123 -257 1001 910]/ItalicAngle 0/Ascent 859/Descent -141"
              "/CapHeight 709/StemV 69/Style<</Panose <010502020400000000000000>>>>>")

    for i, (name, _, font, size, rect, q) in enumerate(FIELDS):
        num = field_base + 2 * i
        ap = num + 1
        width, height = rect[2] - rect[0], rect[3] - rect[1]
        flags = "/Ff 4096" if name == "note" else ""
        w.add(num, "<</Type/Annot/Subtype/Widget/FT/Tx/T%s/Rect[%d %d %d %d]/F 4/P 4 0 R"
                   "/DA(/%s %d Tf 0 g)/Q %d%s/MK<</BC[0.6]>>/AP<</N %d 0 R>>>>"
                   % (pdf_string(name), rect[0], rect[1], rect[2], rect[3], font, size, q,
                      flags, ap))
        w.stream(ap, "/Type/XObject/Subtype/Form/BBox[0 0 %d %d]/Resources<</Font<</%s %d 0 R>>>>"
                 % (width, height, font, font_objs[font]),
                 b"/Tx BMC\nEMC\n", compress=False)
    return w.output(1, 6)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "examples", "form.pdf")
    with open(out, "wb") as f:
        f.write(build())


if __name__ == "__main__":
    main()
