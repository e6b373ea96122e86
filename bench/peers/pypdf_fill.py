#!/usr/bin/python3
"""Peer pipeline: pypdf fills a fresh copy of the form per page and joins the copies.

usage: pypdf_fill.py FORM.pdf PAGES FIELDS OUT.pdf
"""
import sys

from pypdf import PdfReader, PdfWriter


def main():
    form, pages, fields, out = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    writer = PdfWriter()
    for p in range(pages):
        writer.append(PdfReader(form))
        values = {"F%d" % f: "Value %d-%d" % (p, f) for f in range(fields)}
        writer.update_page_form_field_values(writer.pages[-1], values)
    with open(out, "wb") as f:
        writer.write(f)


if __name__ == "__main__":
    main()
