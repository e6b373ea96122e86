// Fields addressed by their full names, in a hand-written form that leaves appearances to
// the viewer: carvel builds them, tessaro fills them, poppler reads where the text lands.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "multibyte/font_metrics.h"
#include "tests/support/pdf_file.h"
#include "tests/support/run_tools.h"

namespace {

std::string bin(const std::string& program) {
    std::string t = tt::tessaro();
    return t.substr(0, t.rfind('/')) + "/" + program;
}

// A PDF with a correct cross-reference table around objects 1..n.
std::string pdf_file(const std::vector<std::string>& objects) {
    std::vector<std::string> numbered(1);
    numbered.insert(numbered.end(), objects.begin(), objects.end());
    return tt::pdf_from_objects(numbered, "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n");
}

// Helvetica's widths for codes 32..126, as a TrueType font's /Widths from /FirstChar 32.
std::string widths_from_32() {
    std::string w;
    for (int c = 32; c <= 126; ++c) w += std::to_string(fmetric[20][c]) + " ";
    return w;
}

// A form with no appearance streams (NeedAppearances): "form" holds a right-aligned text
// field named in hex, a field named "氏名" in UTF-16, a check box with its own states and a
// field whose name holds unmarked UTF-8 bytes ("prénom", as TCPDF writes names) and one
// whose name holds them as #XX escapes ("Straße", as LibreOffice writes names).
std::string need_appearances_form() {
    const std::string page_content = "BT /F1 12 Tf 72 760 Td (Order form) Tj ET";
    return pdf_file({
        "<</Type/Catalog/Pages 2 0 R/AcroForm <</Fields [5 0 R]/NeedAppearances true"
        "/DA (/Ar 10 Tf 0 g)/DR <</Font <</Ar 4 0 R>>>>>>>>",
        "<</Type/Pages/Kids [3 0 R]/Count 1>>",
        "<</Type/Page/Parent 2 0 R/MediaBox [0 0 612 792]/Contents 9 0 R"
        "/Resources <</Font <</F1 4 0 R>>>>/Annots [6 0 R 7 0 R 8 0 R 12 0 R 13 0 R 14 0 R 15 0 "
        "R]>>",
        "<</Type/Font/Subtype/TrueType/BaseFont/Arial/Encoding/WinAnsiEncoding/FirstChar 32"
        "/LastChar 126/Widths [" +
            widths_from_32() + "]>>",
        "<</T (form)/Kids [6 0 R 7 0 R 8 0 R 12 0 R 13 0 R 14 0 R 15 0 R]>>",
        "<</Type/Annot/Subtype/Widget/Parent 5 0 R/FT/Tx/T <7072696365>/Q 2"
        "/Rect [100 700 300 720]/MK <</BC [0 0 0]/BG [0.9 0.9 1]>>/BS <</W 1>>/P 3 0 R>>",
        "<</Type/Annot/Subtype/Widget/Parent 5 0 R/FT/Tx/T <FEFF6C0F540D>"
        "/Rect [100 660 300 680]/DA (/Ar 12 Tf 0 0 1 rg)/P 3 0 R>>",
        "<</Type/Annot/Subtype/Widget/Parent 5 0 R/FT/Btn/T (agree)/V /Off/AS /Off"
        "/Rect [100 620 112 632]/P 3 0 R/AP <</N <</Yes 10 0 R/Off 11 0 R>>>>>>",
        "<</Length " + std::to_string(page_content.size()) + ">>stream\n" + page_content +
            "\nendstream",
        "<</Type/XObject/Subtype/Form/BBox [0 0 12 12]/Length 17>>stream\n0 0 12 12 re f\n"
        "endstream",
        "<</Type/XObject/Subtype/Form/BBox [0 0 12 12]/Length 0>>stream\n\nendstream",
        "<</Type/Annot/Subtype/Widget/Parent 5 0 R/FT/Tx/T (pr\xc3\xa9nom)"
        "/Rect [100 580 300 600]/P 3 0 R>>",
        "<</Type/Annot/Subtype/Widget/Parent 5 0 R/FT/Tx/T (Stra#C3#9Fe)"
        "/Rect [100 540 300 560]/P 3 0 R>>",
        "<</Type/Annot/Subtype/Widget/Parent 5 0 R/FT/Tx/T <8F5A8F8A>"
        "/Rect [100 500 300 520]/P 3 0 R>>",
        "<</Type/Annot/Subtype/Widget/Parent 5 0 R/FT/Tx/T <FEFF671F9593FF5E>"
        "/Rect [100 460 300 480]/P 3 0 R>>",
    });
}

// xMax of the first word pdftotext -bbox reports as `word`, or -1.
double word_x_max(const std::string& pdf, const std::string& word) {
    tt::Result r = tt::run("pdftotext -bbox " + tt::sh_quote(pdf) + " -", false);
    std::regex re("<word xMin=\"[0-9.]+\" yMin=\"[0-9.]+\" xMax=\"([0-9.]+)\"[^>]*>" + word +
                  "</word>");
    std::smatch m;
    if (!std::regex_search(r.out, m, re)) return -1;
    return std::atof(m[1].str().c_str());
}

std::string fill(const tt::TempDir& d, const std::string& tpl, const std::string& out,
                 const std::string& lines, const std::string& program) {
    std::string script =
        "Tessaro\nstart\t" + out + "\nstartPage\t" + tpl + "\n" + lines + "endPage\nfinish\n";
    tt::write_file(d.file("script.txt"), script);
    tt::run_tessaro(d.file("script.txt"), d.file("err.log"), bin(program));
    return tt::file_exists(d.file("err.log")) ? tt::read_file(d.file("err.log")) : "";
}

}  // namespace

TEST(FieldNamesE2E, FullNamesFillBuiltAppearancesAtTheirPlace) {
    tt::TempDir d;
    std::string pdf = d.file("form.pdf");
    tt::write_file(pdf, need_appearances_form());
    tt::Result c = tt::run(tt::sh_quote(bin("carvel")) + " " + tt::sh_quote(pdf));
    ASSERT_EQ(c.status, 0) << c.out;
    EXPECT_FALSE(tt::file_exists(pdf + ".log.err")) << tt::read_file(pdf + ".log.err");
    std::string log = tt::read_file(pdf + ".log");
    EXPECT_NE(log.find("field name: form.price\n"), std::string::npos) << log;
    EXPECT_NE(log.find("field name: form.\xe6\xb0\x8f\xe5\x90\x8d\n"), std::string::npos);

    // Shift_JIS script: the name is converted before it is matched.
    std::string out = d.file("out.pdf");
    std::string err = fill(d, pdf + ".tpl", out,
                           "setPageFieldData\tform.price\tAAA\n"
                           "setPageFieldData\tform.\x8e\x81\x96\xbc\tHanako\n",
                           "tessaro-sjis");
    EXPECT_EQ(err, "");
    std::string report;
    EXPECT_TRUE(tt::qpdf_check(out, &report)) << report;
    std::string text = tt::pdftotext(out);
    EXPECT_NE(text.find("Hanako"), std::string::npos) << text;
    // Viewers are not asked to rebuild (and so blank) the filled appearances.
    EXPECT_EQ(tt::read_file(out).find("/NeedAppearances true"), std::string::npos);
    // Right-aligned: the value ends at the box's right edge less the border allowance
    // (300 - 2), measured with /Widths from /FirstChar (code 65, not code 97).
    EXPECT_NEAR(word_x_max(out, "AAA"), 298, 1);

    // The check box keeps its appearance states.
    tt::Result j = tt::run("qpdf --json --json-key=acroform " + tt::sh_quote(out), false);
    EXPECT_NE(j.out.find("\"ischeckbox\": true"), std::string::npos) << j.out;
    EXPECT_TRUE(std::regex_search(tt::read_file(out), std::regex("/Yes ?[0-9]+ 0 R")));

    // The unmarked UTF-8 name reads as PDFDocEncoding ("prÃ©nom"), as viewers read it; the
    // name the form's writer meant fills it too.
    err = fill(d, pdf + ".tpl", d.file("utf8.pdf"),
               "setPageFieldData\tform.pr\xc3\xa9nom\tJos\xc3\xa9\n", "tessaro-utf8");
    EXPECT_EQ(err, "");
    EXPECT_NE(tt::pdftotext(d.file("utf8.pdf")).find("Jos\xc3\xa9"), std::string::npos);
    err = fill(d, pdf + ".tpl", d.file("esc.pdf"),
               "setPageFieldData\tform.Stra\xc3\x9f"
               "e\tBerg\n",
               "tessaro-utf8");
    EXPECT_EQ(err, "");
    EXPECT_NE(tt::pdftotext(d.file("esc.pdf")).find("Berg"), std::string::npos);

    // Shift_JIS scripts: a name in raw Shift_JIS bytes (住所, as older Japanese producers
    // write names) and one that Windows wrote with code page 932's wave dash (期間～).
    err = fill(d, pdf + ".tpl", d.file("sjis.pdf"),
               "setPageFieldData\tform.\x8f\x5a\x8f\x8a\tTokyo\n"
               "setPageFieldData\tform.\x8a\xfa\x8a\xd4\x81\x60\tMay\n",
               "tessaro-sjis");
    EXPECT_EQ(err, "");
    text = tt::pdftotext(d.file("sjis.pdf"));
    EXPECT_NE(text.find("Tokyo"), std::string::npos) << text;
    EXPECT_NE(text.find("May"), std::string::npos) << text;

    // Addressed by a name it does not have: "Undefined Field Name".
    err = fill(d, pdf + ".tpl", d.file("bad.pdf"), "setPageFieldData\tprice.form\tx\n",
               "tessaro-utf8");
    EXPECT_NE(err.find("Undefined Field Name(price.form)"), std::string::npos) << err;
}

TEST(FieldNamesE2E, TemplateWithoutExtrasStillLoadsAndFills) {
    tt::TempDir d;
    std::string pdf = d.file("form.pdf");
    tt::write_file(pdf, need_appearances_form());
    ASSERT_EQ(tt::run(tt::sh_quote(bin("carvel")) + " " + tt::sh_quote(pdf)).status, 0);
    // Cut the template where an older carvel's file ended: after the character data.
    std::string tpl = tt::read_file(pdf + ".tpl");
    int16_t t = 0;
    int32_t c[5];
    std::memcpy(&t, &tpl[4], 2);
    std::memcpy(c, &tpl[6], sizeof c);
    size_t end = 26 + 72u * t + 12u * c[0] + 72u * c[1] + 8232u * c[2] + 348u * c[3] + c[4];
    ASSERT_EQ(tpl.substr(end, 4), "FEXT");
    tt::write_file(d.file("old.tpl"), tpl.substr(0, end));

    std::string out = d.file("out.pdf");
    EXPECT_EQ(fill(d, d.file("old.tpl"), out, "setPageFieldData\tprice\tBBB\n", "tessaro-utf8"),
              "");
    EXPECT_TRUE(tt::qpdf_check(out));
    EXPECT_NEAR(word_x_max(out, "BBB"), 298, 1);
    // Without the section only the partial names are known.
    std::string err = fill(d, d.file("old.tpl"), d.file("o2.pdf"),
                           "setPageFieldData\tform.price\tx\n", "tessaro-utf8");
    EXPECT_NE(err.find("Undefined Field Name(form.price)"), std::string::npos) << err;
}
