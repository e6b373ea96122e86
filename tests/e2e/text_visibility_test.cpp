// Filled values show where a viewer shows a value typed into the field: upright and inside
// the widget, whatever transformation the form's own appearance applies.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/support/pdf_file.h"
#include "tests/support/run_tools.h"

namespace {

// A page of 300 x 300 points with text fields whose appearances are mirrored (/Matrix
// [-1 0 0 1 ...]), slanted (a skew), boxed below the origin (/BBox [0 -10 120 10], an
// automatic font size) and mirrored onto their side (/Matrix [0 1 1 0 0 0]), their
// rectangles [20 200 140 220], [20 100 130 120], [20 40 140 60] and [250 20 270 140].
std::string transformed_form() {
    std::vector<std::string> o(13);
    o[1] = "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [5 0 R 7 0 R 9 0 R 11 0 R] >> >>";
    o[2] = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
    o[3] =
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Annots [5 0 R 7 0 R 9 0 R 11 0 "
        "R] >>";
    o[4] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>";
    const std::string text = "/Tx BMC q BT /F1 10 Tf 0 g 2 5 Td (abc) Tj ET Q EMC";
    const std::string res = " /Resources << /Font << /F1 4 0 R >> >>";
    o[5] =
        "<< /Type /Annot /Subtype /Widget /F 4 /P 3 0 R /FT /Tx /T (mirrored) /DA (/F1 10 Tf 0 "
        "g) /Rect [20 200 140 220] /AP << /N 6 0 R >> >>";
    o[6] = tt::pdf_stream(
        "/Type /XObject /Subtype /Form /BBox [0 0 120 20] /Matrix [-1 0 0 1 300 0]" + res, text);
    o[7] =
        "<< /Type /Annot /Subtype /Widget /F 4 /P 3 0 R /FT /Tx /T (slanted) /DA (/F1 10 Tf 0 "
        "g) /Rect [20 100 130 120] /AP << /N 8 0 R >> >>";
    o[8] = tt::pdf_stream(
        "/Type /XObject /Subtype /Form /BBox [0 0 100 20] /Matrix [1 0 0.5 1 0 0]" + res, text);
    o[9] =
        "<< /Type /Annot /Subtype /Widget /F 4 /P 3 0 R /FT /Tx /T (shifted) /DA (/F1 0 Tf 0 "
        "g) /Rect [20 40 140 60] /AP << /N 10 0 R >> >>";
    o[10] =
        tt::pdf_stream("/Type /XObject /Subtype /Form /BBox [0 -10 120 10]" + res, "/Tx BMC EMC");
    o[11] =
        "<< /Type /Annot /Subtype /Widget /F 4 /P 3 0 R /FT /Tx /T (sideways) /DA (/F1 10 Tf 0 "
        "g) /Rect [250 20 270 140] /AP << /N 12 0 R >> >>";
    o[12] = tt::pdf_stream(
        "/Type /XObject /Subtype /Form /BBox [0 0 120 20] /Matrix [0 1 1 0 0 0]" + res, text);
    return tt::pdf_from_objects(o, "%PDF-1.4\n");
}

struct Box {
    double x0 = -1, y0 = -1, x1 = -1, y1 = -1;  // PDF coordinates (y up)
};

// Where pdftotext -bbox finds `word` on a page 300 points high.
Box word_box(const std::string& pdf, const std::string& word) {
    tt::Result r = tt::run("pdftotext -bbox " + tt::sh_quote(pdf) + " -", false);
    std::regex re(
        "<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">" +
        word + "</word>");
    std::smatch m;
    Box b;
    if (!std::regex_search(r.out, m, re)) return b;
    b.x0 = std::stod(m[1]);
    b.x1 = std::stod(m[3]);
    b.y0 = 300 - std::stod(m[4]);
    b.y1 = 300 - std::stod(m[2]);
    return b;
}

TEST(TextVisibilityE2E, TransformedAndShiftedAppearancesShowTheValueUprightInTheWidget) {
    tt::TempDir d;
    std::string pdf = d.file("form.pdf");
    tt::write_file(pdf, transformed_form());
    tt::Result c = tt::run(tt::sh_quote(tt::carvel()) + " " + tt::sh_quote(pdf));
    ASSERT_EQ(c.status, 0) << c.out;
    std::string out = d.file("out.pdf");
    tt::write_file(d.file("s.txt"), "Tessaro\nstart\t" + out + "\nstartPage\t" + pdf +
                                        ".tpl\nsetPageFieldData\tmirrored\tMirror1\n"
                                        "setPageFieldData\tslanted\tSlant2\n"
                                        "setPageFieldData\tshifted\tShift3\n"
                                        "setPageFieldData\tsideways\tSide4\nendPage\nfinish\n");
    ASSERT_EQ(tt::run_tessaro(d.file("s.txt"), d.file("err.log")), 0)
        << tt::read_file(d.file("err.log"));
    std::string report;
    EXPECT_TRUE(tt::qpdf_check(out, &report)) << report;
    struct Case {
        const char* word;
        Box rect;
    };
    for (const Case& k : {Case{"Mirror1", {20, 200, 140, 220}}, Case{"Slant2", {20, 100, 130, 120}},
                          Case{"Shift3", {20, 40, 140, 60}}}) {
        SCOPED_TRACE(k.word);
        Box b = word_box(out, k.word);  // read left to right: upright and not reversed
        ASSERT_GE(b.x0, 0) << tt::pdftotext(out);
        EXPECT_GE(b.x0, k.rect.x0);
        EXPECT_LE(b.x1, k.rect.x1);
        EXPECT_GE(b.y0, k.rect.y0 - 1);
        EXPECT_LE(b.y1, k.rect.y1 + 1);
        EXPECT_GT(b.x1 - b.x0, 25);  // about its width at 10 points, not shrunk
    }
    // Along the box laid on its side, turned to read upwards rather than squeezed across it.
    Box b = word_box(out, "Side4");
    ASSERT_GE(b.x0, 0) << tt::pdftotext(out);
    EXPECT_GE(b.x0, 250 - 1);
    EXPECT_LE(b.x1, 270 + 1);
    EXPECT_GE(b.y0, 20);
    EXPECT_LE(b.y1, 140);
    EXPECT_GT(b.y1 - b.y0, 20);
}

}  // namespace
