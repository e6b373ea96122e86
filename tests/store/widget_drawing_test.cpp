// Choice options as forms write them, and the list drawing's fitting of an automatic size.
#include "store/widget_drawing.h"

#include <gtest/gtest.h>

namespace {

TEST(WidgetDrawing, ChoiceItemsReadStringsPairsAndEscapes) {
    // A plain string, a pair [export shown], a string holding escaped and nested parentheses,
    // and UTF-16 in hexadecimal.
    std::vector<ChoiceItem> items = choice_items("(One) [(2) (Two)] (a\\) b (c)) <FEFF00500069>");
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].exported, "One");
    EXPECT_EQ(items[0].shown, "One");
    EXPECT_EQ(items[1].exported, "2");
    EXPECT_EQ(items[1].shown, "Two");
    EXPECT_EQ(items[2].shown, "a) b (c)");
    EXPECT_EQ(items[3].shown, std::string("\xFE\xFF\x00P\x00i", 6));
}

TEST(WidgetDrawing, ListFitsTheWidestOptionAndMarksTheSelection) {
    // Box 100 x 120 without border: the widest option (2 em) would allow (100 - 4) / 2 = 48
    // pt; a list takes 12 at most, as viewers size it. Lines are 1.1 size apart from the top;
    // the selected one is on a black bar, in white.
    std::vector<ListOption> opts(2);
    opts[0].text = "ab";
    opts[0].width = 2;
    opts[1].text = "c";
    opts[1].width = 0.5;
    opts[1].selected = true;
    std::string s = list_ops("0 0 1 rg /F1 0 Tf", "/F1", 0, opts, 0, 100, 120, 0, 0);
    EXPECT_NE(s.find("0 0 1 rg /F1 12.00 Tf 1 0 0 1 2.00 106.80 Tm\n(ab) Tj"), std::string::npos)
        << s;
    EXPECT_NE(s.find("0 g\n0.00 91.20 100.00 13.20 re f\n"), std::string::npos) << s;
    EXPECT_NE(s.find("1 g\n(c) Tj"), std::string::npos) << s;
    // A narrow box fits the widest option below that.
    s = list_ops("/F1 0 Tf", "/F1", 0, opts, 0, 20, 120, 0, 0);
    EXPECT_NE(s.find("/F1 8.00 Tf"), std::string::npos) << s;
}

TEST(WidgetDrawing, DefaultAppearancesKeepOnlyTextStateOperators) {
    EXPECT_EQ(clean_da("/Helv 12 Tf 0 g"), "/Helv 12 Tf 0 g");
    // A stray bracket, a string and an operator short of operands go; the rest stays.
    EXPECT_EQ(clean_da("0.298 0.298 0.298 rg ] /F1_1 12 Tf"), "0.298 0.298 0.298 rg /F1_1 12 Tf");
    EXPECT_EQ(clean_da("(x) 0 0 rg /F1 9 Tf 2 Tz"), "/F1 9 Tf 2 Tz");
    EXPECT_EQ(clean_da("0 g/Helv 0 Tf"), "0 g /Helv 0 Tf");
    // A size without a font stays; a string's operator goes with it.
    EXPECT_EQ(clean_da(" 12.00000 Tf 0.5 g"), "12.00000 Tf 0.5 g");
    EXPECT_EQ(clean_da("/Helv 12 12 Tf"), "/Helv 12 Tf");
    EXPECT_EQ(clean_da("(x) Tj /Helv 12 Tf 0 0 1 rg"), "/Helv 12 Tf 0 0 1 rg");
    EXPECT_EQ(clean_da("/Cs1 cs 0.5 sc /F2 10 Tf /P0 scn"), "/Cs1 cs 0.5 sc /F2 10 Tf /P0 scn");
}

TEST(WidgetDrawing, AnUnderlineLiesInsideTheBox) {
    WidgetFrame f;
    f.bc = {0};
    f.border = 2;
    f.style = 'U';
    EXPECT_EQ(frame_ops(f, 100, 20, false), "2.00 w\n0.00 G\n0 1.00 m 100.00 1.00 l S\n");
}

}  // namespace
