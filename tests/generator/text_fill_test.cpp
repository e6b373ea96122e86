// Text field filling in the store: the appearance text a value gives (operators, line
// breaking, alignment, encodings), the edits of the appearance object, and the errors.
#include "generator/text_fill.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "generator/doc_state.h"
#include "generator/glyph_map.h"
#include "generator/helvetica_extended.h"
#include "generator/operations.h"
#include "generator/page_contents.h"
#include "generator/page_hooks.h"
#include "generator/simple_encoding.h"
#include "generator/text_layout.h"
#include "store/element_ops.h"
#include "store/element_walk.h"
#include "store/failure.h"
#include "store/field_extras.h"
#include "tests/support/template_builder.h"

namespace {

std::vector<int32_t> cps(const std::u32string& s) {
    std::vector<int32_t> v(s.begin(), s.end());
    v.push_back(0);
    return v;
}

// Counts the non-overlapping occurrences of `what` in `text`.
int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + what.size()))
        ++n;
    return n;
}

class TextFill : public ::testing::Test {
  protected:
    void SetUp() override {
        g_doc = DocState{};
        g_doc.opened = true;
        g_doc.seq = SEQ_IN_PAGE;
        tb::begin(4);
        page = tb::add_object();
        tb::name(page, "Type", "Page");
        tb::helvetica(3);
    }

    // Adds a field and returns its record index.
    int field(const std::string& name, float w = 200, float h = 20, int align = 0,
              const std::string& font = "Helv", int font_no = -20) {
        tb::add_field(
            page,
            {.name = name, .w = w, .h = h, .align = align, .font_no = font_no, .short_name = font});
        return g_st.cur_field_strage;
    }

    // A template font record of the given kind, every slot `width` wide.
    int font_record(char kind, int width = 1000) {
        new_font_strage();
        st_font& f = g_st.p_font_strage[g_st.cur_font_strage];
        f.encoding = kind;
        f.height = 1000;
        f.default_width = static_cast<int16_t>(width);
        for (int16_t& s : f.width) s = static_cast<int16_t>(width);
        return g_st.cur_font_strage;
    }

    // Field "S", "U", ... in the template font "FS", "FU", ... of that encoding kind.
    int kind_field(char kind) {
        const std::string name(1, kind);
        return field(name, 200, 20, 0, "F" + name, font_record(kind));
    }

    st_field& rec(int i) { return g_st.p_field_strage[i]; }
    // Replaces the appearance text the template recorded for field i.
    void set_template_text(int i, const char* start) {
        std::snprintf(rec(i).start_str, FIELD_START_STR, "%s", start);
    }
    int ap(int i) { return field_appearance_object(rec(i).obj_no); }

    std::string text(int i) {
        int e = dict_entry(ap(i), LABEL_STREAM);
        const st_elem& el = elem_at(e);
        return std::string(elem_bytes(el), static_cast<size_t>(el.data.str.len));
    }

    void fill(const char* name, const std::u32string& value) {
        _setPageFieldData(name, cps(value).data());
    }
    void fill_attr(const char* name, const std::u32string& value, float linefeed = 0,
                   const char* font = "", float size = -1, int colour = -1, int mode = -1,
                   float ypos = 0, float xpos = 0, float space = 0, float outline = 0) {
        _setPageFieldDataWithAttribute(name, cps(value).data(), linefeed, font, size, colour, mode,
                                       ypos, xpos, space, outline);
    }

    // The text between the text-state operators and the close: the laid-out lines.
    std::string lines_of(int i) {
        std::string t = text(i);
        size_t p = t.find(" TL ");
        size_t q = t.rfind(" ET");
        return t.substr(p + 4, q - p - 4);
    }

    std::string failure(const std::function<void()>& fn) {
        try {
            fn();
        } catch (const Failure& f) {
            return f.what();
        }
        return "(no failure)";
    }

    int page = 0;
};

TEST_F(TextFill, WorkedExampleIsByteExact) {
    int f = field("Name", 200, 20, 0, "F1");
    rec(f).line_start = 5.5f;
    rec(f).line_feed = 13.5f;
    ASSERT_STREQ(rec(f).start_str, "/Tx BMC q BT /F1 12 Tf 0 g ");
    fill("Name", U"AB");
    EXPECT_EQ(text(f),
              "/Tx BMC q BT /F1 12 Tf 0 g /F1 12.000000 Tf 0 Tr 0 w 2.000000 5.500000 Td "
              "13.500000 TL  0.000000 0 Td (\\101\\102) Tj ET Q EMC");
    EXPECT_EQ(g_doc.flag_set_field[f], 1);
    int len = get_elem_int(ap(f), nullptr, "Length");
    EXPECT_EQ(len, static_cast<int>(text(f).size()));
}

TEST_F(TextFill, EmptyValueWritesOperatorsOnly) {
    int f = field("A");
    fill("A", U"");
    EXPECT_EQ(lines_of(f), "");
    EXPECT_TRUE(text(f).ends_with("TL  ET Q EMC"));
}

TEST_F(TextFill, ClosingBalancesWhatTheTemplateOpens) {
    int f = field("A");
    // The closing follows the template text, not the recorded flag: without BMC no EMC,
    // without q no Q, and a text without BT gets one.
    set_template_text(f, "q BT /Helv 9 Tf ");
    rec(f).f_q_op = 0;
    fill("A", U"x");
    EXPECT_TRUE(text(f).ends_with(") Tj ET Q")) << text(f);
    set_template_text(f, "/Tx BMC 1 g 0 0 5 5 re f ");
    rec(f).f_q_op = 1;
    fill("A", U"x");
    EXPECT_TRUE(text(f).starts_with("/Tx BMC 1 g 0 0 5 5 re f BT ")) << text(f);
    EXPECT_TRUE(text(f).ends_with(") Tj ET EMC")) << text(f);
}

TEST_F(TextFill, TemplateFontOperatorIsCutOrKept) {
    int f = field("A");
    // Outlined text over the template text `start`.
    const struct {
        const char* start;
        float outline;
        const char* want;  // how the appearance starts
    } outlined[] = {
        // A fill colour after the font operator stays and becomes the outline colour.
        {"/Tx BMC q BT /Helv 9 Tf 0 0 1 rg 3 Tz ", 0.5f,
         "/Tx BMC q BT /Helv 9 Tf 0 0 1 rg 3 Tz /Helv 12.000000 Tf "
         "0.000000 0.000000 1.000000 RG 2 Tr 0.500000 w "},
        // Without a colour the font operator and what follows it are dropped.
        {"/Tx BMC q BT 0.5 g /Helv 9 Tf ", 1,
         "/Tx BMC q BT 0.5 g /Helv 12.000000 Tf "
         "0.500000 0.500000 0.500000 RG 2 Tr 1.000000 w "},
    };
    for (const auto& c : outlined) {
        set_template_text(f, c.start);
        fill_attr("A", U"", 0, "", -1, -1, -1, 0, 0, 0, c.outline);
        EXPECT_TRUE(text(f).starts_with(c.want)) << text(f);
    }
    // A number after Tf that no "g" follows is not a grey: only the font operator goes, the
    // state operators after it stay.
    set_template_text(f, "/Tx BMC q BT /Helv 9 Tf 90 Tz ");
    fill("A", U"");
    EXPECT_TRUE(text(f).starts_with("/Tx BMC q BT 90 Tz /Helv 12.000000 Tf 0 Tr")) << text(f);
    // A template text that sets no colour takes the one of the default appearance.
    set_template_text(f, "/Tx BMC q BT /Helv 9 Tf ");
    int da = dict_entry(rec(f).obj_no, "DA");
    ASSERT_NE(da, -1);
    set_elem_str(da, STR_LITERAL, "/Helv 0 Tf 0 0 1 rg", 19);
    fill("A", U"");
    EXPECT_TRUE(text(f).starts_with("/Tx BMC q BT 0 0 1 rg /Helv 12.000000 Tf")) << text(f);
}

TEST_F(TextFill, LineBreaksAndEmptyLines) {
    int f = field("A");
    fill("A", U"a\nb\r\rc\fd");
    EXPECT_EQ(lines_of(f),
              " 0.000000 0 Td (\\141) Tj 0.000000 0 Td (\\142) ' 0.000000 0 Td () ' "
              "0.000000 0 Td (\\143) ' 0.000000 0 Td (\\144) '");
    int lines = 0;
    set_field_data_stream(f, cps(U"a\nb\r\rc\fd").data(), 0, -20, "Helv", 12, -1, -1, -1,
                          g_fill.stream, -1, 0, 0, 0, 0, &lines);
    EXPECT_EQ(lines, 5);
    fill("A", U"a\tb");  // a tab has no glyph: it shows as a space's gap
    EXPECT_EQ(lines_of(f), " 0.000000 0 Td (\\141\\040\\142) Tj");
}

TEST_F(TextFill, WrapsAtFieldWidth) {
    // Courier 10 pt: every character 6 points; the field takes 8 of them (48 of 50 points).
    int f = field("A", 54, 20, 0, "Cour", -32);
    ASSERT_FLOAT_EQ(rec(f).width, 50);
    rec(f).font_size10 = 100;
    fill("A", U"abcdefghijk");
    EXPECT_EQ(count(text(f), ") Tj"), 1);
    EXPECT_EQ(count(text(f), ") '"), 1);
    EXPECT_NE(text(f).find("(\\141\\142\\143\\144\\145\\146\\147\\150) Tj"), std::string::npos);
    EXPECT_NE(text(f).find("(\\151\\152\\153) '"), std::string::npos);
    // A character wider than the whole field comes after an empty line.
    rec(f).width = 3;
    fill("A", U"x");
    EXPECT_EQ(lines_of(f), " 0.000000 0 Td () Tj 0.000000 0 Td (\\170) '");
}

TEST_F(TextFill, SingleLineModeDropsTheRest) {
    int f = field("A", 54, 20, 0, "Cour", -32);
    rec(f).font_size10 = 100;
    fill_attr("A", U"abcdefghijk", 0, "", -1, -1, 2);
    EXPECT_EQ(lines_of(f), " 0.000000 0 Td (\\141\\142\\143\\144\\145\\146\\147\\150) Tj");
    fill_attr("A", U"ab\ncd", 0, "", -1, -1, 2);
    EXPECT_EQ(lines_of(f), " 0.000000 0 Td (\\141\\142) Tj");
}

TEST_F(TextFill, WordModeMovesTheRunToTheNextLine) {
    // Right aligned, so the x of each line shows the width the layout gave it.
    tb::name(3, "Encoding", "WinAnsiEncoding");
    int f = field("A", 54, 20, 2, "Cour", -32);
    rec(f).font_size10 = 100;
    rec(f).width = 50;
    fill_attr("A", U"abc defgh", 0, "", -1, -1, 1);
    // Line 0 "abc " is 24 points (truncated to a whole point), line 1 "defgh" 30.
    EXPECT_EQ(lines_of(f),
              " 26.000000 0 Td (\\141\\142\\143\\040) Tj -6.000000 0 Td "
              "(\\144\\145\\146\\147\\150) '");
    // A run that began at the line's first character is broken at the width instead.
    fill_attr("A", U"abcdefghij", 0, "", -1, -1, 1);
    EXPECT_EQ(lines_of(f),
              " 2.000000 0 Td (\\141\\142\\143\\144\\145\\146\\147\\150) Tj 36.000000 0 Td "
              "(\\151\\152) '");
    // A word with a letter beyond ASCII moves whole too.
    fill_attr("A", U"abc d\u00fcfgh", 0, "", -1, -1, 1);
    EXPECT_NE(lines_of(f).find("(\\144\\374\\146\\147\\150) '"), std::string::npos) << lines_of(f);
    // Half-point widths show the truncation: 3 x 6.5 = 19.5 becomes 19.
    fill_attr("A", U"ab cdefghij", 0, "", 10, -1, 1, 0, 0, 0.5f);
    EXPECT_NE(lines_of(f).find(" 31.000000 0 Td (\\141\\142\\040) Tj"), std::string::npos)
        << lines_of(f);
}

TEST_F(TextFill, PlainFillWrapsAMultiLineFieldBetweenWords) {
    // Right aligned Courier 10: the x of each line shows its width, without the spaces
    // at the wrap. A space at the edge ends the line and goes; Japanese breaks anywhere.
    int f = field("M", 54, 40, 2, "Cour", -32);
    rec(f).font_size10 = 100;
    rec(f).width = 50;
    field_extra_mut(f)->type = FIELD_TYPE_TEXT;
    field_extra_mut(f)->field_flags = FF_MULTILINE;
    fill("M", U"abc  defgh");
    EXPECT_EQ(lines_of(f),
              " 32.000000 0 Td (\\141\\142\\143) Tj -12.000000 0 Td (\\144\\145\\146\\147\\150) '");
    fill("M", U"abcdefgh ij");
    EXPECT_EQ(lines_of(f),
              " 2.000000 0 Td (\\141\\142\\143\\144\\145\\146\\147\\150) Tj 36.000000 0 Td "
              "(\\151\\152) '");
    fill_attr("M", U"abc defgh", 0, "", -1, -1, 0);  // a mode of the caller's is kept
    EXPECT_NE(lines_of(f).find("(\\141\\142\\143\\040\\144\\145\\146\\147) Tj"), std::string::npos);
}

TEST_F(TextFill, AlignmentUsesEachLinesOwnWidth) {
    int f = field("A", 104, 20, 2, "Cour", -32);  // width 100
    rec(f).font_size10 = 100;
    // With 1 point of character spacing each character is 7 points, the last one included.
    fill_attr("A", U"ab\nabcd", 0, "", -1, -1, -1, 0, 0, 1);
    EXPECT_NE(text(f).find("1.000000 Tc "), std::string::npos);
    EXPECT_EQ(lines_of(f),
              " 86.000000 0 Td (\\141\\142) Tj -14.000000 0 Td (\\141\\142\\143\\144) '");
    rec(f).align = 1;
    fill_attr("A", U"ab", 0, "", -1, -1, -1, 0, 5);
    EXPECT_EQ(lines_of(f), " 49.000000 0 Td (\\141\\142) Tj");
    // A line wider than the field starts at the left: centred, its start would be cut off.
    field_extra_mut(f)->type = FIELD_TYPE_TEXT;
    fill("A", U"abcdefghijklmnopqrst");  // 120 points
    EXPECT_EQ(lines_of(f).substr(0, 16), " 0.000000 0 Td (") << lines_of(f);
}

TEST_F(TextFill, CombValueShorterThanTheCombTakesItsAlignedCells) {
    // Five cells of 20 points; "12" right-aligned fills the last two, centred cells 2 and 3.
    int f = field("C", 100, 20, 2);
    field_extra_mut(f)->type = FIELD_TYPE_TEXT;
    field_extra_mut(f)->field_flags = FF_COMB;
    field_extra_mut(f)->max_len = 5;
    auto first_x = [&] { return std::stof(lines_of(f).substr(lines_of(f).find("BDC ") + 4)); };
    fill("C", U"12");
    // Moves are made from the line's start at the 2-point inset.
    EXPECT_NEAR(first_x(), 60 + (20 - 6.672) / 2 - 2, 0.01) << lines_of(f);
    rec(f).align = 1;
    fill("C", U"12");
    EXPECT_NEAR(first_x(), 20 + (20 - 6.672) / 2 - 2, 0.01) << lines_of(f);
}

TEST_F(TextFill, DefaultFontSize) {
    int f = field("A");
    rec(f).font_size10 = 105;
    fill("A", U"x");
    EXPECT_NE(text(f).find("/Helv 10.500000 Tf "), std::string::npos);
    rec(f).font_size10 = 0;
    rec(f).font_size = 9;
    fill("A", U"x");
    EXPECT_NE(text(f).find("/Helv 9.000000 Tf "), std::string::npos);
    fill_attr("A", U"x", 0, "", 7.25f);
    EXPECT_NE(text(f).find("/Helv 7.250000 Tf "), std::string::npos);
}

TEST_F(TextFill, AutoSizeTakesALineOfAtMostOnePointTwoEm) {
    // A font whose box is 1.7 em tall (as DejaVu's) in a 20-point box with a 2-point border
    // allowance: 16 / 1.2, not 16 / 1.7.
    int f = kind_field('T');
    g_st.p_font_strage[rec(f).font_no].height = 1700;
    g_st.p_font_strage[rec(f).font_no].default_width = 500;
    for (int16_t& w : g_st.p_font_strage[rec(f).font_no].width) w = 500;
    rec(f).font_size10 = 0;
    rec(f).font_size = 0;
    fill("T", U"x");
    EXPECT_NE(text(f).find("/FT 13.330000 Tf "), std::string::npos) << text(f);
    // As Acrobat sizes one line: the box less its borders over 1.35, whatever the font.
    int g = field("G", 200, 40);
    rec(g).font_size10 = 0;
    rec(g).font_size = 0;
    field_extra_mut(g)->type = FIELD_TYPE_TEXT;
    fill("G", U"x");
    EXPECT_NE(text(g).find("/Helv 28.139999 Tf "), std::string::npos) << text(g);  // 38 / 1.35
}

TEST_F(TextFill, ColoursAndOutline) {
    int f = field("A");
    fill_attr("A", U"x", 0, "", -1, -1);
    EXPECT_EQ(text(f).find(" rg "), std::string::npos);
    fill_attr("A", U"x", 0, "", -1, 0xff0000);
    EXPECT_NE(text(f).find("0 Tr 0 w 0.996094 0.000000 0.000000 rg "), std::string::npos);
    // Outline without a colour strokes with the template's grey.
    fill_attr("A", U"x", 0, "", -1, -1, -1, 0, 0, 0, 0.5f);
    EXPECT_NE(text(f).find("0.000000 0.000000 0.000000 RG 2 Tr 0.500000 w "), std::string::npos);
    // With a colour, fill and stroke take it.
    fill_attr("A", U"x", 0, "", -1, 0x0000ff, -1, 0, 0, 0, 2);
    EXPECT_NE(text(f).find("0.000000 0.000000 0.996094 RG 2 Tr 2.000000 w 0.000000 "
                           "0.000000 0.996094 rg "),
              std::string::npos);
}

TEST_F(TextFill, VerticalPositionAndCentring) {
    int f = field("A", 200, 40);
    rec(f).line_start = 20;
    rec(f).line_feed = 10;
    fill_attr("A", U"x", 0, "", -1, -1, -1, 3);
    EXPECT_NE(text(f).find("2.000000 17.000000 Td 10.000000 TL "), std::string::npos);
    // One line: free height (40 - 10) / 2 = 15, so the block moves 15 points down.
    fill_attr("A", U"x", 0, "", -1, -1, -1, VCENTER_BASE);
    EXPECT_NE(text(f).find("2.000000 5.000000 Td "), std::string::npos) << text(f);
    fill_attr("A", U"x", 0, "", -1, -1, -1, -9990);
    EXPECT_NE(text(f).find("2.000000 -5.000000 Td "), std::string::npos) << text(f);
    // Three lines with a leading of 8: text height 8 x 2 + 10 = 26, moved (40 - 26) / 2.
    fill_attr("A", U"x\ny\nz", 8, "", -1, -1, -1, VCENTER_BASE);
    EXPECT_NE(text(f).find("2.000000 13.000000 Td 8.000000 TL "), std::string::npos) << text(f);
    // Without a box the block keeps its place, moved by the extra offset only.
    int bbox = get_elem(ap(f), "BBox");
    elem_at(bbox).f_type = 0;
    fill_attr("A", U"x", 0, "", -1, -1, -1, -9995);
    EXPECT_NE(text(f).find("2.000000 15.000000 Td "), std::string::npos) << text(f);
}

TEST_F(TextFill, SecondFillReplacesTheFirst) {
    int f = field("A");
    fill("A", U"first");
    fill("A", U"2");
    EXPECT_EQ(lines_of(f), " 0.000000 0 Td (\\062) Tj");
}

TEST_F(TextFill, EncodingKinds) {
    const struct {
        char kind;  // T: the standard font Helvetica
        std::u32string value;
        const char* lines;
    } cases[] = {
        {'S', U"\u3042A", " 0.000000 0 Td (\\202\\240\\101) Tj"},
        {'P', U"\u3042", " 0.000000 0 Td (\\202\\240) Tj"},
        // Beyond the Basic Multilingual Plane: a two-byte (UCS2) CMap has no code for it.
        {'U', U"\u3042A\U00020B9F",
         " 0.000000 0 Td (\\060\\102\\000\\101) Tj /TsFbJpn 12.000000 Tf (\\060\\023) Tj /FU "
         "12.000000 Tf"},
        // A character the single-byte font lacks is set in the Japanese fallback font.
        {'T', U"A\u3042",
         " 0.000000 0 Td (\\101) Tj /TsFbJpn 12.000000 Tf (\\060\\102) Tj /Helv 12.000000 Tf"},
        // One the Japanese fallback lacks too (Hangul) shows as its geta mark.
        {'T', U"A\uac00",
         " 0.000000 0 Td (\\101) Tj /TsFbJpn 12.000000 Tf (\\060\\023) Tj /Helv 12.000000 Tf"},
        // A Latin letter beyond WinAnsi (l with stroke) takes the extended Latin fallback.
        {'T', U"A\u0142",
         " 0.000000 0 Td (\\101) Tj /TsFbHelvX 12.000000 Tf (\\302) Tj /Helv 12.000000 Tf"},
    };
    for (const auto& c : cases) {
        const std::string name(1, c.kind);
        int f = c.kind == 'T' ? field(name) : kind_field(c.kind);
        fill(name.c_str(), c.value);
        EXPECT_EQ(lines_of(f), c.lines) << name;
    }
    // A UTF16 CMap has it: the UTF-16 surrogate pair.
    tb::name(3, "Encoding", "UniJIS-UTF16-H");
    int u = field("V", 200, 20, 0, "FV", font_record('U'));
    fill("V", U"A\U00020B9F");
    EXPECT_EQ(lines_of(u), " 0.000000 0 Td (\\000\\101\\330\\102\\337\\237) Tj");
}

// Every letter of the extra Helvetica fonts has a code of its own, a width, and a glyph name
// at that code in the font's /Differences, as the font dictionary gives them to viewers.
TEST(HelveticaExtended, EveryLetterHasItsOwnCodeWidthAndName) {
    for (Fallback font : {FALLBACK_LATIN_EXTENDED, FALLBACK_CYRILLIC_GREEK}) {
        std::vector<std::string> names(256);
        std::istringstream diff(helvetica_extended_differences(font));
        int code = 0;
        for (std::string tok; diff >> tok;)
            if (tok[0] == '/')
                names.at(static_cast<size_t>(code++)) = tok.substr(1);
            else
                code = std::stoi(tok);
        int first = 0, last = 0;
        std::istringstream widths(helvetica_extended_widths(font, &first, &last));
        std::vector<int> w(256);
        for (int c = first; c <= last; ++c) widths >> w.at(static_cast<size_t>(c));
        std::vector<bool> used(256);
        int letters = 0;
        for (int32_t u = 0x100; u < 0x500; ++u) {
            ExtendedCode c = helvetica_extended_code(u);
            if (c.font != font) continue;
            ++letters;
            ASSERT_TRUE(c.code > 0 && c.code < 256 && !used[c.code]) << std::hex << u;
            used[c.code] = true;
            EXPECT_FALSE(names[c.code].empty()) << std::hex << u;
            EXPECT_GT(w[c.code], 0) << std::hex << u;
            EXPECT_EQ(w[c.code], helvetica_extended_width(c)) << std::hex << u;
        }
        EXPECT_GT(letters, 100);
    }
    // The Polish l with stroke, Cyrillic Zhe and Greek omega.
    EXPECT_EQ(helvetica_extended_code(0x142).font, FALLBACK_LATIN_EXTENDED);
    EXPECT_EQ(helvetica_extended_code(0x416).font, FALLBACK_CYRILLIC_GREEK);
    EXPECT_EQ(helvetica_extended_code(0x3C9).font, FALLBACK_CYRILLIC_GREEK);
    EXPECT_EQ(helvetica_extended_code(0x3042).code, 0);
}

TEST_F(TextFill, CharactersAreMeasuredInTheirFont) {
    // Half-width A is CID 264 in a Shift_JIS font, proportional A CID 34.
    int fs = font_record('S', 1000);
    g_st.p_font_strage[fs].width[264] = 500;
    int fp = font_record('P', 1000);
    g_st.p_font_strage[fp].width[34] = 250;
    int s = field("S", 34, 20, 2, "FS", fs);  // width 30
    int p = field("P", 34, 20, 2, "FP", fp);
    fill("S", U"AA");   // 2 x 6 points
    fill("P", U"AAA");  // 3 x 3 points
    EXPECT_TRUE(lines_of(s).starts_with(" 18.000000 0 Td")) << lines_of(s);
    EXPECT_TRUE(lines_of(p).starts_with(" 21.000000 0 Td")) << lines_of(p);
}

TEST_F(TextFill, FontsThatCannotShowTheValueFallBack) {
    // A subset shows only the codes it measures; a glyph-id (Identity-H) font shows nothing
    // of a code-point value.
    int sub = font_record('T', 500);
    std::snprintf(g_st.p_font_strage[sub].name, 32, "ABCDEF+Sub");
    g_st.p_font_strage[sub].width[static_cast<unsigned char>('B')] = 0;
    int s = field("S", 200, 20, 0, "Helv", sub);
    fill("S", U"AB");
    EXPECT_EQ(lines_of(s),
              " 0.000000 0 Td (\\101) Tj /TsFbHelv 12.000000 Tf (\\102) Tj /Helv 12.000000 Tf");
    // The stand-in takes the family, weight and slant of the font it stands in for.
    std::snprintf(g_st.p_font_strage[sub].name, 32, "ABCDEF+TimesNewRomanPS-BoldMT");
    fill("S", U"AB");
    EXPECT_NE(lines_of(s).find("/TsFbTiBo 12.000000 Tf (\\102)"), std::string::npos) << lines_of(s);
    fill("S", U"A\u017c");  // ż: the Latin Extended-A stand-in in the same face
    EXPECT_NE(lines_of(s).find("/TsFbTiBoX 12.000000 Tf"), std::string::npos) << lines_of(s);
    EXPECT_STREQ(standin_font_name(FALLBACK_CYRILLIC_GREEK, 34), "TsFbHelvY");  // not Courier's
    EXPECT_EQ(latin_standin_for("DejaVuSansMono-Oblique", 0), 34);              // Courier-Oblique
    EXPECT_EQ(latin_standin_for(nullptr, 26), 22);  // Helvetica-Narrow-Oblique: Helvetica's
    // A standard font without /Encoding lays its codes out by StandardEncoding: a Latin-1
    // letter is not its code there (0xE4 is nothing), but the yen sign is.
    int h = field("H");
    fill("H", U"a\u00e4\u00a5");
    EXPECT_EQ(lines_of(h),
              " 0.000000 0 Td (\\141) Tj /TsFbHelv 12.000000 Tf (\\344) Tj /Helv 12.000000 Tf "
              "(\\245) Tj");
    tb::name(3, "Encoding", "Identity-H");
    int i = field("I", 200, 20, 0, "Helv", font_record('S'));
    fill("I", U"A");
    EXPECT_EQ(lines_of(i), " 0.000000 0 Td /TsFbHelv 12.000000 Tf (\\101) Tj /Helv 12.000000 Tf");
    // The fallback font is entered in the appearance's and the page's font resources.
    EXPECT_NE(get_elem(ap(i), "TsFbHelv"), -1);
    EXPECT_NE(get_elem(page, "TsFbHelv"), -1);
}

TEST_F(TextFill, CjkFontsShowWhatTheirCharacterCollectionHas) {
    // A Chinese font has no ö: the stand-in shows it. A Japanese one has it, but no Ł.
    tb::name(3, "Encoding", "UniGB-UCS2-H");
    int g = field("G", 200, 20, 0, "Helv", font_record('U'));
    fill("G", U"a\u00f6\u4e2d");
    EXPECT_EQ(lines_of(g),
              " 0.000000 0 Td (\\000\\141) Tj /TsFbHelv 12.000000 Tf (\\366) Tj /Helv 12.000000 "
              "Tf (\\116\\055) Tj");
    fill("G", U"\uff76");  // half-width katakana: only the Japanese collection has them
    EXPECT_NE(lines_of(g).find("/TsFbJpn"), std::string::npos) << lines_of(g);
    std::snprintf(get_elem_name(3, nullptr, "Encoding"), LABEL_SIZE, "UniJIS-UCS2-H");
    fill("G", U"\u00f6\u0141");
    EXPECT_EQ(lines_of(g),
              " 0.000000 0 Td (\\000\\366) Tj /TsFbHelvX 12.000000 Tf (\\301) Tj /Helv "
              "12.000000 Tf");
}

TEST_F(TextFill, GlyphNumberFontsShowWhatTheirToUnicodeMapNames) {
    // An Identity-H font (as editors embed their own) with a map from codes to characters:
    // its characters are written as their codes and measured by /W; the others fall back.
    int map = tb::add_object();
    tb::stream(map,
               "/CIDInit /ProcSet findresource begin 3 beginbfchar <0005> <0041> <0009> <D83DDE00> "
               "<0007> <0627>"
               " endbfchar 2 beginbfrange <0010> <0012> <0061> <0020> <0021> [<0062> <00660069>]"
               " endbfrange endcmap");
    int cid_font = tb::add_object();
    tb::array(cid_font, "W", "5 [500] 16 18 250");
    tb::integer(cid_font, "DW", 800);
    tb::name(3, "Encoding", "Identity-H");
    tb::ref(3, "ToUnicode", map);
    tb::array(3, "DescendantFonts", std::string(1, REF_MARKER) + std::to_string(cid_font) + " 0 R");
    int i = field("I", 200, 20, 2, "Helv", font_record('S'));
    fill("I", U"Aab\U0001F600c");
    // Right-aligned in 200 points: A (500), a and b (250 by /W; b by the lower of its two
    // codes), the emoji (800, /DW) and c (250) are 24.6 points at 12.
    EXPECT_EQ(lines_of(i),
              " 171.399994 0 Td (\\000\\005\\000\\020\\000\\021\\000\\011\\000\\022) Tj");
    EXPECT_EQ(to_unicode_pairs("<01> <0041>", 11).size(), 0u);  // outside a mapping section
    const std::string identity = "1 beginbfrange <0000> <00ff> <0000> endbfrange";
    const auto pairs = to_unicode_pairs(identity.data(), identity.size());
    ASSERT_EQ(pairs.size(), 255u);  // every code but 0, which is no character
    EXPECT_EQ(pairs[0x40], (std::pair<uint32_t, int32_t>(0x41, 0x41)));
    // A value the font has only in part goes wholly to the stand-ins, not in two faces.
    fill("I", U"AZ");
    EXPECT_EQ(lines_of(i),
              " 180.664001 0 Td /TsFbHelv 12.000000 Tf (\\101\\132) Tj /Helv 12.000000 Tf");
    // Right-to-left text would need shaping and reordering: the stand-ins take it.
    fill("I", U"\u0627");
    EXPECT_NE(lines_of(i).find("TsFbJpn"), std::string::npos);
    // A subset shows what its TrueType program has outlines for: glyph 5 (A), not 16 (a).
    std::snprintf(get_elem_name(3, nullptr, "BaseFont"), LABEL_SIZE, "ABCDEF+Sub");
    auto be16 = [](std::string& t, int v) {
        t += {static_cast<char>(v >> 8), static_cast<char>(v)};
    };
    std::string ttf, head(54, '\0'), maxp(6, '\0'), loca;
    maxp[5] = 0x20;                                           // 32 glyphs, short offsets
    for (int g = 0; g <= 32; ++g) be16(loca, g > 5 ? 1 : 0);  // only glyph 5 has an outline
    const std::string tables[3][2] = {{"head", head}, {"loca", loca}, {"maxp", maxp}};
    be16(ttf, 1), be16(ttf, 0), be16(ttf, 3), ttf += std::string(6, '\0');
    size_t at = 12 + 16 * 3;
    for (const auto& t : tables) {
        ttf += t[0] + std::string(4, '\0');
        be16(ttf, 0), be16(ttf, static_cast<int>(at)), be16(ttf, 0),
            be16(ttf, static_cast<int>(t[1].size()));
        at += t[1].size();
    }
    for (const auto& t : tables) ttf += t[1];
    int program = tb::add_object();
    tb::stream(program, ttf);
    int descriptor = tb::add_object();
    tb::ref(descriptor, "FontFile2", program);
    tb::ref(cid_font, "FontDescriptor", descriptor);
    fill("I", U"A");
    EXPECT_NE(lines_of(i).find("(\\000\\005) Tj"), std::string::npos) << lines_of(i);
    fill("I", U"Aa");
    EXPECT_NE(lines_of(i).find("TsFbHelv"), std::string::npos) << lines_of(i);
}

TEST_F(TextFill, OneByteFontsWriteTheCodesTheirEncodingGives) {
    // iText names every code of a Cp1250 font in /Differences: ń is 0xF1 there and ñ has
    // none (the stand-in shows it); names of the glyph list, "uniXXXX" and "afii" all count.
    tb::name(3, "Subtype", "TrueType");
    tb::dict_start(3, "Encoding");
    tb::array(3, "Differences", "32 /space 65 /A /B 241 /nacute /afii10017 /uni0444 /a#2Esc");
    tb::dict_end(3);
    int t = field("T", 200, 20, 0, "Helv", font_record('N', 500));
    fill("T", U"AB\u0144\u0410\u0444\u00f1");
    EXPECT_EQ(lines_of(t),
              " 0.000000 0 Td (\\101\\102\\361\\362\\363) Tj /TsFbHelv 12.000000 Tf (\\361) "
              "Tj /Helv 12.000000 Tf");
    EXPECT_EQ(glyph_name_char("a.sc", 4), 'a');
    EXPECT_EQ(glyph_name_char("f_i", 3), 0);
    // MacRomanEncoding by name: ï is 0x95, measured by that code's width.
    int mac = tb::add_object();
    tb::name(mac, "Subtype", "TrueType");
    tb::name(mac, "Encoding", "MacRomanEncoding");
    int m = field("M", 200, 20, 2, "Helv", font_record('S', 500));
    set_elem_objref(Dict{ap(m), 0}.sub("Resources").sub("Font").find("Helv"), mac);
    g_st.p_font_strage[rec(m).font_no].width[0x95] = 250;
    fill("M", U"\u00ef");
    EXPECT_EQ(lines_of(m), " 193.000000 0 Td (\\225) Tj");  // 3 points wide at 12
}

TEST_F(TextFill, DefaultAppearanceIsReadAsItsBytes) {
    // As Scribus writes it, ending in an escaped line feed; and in hexadecimal.
    int w = tb::add_object();
    tb::literal(w, "DA", "/Helv 9 Tf 0 0 1 rg\\n");
    int len = 0;
    const char* da = default_appearance(w, &len);
    EXPECT_EQ(std::string(da, static_cast<size_t>(len)), "/Helv 9 Tf 0 0 1 rg\n");
    int h = tb::add_object();
    append_elem_str(h, 0, "DA", STR_HEX, "3020670a", 8);
    da = default_appearance(h, &len);
    EXPECT_EQ(std::string(da, static_cast<size_t>(len)), "0 g\n");
}

TEST_F(TextFill, OneLineFieldKeepsTheValueOnItsLine) {
    int f = field("L", 30, 20);
    rec(f).line_start = 5;
    fill("L", U"ABCDEFGH");
    EXPECT_EQ(count(lines_of(f), "Td ("), 3) << lines_of(f);  // older template: wrapped
    field_extra_mut(f)->type = FIELD_TYPE_TEXT;
    fill("L", U"ABCDEFGH");
    EXPECT_EQ(lines_of(f), " 0.000000 0 Td (\\101\\102\\103\\104\\105\\106\\107\\110) Tj");
    field_extra_mut(f)->field_flags = FF_MULTILINE;
    fill("L", U"ABCDEFGH");
    EXPECT_GT(count(lines_of(f), "Td ("), 1);
    // Also where the box has room for more lines: viewers never wrap a one-line field.
    int t = field("T", 30, 80);
    rec(t).line_start = 60;
    field_extra_mut(t)->type = FIELD_TYPE_TEXT;
    fill("T", U"ABCDEFGH");
    EXPECT_EQ(count(lines_of(t), "Td ("), 1) << lines_of(t);
}

TEST_F(TextFill, OneLineThatWouldBeCutAtTheBoxIsCentred) {
    // 12 points in a box 14 high: the line (13.87) does not fit below the top, and the
    // top placement would put it on the bottom border, the descenders cut off.
    int f = field("C", 200, 14);
    rec(f).line_feed = 13.87f;
    rec(f).line_start = 2;
    fill("C", U"x");
    EXPECT_NE(text(f).find(" 2.000000 2.000000 Td "), std::string::npos) << text(f);  // older
    field_extra_mut(f)->type = FIELD_TYPE_TEXT;
    fill("C", U"x");
    // (14 - 13.872) / 2 + 0.2 x 13.872, Helvetica's line at 12 points.
    EXPECT_NE(text(f).find(" 2.000000 2.838400 Td "), std::string::npos) << text(f);
    // In a box 16 high the line fits below the top, but its descenders would not.
    int g = field("D", 200, 16);
    rec(g).line_feed = 13.87f;
    rec(g).line_start = 16 - 2 - 13.87f;
    field_extra_mut(g)->type = FIELD_TYPE_TEXT;
    fill("D", U"q");
    EXPECT_NE(text(g).find(" 2.000000 3.838400 Td "), std::string::npos) << text(g);
}

TEST_F(TextFill, PlainFillCentresAOneLineValueAsViewersDo) {
    // 12 points in a box 40 high, the line at the top where Carvel puts it: the plain fill
    // centres it; a caller's own placement, and a template's other place, are kept.
    int f = field("V", 200, 40);
    rec(f).line_feed = 13.87f;
    rec(f).line_start = 40 - 2 - 13.87f;
    field_extra_mut(f)->type = FIELD_TYPE_TEXT;
    fill("V", U"x");
    EXPECT_NE(text(f).find(" 2.000000 15.838400 Td "), std::string::npos) << text(f);
    fill_attr("V", U"x");
    EXPECT_NE(text(f).find(" 2.000000 24.130001 Td "), std::string::npos) << text(f);
    rec(f).line_start = 20;
    fill("V", U"x");
    EXPECT_NE(text(f).find(" 2.000000 20.000000 Td "), std::string::npos) << text(f);
}

TEST_F(TextFill, YenSign) {
    int t = field("T");
    int u = kind_field('U');
    int s = kind_field('S');
    fill("T", U"\\");
    fill("U", U"\\");
    fill("S", U"\\");
    EXPECT_EQ(lines_of(t), " 0.000000 0 Td (\\245) Tj");
    EXPECT_EQ(lines_of(u), " 0.000000 0 Td (\\000\\245) Tj");
    // A Shift_JIS CMap reads 0x5C as JIS Roman: the yen sign (0xA5 is a katakana dot there).
    EXPECT_EQ(lines_of(s), " 0.000000 0 Td (\\134) Tj");
    _setYenSign(0);
    fill("T", U"\\");
    EXPECT_EQ(lines_of(t), " 0.000000 0 Td (\\134) Tj");
    // A real backslash, which that CMap lacks, comes from the stand-in.
    fill("S", U"\\");
    EXPECT_EQ(lines_of(s), " 0.000000 0 Td /TsFbHelv 12.000000 Tf (\\134) Tj /FS 12.000000 Tf");
}

TEST_F(TextFill, Errors) {
    field("A");
    int b = field("B");
    rec(b).f_ap = 0;
    EXPECT_EQ(failure([&] { fill("Nope", U"x"); }), "Undefined Field Name(Nope)");
    EXPECT_EQ(failure([&] { fill("B", U"x"); }), "Undefined Field Appearance(B)");
    EXPECT_EQ(failure([&] { fill_attr("A", U"x", 0, "Zz"); }),
              "Undefined Font(font short_name:Zz)");
    g_doc.seq = SEQ_STARTED;
    EXPECT_EQ(failure([&] { fill("A", U"x"); }), "Illegal method calling sequence.");
    EXPECT_EQ(failure([&] { fill_attr("A", U"x"); }), "Illegal method calling sequence.");
}

TEST_F(TextFill, AnotherFieldsFont) {
    int a = field("A");
    int k = field("K", 200, 20, 0, "KozGo", font_record('U'));
    int jp = tb::add_object();  // the Japanese font object the K field's resources name
    tb::name(jp, "Type", "Font");
    g_st.p_elem_strage[get_elem(ap(k), "KozGo")].data.obj_no = jp;
    fill_attr("A", U"\u3042", 0, "KozGo");
    EXPECT_NE(text(a).find("/KozGo 12.000000 Tf "), std::string::npos);
    EXPECT_NE(text(a).find("(\\060\\102) Tj"), std::string::npos);
    EXPECT_STREQ(rec(a).short_name, "KozGo");
    EXPECT_EQ(rec(a).font_no, rec(k).font_no);
    // The field's resources gain the font and keep the one the template text still names.
    EXPECT_EQ(get_elem_objref(ap(a), nullptr, "KozGo"), jp);
    EXPECT_EQ(get_elem_objref(ap(a), nullptr, "Helv"), 3);
    // Later values of the field keep the new font; a second change reuses the entry.
    fill("A", U"B");
    EXPECT_NE(text(a).find("/KozGo 12.000000 Tf "), std::string::npos);
    fill_attr("A", U"B", 0, "KozGo");
    int entries = 0;
    for (int e = xref_at(ap(a)).first_elem; e > 0; e = elem_at(e).next_elem)
        if (std::string(elem_at(e).label) == "KozGo") ++entries;
    EXPECT_EQ(entries, 1);
    // The K field in A's font: another field may still take K's own font after that.
    const int16_t kozgo = rec(k).font_no;
    fill_attr("K", U"C", 0, "Helv");
    fill_attr("A", U"D", 0, "KozGo");
    EXPECT_EQ(rec(a).font_no, kozgo);
}

TEST_F(TextFill, FontChangeNeedsFontResources) {
    int a = field("A");
    int k = field("K", 200, 20, 0, "F2");
    elem_at(get_elem(ap(k), "F2")).f_type = 0;
    EXPECT_EQ(failure([&] { fill_attr("A", U"x", 0, "F2"); }),
              "Undefined Font(font short_name:F2)");
    (void)a;
}

TEST_F(TextFill, AppearanceObjectEdits) {
    int f = field("A");
    int obj = ap(f);
    tb::name(obj, "Filter", "FlateDecode");
    tb::array(obj, "DecodeParms", "<< /Predictor 12 >>");
    elem_at(get_elem(obj, "Length")).f_type = 0;
    elem_at(get_elem(obj, "Length")).label[0] = 'X';  // no /Length at all
    fill("A", U"x");
    EXPECT_EQ(elem_at(get_elem(obj, "Filter")).f_type, 0);
    EXPECT_EQ(elem_at(get_elem(obj, "DecodeParms")).f_type, 0);
    EXPECT_EQ(get_elem_int(obj, nullptr, "Length"), static_cast<int>(text(f).size()));

    // A filter array written as items goes with all of them.
    int g = field("G");
    int go = ap(g);
    append_elem_array_start(go, 0, "Filter");
    append_elem_name(go, 0, LABEL_IMMEDIATE, "ASCII85Decode");
    append_elem_name(go, 0, LABEL_IMMEDIATE, "FlateDecode");
    append_elem_array_end(go, 0, "");
    fill("G", U"x");
    int off = 0;
    for (int e = get_elem(go, "Filter"); e > 0; e = elem_at(e).next_elem)
        if (elem_at(e).f_type == 0) ++off;
    EXPECT_EQ(off, 4);
}

TEST_F(TextFill, UnresolvableAppearanceIsLeftAlone) {
    int f = field("A");
    int obj = ap(f);
    std::string before = text(f);
    elem_at(get_elem(rec(f).obj_no, "N")).f_type = ELEM_TYPE_INTEGER;
    fill("A", U"x");
    EXPECT_EQ(g_doc.flag_set_field[f], 0);
    int e = dict_entry(obj, LABEL_STREAM);
    EXPECT_EQ(std::string(elem_bytes(elem_at(e)), before.size()), before);
}

TEST_F(TextFill, EveryWidgetOfOneNameShowsTheValue) {
    int a = field("Same");
    int b = field("Same");
    fill("Same", U"v");
    EXPECT_EQ(lines_of(a), " 0.000000 0 Td (\\166) Tj");
    EXPECT_EQ(lines_of(b), " 0.000000 0 Td (\\166) Tj");
    EXPECT_EQ(g_doc.flag_set_field[a], 1);
    EXPECT_EQ(g_doc.flag_set_field[b], 1);
}

TEST_F(TextFill, OverlongValues) {
    // 19,999 bytes of one script line.
    int f = field("A");
    std::u32string big(19999, U'x');
    fill("A", big);
    int lines = 0;
    set_field_data_stream(f, cps(big).data(), 0, -20, "Helv", 12, -1, -1, -1, g_fill.stream, -1, 0,
                          0, 0, 0, &lines);
    EXPECT_EQ(count(text(f), "\\170"), 19999);
    EXPECT_GT(lines, 100);
    EXPECT_EQ(text(f).size(), g_fill.stream.size());

    // 5,000 CJK characters on one line of a field wide enough for them.
    int u = field("U", 70000, 20, 0, "FU", font_record('U'));
    std::u32string cjk(5000, U'\u6F22');
    fill("U", cjk);
    EXPECT_EQ(count(text(u), ") Tj"), 1);
    EXPECT_EQ(count(text(u), "\\157\\042"), 5000);
    int s = field("S", 70000, 20, 0, "FS", font_record('S'));
    fill("S", cjk);
    EXPECT_EQ(count(text(s), ") Tj"), 1);

    // 10,000 line feeds: 10,000 empty lines and the last character.
    std::u32string feeds(10000, U'\n');
    feeds += U"z";
    fill("A", feeds);
    EXPECT_EQ(count(text(f), "() '"), 9999);
    EXPECT_TRUE(text(f).ends_with("(\\172) ' ET Q EMC"));
}

}  // namespace
