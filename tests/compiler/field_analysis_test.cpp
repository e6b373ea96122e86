// Widget field analysis and font analysis on small PDFs compiled in memory.
#include "compiler/field_analysis.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "compile_helpers.h"
#include "compiler/compiler_state.h"
#include "compiler/font_analysis.h"

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
    EXPECT_FLOAT_EQ(f.space_w, 4);
    EXPECT_FLOAT_EQ(f.width, 192);
    EXPECT_FLOAT_EQ(f.line_feed, 1156 * 105 / 10000.0f);
    EXPECT_FLOAT_EQ(f.line_start, 4);  // below the allowance: raised to it
    EXPECT_EQ(f.f_q_op, 0);
    EXPECT_STREQ(f.start_str, "/Tx BMC BT /Helv 10.5 Tf 0 g ");
    EXPECT_EQ(g_st.num_font_strage, 0);
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

TEST(FieldAnalysis, ResourcesInObjectsOfTheirOwnAndNone) {
    std::string more = "12 0 obj <</Font 13 0 R>> endobj\n13 0 obj <</F9 5 0 R>> endobj\n";
    ASSERT_EQ(compile_text(form("/DA (/F9 9 Tf 0 g)", "/BBox [0 0 100 20]/Resources 12 0 R",
                                "/Tx BMC q BT /F9 9 Tf 0 g 2 3 Td (old) Tj ET Q EMC", more)),
              CompileStatus::ok);
    EXPECT_EQ(field().font_no, -20);
    EXPECT_EQ(field().f_ap, 1);
    // No resources at all: a Font dictionary is made for the default resources' font.
    ASSERT_EQ(compile_text(form("/DA (/Helv 9 Tf 0 g)", "/BBox [0 0 100 20]", "/Tx BMC EMC")),
              CompileStatus::ok);
    EXPECT_EQ(field().f_ap, 1);
    EXPECT_EQ(get_elem_objref(11, nullptr, "Helv"), 5);
    EXPECT_NE(chain_of(11).find("Resources:{ Font:{ Helv:R"), std::string::npos) << chain_of(11);
}

TEST(FieldAnalysis, RecordsWithoutAFillableAppearance) {
    // No /DA Tf: the record keeps its name, object and alignment.
    ASSERT_EQ(compile_text(form("/DA (0 g)/Q 1", k_ap_helv, "/Tx BMC EMC")), CompileStatus::ok);
    EXPECT_STREQ(field().name, "f1");
    EXPECT_EQ(field().align, 1);
    EXPECT_EQ(field().f_ap, 0);
    // A font named nowhere: reported, not filled.
    ASSERT_EQ(compile_text(form("/DA (/Nope 9 Tf)", k_ap_helv, "/Tx BMC EMC")), CompileStatus::ok);
    EXPECT_EQ(field().f_ap, 0);
    ASSERT_EQ(g_cc.field_errors.size(), 1u);
    EXPECT_EQ(g_cc.field_errors[0], "Undefined Font(Nope) in field(f1)");
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

TEST(FieldAnalysis, WidgetsSharingAParentAndFlateAppearances) {
    std::string text = "/Tx BMC q BT /Helv 12 Tf 0 g 2 5.5 Td (x) Tj ET Q EMC";
    uLongf n = compressBound(text.size());
    std::string z(n, '\0');
    compress(reinterpret_cast<Bytef*>(z.data()), &n, reinterpret_cast<const Bytef*>(text.data()),
             text.size());
    z.resize(n);
    std::string pdf =
        "1 0 obj <</Type/Catalog/Pages 4 0 R/AcroForm 2 0 R>> endobj\n"
        "2 0 obj <</Fields [9 0 R]/NeedAppearances true>> endobj\n"
        "4 0 obj <</Type/Pages/Kids []/Count 0>> endobj\n"
        "5 0 obj <</Type/Font/Subtype/Type1/BaseFont/Helvetica>> endobj\n"
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
    EXPECT_EQ(encoding_kind_of("90ms-RKSJ-H"), 'S');
    EXPECT_EQ(encoding_kind_of("90msp-RKSJ-H"), 'P');
    EXPECT_EQ(encoding_kind_of("WinAnsiEncoding"), 'T');
    EXPECT_EQ(encoding_kind_of("UniJIS-UCS2-H"), 'U');
    EXPECT_EQ(encoding_kind_of("UniJIS-UTF16-V"), 'U');
    EXPECT_EQ(encoding_kind_of("Identity-H"), 'S');
}

TEST(FontAnalysis, WidthArrays) {
    int16_t s[16];
    for (int16_t& v : s) v = -1;
    std::string w = "1 [500 600] 10 20 700";
    read_cid_widths(w.data(), static_cast<int>(w.size()), s, 16);
    EXPECT_EQ(s[0], -1);
    EXPECT_EQ(s[1], 500);
    EXPECT_EQ(s[2], 600);
    EXPECT_EQ(s[3], -1);
    EXPECT_EQ(s[10], 700);
    EXPECT_EQ(s[15], 700);  // the range is cut at the last slot
    for (int16_t& v : s) v = 0;
    std::string widths = " 250 333 500 -5 2.5";
    read_simple_widths(widths.data(), static_cast<int>(widths.size()), s, 16);
    EXPECT_EQ(s[0], 250);
    EXPECT_EQ(s[2], 500);
    EXPECT_EQ(s[3], 5);
    EXPECT_EQ(s[4], 2);
    EXPECT_EQ(s[5], 5);
}

TEST(FontAnalysis, RecordsAndCMapRewrite) {
    std::string fonts =
        "6 0 obj <</Type/Font/Subtype/Type0/BaseFont/KozMin/Encoding/UniJIS-UCS2-V"
        "/DescendantFonts [7 0 R]>> endobj\n"
        "7 0 obj <</Type/Font/Subtype/CIDFontType0/W [1 [500 600] 10 20 700]"
        "/FontDescriptor 8 0 R>> endobj\n"
        "8 0 obj <</Type/FontDescriptor/FontBBox [-100 -200 1000 900]>> endobj\n"
        "20 0 obj <</Type/Font/Subtype/TrueType/BaseFont/Arial/Encoding/WinAnsiEncoding"
        "/FirstChar 32/Widths [250 333 500]/DW 400>> endobj\n";
    ASSERT_EQ(compile_text(form("/DA (/Helv 9 Tf)", k_ap_helv, "/Tx BMC EMC", fonts)),
              CompileStatus::ok);
    g_st.num_font_strage = 0;
    EXPECT_EQ(analyse_font(6), 0);
    const st_font& k = g_st.p_font_strage[0];
    EXPECT_STREQ(k.name, "KozMin");
    EXPECT_EQ(k.encoding, 'U');
    EXPECT_EQ(k.height, 1100);
    EXPECT_EQ(k.default_width, -1);
    EXPECT_EQ(k.width[0], -1);
    EXPECT_EQ(k.width[2], 600);
    EXPECT_EQ(k.width[20], 700);
    EXPECT_STREQ(get_elem_name(6, nullptr, "Encoding"), "UniJIS-UCS2-H");
    EXPECT_EQ(analyse_font(6), 0);  // met before: the same record
    EXPECT_EQ(g_st.num_font_strage, 1);
    EXPECT_EQ(analyse_font(20), 1);
    const st_font& a = g_st.p_font_strage[1];
    EXPECT_EQ(a.encoding, 'T');
    EXPECT_EQ(a.height, 1000);
    EXPECT_EQ(a.width[0], 250);  // /FirstChar is not applied
    EXPECT_EQ(a.width[3], 400);
    EXPECT_EQ(analyse_font(5), -20);

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

}  // namespace
