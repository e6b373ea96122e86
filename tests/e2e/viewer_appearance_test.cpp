// A form that asks viewers to build its appearances (/NeedAppearances) whose stored button
// and list appearances differ from what such a viewer draws: printed unfilled, every widget
// looks as poppler shows the source; a list box filled by a script shows its new selection.
// A check box without any appearance is drawn in its state. A combo box without any
// appearance takes a value all the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/pdf_file.h"
#include "tests/support/pdf_render.h"
#include "tests/support/run_tools.h"

namespace {

std::string form_xobject(int w, int h, const std::string& data) {
    return tt::form_xobject(w, h, data, " /Resources << >>");
}

std::string widget(const std::string& rest) {
    return "<< /Type /Annot /Subtype /Widget /F 4 /P 3 0 R " + rest + " >>";
}

// Page of 300 x 300 points. Stored "on" appearances are a small square in the corner; the
// widgets' /MK asks for a cross, a dot, a red frame with a caption.
std::string fixture_form() {
    std::vector<std::string> o(32);
    o[1] = "<< /Type /Catalog /Pages 2 0 R /AcroForm 4 0 R >>";
    o[2] = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
    o[3] =
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Contents 7 0 R /Annots [10 0 R "
        "11 0 R 13 0 R 14 0 R 16 0 R 18 0 R 22 0 R] >>";
    o[4] =
        "<< /Fields [10 0 R 12 0 R 14 0 R 16 0 R 18 0 R 22 0 R] /NeedAppearances true /DR << /Font "
        "<< "
        "/Helv 5 "
        "0 R /ZaDb 6 0 R >> >> /DA (/Helv 0 Tf 0 g) >>";
    o[5] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>";
    o[6] = "<< /Type /Font /Subtype /Type1 /BaseFont /ZapfDingbats >>";
    o[7] = tt::pdf_stream("", "0 0 1 RG 10 10 m 290 10 l S");
    // Check box, on, caption "8" (a cross), turned a quarter, on grey with a beveled border.
    o[10] = widget(
        "/FT /Btn /T (tick) /Rect [20 235 40 265] /V /Yes /AS /Yes /MK << /CA (8) /BC [0] /BG "
        "[0.8] /R 90 >> /BS << /W 2 /S /B >> /DA (/ZaDb 0 Tf 0 g) /AP << /N << /Yes 20 0 R /Off "
        "21 0 R >> >>");
    // Radio group valued B, whose button A says it is on and button B says it is off.
    o[11] = widget(
        "/Parent 12 0 R /Rect [60 240 80 260] /AS /A /MK << /CA (l) >> /DA (/ZaDb 0 Tf 0 g) "
        "/AP << /N << /A 20 0 R /Off 21 0 R >> >>");
    o[12] = "<< /FT /Btn /Ff 49152 /T (pick) /V /B /Kids [11 0 R 13 0 R] >>";
    o[13] = widget(
        "/Parent 12 0 R /Rect [90 240 110 260] /AS /Off /MK << /CA (l) >> /DA (/ZaDb 0 Tf 0 g) "
        "/AP << /N << /B 20 0 R /Off 21 0 R >> >>");
    // List box with Pear selected; the stored appearance is empty. Plum is UTF-16.
    o[14] = widget(
        "/FT /Ch /T (fruit) /Opt [(Apple) (Pear) <FEFF0050006C0075006D>] /V (Pear) /Rect [20 100 "
        "100 160] /DA (/Helv 10 Tf 0 g) /AP << /N 15 0 R >>");
    o[15] = form_xobject(80, 60, "/Tx BMC EMC");
    // Push button: a red frame two points wide and the caption Go; stored as a black block.
    o[16] = widget(
        "/FT /Btn /Ff 65536 /T (go) /Rect [150 230 210 260] /MK << /BC [1 0 0] /CA (Go) >> /BS "
        "<< /W 2 >> /DA (/Helv 0 Tf 0 g) /AP << /N 17 0 R >>");
    o[17] = form_xobject(60, 30, "0 g 0 0 60 30 re f");
    // Check box on, without an appearance (as pdfmark makes them).
    o[18] =
        widget("/FT /Btn /T (agree) /V /Yes /AS /Yes /Rect [240 235 260 255] /DA (/ZaDb 0 Tf 0 g)");
    // List box whose second option is Cyrillic (Kyiv), which Helvetica lacks.
    o[22] = widget(
        "/FT /Ch /T (city) /Opt [(Oslo) <FEFF041A043804570432>] /Rect [150 100 250 140] /DA "
        "(/Helv 10 Tf 0 g) /AP << /N 23 0 R >>");
    o[23] = form_xobject(100, 40, "/Tx BMC EMC");
    o[20] = form_xobject(20, 20, "0 g 2 2 4 4 re f");
    o[21] = form_xobject(20, 20, "");
    for (std::string& s : o)
        if (s.empty()) s = "null";
    return tt::pdf_from_objects(o, "%PDF-1.4\n");
}

class ViewerAppearance : public ::testing::Test {
  protected:
    tt::TempDir d;
    std::string src, tpl;
    void SetUp() override {
        src = d.file("form.pdf");
        tt::write_file(src, fixture_form());
        tt::Result r = tt::run(tt::sh_quote(tt::carvel()) + " " + tt::sh_quote(src));
        ASSERT_EQ(r.status, 0) << r.out;
        tpl = src + ".tpl";
    }
    std::string print(const std::string& body, const std::string& program = "") {
        std::string out = d.file("out.pdf");
        tt::write_file(d.file("s.txt"), "Tessaro\nstart\t" + out + "\nstartPage\t" + tpl + "\n" +
                                            body + "endPage\nfinish\n");
        EXPECT_EQ(tt::run_tessaro(d.file("s.txt"), d.file("err.log"), program), 0)
            << tt::read_file(d.file("err.log"));
        std::string report;
        EXPECT_TRUE(tt::qpdf_check(out, &report)) << report;
        return out;
    }
};

// Mean difference of two 72 dpi grey renderings inside the PDF rectangle [x0 x1] x [y0 y1].
double box_difference(const tt::Pixmap& a, const tt::Pixmap& b, int x0, int y0, int x1, int y1) {
    if (a.w != b.w || a.h != b.h || a.px.empty()) return 1;
    double sum = 0;
    int n = 0;
    for (int y = a.h - y1; y < a.h - y0; ++y)
        for (int x = x0; x < x1; ++x, ++n) {
            size_t i = static_cast<size_t>(y * a.w + x);
            sum +=
                std::abs(static_cast<unsigned char>(a.px[i]) - static_cast<unsigned char>(b.px[i]));
        }
    return n ? sum / 255.0 / n : 1;
}

TEST_F(ViewerAppearance, UnfilledWidgetsLookAsTheViewerShowsTheSource) {
    tt::Pixmap want = tt::render_page(src, 1, 72);
    tt::Pixmap got = tt::render_page(print(""), 1, 72);
    ASSERT_FALSE(want.px.empty());
    struct Box {
        const char* what;
        int x0, y0, x1, y1;
    };
    for (const Box& b : {Box{"check box", 20, 235, 40, 265}, Box{"radio A", 60, 240, 80, 260},
                         Box{"radio B", 90, 240, 110, 260}, Box{"list box", 20, 100, 100, 160},
                         Box{"push button", 150, 230, 210, 260},
                         Box{"check box without appearance", 240, 235, 260, 255}})
        EXPECT_LT(box_difference(want, got, b.x0, b.y0, b.x1, b.y1), 0.02) << b.what;
    // The check mark is there, not an empty box on both sides.
    tt::Pixmap blank = tt::render_page(print("setPageFieldData\tagree\tOff\n"), 1, 72);
    EXPECT_GT(box_difference(blank, got, 240, 235, 260, 255), 0.05);
}

TEST_F(ViewerAppearance, ListBoxShowsTheOptionAScriptSelects) {
    tt::Pixmap p = tt::render_page(print("setPageFieldData\tfruit\tPlum\n"), 1, 72);
    ASSERT_FALSE(p.px.empty());
    // Rows of 11 points from the top of the box: Apple, Pear, Plum. Only Plum's is black.
    int x0 = 22, x1 = 98;
    auto dark_share = [&p, &x0, &x1](int y0, int y1) {
        int n = 0, dark = 0;
        for (int y = p.h - y1; y < p.h - y0; ++y)
            for (int x = x0; x < x1; ++x, ++n)
                dark += static_cast<unsigned char>(p.px[static_cast<size_t>(y * p.w + x)]) < 128;
        return static_cast<double>(dark) / n;
    };
    EXPECT_GT(dark_share(126, 135), 0.6);  // Plum, on the bar
    EXPECT_LT(dark_share(137, 146), 0.3);  // Pear, no longer selected
    EXPECT_NE(tt::pdftotext(d.file("out.pdf")).find("Plum"), std::string::npos);

    // An empty value, or one that names no option, clears the form's own selection.
    p = tt::render_page(print("setPageFieldData\tfruit\tKiwi\n"), 1, 72);
    ASSERT_FALSE(p.px.empty());
    EXPECT_LT(dark_share(137, 146), 0.3);
    EXPECT_LT(dark_share(126, 135), 0.3);
    EXPECT_EQ(tt::read_file(d.file("out.pdf")).find("/V (Pear)"), std::string::npos);

    // An option the list's font lacks letters of is set in the stand-ins, on its bar.
    p = tt::render_page(print("setPageFieldData\tcity\t\xd0\x9a\xd0\xb8\xd1\x97\xd0\xb2\n",
                              tt::tessaro() + "-utf8"),
                        1, 72);
    ASSERT_FALSE(p.px.empty());
    x0 = 152, x1 = 248;
    EXPECT_GT(dark_share(119, 128), 0.6);
    EXPECT_LT(dark_share(130, 139), 0.3);
    EXPECT_NE(tt::pdftotext(d.file("out.pdf")).find("\xd0\x9a\xd0\xb8\xd1\x97\xd0\xb2"),
              std::string::npos);
}

// Compiles the form of objects `o` and fills it with the script lines `body`; the output's
// path, or "" when a program failed.
std::string fill_form(const tt::TempDir& d, const std::vector<std::string>& o,
                      const std::string& body) {
    const std::string src = d.file("form.pdf"), out = d.file("out.pdf");
    tt::write_file(src, tt::pdf_from_objects(o, "%PDF-1.4\n"));
    if (tt::run(tt::sh_quote(tt::carvel()) + " " + tt::sh_quote(src)).status != 0) return "";
    tt::write_file(d.file("s.txt"), "Tessaro\nstart\t" + out + "\nstartPage\t" + src + ".tpl\n" +
                                        body + "endPage\nfinish\n");
    return tt::run_tessaro(d.file("s.txt"), d.file("err.log")) == 0 ? out : "";
}

// A one-page form (300 x 100) of one field, widget object `w` with the entries `entries`,
// whose default resources name font object 6, the standard font `base`, as `key`.
std::vector<std::string> one_field_form(const std::string& entries, const std::string& key = "Helv",
                                        const std::string& base = "Helvetica", size_t w = 5) {
    std::vector<std::string> o(std::max<size_t>(w + 1, 7), "null");
    const std::string ref = std::to_string(w) + " 0 R";
    o[1] = "<< /Type /Catalog /Pages 2 0 R /AcroForm 4 0 R >>";
    o[2] = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
    o[3] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 100] /Annots [" + ref + "] >>";
    o[4] = "<< /Fields [" + ref + "] /DR << /Font << /" + key + " 6 0 R >> >> >>";
    o[6] = "<< /Type /Font /Subtype /Type1 /BaseFont /" + base + " >>";
    o[w] = widget(entries);
    return o;
}

TEST(RadioGroup, AButtonNamedUnderTheGroupIsOneOfItsButtons) {
    // Group r: its first button has a name of its own but takes the group's value.
    tt::TempDir d;
    std::vector<std::string> o(9);
    o[1] = "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R] >> >>";
    o[2] = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
    o[3] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Annots [5 0 R 6 0 R] >>";
    o[4] = "<< /FT /Btn /Ff 49152 /T (r) /V /2 /Kids [5 0 R 6 0 R] >>";
    o[5] = widget(
        "/Parent 4 0 R /T (one) /Rect [20 20 40 40] /AS /1 /AP << /N << /1 7 0 R "
        "/Off 8 0 R >> >>");
    o[6] = widget(
        "/Parent 4 0 R /Rect [60 20 80 40] /AS /2 /AP << /N << /2 7 0 R /Off 8 0 R "
        ">> >>");
    o[7] = form_xobject(20, 20, "0 g 5 5 10 10 re f");
    o[8] = form_xobject(20, 20, "");
    o[0] = "null";
    for (const char* v : {"1", "2"}) {
        const std::string out = fill_form(d, o, std::string("setPageFieldData\tr\t") + v + "\n");
        ASSERT_FALSE(out.empty());
        std::string j = tt::run("qpdf --json --json-key=acroform " + tt::sh_quote(out)).out;
        // Exactly one button is on: the one whose state the value names.
        const std::string on = std::string("\"appearancestate\": \"/") + v + "\"";
        EXPECT_NE(j.find(on), std::string::npos) << j;
        EXPECT_EQ(j.find("\"appearancestate\": \"/" + std::string(v[0] == '1' ? "2" : "1") + "\""),
                  std::string::npos)
            << j;
    }
}

TEST(ListBox, AStreamOtherWidgetsShowStaysTheirs) {
    // Two list boxes show one grey stream the page's size, as some TeX forms give them.
    tt::TempDir d;
    std::vector<std::string> o(8);
    o[0] = "null";
    o[1] = "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R 5 0 R] >> >>";
    o[2] = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
    o[3] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 100] /Annots [4 0 R 5 0 R] >>";
    for (int k : {4, 5})
        o[static_cast<size_t>(k)] =
            widget("/FT /Ch /T (l" + std::to_string(k) + ") /Opt [(Ant) (Bee)] /Rect [" +
                   (k == 4 ? "20" : "160") + " 20 " + (k == 4 ? "120" : "260") +
                   " 60] /DA (/Helv 10 Tf 0 g) /AP << /N 6 0 R >> /DR << /Font << /Helv 7 0 R >> "
                   ">>");
    o[6] = form_xobject(300, 100, "0.5 g 0 0 300 100 re f");
    o[7] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
    const std::string out = fill_form(d, o, "setPageFieldData\tl4\tBee\n");
    ASSERT_FALSE(out.empty()) << tt::read_file(d.file("err.log"));
    tt::Pixmap p = tt::render_page(out, 1, 72);
    ASSERT_FALSE(p.px.empty());
    auto grey = [&p](int x, int y) {
        return static_cast<unsigned char>(p.px[static_cast<size_t>((p.h - y) * p.w + x)]);
    };
    EXPECT_NEAR(grey(200, 40), 127, 10);  // the other list keeps the grey stream
    EXPECT_GT(grey(110, 55), 200);        // the filled one is drawn at its size, on white
    EXPECT_NE(tt::pdftotext(out).find("Bee"), std::string::npos);
}

TEST(ComboBox, WithoutAnAppearanceItTakesTheValue) {
    // A form that does not ask viewers to build appearances, with a combo box that has none;
    // its second option pairs an export value with the text shown, which the value shows.
    tt::TempDir d;
    const std::vector<std::string> o = one_field_form(
        "/FT /Ch /Ff 131072 /T (city) /Opt [(Oslo) [(RM) (Rome)]] /Rect [20 40 200 60] /MK << /BC "
        "[0.5] >> /DA (/Helv 12 Tf 0 g)");
    const std::string out = fill_form(d, o, "setPageFieldData\tcity\tRM\n");
    ASSERT_FALSE(out.empty()) << tt::read_file(d.file("err.log"));
    EXPECT_TRUE(tt::qpdf_check(out));
    EXPECT_NE(tt::pdftotext(out).find("Rome"), std::string::npos);
    EXPECT_EQ(tt::pdftotext(out).find("RM"), std::string::npos);
}

}  // namespace

TEST(FieldFont, AResourceNameLongerThanARecordStillNamesTheFont) {
    // A library that keys embedded fonts by their PostScript name and a suffix.
    tt::TempDir d;
    const std::string key = "TimesNewRomanPS-BoldItalicMT-4817";
    const std::vector<std::string> o =
        one_field_form("/FT /Tx /T (who) /Rect [20 40 200 60] /DA (/" + key + " 12 Tf 0 g)", key,
                       "Times-BoldItalic");
    const std::string out = fill_form(d, o, "setPageFieldData\twho\tSigned\n");
    ASSERT_FALSE(out.empty()) << tt::read_file(d.file("err.log"));
    EXPECT_TRUE(tt::qpdf_check(out));
    EXPECT_NE(tt::pdftotext(out).find("Signed"), std::string::npos);
    EXPECT_NE(tt::run("pdffonts " + tt::sh_quote(out)).out.find("Times-BoldItalic"),
              std::string::npos);
}

TEST(FieldColour, AGreyHintTurnedBlackByTheFormsScriptsIsFilledBlack) {
    // The default appearance is the hint's light grey; the field's scripts set black once a
    // value is in, as Acrobat shows the filled field.
    tt::TempDir d;
    const std::vector<std::string> o = one_field_form(
        "/FT /Tx /T (who) /Rect [20 40 200 70] /DA (/Helv 20 Tf .75 g) /AA << /Bl << /S "
        "/JavaScript /JS "
        "(event.target.textColor=\\(event.value==\"\"\\)?color.ltGray:color.black;) >> >>");
    const std::string out = fill_form(d, o, "setPageFieldData\twho\tMMMM\n");
    ASSERT_FALSE(out.empty()) << tt::read_file(d.file("err.log"));
    tt::Pixmap p = tt::render_page(out, 1, 72);
    ASSERT_FALSE(p.px.empty());
    int black = 0;
    for (unsigned char c : p.px) black += c < 100;
    EXPECT_GT(black, 100);
}

TEST(LargeDocument, AWidgetPastObject32767IsFilled) {
    // Long documents (a manual of hundreds of pages) number their widgets that high.
    tt::TempDir d;
    const std::vector<std::string> o = one_field_form(
        "/FT /Tx /T (far) /Rect [20 40 200 60] /DA (/Helv 12 Tf 0 g)", "Helv", "Helvetica", 40000);
    const std::string out = fill_form(d, o, "setPageFieldData\tfar\tReached\n");
    ASSERT_FALSE(out.empty()) << tt::read_file(d.file("err.log"));
    EXPECT_TRUE(tt::qpdf_check(out));
    EXPECT_NE(tt::pdftotext(out).find("Reached"), std::string::npos);
}
