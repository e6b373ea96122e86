// Filling a whole form end to end: a hand-written form with an auto-sized field, a comb
// field, a check box, a radio group, a multi-line field and a field of two widgets is
// compiled by carvel, filled by tessaro, and read back by qpdf and poppler (text and pixels).
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/pdf_file.h"
#include "tests/support/run_tools.h"

namespace {

std::string bin_dir() {
    std::string t = tt::tessaro();
    return t.substr(0, t.rfind('/'));
}

// A PDF file from its objects (numbered from 1), with a correct cross-reference table.
std::string make_pdf(std::vector<std::string> objects) {
    objects.insert(objects.begin(), "");
    return tt::pdf_from_objects(objects, "%PDF-1.4\n");
}

using tt::pdf_stream;

std::string appearance(int w, int h, const std::string& data) {
    return tt::form_xobject(w, h, data, " /Resources << /Font << /Helv 5 0 R >> >>");
}

// The fixture form (one page of 300 x 300 points).
std::string fixture_form() {
    const std::string off_box = "0 0 0 RG 1 1 13 13 re S";
    const std::string on_box = off_box + " 0 0 0 rg 4 4 7 7 re f";
    std::vector<std::string> o(36);
    o[0] = "<< /Type /Catalog /Pages 2 0 R /AcroForm 4 0 R >>";
    o[1] = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
    o[2] =
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Resources << /Font << /Helv 5 "
        "0 R >> >> /Contents 6 0 R /Annots [10 0 R 12 0 R 14 0 R 16 0 R 18 0 R 20 0 R 21 0 R "
        "26 0 R 28 0 R 30 0 R 31 0 R 33 0 R 35 0 R 38 0 R] >>";
    o[3] =
        "<< /Fields [10 0 R 12 0 R 14 0 R 16 0 R 19 0 R 21 0 R 25 0 R 30 0 R 31 0 R 33 0 R 35 0 R] "
        "/DR << "
        "/Font << "
        "/Helv 5 "
        "0 R >> >> /DA (/Helv 0 Tf 0 g) >>";
    o[4] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>";
    o[5] = pdf_stream("", "BT /Helv 8 Tf 10 288 Td (Fixture) Tj ET");
    auto widget = [](const std::string& rest, int ap) {
        return "<< /Type /Annot /Subtype /Widget /F 4 /P 3 0 R " + rest + " /AP << /N " +
               std::to_string(ap) + " 0 R >> >>";
    };
    // 10: one line, auto size, blue in the default appearance only.
    o[9] = widget("/FT /Tx /T (auto) /Rect [20 230 140 260] /DA (/Helv 0 Tf 0 0 1 rg)", 11);
    o[10] = appearance(120, 30, "/Tx BMC EMC");
    // 12: comb of five cells.
    o[11] = widget(
        "/FT /Tx /T (comb) /Ff 16777216 /MaxLen 5 /Rect [20 180 170 205] /DA (/Helv 12 Tf 0 g)",
        13);
    o[12] = appearance(150, 25, "/Tx BMC EMC");
    // 14: check box; 15 its on state, 23 the off state of every button.
    o[13] =
        "<< /Type /Annot /Subtype /Widget /F 4 /P 3 0 R /FT /Btn /T (agree) /Rect [200 230 214 "
        "244] /V /Off /AS /Off /AP << /N << /Yes 15 0 R /Off 23 0 R >> >> >>";
    o[14] = appearance(14, 14, on_box);
    // 16: a field whose font lacks some characters of the value.
    o[15] = widget("/FT /Tx /T (name) /Rect [20 130 200 155] /DA (/Helv 12 Tf 0 g)", 17);
    o[16] = appearance(180, 25, "/Tx BMC EMC");
    // 19: radio group with kids 18 (state A, export value Alpha), 20 and 38 (states named by
    // long export values, longer than a name record holds and alike in their first 31 bytes;
    // export values Beta and Gamma).
    o[17] =
        "<< /Type /Annot /Subtype /Widget /F 4 /P 3 0 R /Parent 19 0 R /Rect [200 180 214 194] "
        "/AS /Off /AP << /N << /A 24 0 R /Off 23 0 R >> >> >>";
    o[18] =
        "<< /FT /Btn /Ff 49152 /T (choice) /V /Off /Kids [18 0 R 20 0 R 38 0 R] /Opt [(Alpha) "
        "(Beta) (Gamma)] "
        ">>";
    o[19] =
        "<< /Type /Annot /Subtype /Widget /F 4 /P 3 0 R /Parent 19 0 R /Rect [230 180 244 194] "
        "/AS /Off /AP << /N << /B_named_by_a_long_export_value_Beta 24 0 R /Off 23 0 R >> >> "
        ">>";
    // 21: multi-line, auto size.
    o[20] = widget("/FT /Tx /T (notes) /Ff 4096 /Rect [20 20 200 110] /DA (/Helv 0 Tf 0 g)", 22);
    o[21] = appearance(180, 90, "/Tx BMC EMC");
    o[22] = appearance(14, 14, off_box);
    o[23] = appearance(14, 14, on_box);
    // 25: a field of two widgets, 26 and 28.
    o[24] = "<< /FT /Tx /T (photo) /DA (/Helv 10 Tf 0 g) /Kids [26 0 R 28 0 R] >>";
    o[25] =
        "<< /Type /Annot /Subtype /Widget /F 4 /P 3 0 R /Parent 25 0 R /Rect [220 20 280 60] "
        "/AP << /N 27 0 R >> >>";
    o[26] = appearance(60, 40, "/Tx BMC EMC");
    o[27] =
        "<< /Type /Annot /Subtype /Widget /F 4 /P 3 0 R /Parent 25 0 R /Rect [220 70 280 110] "
        "/AP << /N 29 0 R >> >>";
    o[28] = appearance(60, 40, "/Tx BMC EMC");
    // 30: push button.
    o[29] =
        "<< /Type /Annot /Subtype /Widget /F 4 /P 3 0 R /FT /Btn /Ff 65536 /T (go) /Rect [250 "
        "230 280 244] /AP << /N 37 0 R >> >>";
    // 31: combo box; 33: list box.
    o[30] = widget(
        "/FT /Ch /Ff 131072 /T (pick) /Opt [(Red) (Green)] /V (Red) /Rect [220 130 290 150] "
        "/DA (/Helv 10 Tf 0 g)",
        32);
    o[31] = appearance(70, 20, "/Tx BMC q BT /Helv 10 Tf 0 g 2 6 Td (Red) Tj ET Q EMC");
    o[32] = widget(
        "/FT /Ch /T (many) /Opt [(One) (Two) (Three)] /Rect [220 250 290 290] /DA (/Helv 10 Tf 0 "
        "g)",
        34);
    o[33] = appearance(70, 40, "/Tx BMC EMC");
    // 35: password field.
    o[34] = widget("/FT /Tx /T (pin) /Ff 8192 /Rect [150 130 210 150] /DA (/Helv 10 Tf 0 g)", 36);
    o[35] = appearance(60, 20, "/Tx BMC EMC");
    // 37: the push button's appearance, a grey face.
    o.push_back(appearance(30, 14, "0.9 g 0 0 30 14 re f"));
    o.push_back(
        "<< /Type /Annot /Subtype /Widget /F 4 /P 3 0 R /Parent 19 0 R /Rect [260 180 274 194] "
        "/AS /Off /AP << /N << /B_named_by_a_long_export_value_Gamma 24 0 R /Off 23 0 R >> >> "
        ">>");
    return make_pdf(o);
}

// A grey rendering of page 1 at 72 dpi (one pixel per point, y down).
struct Raster {
    int w = 0, h = 0;
    std::string px;
    // Pixels darker than the background in the PDF rectangle [x0 x1] x [y0 y1].
    int dark(int x0, int y0, int x1, int y1) const {
        int n = 0;
        for (int y = h - y1; y < h - y0; ++y)
            for (int x = x0; x < x1; ++x)
                if (x >= 0 && y >= 0 && x < w && y < h &&
                    static_cast<unsigned char>(px[static_cast<size_t>(y * w + x)]) < 128)
                    ++n;
        return n;
    }
};

Raster render(const tt::TempDir& d, const std::string& pdf) {
    std::string prefix = d.file("r");
    tt::run("pdftoppm -gray -r 72 -f 1 -l 1 -singlefile " + tt::sh_quote(pdf) + " " +
            tt::sh_quote(prefix));
    std::string pgm = tt::read_file(prefix + ".pgm");
    Raster r;
    int maxv = 0, used = 0;
    if (std::sscanf(pgm.c_str(), "P5 %d %d %d%n", &r.w, &r.h, &maxv, &used) != 3) return r;
    r.px = pgm.substr(static_cast<size_t>(used) + 1);
    return r;
}

class FormFill : public ::testing::Test {
  protected:
    tt::TempDir d;
    std::string tpl;
    void SetUp() override {
        std::string pdf = d.file("form.pdf");
        tt::write_file(pdf, fixture_form());
        tt::Result r = tt::run(tt::sh_quote(tt::carvel()) + " " + tt::sh_quote(pdf));
        ASSERT_EQ(r.status, 0) << r.out;
        tpl = pdf + ".tpl";
    }
    // Runs a UTF-8 script body between startPage and endPage (repeated `pages` times).
    std::string fill(const std::string& body, int pages = 1) {
        std::string out = d.file("out.pdf");
        std::string s = "Tessaro\nstart\t" + out + "\n";
        for (int p = 0; p < pages; ++p) s += "startPage\t" + tpl + "\n" + body + "endPage\n";
        tt::write_file(d.file("s.txt"), s + "finish\n");
        EXPECT_EQ(tt::run_tessaro(d.file("s.txt"), d.file("err.log"), bin_dir() + "/tessaro-utf8"),
                  0)
            << tt::read_file(d.file("err.log"));
        std::string report;
        EXPECT_TRUE(tt::qpdf_check(out, &report)) << report;
        return out;
    }
};

// The font sizes the output's appearance streams set for `font`.
std::vector<double> sizes(const std::string& pdf, const std::string& font) {
    std::string out = tt::read_file(pdf);
    std::vector<double> v;
    std::regex re("/" + font + " ([0-9.]+) Tf");
    for (auto it = std::sregex_iterator(out.begin(), out.end(), re); it != std::sregex_iterator();
         ++it)
        v.push_back(std::atof((*it)[1].str().c_str()));
    return v;
}

TEST_F(FormFill, AutoSizeFitsTheBoxAndKeepsTheDefaultColour) {
    std::string note = "Ring twice and leave the parcel at the desk when nobody answers the door";
    std::string out =
        fill("setPageFieldData\tauto\tFitted\nsetPageFieldData\tnotes\t" + note + "\n");
    std::string text = tt::pdftotext(out);
    EXPECT_NE(text.find("Fitted"), std::string::npos) << text;
    EXPECT_NE(text.find("nobody"), std::string::npos) << text;
    // One line: as large as the 30-point box allows (more than the 12 of a fixed default);
    // several lines: 12 points or less.
    std::string all = tt::read_file(out);
    EXPECT_NE(all.find("0 0 1 rg /Helv"), std::string::npos);
    std::vector<double> v = sizes(out, "Helv");
    bool big = false, small = false;
    for (double s : v) {
        big = big || (s > 16 && s < 30);
        small = small || (s >= 4 && s <= 12);
    }
    EXPECT_TRUE(big && small);
    Raster r = render(d, out);
    EXPECT_GT(r.dark(20, 230, 140, 260), 60);  // the one-line value
    EXPECT_GT(r.dark(20, 20, 200, 110), 60);   // the multi-line value
    EXPECT_EQ(r.dark(20, 230, 140, 236), 0);   // nothing drawn below the box's descent area
}

TEST_F(FormFill, CombFieldPutsOneCharacterInEachCell) {
    std::string out = fill("setPageFieldData\tcomb\t11111\n");
    // Text extraction reads the cells as the one value they hold.
    EXPECT_NE(tt::pdftotext(out).find("11111"), std::string::npos) << tt::pdftotext(out);
    Raster r = render(d, out);
    // Five cells of 30 points: each holds ink, centred (none at the cell borders).
    for (int c = 0; c < 5; ++c) {
        int x0 = 20 + 30 * c;
        EXPECT_GT(r.dark(x0 + 10, 180, x0 + 20, 205), 3) << "cell " << c;
        EXPECT_EQ(r.dark(x0, 180, x0 + 8, 205), 0) << "cell " << c;
        EXPECT_EQ(r.dark(x0 + 22, 180, x0 + 30, 205), 0) << "cell " << c;
    }
}

TEST_F(FormFill, PasswordFieldShowsAnAsteriskForEachCharacter) {
    std::string text = tt::pdftotext(fill("setPageFieldData\tpin\tcode42\n"));
    EXPECT_NE(text.find("******"), std::string::npos) << text;
    EXPECT_EQ(text.find("code42"), std::string::npos) << text;
}

TEST_F(FormFill, ButtonsSelectTheStateTheValueNames) {
    std::string out = fill(
        "setPageFieldData\tagree\tYes\nsetPageFieldData\tchoice\tB_named_by_a_long_export_value_"
        "Beta\n");
    Raster r = render(d, out);
    EXPECT_GT(r.dark(204, 234, 210, 240), 20);  // check box on
    EXPECT_EQ(r.dark(204, 184, 210, 190), 0);   // radio A off
    EXPECT_GT(r.dark(234, 184, 240, 190), 20);  // radio B on
    EXPECT_EQ(r.dark(264, 184, 270, 190), 0);   // its long-named sibling off
    // Unset, the buttons keep the form's own (off) appearance; the empty refill spares them.
    std::string plain = fill("");
    Raster p = render(d, plain);
    EXPECT_GT(p.dark(200, 230, 214, 244), 20);  // the box's frame
    EXPECT_EQ(p.dark(204, 234, 210, 240), 0);
    // An unknown state selects Off; a push button cannot take a value.
    fill("setPageFieldData\tagree\tMaybe\n");
    EXPECT_EQ(render(d, d.file("out.pdf")).dark(204, 234, 210, 240), 0);
    // An affirmative word checks a box whatever its on state is called; an export value
    // selects the button /Opt gives it to.
    fill("setPageFieldData\tagree\tx\nsetPageFieldData\tchoice\tAlpha\n");
    Raster e = render(d, d.file("out.pdf"));
    EXPECT_GT(e.dark(204, 234, 210, 240), 20);
    EXPECT_GT(e.dark(204, 184, 210, 190), 20);
    EXPECT_EQ(e.dark(234, 184, 240, 190), 0);
    // A state name in another case of its letters selects it too.
    fill("setPageFieldData\tchoice\ta\n");
    EXPECT_GT(render(d, d.file("out.pdf")).dark(204, 184, 210, 190), 20);
    tt::write_file(d.file("b.txt"), "Tessaro\nstart\t" + d.file("b.pdf") + "\nstartPage\t" + tpl +
                                        "\nsetPageFieldData\tgo\tx\n");
    EXPECT_EQ(tt::run_tessaro(d.file("b.txt"), d.file("b.log")), 255);
    EXPECT_EQ(tt::read_file(d.file("b.log")), "Undefined Field Appearance(go)\n");
}

TEST_F(FormFill, ChoicesShowOrSelectTheValue) {
    std::string out = fill("setPageFieldData\tpick\tGreen\nsetPageFieldData\tmany\tTwo\n");
    std::string text = tt::pdftotext(out);
    EXPECT_NE(text.find("Green"), std::string::npos) << text;
    EXPECT_EQ(text.find("Red"), std::string::npos) << text;
    tt::Result r = tt::run("qpdf --show-object=33 " + tt::sh_quote(out), false);
    EXPECT_TRUE(std::regex_search(r.out, std::regex("/I \\[ 1 \\]"))) << r.out;
    // The combo box's value is its /V too (viewers drawing a control of their own show that).
    r = tt::run("qpdf --show-object=31 " + tt::sh_quote(out), false);
    EXPECT_NE(r.out.find("/I [ 1 ]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("/V (Green)"), std::string::npos) << r.out;
    // Unset, the combo box keeps the form's appearance.
    EXPECT_NE(tt::pdftotext(fill("")).find("Red"), std::string::npos);
}

TEST_F(FormFill, AUtf8ScriptsBackslashIsABackslash) {
    // The yen sign has a code of its own in UTF-8; setYenSign still asks for it.
    EXPECT_NE(tt::pdftotext(fill("setPageFieldData\tname\tC:\\tmp\n")).find("C:\\tmp"),
              std::string::npos);
    EXPECT_NE(tt::pdftotext(fill("setYenSign\t1\nsetPageFieldData\tname\t5\\\n")).find("5\xc2\xa5"),
              std::string::npos);
}

TEST_F(FormFill, FallbackFontsShowWhatTheFieldFontCannot) {
    // e-diaeresis is in the field's WinAnsi font, the euro sign is not a single-byte code
    // point, Polish and Ukrainian letters are beyond WinAnsi, the kanji are in no Latin font.
    std::string value =
        "Zo\xc3\xab \xe2\x82\xac"
        "5 \xc5\x81\xc3\xb3"
        "d\xc5\xba \xd0\x9a\xd0\xb8\xd1\x97\xd0\xb2 \xe6\x97\xa5\xe6\x9c\xac";
    std::string out = fill("setPageFieldData\tname\t" + value + "\n");
    std::string text = tt::pdftotext(out);
    EXPECT_NE(text.find("Zo\xc3\xab"), std::string::npos) << text;
    EXPECT_NE(text.find("\xe2\x82\xac"
                        "5"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\xe6\x97\xa5\xe6\x9c\xac"), std::string::npos) << text;
    EXPECT_NE(text.find("\xc5\x81\xc3\xb3"
                        "d\xc5\xba"),
              std::string::npos)
        << text;                                                                          // Lodz
    EXPECT_NE(text.find("\xd0\x9a\xd0\xb8\xd1\x97\xd0\xb2"), std::string::npos) << text;  // Kyiv
    std::string all = tt::read_file(out);
    EXPECT_NE(all.find("/TsFbHelv "), std::string::npos);
    EXPECT_NE(all.find("/TsFbHelvX"), std::string::npos);
    EXPECT_NE(all.find("/TsFbHelvY"), std::string::npos);
    EXPECT_NE(all.find("/TsFbJpn"), std::string::npos);
    Raster r = render(d, out);
    EXPECT_GT(r.dark(64, 130, 100, 155), 30);  // the kanji are drawn, right of the Latin
}

TEST_F(FormFill, FieldsOfEveryPageAreInTheOneForm) {
    std::string out = fill("setPageFieldData\tauto\tA\n", 3);
    tt::Result r = tt::run("qpdf --json --json-key=acroform " + tt::sh_quote(out), false);
    int widgets = 0;
    for (size_t p = r.out.find("\"annotation\""); p != std::string::npos;
         p = r.out.find("\"annotation\"", p + 1))
        ++widgets;
    EXPECT_EQ(widgets, 3 * 14) << r.out.substr(0, 2000);
}

TEST_F(FormFill, CheckBoxesAndComboBoxesRepeatAsArrays) {
    std::string out = fill(
        "makeArrayPageField\tagree\t3\t20\nmakeArrayPageField\tpick\t2\t30\n"
        "setPageFieldData\tagree__2\tYes\nsetPageFieldData\tpick__2\tGreen\n");
    Raster r = render(d, out);
    EXPECT_LT(r.dark(204, 234, 210, 240), 5);   // agree__1 stays off
    EXPECT_GT(r.dark(204, 214, 210, 220), 25);  // agree__2, 20 points down, is on
    EXPECT_LT(r.dark(204, 194, 210, 200), 5);   // agree__3 off
    EXPECT_NE(tt::pdftotext(out).find("Green"), std::string::npos);
}

TEST_F(FormFill, FieldImageGoesIntoEveryWidget) {
    std::string png = d.file("dot.png");
    tt::Result c = tt::run("convert -size 8x8 xc:black " + tt::sh_quote(png));
    if (c.status != 0) GTEST_SKIP() << "ImageMagick not available";
    // A push button takes one too: forms give their photo and signature places as buttons.
    std::string out = fill("setPageFieldImageData\tphoto\t" + png + "\t0\t0\t0\t0\n" +
                           "setPageFieldImageData\tgo\t" + png + "\t0\t0\t0\t0\n");
    Raster r = render(d, out);
    EXPECT_GT(r.dark(220, 20, 280, 60), 300);
    EXPECT_GT(r.dark(220, 70, 280, 110), 300);
    EXPECT_GT(r.dark(250, 230, 280, 244), 100);
}

}  // namespace

TEST_F(FormFill, TheFormNamesTheDefaultFontsOfEveryTemplate) {
    // A second form whose default resources name a font the first form's lack.
    std::vector<std::string> o(6);
    o[0] = "<< /Type /Catalog /Pages 2 0 R /AcroForm 4 0 R >>";
    o[1] = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
    o[2] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Annots [6 0 R] >>";
    o[3] = "<< /Fields [6 0 R] /DR << /Font << /TiRo 5 0 R >> >> /DA (/TiRo 12 Tf 0 g) >>";
    o[4] = "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman /Encoding /WinAnsiEncoding >>";
    o[5] =
        "<< /Type /Annot /Subtype /Widget /F 4 /P 3 0 R /FT /Tx /T (other) /Rect [20 20 200 "
        "50] >>";
    std::string second = d.file("second.pdf");
    tt::write_file(second, make_pdf(o));
    ASSERT_EQ(tt::run(tt::sh_quote(tt::carvel()) + " " + tt::sh_quote(second)).status, 0);
    std::string out = d.file("two.pdf");
    tt::write_file(d.file("two.txt"), "Tessaro\nstart\t" + out + "\nstartPage\t" + tpl +
                                          "\nendPage\nstartPage\t" + second +
                                          ".tpl\nsetPageFieldData\tother\tZq\nendPage\nfinish\n");
    ASSERT_EQ(tt::run_tessaro(d.file("two.txt"), d.file("two.log")), 0)
        << tt::read_file(d.file("two.log"));
    std::string report;
    EXPECT_TRUE(tt::qpdf_check(out, &report)) << report;
    auto show = [&](const std::string& obj) {
        return tt::run("qpdf --show-object=" + obj + " " + tt::sh_quote(out), false).out;
    };
    std::smatch m;
    std::string text = show("trailer");
    ASSERT_TRUE(std::regex_search(text, m, std::regex("/Root (\\d+) 0 R"))) << text;
    text = show(m[1]);
    ASSERT_TRUE(std::regex_search(text, m, std::regex("/AcroForm (\\d+) 0 R"))) << text;
    text = show(m[1]);
    ASSERT_TRUE(std::regex_search(text, m, std::regex("/DR << /Font (\\d+) 0 R"))) << text;
    text = show(m[1]);
    EXPECT_TRUE(std::regex_search(text, m, std::regex("/Helv \\d+ 0 R"))) << text;
    ASSERT_TRUE(std::regex_search(text, m, std::regex("/TiRo (\\d+) 0 R"))) << text;
    EXPECT_NE(show(m[1]).find("/Times-Roman"), std::string::npos);
}
