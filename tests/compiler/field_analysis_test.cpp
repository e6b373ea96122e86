// Widget field analysis and font analysis on small PDFs compiled in memory.
#include "compiler/field_analysis.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <utility>
#include <vector>

#include "compile_helpers.h"
#include "compiler/compiler_state.h"
#include "compiler/font_analysis.h"
#include "multibyte/char_width.h"
#include "multibyte/standard_fonts.h"
#include "store/field_extras.h"
#include "store/width_arrays.h"

namespace {

std::string stream_obj(int n, const std::string& dict, const std::string& data) {
    return std::to_string(n) + " 0 obj <<" + dict + "/Length " + std::to_string(data.size()) +
           ">>\nstream\n" + data + "\nendstream\nendobj\n";
}

// A form: catalog 1, AcroForm 2 with default resources naming font 5 as /Helv, page 3,
// widget 10 whose appearance is object 11.
std::string form(const std::string& widget_extra, const std::string& ap_dict,
                 const std::string& ap_text, const std::string& more = "") {
    return pdf_with(
        "1 0 obj <</Type/Catalog/Pages 4 0 R/AcroForm 2 0 R>> endobj\n"
        "2 0 obj <</Fields [10 0 R]/DR <</Font <</Helv 5 0 R>>>>>> endobj\n"
        "4 0 obj <</Type/Pages/Kids [3 0 R]/Count 1>> endobj\n"
        "3 0 obj <</Type/Page/Parent 4 0 R/MediaBox [0 0 612 792]/Annots [10 0 R]>> endobj\n"
        "5 0 obj <</Type/Font/Subtype/Type1/BaseFont/Helvetica>> endobj\n"
        "10 0 obj <</Type/Annot/Subtype/Widget/FT/Tx/T (f1)/Rect [0 0 200 20]" +
        widget_extra + "/AP <</N 11 0 R>>>> endobj\n" + stream_obj(11, ap_dict, ap_text) + more);
}

// Catalog 1, AcroForm 2 holding `acroform`, an empty page tree 4 and the Type1 font 5.
std::string form_head(const std::string& acroform, const std::string& base_font = "Helvetica") {
    return "1 0 obj <</Type/Catalog/Pages 4 0 R/AcroForm 2 0 R>> endobj\n"
           "2 0 obj <<" +
           acroform +
           ">> endobj\n"
           "4 0 obj <</Type/Pages/Kids []/Count 0>> endobj\n"
           "5 0 obj <</Type/Font/Subtype/Type1/BaseFont/" +
           base_font + ">> endobj\n";
}

const std::string k_ap_helv = "/BBox [0 0 200 20]/Resources <</Font <</Helv 5 0 R>>>>";

const st_field& field(int i = 0) {
    return g_st.p_field_strage[i];
}

TEST(FieldAnalysis, DefaultAppearanceGivesSizesAndLines) {
    // A stored font of height 1000 (FontBBox 0 1000), in the three layout variants.
    std::string jp =
        "6 0 obj <</Type/Font/Subtype/Type0/BaseFont/HeiseiMin-W3/Encoding/UniJIS-UCS2-H"
        "/DescendantFonts [7 0 R]>> endobj\n"
        "7 0 obj <</Type/Font/Subtype/CIDFontType0/FontDescriptor 8 0 R/DW 1000>> endobj\n"
        "8 0 obj <</Type/FontDescriptor/FontBBox [0 0 1000 1000]>> endobj\n";
    std::string pdf = form("/DA (/HeiseiMin-W3 12 Tf 0 g)",
                           "/BBox [0 0 200 20]/Resources <</Font <</HeiseiMin-W3 6 0 R>>>>",
                           "/Tx BMC q BT /HeiseiMin-W3 12 Tf 0 g 2 5.5 Td (x) Tj ET Q EMC", jp);
    struct Case {
        const char* program;
        float line_start;
    };
    for (Case c : {Case{"carvel", 6}, Case{"carvel-merlow", 6.4f}, Case{"carvel-merlow14", 4}}) {
        SCOPED_TRACE(c.program);
        ASSERT_EQ(compile_text(pdf, c.program), CompileStatus::ok);
        ASSERT_EQ(g_st.num_field_strage, 1);
        const st_field& f = field();
        EXPECT_STREQ(f.name, "f1");
        EXPECT_EQ(f.obj_no, 10);
        EXPECT_STREQ(f.short_name, "HeiseiMin-W3");
        EXPECT_EQ(f.font_no, 0);
        EXPECT_EQ(f.font_size, 12);
        EXPECT_EQ(f.font_size10, 120);
        EXPECT_FLOAT_EQ(f.space_w, 2);
        EXPECT_FLOAT_EQ(f.width, 196);
        EXPECT_FLOAT_EQ(f.line_feed, 12);
        EXPECT_FLOAT_EQ(f.line_start, c.line_start);
        EXPECT_EQ(f.f_q_op, 1);
        EXPECT_EQ(f.f_ap, 1);
        EXPECT_STREQ(f.start_str, "/Tx BMC q BT /HeiseiMin-W3 12 Tf 0 g ");
        EXPECT_EQ(g_st.p_font_strage[0].encoding, 'U');
    }
}

TEST(FieldAnalysis, StandardFontsBorderAlignmentAndHalfSizes) {
    ASSERT_EQ(compile_text(form("/DA (/Helv 10.5 Tf 0 g)/Q 2/BS <</W 3>>/Ff 4096", k_ap_helv,
                                "/Tx BMC BT /Helv 10.5 Tf 0 g 1 0 0 1 4 4 Tm (x) Tj ET EMC")),
              CompileStatus::ok);
    const st_field& f = field();
    EXPECT_EQ(f.font_no, -20);
    EXPECT_EQ(f.font_size, 10);
    EXPECT_EQ(f.font_size10, 105);
    EXPECT_EQ(f.align, 2);
    // A 3-point border sets the text in by 6, as viewers set it.
    EXPECT_FLOAT_EQ(f.space_w, 6);
    EXPECT_FLOAT_EQ(f.width, 188);
    EXPECT_FLOAT_EQ(f.line_feed, 1156 * 105 / 10000.0f);
    EXPECT_FLOAT_EQ(f.line_start, 6);  // below the allowance: raised to it
    EXPECT_EQ(f.f_q_op, 0);
    EXPECT_STREQ(f.start_str, "/Tx BMC BT /Helv 10.5 Tf 0 g ");
    EXPECT_EQ(g_st.num_font_strage, 0);
    // A width written as a real counts too.
    ASSERT_EQ(compile_text(form("/DA (/Helv 10 Tf 0 g)/BS <</W 3.0>>", k_ap_helv, "/Tx BMC EMC")),
              CompileStatus::ok);
    EXPECT_FLOAT_EQ(field().space_w, 6);
}

TEST(FieldAnalysis, BoxBelowTheOriginKeepsTheTextInside) {
    // /BBox [10 -4 110 12]: the text starts at the box's corner plus the allowance of 2.
    ASSERT_EQ(compile_text(form("/DA (/Helv 12 Tf 0 g)/Rect [0 0 100 16]",
                                "/BBox [10 -4 110 12]/Resources <</Font <</Helv 5 0 R>>>>",
                                "/Tx BMC EMC")),
              CompileStatus::ok);
    const st_field& f = field();
    EXPECT_FLOAT_EQ(f.space_w, 12);
    EXPECT_FLOAT_EQ(f.width, 96);
    EXPECT_FLOAT_EQ(f.line_start, -2);  // 12 - 2 - 13.872 lies below the bottom allowance
}

TEST(FieldAnalysis, FontFromDefaultResourcesIsEnteredInTheAppearance) {
    ASSERT_EQ(compile_text(form("/DA (/Helv 12 Tf 0 g)",
                                "/BBox [0 0 200 20]/Resources <</Font <<>>>>", "/Tx BMC EMC")),
              CompileStatus::ok);
    const st_field& f = field();
    EXPECT_EQ(f.font_no, -20);
    EXPECT_EQ(get_elem_objref(11, nullptr, "Helv"), 5);
    // An empty appearance gets a text object opened with the default appearance.
    EXPECT_STREQ(f.start_str, "/Tx BMC BT /Helv 12 Tf 0 g ");
    EXPECT_EQ(f.f_q_op, 0);
    EXPECT_EQ(f.f_ap, 1);
}

TEST(FieldAnalysis, FontGivenAsADirectDictionaryGetsAnObjectOfItsOwn) {
    // As some form libraries write it: the font inside the appearance's resources.
    ASSERT_EQ(compile_text(form("/DA (/Helv 9 Tf 0 g)",
                                "/BBox [0 0 200 20]/Resources <</Font <</Helv <</Type/Font"
                                "/Subtype/Type1/BaseFont/Helvetica/Encoding/WinAnsiEncoding>>"
                                "/ZaDb 5 0 R>>>>",
                                "/Tx BMC EMC")),
              CompileStatus::ok);
    EXPECT_EQ(field().f_ap, 1);
    const int font = get_elem_objref(11, nullptr, "Helv");
    ASSERT_GT(font, 11);
    EXPECT_STREQ(get_elem_name(font, nullptr, "Encoding"), "WinAnsiEncoding");
    // One /Helv entry, the reference, and none of the dictionary's own keys left in place.
    EXPECT_EQ(chain_of(11).find("Helv:{"), std::string::npos) << chain_of(11);
    EXPECT_EQ(chain_of(11).find("BaseFont"), std::string::npos) << chain_of(11);
    // The dictionaries around it keep their other entries and their ends.
    EXPECT_NE(chain_of(11).find("ZaDb:R Font:} Resources:}"), std::string::npos) << chain_of(11);
}

TEST(FieldAnalysis, LongDrawingBeforeTheTextIsKeptAsAFormOfItsOwn) {
    // Comb cells drawn line by line before the text: more than the record holds.
    std::string cells = "0 0 0 RG 1 w";
    for (int x = 10; x < 200; x += 10)
        cells += " " + std::to_string(x) + " 0 m " + std::to_string(x) + " 20 l S";
    ASSERT_GT(cells.size(), 256u);
    ASSERT_EQ(
        compile_text(form("/DA (/Helv 9 Tf 0 g)", k_ap_helv,
                          "q " + cells + " Q /Tx BMC q BT /Helv 9 Tf 0 g 2 5 Td (ET) Tj ET Q EMC")),
        CompileStatus::ok);
    EXPECT_EQ(field().f_ap, 1);
    const int ap = get_xref_absolute(10, "N");
    ASSERT_GT(ap, 11);
    EXPECT_NE(std::string(field().start_str).find("/KsFrame Do"), std::string::npos);
    const int drawing = get_elem_objref(ap, "XObject", "KsFrame");
    ASSERT_GT(drawing, 11);
    const std::string kept = str_of(get_elem(drawing, LABEL_STREAM));
    EXPECT_NE(kept.find(cells), std::string::npos) << kept;
    EXPECT_EQ(kept.find("BT"), std::string::npos) << kept;
    EXPECT_NE(get_elem(drawing, "Helv"), -1);  // the drawing's resources came along
}

TEST(FieldAnalysis, ResourcesInObjectsOfTheirOwnAndNone) {
    std::string more = "12 0 obj <</Font 13 0 R>> endobj\n13 0 obj <</F9 5 0 R>> endobj\n";
    ASSERT_EQ(compile_text(form("/DA (/F9 9 Tf 0 g)", "/BBox [0 0 200 20]/Resources 12 0 R",
                                "/Tx BMC q BT /F9 9 Tf 0 g 2 3 Td (old) Tj ET Q EMC", more)),
              CompileStatus::ok);
    EXPECT_EQ(field().font_no, -20);
    EXPECT_EQ(field().f_ap, 1);
    // No resources at all: a Font dictionary is made for the default resources' font.
    ASSERT_EQ(compile_text(form("/DA (/Helv 9 Tf 0 g)", "/BBox [0 0 200 20]", "/Tx BMC EMC")),
              CompileStatus::ok);
    EXPECT_EQ(field().f_ap, 1);
    EXPECT_EQ(get_elem_objref(11, nullptr, "Helv"), 5);
    EXPECT_NE(chain_of(11).find("Resources:{ Font:{ Helv:R"), std::string::npos) << chain_of(11);
}

TEST(FieldAnalysis, AppearanceFontNamedOtherwiseIsRenamedOnlyAsAnOperand) {
    // The appearance names the default appearance's font /Fx: its text takes the name /Helv.
    ASSERT_EQ(compile_text(form("/DA (/Helv 9 Tf 0 g)",
                                "/BBox [0 0 200 20]/Resources <</Font <</Fx 5 0 R>>>>",
                                "/Tx BMC q BT /Fx 9 Tf 0 g 2 3 Td (Fx) Tj ET Q EMC")),
              CompileStatus::ok);
    EXPECT_STREQ(field().start_str, "/Tx BMC q BT /Helv 9 Tf 0 g ");
    // The default appearance's font is among the appearance's fonts, after another whose
    // name begins its own: nothing is renamed.
    ASSERT_EQ(
        compile_text(form("/DA (/Helv2 9 Tf 0 g)",
                          "/BBox [0 0 200 20]/Resources <</Font <</Helv 5 0 R/Helv2 5 0 R>>>>",
                          "/Tx BMC q BT /Helv2 9 Tf 0 g 2 3 Td (x) Tj ET Q EMC")),
        CompileStatus::ok);
    EXPECT_STREQ(field().start_str, "/Tx BMC q BT /Helv2 9 Tf 0 g ");
}

TEST(FieldAnalysis, RecordsWithoutAFillableAppearance) {
    // A /DA without a font operator (a colour only, or bytes that are no operators at all),
    // or with an empty font name (as Scribus writes it): Helvetica, as viewers show it; the
    // colour stays; the size is the one given, else fitted to the box.
    const struct {
        const char* da;
        const char* start;
    } das[] = {{"(0 0 1 rg)", "/Tx BMC BT /Helv 0 Tf 0 0 1 rg "},
               {"<00ff8a28>", "/Tx BMC BT /Helv 0 Tf 0 g "},
               {"(/ 12 Tf 0 g)", "/Tx BMC BT /Helv 12 Tf 0 g "}};
    for (const auto& d : das) {
        ASSERT_EQ(compile_text(form(std::string("/Q 1/DA ") + d.da, k_ap_helv, "/Tx BMC EMC")),
                  CompileStatus::ok);
        EXPECT_EQ(field().align, 1);
        EXPECT_EQ(field().f_ap, 1);
        EXPECT_STREQ(field().start_str, d.start) << d.da;
    }
    // A font named nowhere: shown in the standard font its name stands for, as viewers do.
    ASSERT_EQ(compile_text(form("/DA (/Nope 9 Tf)", k_ap_helv, "/Tx BMC EMC")), CompileStatus::ok);
    EXPECT_EQ(field().f_ap, 1);
    EXPECT_EQ(field().font_no, -get_standard_font_no("Helvetica"));
    EXPECT_TRUE(g_cc.field_errors.empty());
    ASSERT_EQ(compile_text(form("/DA (/Cour 9 Tf)", k_ap_helv, "/Tx BMC EMC")), CompileStatus::ok);
    EXPECT_EQ(field().font_no, -get_standard_font_no("Courier"));
    // No /DA anywhere: Helvetica sized to the box, as viewers show it; or the font, size and
    // colour the field's own appearance sets (as jsPDF writes fields).
    ASSERT_EQ(compile_text(form("", k_ap_helv, "/Tx BMC EMC")), CompileStatus::ok);
    EXPECT_EQ(field().f_ap, 1);
    EXPECT_EQ(field().font_no, -get_standard_font_no("Helvetica"));
    ASSERT_EQ(
        compile_text(form("", k_ap_helv, "/Tx BMC BT 0 0 1 rg /Helv 9 Tf 2 5 Td (x) Tj ET EMC")),
        CompileStatus::ok);
    EXPECT_EQ(field().font_size, 9);
    EXPECT_STREQ(field().start_str, "/Tx BMC BT 0 0 1 rg /Helv 9 Tf ");
    // No /T: no record; a widget without /Type still counts.
    std::string pdf = form("/DA (/Helv 9 Tf)", k_ap_helv, "/Tx BMC EMC");
    pdf.replace(pdf.find("/T (f1)"), 7, "");
    ASSERT_EQ(compile_text(pdf), CompileStatus::ok);
    EXPECT_EQ(g_st.num_field_strage, 0);
    pdf = form("/DA (/Helv 9 Tf)", k_ap_helv, "/Tx BMC EMC");
    pdf.replace(pdf.find("/Type/Annot"), 11, "");
    ASSERT_EQ(compile_text(pdf), CompileStatus::ok);
    EXPECT_EQ(g_st.num_field_strage, 1);
}

TEST(FieldAnalysis, PushButtonCaptionKeepsTheSizeOfAnUnnamedFont) {
    // As Scribus writes a button's /DA: "/ 12 Tf". The caption is drawn at 12 points.
    ASSERT_EQ(compile_text(pdf_with(
                  form_head("/Fields [10 0 R]/NeedAppearances true/DR <</Font <</Helv 5 0 R>>>>") +
                  "10 0 obj <</Type/Annot/Subtype/Widget/FT/Btn/Ff 65536/T (go)/DA (/ 12 Tf 0 g)"
                  "/MK <</CA (Go)>>/Rect [0 0 80 30]>> endobj\n")),
              CompileStatus::ok);
    const int ap = get_xref_absolute(10, "N");
    ASSERT_GT(ap, 10);
    EXPECT_NE(str_of(get_elem(ap, LABEL_STREAM)).find("/Helv 12.00 Tf"), std::string::npos)
        << str_of(get_elem(ap, LABEL_STREAM));
}

TEST(FieldAnalysis, WidgetsSharingAParentAndFlateAppearances) {
    std::string text = "/Tx BMC q BT /Helv 12 Tf 0 g 2 5.5 Td (x) Tj ET Q EMC";
    uLongf n = compressBound(text.size());
    std::string z(n, '\0');
    compress(reinterpret_cast<Bytef*>(z.data()), &n, reinterpret_cast<const Bytef*>(text.data()),
             text.size());
    z.resize(n);
    std::string pdf =
        form_head("/Fields [9 0 R]/NeedAppearances true") +
        "9 0 obj <</T (shared)/DA (/Helv 12 Tf 0 g)/Kids [10 0 R 12 0 R]>> endobj\n"
        "10 0 obj <</Type/Annot/Subtype/Widget/Parent 9 0 R/AP <</N 11 0 R>>>> endobj\n"
        "12 0 obj <</Type/Annot/Subtype/Widget/Parent 9 0 R/AP <</N 11 0 R>>>> endobj\n" +
        stream_obj(11, k_ap_helv + "/Filter/FlateDecode", z);
    ASSERT_EQ(compile_text(pdf_with(pdf)), CompileStatus::ok);
    ASSERT_EQ(g_st.num_field_strage, 2);
    EXPECT_STREQ(field(0).name, "shared");
    EXPECT_STREQ(field(1).name, "shared");
    EXPECT_EQ(field(1).obj_no, 12);
    EXPECT_STREQ(field(0).start_str, "/Tx BMC q BT /Helv 12 Tf 0 g ");
    // Tessaro writes the appearances; viewers must not rebuild them from stored values.
    EXPECT_EQ(g_st.p_elem_strage[get_elem(2, "NeedAppearances")].f_type, 0);
    // An empty Flate stream (as some writers compress even empty ones) and damaged Flate
    // data: the field is fillable all the same, through the appearance a viewer would draw
    // for the damaged one, and nothing is reported.
    for (const std::string& data : {std::string(), std::string("\x78\x9c garbage")}) {
        ASSERT_EQ(
            compile_text(form("/DA (/Helv 9 Tf 0 g)", k_ap_helv + "/Filter/FlateDecode", data)),
            CompileStatus::ok);
        EXPECT_EQ(field().f_ap, 1) << data.size();
        EXPECT_TRUE(g_cc.field_errors.empty()) << data.size();
    }
}

TEST(FieldAnalysis, XfaAndUsageRightsDropped) {
    // Viewers reading the XFA description would show its data, not the filled widgets; a
    // usage-rights or certification signature would be reported broken by every filled copy.
    auto compiled = [](const std::string& catalog_extra) {
        std::string pdf = form("/DA (/Helv 9 Tf 0 g)", k_ap_helv, "/Tx BMC EMC");
        pdf.insert(pdf.find("/Fields"), "/XFA [(template) 12 0 R]");
        pdf.insert(pdf.find("/AcroForm"), catalog_extra);
        EXPECT_EQ(compile_text(pdf), CompileStatus::ok);
        EXPECT_EQ(g_st.num_field_strage, 1);
    };
    compiled("/Perms <</UR3 13 0 R/DocMDP 14 0 R>>");
    EXPECT_EQ(dict_entry(2, "XFA"), -1);
    EXPECT_EQ(Dict{1}.sub("Perms").find("UR3"), -1);
    EXPECT_EQ(Dict{1}.sub("Perms").find("DocMDP"), -1);
    // Pages drawn from the XFA description alone keep it.
    compiled("/NeedsRendering true");
    EXPECT_NE(dict_entry(2, "XFA"), -1);
}

TEST(FieldAnalysis, AppearancePrefix) {
    EXPECT_EQ(appearance_prefix("/Tx BMC q BT /F1 12 Tf 0 g 2 5.5 Td (x) Tj ET Q EMC"),
              "/Tx BMC q BT /F1 12 Tf 0 g ");
    EXPECT_EQ(appearance_prefix("/Tx BMC\nBT\n/F1 12 Tf\n2 -5.5 Td\n(x) Tj"),
              "/Tx BMC\nBT\n/F1 12 Tf\n");
    // The first of Tm, TL and Td decides.
    EXPECT_EQ(appearance_prefix("BT /F1 9 Tf 11 TL 1 0 0 1 2 3 Tm (x) Tj"), "BT /F1 9 Tf ");
    EXPECT_EQ(appearance_prefix("/Tx BMC EMC"), "/Tx BMC EMC");
    EXPECT_EQ(appearance_prefix(std::string(1200, ' ') + "2 3 Td"),
              std::string(1200, ' ') + "2 3 Td");
}

TEST(FontAnalysis, EncodingKinds) {
    for (auto [encoding, kind] : {std::pair{"90ms-RKSJ-H", 'S'},
                                  {"90msp-RKSJ-H", 'P'},
                                  {"WinAnsiEncoding", 'T'},
                                  {"UniJIS-UCS2-H", 'U'},
                                  {"UniJIS-UTF16-V", 'U'},
                                  {"Identity-H", 'S'}})
        EXPECT_EQ(encoding_kind_of(encoding), kind) << encoding;
}

TEST(FontAnalysis, WidthArrays) {
    double s[16];
    for (double& v : s) v = -1;
    std::string w = "1 [500 600] 10 20 700";
    read_cid_widths(w.data(), static_cast<int>(w.size()), s, 16);
    EXPECT_EQ(s[0], -1);
    EXPECT_EQ(s[1], 500);
    EXPECT_EQ(s[2], 600);
    EXPECT_EQ(s[3], -1);
    EXPECT_EQ(s[10], 700);
    EXPECT_EQ(s[15], 700);  // the range is cut at the last slot
    // Simple widths start at /FirstChar and keep their fractions.
    for (double& v : s) v = 0;
    std::string widths = " 250 333.5 500 x -5 2.5";
    read_simple_widths(widths.data(), static_cast<int>(widths.size()), s, 16, 3);
    EXPECT_EQ(s[2], 0);
    EXPECT_EQ(s[3], 250);
    EXPECT_EQ(s[4], 333.5);
    EXPECT_EQ(s[6], -5);
    EXPECT_EQ(s[7], 2.5);
    EXPECT_EQ(s[8], 0);
    // Stored in sixteenths when a width is fractional; measured back exactly.
    st_font f{};
    std::vector<double> all(FONT_WIDTHS, 0);
    all[65] = 556.25;
    all[66] = 1000;
    store_widths(f, all.data(), 0);
    EXPECT_EQ(f.width_scale, 16);
    EXPECT_FLOAT_EQ(char_width(0, 'T', 65, &f), 556.25f);
    EXPECT_FLOAT_EQ(char_width(0, 'T', 66, &f), 1000.0f);
    all[65] = 556;
    store_widths(f, all.data(), 0);
    EXPECT_EQ(f.width_scale, 0);
    EXPECT_EQ(f.width[65], 556);
}

TEST(FontAnalysis, RecordsAndCMapRewrite) {
    std::string fonts =
        "6 0 obj <</Type/Font/Subtype/Type0/BaseFont/KozMin/Encoding/UniJIS-UCS2-V"
        "/DescendantFonts [7 0 R]>> endobj\n"
        "7 0 obj <</Type/Font/Subtype/CIDFontType0/W [1 [500 600] 10 20 700]"
        "/FontDescriptor 8 0 R>> endobj\n"
        "8 0 obj <</Type/FontDescriptor/FontBBox [-100 -200 1000 900]>> endobj\n"
        "20 0 obj <</Type/Font/Subtype/TrueType/BaseFont/Arial/Encoding/WinAnsiEncoding"
        "/FirstChar 32/Widths [250 333 500]/DW 400/FontDescriptor 23 0 R>> endobj\n"
        "23 0 obj <</Type/FontDescriptor/FontBBox [-665 -325 2000 1040]/Ascent 905"
        "/Descent -212>> endobj\n"
        "21 0 obj <</Type/Font/Subtype/Type0/BaseFont/Unifont/Encoding/UniGB-UTF16-V"
        "/DescendantFonts [7 0 R]>> endobj\n"
        "22 0 obj <</Type/Font/Subtype/Type0/BaseFont/HeiseiMin-W3/Encoding/90ms-RKSJ-V"
        "/DescendantFonts [7 0 R]>> endobj\n";
    ASSERT_EQ(compile_text(form("/DA (/Helv 9 Tf)", k_ap_helv, "/Tx BMC EMC", fonts)),
              CompileStatus::ok);
    g_st.num_font_strage = 0;
    EXPECT_EQ(analyse_font(6), 0);
    const st_font& k = g_st.p_font_strage[0];
    EXPECT_STREQ(k.name, "KozMin");
    EXPECT_EQ(k.encoding, 'U');
    EXPECT_EQ(k.height, 1100);
    EXPECT_EQ(k.default_width, 1000);  // no /DW: the CID default
    EXPECT_EQ(k.width[0], 1000);
    EXPECT_EQ(k.width[2], 600);
    EXPECT_EQ(k.width[20], 700);
    EXPECT_STREQ(get_elem_name(6, nullptr, "Encoding"), "UniJIS-UCS2-H");
    EXPECT_EQ(analyse_font(6), 0);  // met before: the same record
    EXPECT_EQ(g_st.num_font_strage, 1);
    EXPECT_EQ(analyse_font(20), 1);
    const st_font& a = g_st.p_font_strage[1];
    EXPECT_EQ(a.encoding, 'T');
    EXPECT_EQ(a.height, 1150);    // from /Ascent to /Descent (1117), at least 1.15 em
    EXPECT_EQ(a.width[32], 250);  // the first width is that of /FirstChar
    EXPECT_EQ(a.width[34], 500);
    EXPECT_EQ(a.width[0], 400);
    EXPECT_EQ(a.width[35], 400);
    EXPECT_EQ(analyse_font(5), -20);
    // A Chinese font keeps its collection's CMap (a Japanese one would show none of its
    // glyphs), made horizontal.
    EXPECT_EQ(analyse_font(21), 2);
    EXPECT_EQ(g_st.p_font_strage[2].encoding, 'U');
    EXPECT_STREQ(get_elem_name(21, nullptr, "Encoding"), "UniGB-UTF16-H");
    // A vertical Shift_JIS CMap is made horizontal too.
    EXPECT_EQ(analyse_font(22), 3);
    EXPECT_EQ(g_st.p_font_strage[3].encoding, 'S');
    EXPECT_STREQ(get_elem_name(22, nullptr, "Encoding"), "90ms-RKSJ-H");

    // JIS X 0213 mode names the UTF-16 CMap, for new and known fonts alike.
    ASSERT_EQ(
        compile_text(form("/DA (/Helv 9 Tf)", k_ap_helv, "/Tx BMC EMC", fonts), "carvel-jisx0213"),
        CompileStatus::ok);
    g_st.num_font_strage = 0;
    analyse_font(6);
    EXPECT_STREQ(get_elem_name(6, nullptr, "Encoding"), "UniJIS-UTF16-H");
    analyse_font(6);
    EXPECT_STREQ(get_elem_name(6, nullptr, "Encoding"), "UniJIS-UTF16-H");
}

}  // namespace

namespace {

TEST(FieldAnalysis, CrossReferenceStreamFormFindsItsDefaultResources) {
    // The catalog is named only by the cross-reference stream: the AcroForm's /DR must
    // still be found, and /NeedAppearances dropped.
    std::string pdf = form("/DA (/Helv 9 Tf 0 g)", k_ap_helv, "/Tx BMC EMC");
    size_t x = pdf.find("xref\n0 1");
    ASSERT_NE(x, std::string::npos);
    pdf = pdf.substr(0, x) +
          "30 0 obj <</Type/XRef/Root 1 0 R/Size 31/W [1 2 1]/Index [0 31]/Length 0>>\nstream\n"
          "\nendstream\nendobj\nstartxref\n0\n%%EOF\n";
    size_t acro = pdf.find("/Fields");
    pdf.insert(acro, "/NeedAppearances true");
    ASSERT_EQ(compile_text(pdf), CompileStatus::ok);
    ASSERT_EQ(g_st.num_field_strage, 1);
    EXPECT_EQ(field().font_size, 9);
    EXPECT_TRUE(g_cc.field_errors.empty()) << g_cc.field_errors[0];
    EXPECT_EQ(g_st.p_elem_strage[get_elem(2, "NeedAppearances")].f_type, 0);
    EXPECT_EQ(get_trailer("W"), -1);
    EXPECT_EQ(get_trailer("Index"), -1);
}

TEST(FieldAnalysis, FontSizeBeyondTheRecordIsClampedWithAWarning) {
    ASSERT_EQ(compile_text(form("/DA (/Helv 99999999999 Tf 0 g)", k_ap_helv, "/Tx BMC EMC")),
              CompileStatus::ok);
    ASSERT_EQ(g_st.num_field_strage, 1);
    EXPECT_EQ(field().font_size, 3276);
    EXPECT_EQ(field().font_size10, 32760);
    ASSERT_EQ(g_cc.field_errors.size(), 1u);
    EXPECT_EQ(g_cc.field_errors[0], "Font size too large(f1), 3276 pt used.");
    ASSERT_EQ(compile_text(form("/DA (/Helv 10.5 Tf 0 g)", k_ap_helv, "/Tx BMC EMC")),
              CompileStatus::ok);
    EXPECT_EQ(field().font_size, 10);
    EXPECT_EQ(field().font_size10, 105);
}

std::string full_name_of(int i) {
    int len = 0;
    const char* s = field_full_name(i, &len);
    return s ? std::string(s, static_cast<size_t>(len)) : "<none>";
}

}  // namespace

TEST(FieldNames, AWidgetNoPageShowsAndNoFieldHoldsIsNoField) {
    // Widget 12, an editor's leftover, is neither listed by /Fields nor shown by a page.
    std::string pdf =
        form_head("/Fields [10 0 R]/DA (/Helv 0 Tf 0 g)/DR <</Font <</Helv 5 0 R>>>>") +
        "10 0 obj <</Type/Annot/Subtype/Widget/FT/Tx/T (live)/Rect [0 0 100 20]"
        "/AP <</N 11 0 R>>>> endobj\n" +
        stream_obj(11, k_ap_helv, "/Tx BMC EMC") +
        "12 0 obj <</Type/Annot/Subtype/Widget/FT/Tx/T (ghost)/removed true/Rect [0 0 100 20]"
        "/AP <</N 11 0 R>>>> endobj\n";
    ASSERT_EQ(compile_text(pdf_with(pdf)), CompileStatus::ok);
    ASSERT_EQ(g_st.num_field_strage, 1);
    EXPECT_EQ(full_name_of(0), "live");
    ASSERT_FALSE(g_cc.repairs.empty());
    EXPECT_EQ(g_cc.repairs.back(), "widgets on no page and in no field passed by (1 widget)");
}

TEST(FieldNames, FullNamesTypesAndFlagsThroughParents) {
    // form > "Séction" (UTF-16BE) > widget 10 ("café", PDFDocEncoding with an escape) and
    // kid widgets 12/13 of a radio group named in hex; a check box; a nameless middle node.
    std::string pdf =
        form_head("/Fields [20 0 R]/DA (/Helv 0 Tf 0 g)/DR <</Font <</Helv 5 0 R>>>>") +
        "20 0 obj <</T (form)/FT/Tx/Ff 4096/Kids [21 0 R 23 0 R]>> endobj\n"
        "21 0 obj <</T <FEFF0053 00E9 00630074 0069006F006E>/Parent 20 0 R/MaxLen 8"
        "/Kids [10 0 R]>> endobj\n"
        "10 0 obj <</Type/Annot/Subtype/Widget/Parent 21 0 R/T (caf\\351\\)\\nx)/F 6"
        "/Rect [0 0 100 20]/AP <</N 11 0 R>>>> endobj\n" +
        stream_obj(11, k_ap_helv, "/Tx BMC EMC") +
        "23 0 obj <</Parent 20 0 R/Kids [24 0 R]>> endobj\n"
        "24 0 obj <</T <726164696F2>/Parent 23 0 R/FT/Btn/Ff 49152/Kids [12 0 R 13 0 R]>> endobj\n"
        "12 0 obj <</Type/Annot/Subtype/Widget/Parent 24 0 R/AP <</N <</a 11 0 R>>>>>> endobj\n"
        "13 0 obj <</Type/Annot/Subtype/Widget/Parent 24 0 R/AP <</N <</b 11 0 R>>>>>> endobj\n"
        "14 0 obj <</Type/Annot/Subtype/Widget/T (tick)/FT/Btn/Rect [0 0 9 9]"
        "/AP <</N 11 0 R>>>> endobj\n"
        "15 0 obj <</T (1)/FT/Tx/Kids [16 0 R]>> endobj\n"
        "16 0 obj <</Type/Annot/Subtype/Widget/T ()/Parent 15 0 R/Rect [0 0 9 9]"
        "/AP <</N 11 0 R>>>> endobj\n"
        // The page shows the two fields the form does not list.
        "30 0 obj <</Type/Page/Parent 4 0 R/Annots [14 0 R 16 0 R]>> endobj\n";
    ASSERT_EQ(compile_text(pdf_with(pdf)), CompileStatus::ok);
    ASSERT_EQ(g_st.num_field_strage, 5);
    // An empty partial name adds no separator.
    EXPECT_EQ(full_name_of(4), "1");
    EXPECT_EQ(full_name_of(0), "form.Séction.café)\nx");
    EXPECT_STREQ(field(0).name, "café)\nx");
    const st_field_extra* x = field_extra(0);
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->type, FIELD_TYPE_TEXT);
    EXPECT_EQ(x->field_flags, 4096u);  // inherited from "form"
    EXPECT_EQ(x->max_len, 8);          // inherited from "Séction"
    EXPECT_EQ(x->annot_flags, 6u);
    EXPECT_EQ(field(0).f_ap, 1);
    EXPECT_EQ(field(0).font_size, 0);  // /DA from the AcroForm, auto size kept as 0
    // The odd hex digit counts as followed by 0: "radio ".
    EXPECT_EQ(full_name_of(1), "form.radio ");
    EXPECT_EQ(field_type(1), FIELD_TYPE_RADIO);
    EXPECT_EQ(field_type(2), FIELD_TYPE_RADIO);
    EXPECT_EQ(field(2).obj_no, 13);
    EXPECT_EQ(field_type(3), FIELD_TYPE_CHECKBOX);
    // Non-text widgets keep their appearance: no older path may fill them.
    for (int i = 1; i < 4; ++i) EXPECT_EQ(field(i).f_ap, 0) << i;
    EXPECT_EQ(find_field("form.Séction.café)\nx"), 0);
    EXPECT_EQ(find_field("tick"), 3);
    // NeedAppearances is never asked for.
    EXPECT_EQ(get_elem_absolute(2, "NeedAppearances"), -1);
}

TEST(FieldNames, KidWithoutParentLinkAndDefaultAppearanceWithoutFont) {
    // Field 20 lists widget 10 in /Kids, but 10 has no /Parent back to it; field 12's /DA
    // sizes a font it does not name, and the form's /DA names none either.
    std::string pdf =
        form_head("/Fields [20 0 R 12 0 R]/DA (0 g)/DR <</Font <</Helv 5 0 R>>>>") +
        "20 0 obj <</T (Text Box 1)/FT/Tx/DA (/Helv 9 Tf 0 g)/Kids [10 0 R]>> endobj\n"
        "10 0 obj <</Type/Annot/Subtype/Widget/Rect [0 0 200 20]/AP <</N 11 0 R>>>> endobj\n" +
        stream_obj(11, k_ap_helv, "/Tx BMC EMC") +
        "12 0 obj <</Type/Annot/Subtype/Widget/FT/Tx/T (text2)/DA (0 Tf 0 g)/Rect [0 30 200 50]"
        "/AP <</N 13 0 R>>>> endobj\n" +
        stream_obj(13, k_ap_helv, "/Tx BMC EMC");
    ASSERT_EQ(compile_text(pdf_with(pdf)), CompileStatus::ok);
    ASSERT_EQ(g_st.num_field_strage, 2);
    EXPECT_EQ(full_name_of(0), "Text Box 1");
    EXPECT_EQ(field(0).f_ap, 1);
    EXPECT_EQ(field(0).font_size, 9);
    EXPECT_EQ(get_elem_objref(10, nullptr, "Parent"), 20);
    ASSERT_EQ(g_cc.repairs.size(), 1u);
    EXPECT_EQ(g_cc.repairs[0], "fields linked to the field whose /Kids lists them (1 field)");
    // Shown in Helvetica, as viewers show it.
    EXPECT_EQ(field(1).f_ap, 1);
    EXPECT_STREQ(field(1).short_name, "Helv");
}

TEST(FieldNames, TheLastOfARepeatedKeyIsTheOneRead) {
    // pdfTeX's catalog names /AcroForm twice; readers take the last, which lists the field
    // and asks for appearances. The first is left out, with a nested repeat of /Helv.
    std::string pdf =
        "1 0 obj <</Type/Catalog/Pages 4 0 R/AcroForm 6 0 R/AcroForm 2 0 R>> endobj\n"
        "2 0 obj <</Fields [10 0 R]/NeedAppearances true/DR <</Font <</Helv 7 0 R/Helv 5 0 R>>>>"
        ">> endobj\n"
        "6 0 obj <</Fields []>> endobj\n"
        "4 0 obj <</Type/Pages/Kids []/Count 0>> endobj\n"
        "5 0 obj <</Type/Font/Subtype/Type1/BaseFont/Helvetica>> endobj\n"
        "10 0 obj <</Type/Annot/Subtype/Widget/FT/Tx/T (x)/DA (/Helv 9 Tf 0 g)/Rect [0 0 200 20]"
        "/AP <</N 11 0 R>>>> endobj\n" +
        stream_obj(11, "/BBox [0 0 200 20]", "/Tx BMC EMC");
    ASSERT_EQ(compile_text(pdf_with(pdf)), CompileStatus::ok);
    EXPECT_EQ(get_elem_objref(1, nullptr, "AcroForm"), 2);
    EXPECT_EQ(dict_entry(2, "NeedAppearances"), -1);  // dropped from the form read
    ASSERT_EQ(g_st.num_field_strage, 1);
    EXPECT_EQ(field(0).f_ap, 1);
    EXPECT_EQ(field(0).font_no, -20);  // Helvetica, the last /Helv
    ASSERT_EQ(g_cc.repairs.size(), 1u);
    EXPECT_EQ(g_cc.repairs[0],
              "keys given twice in a dictionary: the last of each kept, as readers take it (2 "
              "entries left out)");
}

TEST(FieldNames, AppearanceBuiltForAFieldWithoutOne) {
    std::string pdf =
        form_head("/Fields [10 0 R]/NeedAppearances true/DR <</Font <</F9 5 0 R>>>>",
                  "Times-Roman") +
        "10 0 obj <</Type/Annot/Subtype/Widget/FT/Tx/T (n)/Q 2/Rect [100 100 300 120]"
        "/DA (0 0 1 rg /F9 10 Tf)/MK <</BG [1 1 0]/BC [1 0 0]/R 90>>/BS <</W 2/S/D>>>> endobj\n";
    ASSERT_EQ(compile_text(pdf_with(pdf)), CompileStatus::ok);
    ASSERT_EQ(g_st.num_field_strage, 1);
    EXPECT_EQ(field().f_ap, 1);
    EXPECT_EQ(field().align, 2);
    EXPECT_EQ(field().font_no, -get_standard_font_no("Times-Roman"));
    int ap = get_xref_absolute(10, "N");
    ASSERT_GT(ap, 10);
    // Turned by /MK /R: the box is 20 wide and 200 high, shown through the matrix.
    EXPECT_EQ(str_of(get_elem(ap, "BBox")), "0 0 20 200 ");
    EXPECT_EQ(str_of(get_elem(ap, "Matrix")), "0 1 -1 0 0 0");
    EXPECT_EQ(get_elem_objref(ap, nullptr, "F9"), 5);
    std::string text = str_of(get_elem(ap, LABEL_STREAM));
    EXPECT_NE(text.find("1.00 1.00 0.00 rg\n0 0 20.00 200.00 re f"), std::string::npos) << text;
    EXPECT_NE(text.find("[3 ] 0 d\n2.00 w\n1.00 0.00 0.00 RG\n1.00 1.00 18.00 198.00 re s"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("2 2 16 196 re W n"), std::string::npos) << text;
    // The value's colour comes from /DA; the generator appends text and closes the rest.
    EXPECT_NE(std::string(field().start_str).find("BT\n0 0 1 rg /F9 10 Tf"), std::string::npos)
        << field().start_str;
    EXPECT_EQ(field().f_q_op, 1);
}

TEST(FieldNames, ABorderTooLongForTheRecordIsAFormOfItsOwn) {
    // A text field with an inset border and no appearance, and a combo box whose own
    // appearance draws 300 bytes before its text: both get an appearance whose frame is a
    // form the appearance paints, so that what comes before the text fits the record.
    std::string pdf =
        form_head("/Fields [10 0 R 12 0 R]/DR <</Font <</Helv 5 0 R>>>>") +
        "10 0 obj <</Type/Annot/Subtype/Widget/FT/Tx/T (t)/Rect [0 0 200 20]"
        "/DA (/Helv 12 Tf 0 g)/MK <</BC [0 0 0]/BG [1 1 1]>>/BS <</W 1/S/I>>>> endobj\n"
        "12 0 obj <</Type/Annot/Subtype/Widget/FT/Ch/Ff 131072/Opt [(a)]/T (c)/Rect [0 30 200 50]"
        "/DA (/Helv 12 Tf 0 g)/MK <</BC [0 0 0]>>/BS <</W 1/S/B>>/AP <</N 13 0 R>>>> endobj\n" +
        stream_obj(13, k_ap_helv, std::string(300, '\n') + "/Tx BMC BT /Helv 12 Tf 2 5 Td ET EMC");
    ASSERT_EQ(compile_text(pdf_with(pdf)), CompileStatus::ok);
    ASSERT_EQ(g_st.num_field_strage, 2);
    EXPECT_EQ(field(0).f_ap, 1);
    for (int w : {10, 12}) {
        int ap = get_xref_absolute(w, "N");
        ASSERT_GT(ap, 13);
        EXPECT_NE(str_of(get_elem(ap, LABEL_STREAM)).find("q\n/KsFrame Do\nQ\n"),
                  std::string::npos);
        int frame = get_elem_objref(ap, "XObject", "KsFrame");
        ASSERT_GT(frame, 13);
        EXPECT_NE(str_of(get_elem(frame, LABEL_STREAM)).find("m\n"), std::string::npos);
    }
    EXPECT_TRUE(g_cc.field_errors.empty());
}

TEST(FieldNames, ALoneRadioButtonWithoutAnAppearanceGetsAnOnState) {
    // PDFKit writes each radio button as a field of its own, with no appearance and no
    // border colour: it is drawn as a check box is, its dot in the default appearance's colour.
    std::string pdf = form_head("/Fields [10 0 R]") +
                      "10 0 obj <</Type/Annot/Subtype/Widget/FT/Btn/Ff 32768/T (r)"
                      "/DA (0 0 1 rg /ZaDb 0 Tf)/Rect [0 0 20 20]>> endobj\n";
    ASSERT_EQ(compile_text(pdf_with(pdf)), CompileStatus::ok);
    int yes = ref_target(subdict_entry(get_elem(10, "N"), "Yes"));
    ASSERT_GT(yes, 10);
    std::string text = str_of(get_elem(yes, LABEL_STREAM));
    EXPECT_NE(text.find("0 0 1 rg\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" c\n"), std::string::npos) << text;
}

TEST(FieldNames, AppearanceDrawnAcrossItsWidgetIsTurnedAsItsPage) {
    // A page shown turned (/Rotate 90): the widget is 20 wide and 380 high on the page, its
    // appearance 380 wide and 20 high with no matrix, which viewers would squeeze.
    std::string pdf =
        form_head("/Fields [10 0 R]/DR <</Font <</Helv 5 0 R>>>>") +
        "3 0 obj <</Type/Page/Rotate 90/MediaBox [0 0 595 842]>> endobj\n"
        "10 0 obj <</Type/Annot/Subtype/Widget/FT/Tx/T (r)/P 3 0 R/DA (/Helv 12 Tf 0 g)"
        "/Rect [100 120 80 500]/AP <</N 11 0 R>>>> endobj\n" +
        stream_obj(11,
                   "/BBox [0 0 380 20]/Matrix [1 0 0 1 0 0]/Resources <</Font <</Helv 5 0 R>>>>",
                   "/Tx BMC EMC");
    ASSERT_EQ(compile_text(pdf_with(pdf)), CompileStatus::ok);
    ASSERT_EQ(g_st.num_field_strage, 1);
    EXPECT_EQ(field().f_ap, 1);
    int ap = get_xref_absolute(10, "N");
    ASSERT_GT(ap, 11);
    EXPECT_EQ(str_of(get_elem(ap, "BBox")), "0 0 380 20 ");
    EXPECT_EQ(str_of(get_elem(ap, "Matrix")), "0 1 -1 0 0 0");

    // Turned the other way, on the page that lists the widget, which names no page (/P) of
    // its own, as iText writes widgets.
    pdf.replace(pdf.find("/Rotate 90"), 10, "/Rotate 270/Annots [10 0 R]");
    pdf.erase(pdf.find("/P 3 0 R"), 8);
    ASSERT_EQ(compile_text(pdf_with(pdf)), CompileStatus::ok);
    EXPECT_EQ(str_of(get_elem(get_xref_absolute(10, "N"), "Matrix")), "0 -1 1 0 0 0");
}

TEST(FieldNames, AppearancesTurnedOrScaledAgainstTheirWidgetAreRebuilt) {
    const struct {
        const char* why;
        const char* widget;  // the widget's /MK and /Rect
        const char* ap;      // the appearance's box and matrix
        const char* cm;      // the drawing before the text
        const char* bbox;    // the rebuilt appearance's box
        const char* matrix;  // and its matrix, "" for none
    } cases[] = {
        // As poppler-based viewers save a field turned by /MK /R 90: the box as the widget
        // lies, the turn a cm in the stream. The value's line runs along the widget's height.
        {"turned inside", "/MK <</R 90>>/Rect [100 400 130 620]", "/BBox [0 0 30 220]",
         "0 1 -1 0 30 0 cm", "0 0 220 30 ", "0 1 -1 0 0 0"},
        // As Ghostscript writes pdfmark appearances: ten times the widget's size, the text
        // under a cm that makes up for the /Matrix. In the big box the value fell outside.
        {"scaled", "/Rect [100 400 300 420]", "/BBox [0 0 2000 200]/Matrix [0.1 0 0 0.1 0 0]",
         "10 0 0 10 0 0 cm", "0 0 200 20 ", ""},
        // As LaTeX's l3pdffield writes: a page-sized box that viewers squeeze into the widget.
        {"page-sized box", "/Rect [100 400 300 420]", "/BBox [0 0 612 792]/Matrix [1 0 0 1 0 0]",
         "", "0 0 200 20 ", ""},
        // As TCPDF writes a field turned by /MK /R 90: drawn upright, as the widget lies.
        {"turned by /MK only", "/MK <</R 90>>/Rect [100 400 130 620]", "/BBox [0 0 30 220]", "",
         "0 0 220 30 ", "0 1 -1 0 0 0"},
        // As iText writes one: the box as the widget lies, and a /Matrix that turns it across.
        {"box turned across", "/MK <</R 90>>/Rect [100 400 130 620]",
         "/BBox [0 0 30 220]/Matrix [0 1 -1 0 220 0]", "", "0 0 220 30 ", "0 1 -1 0 0 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        std::string pdf = form_head("/Fields [10 0 R]/DR <</Font <</Helv 5 0 R>>>>") +
                          "10 0 obj <</Type/Annot/Subtype/Widget/FT/Tx/T (r)/DA (/Helv 12 Tf 0 g)" +
                          c.widget + "/AP <</N 11 0 R>>>> endobj\n" +
                          stream_obj(11, std::string(c.ap) + "/Resources <</Font <</Helv 5 0 R>>>>",
                                     std::string("/Tx BMC q ") + c.cm +
                                         " BT /Helv 12 Tf 2 10 Td (x) Tj ET Q EMC");
        ASSERT_EQ(compile_text(pdf_with(pdf)), CompileStatus::ok);
        ASSERT_EQ(g_st.num_field_strage, 1);
        int ap = get_xref_absolute(10, "N");
        ASSERT_GT(ap, 11);
        EXPECT_EQ(str_of(get_elem(ap, "BBox")), c.bbox);
        if (*c.matrix) {
            EXPECT_EQ(str_of(get_elem(ap, "Matrix")), c.matrix);
        } else {
            EXPECT_EQ(get_elem(ap, "Matrix"), -1);
        }
        EXPECT_GT(field().width, 190);
    }
}

TEST(FieldNames, FieldsSharingOneAppearanceStreamGetOneEach) {
    // Two fields whose writer merged their identical empty appearances into one object: each
    // widget gets a stream of its own, so that filling one does not fill the other.
    ASSERT_EQ(compile_text(
                  pdf_with(form_head("/Fields [10 0 R 12 0 R]/DR <</Font <</Helv 5 0 R>>>>") +
                           "10 0 obj <</Type/Annot/Subtype/Widget/FT/Tx/T (a)/DA (/Helv 9 Tf 0 g)"
                           "/Rect [0 0 200 20]/AP <</N 11 0 R>>>> endobj\n"
                           "12 0 obj <</Type/Annot/Subtype/Widget/FT/Tx/T (b)/DA (/Helv 9 Tf 0 g)"
                           "/Rect [0 30 200 50]/AP <</N 11 0 R>>>> endobj\n" +
                           stream_obj(11, k_ap_helv, "/Tx BMC EMC"))),
              CompileStatus::ok);
    ASSERT_EQ(g_st.num_field_strage, 2);
    EXPECT_EQ(get_xref_absolute(10, "N"), 11);
    EXPECT_GT(get_xref_absolute(12, "N"), 12);
    EXPECT_EQ(field(0).f_ap, 1);
    EXPECT_EQ(field(1).f_ap, 1);
}

TEST(FieldNames, WidgetsWithoutANormalAppearanceGetTheOneViewersBuild) {
    // A form that does not ask viewers to build appearances: a check box on, with only a down
    // appearance; a list box with two of its options chosen (named in another encoding than
    // the options) and an empty /AP; a combo box whose value is given as an array.
    ASSERT_EQ(compile_text(pdf_with(
                  form_head("/Fields [10 0 R 12 0 R 14 0 R]/DR <</Font <</Helv 5 0 R>>>>") +
                  "10 0 obj <</Type/Annot/Subtype/Widget/FT/Btn/T (c)/V /Yes/AS /Yes"
                  "/Rect [0 0 10 10]/DA (/ZaDb 0 Tf 0 g)/AP <</D <</Yes 20 0 R/Off 20 0 R>>>>>>"
                  " endobj\n"
                  "12 0 obj <</Type/Annot/Subtype/Widget/FT/Ch/Ff 2097152/T (l)"
                  "/Opt [<FEFF0061> (b) <FEFF0063>]/V [(a) (c)]/DA (/Helv 10 Tf 0 g)"
                  "/Rect [0 20 100 60]/AP <<>>>> endobj\n"
                  "14 0 obj <</Type/Annot/Subtype/Widget/FT/Ch/Ff 131072/T (k)/Opt [(k) (m)]"
                  "/V [(m)]/DA (/Helv 10 Tf 0 g)/Rect [0 70 100 90]>> endobj\n" +
                  stream_obj(20, "/BBox [0 0 10 10]", ""))),
              CompileStatus::ok);
    Dict normal = Dict{10, 0}.sub("AP").sub("N");
    for (const char* state : {"Yes", "Off"}) EXPECT_GT(ref_target(normal.find(state)), 20) << state;
    EXPECT_STREQ(get_elem_name(10, nullptr, "AS"), "Yes");
    int ap = get_xref_absolute(12, "N");
    ASSERT_GT(ap, 20);
    std::string text = str_of(get_elem(ap, LABEL_STREAM));
    size_t bars = 0;
    for (size_t at = text.find(" re f"); at != std::string::npos; at = text.find(" re f", at + 1))
        ++bars;
    EXPECT_EQ(bars, 2u) << text;
    ap = get_xref_absolute(14, "N");
    ASSERT_GT(ap, 20);
    text = str_of(get_elem(ap, LABEL_STREAM));
    EXPECT_NE(text.find("(m) Tj"), std::string::npos) << text;
}

TEST(FieldNames, ButtonsAsLatexFormsWriteThem) {
    // Radio buttons that are fields of their own, each with only its on state and no /AS,
    // and a check box whose on state is an empty dictionary in place of a stream.
    ASSERT_EQ(compile_text(pdf_with(
                  form_head("/Fields [10 0 R 12 0 R 14 0 R]/NeedAppearances true") +
                  "10 0 obj <</Type/Annot/Subtype/Widget/FT/Btn/Ff 49152/T (s)/V /M"
                  "/Rect [0 0 10 10]/DA (/ZaDb 10 Tf 0 g)/MK <</CA (H)>>"
                  "/AP <</N <</S 20 0 R>>>>>> endobj\n"
                  "12 0 obj <</Type/Annot/Subtype/Widget/FT/Btn/Ff 49152/T (s)/V /M"
                  "/Rect [0 20 10 30]/DA (/ZaDb 10 Tf 0 g)/MK <</CA (H)>>"
                  "/AP <</N <</M 20 0 R>>>>>> endobj\n"
                  "14 0 obj <</Type/Annot/Subtype/Widget/FT/Btn/T (c)/V /Yes/AS /Yes"
                  "/Rect [0 40 10 50]/DA (/ZaDb 10 Tf 0 g)/AP <</N <</Yes <<>>>>>>>> endobj\n" +
                  stream_obj(20, "/BBox [0 0 10 10]", ""))),
              CompileStatus::ok);
    EXPECT_STREQ(get_elem_name(10, nullptr, "AS"), "Off");
    EXPECT_STREQ(get_elem_name(12, nullptr, "AS"), "M");
    // Each gets the off state viewers draw, and every state is a stream.
    for (int w : {10, 12, 14}) {
        Dict normal = Dict{w}.sub("AP").sub("N");
        EXPECT_GT(ref_target(normal.find("Off")), 20) << w;
    }
    EXPECT_GT(ref_target(Dict{14}.sub("AP").sub("N").find("Yes")), 20);
}

TEST(FieldNames, AComboInATwoByteFontShowsItsValueInHelvetica) {
    // PDFKit's combo boxes: a font of two-byte codes (Identity-H), no appearance.
    std::string pdf =
        form_head("/Fields [10 0 R]/DR <</Font <</F2 6 0 R>>>>") +
        "6 0 obj <</Type/Font/Subtype/Type0/BaseFont/ABCDEF+DejaVuSans/Encoding/Identity-H"
        "/DescendantFonts [7 0 R]>> endobj\n"
        "7 0 obj <</Type/Font/Subtype/CIDFontType2/BaseFont/ABCDEF+DejaVuSans/DW 600"
        "/CIDSystemInfo <</Registry (Adobe)/Ordering (Identity)/Supplement 0>>>> endobj\n"
        "10 0 obj <</Type/Annot/Subtype/Widget/FT/Ch/Ff 131072/T (c)/V (Italy)/Opt [(Italy)]"
        "/DA (/F2 0 Tf 0 g)/Rect [0 0 150 22]>> endobj\n";
    ASSERT_EQ(compile_text(pdf_with(pdf)), CompileStatus::ok);
    const int ap = get_xref_absolute(10, "N");
    ASSERT_GT(ap, 10);
    const std::string text = str_of(get_elem(ap, LABEL_STREAM));
    EXPECT_NE(text.find("/KsHelv 14.81 Tf"), std::string::npos) << text;
    EXPECT_NE(text.find("(Italy) Tj"), std::string::npos) << text;
    EXPECT_NE((Dict{ap, 0}.sub("Resources").sub("Font").find("KsHelv")), -1);
}

TEST(FieldNames, NonTextWidgetsShownAsTheirValueWhenViewersWouldRebuildThem) {
    // Radio buttons whose stored states disagree with the value /b, a check box whose value
    // names no state it has, and an automatically sized combo box with a stale appearance.
    // Viewers show a radio button on only where its state is the value, and a check box in
    // the state its /AS names.
    auto pdf = [](const char* need) {
        return pdf_with(
            form_head(std::string("/Fields [9 0 R 14 0 R 16 0 R]/NeedAppearances ") + need +
                      "/DR <</Font <</Helv 5 0 R>>>>") +
            "9 0 obj <</FT/Btn/Ff 49152/T (r)/V /b/Kids [10 0 R 12 0 R]>> endobj\n"
            "10 0 obj <</Type/Annot/Subtype/Widget/Parent 9 0 R/Rect [0 0 10 10]"
            "/AP <</N <</a 20 0 R/Off 20 0 R>>>>/AS /a>> endobj\n"
            "12 0 obj <</Type/Annot/Subtype/Widget/Parent 9 0 R/Rect [0 20 10 30]"
            "/AP <</N <</b 20 0 R/Off 20 0 R>>>>/AS /Off>> endobj\n"
            "14 0 obj <</Type/Annot/Subtype/Widget/FT/Btn/T (c)/V /Yes/Rect [0 40 10 50]"
            "/AP 21 0 R/AS /On>> endobj\n"
            "21 0 obj <</N 22 0 R>> endobj\n"
            "22 0 obj <</On 20 0 R/Off 20 0 R>> endobj\n"
            "16 0 obj <</Type/Annot/Subtype/Widget/FT/Ch/Ff 131072/T (k)/V (d)"
            "/Opt [[(d) (D\\(x\\))] (e)]/DA (/Helv 0 Tf 0 g)/Rect [0 60 100 80]"
            "/AP <</N 17 0 R>>>> endobj\n" +
            stream_obj(17, k_ap_helv, "/Tx BMC BT /Helv 10 Tf 0 g 2 5 Td (old) Tj ET EMC") +
            stream_obj(20, "/BBox [0 0 10 10]", ""));
    };
    ASSERT_EQ(compile_text(pdf("true")), CompileStatus::ok);
    EXPECT_STREQ(get_elem_name(10, nullptr, "AS"), "Off");
    EXPECT_STREQ(get_elem_name(12, nullptr, "AS"), "Off");
    EXPECT_STREQ(get_elem_name(14, nullptr, "AS"), "On");
    // States held in objects of their own become the widget's own, and are rebuilt there.
    EXPECT_EQ((Dict{14}.sub("AP").obj), 14);
    EXPECT_GT(ref_target((Dict{14}.sub("AP").sub("N").find("Off"))), 22);
    int ap = get_xref_absolute(16, "N");
    ASSERT_GT(ap, 20);
    std::string text = str_of(get_elem(ap, LABEL_STREAM));
    // An automatic size becomes the one a one-line text field of the box's height takes.
    EXPECT_NE(text.find("/Helv 13.33 Tf"), std::string::npos) << text;
    // An export value shows its option's text.
    EXPECT_NE(text.find("(D\\(x\\)) Tj"), std::string::npos) << text;
    EXPECT_EQ(text.find("old"), std::string::npos) << text;
    for (int i = 0; i < g_st.num_field_strage; ++i) EXPECT_EQ(field(i).f_ap, 0) << i;

    // A form that does not ask viewers to rebuild keeps what it stores.
    ASSERT_EQ(compile_text(pdf("false")), CompileStatus::ok);
    EXPECT_STREQ(get_elem_name(10, nullptr, "AS"), "a");
    EXPECT_STREQ(get_elem_name(14, nullptr, "AS"), "On");
    EXPECT_EQ(ref_target((Dict{14}.sub("AP").sub("N").find("On"))), 20);
    EXPECT_EQ(get_xref_absolute(16, "N"), 17);

    // With /Fields no array, a viewer knows no groups, nor for a widget with /Kids of its
    // own: such a button holds only its own value.
    for (const char* fields : {"/Fields /none", "/Fields [9 0 R]"}) {
        ASSERT_EQ(compile_text(pdf_with(
                      form_head(std::string(fields) + "/NeedAppearances true") +
                      "9 0 obj <</FT/Btn/Ff 49152/T (r)/V /b/Kids [12 0 R 13 0 R]>> endobj\n"
                      "12 0 obj <</Type/Annot/Subtype/Widget/Parent 9 0 R/Rect [0 20 10 30]"
                      "/AP <</N <</b 20 0 R/Off 20 0 R>>>>/AS /b>> endobj\n"
                      "13 0 obj <</Type/Annot/Subtype/Widget/Parent 9 0 R/Rect [0 40 10 50]"
                      "/Kids [5 0 R]/AP <</N <</b 20 0 R/Off 20 0 R>>>>/AS /b>> endobj\n"
                      "30 0 obj <</Type/Page/Parent 4 0 R/Annots [12 0 R 13 0 R]>> endobj\n" +
                      stream_obj(20, "/BBox [0 0 10 10]", ""))),
                  CompileStatus::ok);
        const bool listed = fields[8] == '[';
        EXPECT_STREQ(get_elem_name(12, nullptr, "AS"), listed ? "b" : "Off") << fields;
        EXPECT_STREQ(get_elem_name(13, nullptr, "AS"), "Off") << fields;
    }
}
