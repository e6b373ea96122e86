// Standard font numbering, the width tables and character widths.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "multibyte/char_width.h"
#include "multibyte/cid_tables.h"
#include "multibyte/font_metrics.h"
#include "multibyte/standard_fonts.h"

namespace {

TEST(StandardFonts, NumbersAndNamesRoundTrip) {
    int assigned = 0;
    for (int no = 0; no <= 70; ++no) {
        char name[STANDARD_FONT_NAME_SIZE];
        std::memset(name, '#', sizeof name);
        name[sizeof name - 1] = 0;
        get_standard_font_name(no, name);
        bool unassigned = no == 0 || no == 18 || no == 19 || no > 43;
        if (unassigned) {
            EXPECT_EQ(name[0], '#') << no;  // left unchanged
            continue;
        }
        ++assigned;
        EXPECT_EQ(get_standard_font_no(name), no) << name;
    }
    EXPECT_EQ(assigned, 41);
    EXPECT_EQ(get_standard_font_no("Helvetica"), 20);
    EXPECT_EQ(get_standard_font_no("URWAntiquaT-RegularCondensed"), 41);
    EXPECT_EQ(std::strlen(standard_font_name(41)) + 1, size_t{STANDARD_FONT_NAME_SIZE});
    EXPECT_EQ(get_standard_font_no("helvetica"), 0);
    EXPECT_EQ(get_standard_font_no("Helvetica "), 0);
    EXPECT_EQ(get_standard_font_no("Arial"), 0);
    EXPECT_EQ(get_standard_font_no(""), 0);
    EXPECT_EQ(get_standard_font_no(nullptr), 0);
}

int encoded_codes(int row) {
    int n = 0;
    for (int c = 0; c < 256; ++c) n += fmetric[row][c] != 0;
    return n;
}

TEST(FontMetrics, PublishedWidths) {
    EXPECT_EQ(fmetric[20][int{' '}], 278);
    EXPECT_EQ(fmetric[20][int{'A'}], 667);
    EXPECT_EQ(fmetric[20][int{'a'}], 556);
    EXPECT_EQ(fmetric[20][int{'0'}], 556);
    EXPECT_EQ(fmetric[20][int{'W'}], 944);
    EXPECT_EQ(fmetric[20][int{'i'}], 222);
    EXPECT_EQ(fmetric[20][0xE1], 1000);
    EXPECT_EQ(fmetric[28][int{' '}], 250);
    EXPECT_EQ(fmetric[28][int{'A'}], 722);
    EXPECT_EQ(fmetric[28][int{'a'}], 444);
    // StandardEncoding: 149 codes per text font; Symbol 189, ZapfDingbats 188.
    for (int row = 1; row <= 43; ++row) {
        if (row == 17 || row == 18 || row == 19 || row == 40) continue;
        EXPECT_EQ(encoded_codes(row), 149) << row;
        for (int c = 0; c < 256; ++c) {
            EXPECT_EQ(fmetric[row][c] != 0, fmetric[20][c] != 0) << row << " " << c;
        }
    }
    EXPECT_EQ(encoded_codes(40), 189);
    EXPECT_EQ(encoded_codes(17), 188);
    for (int row : {0, 44, 63}) EXPECT_EQ(encoded_codes(row), 0);
}

TEST(CidTables, AdobeJapan1Entries) {
    for (int u = 0x20; u <= 0x7E; ++u) {
        int want = u == 0x5C ? 97 : u == 0x7C ? 99 : u == 0x7E ? 100 : u - 0x1F;
        EXPECT_EQ(cid_code_a[u], want) << u;
        EXPECT_EQ(cid_code_s[u], 231 + (u - 0x20)) << u;
    }
    for (auto [u, cid] : {std::pair{0xA0, 1},
                          {0xA5, 61},
                          {0x3000, 633},
                          {0x3042, 843},
                          {0x4E00, 1200},
                          {0x301C, 665},
                          {0xFF5E, 665},
                          {0x2212, 693},
                          {0xFF0D, 693},
                          {0xFF61, 327},
                          {0xFF9F, 389},
                          {0xFFFD, 0}})
        EXPECT_EQ(cid_code_a[u], cid) << u;
    for (int u = 0xE000; u <= 0xF8FF; ++u) ASSERT_EQ(cid_code_a[u], 0) << u;
    for (int u = 0xA1; u <= 0xDF; ++u) EXPECT_EQ(cid_code_s[u], u + 76);
    EXPECT_EQ(cid_code_s[0xEF], 668);
    int nonzero_s = 0;
    for (int u = 0; u < 256; ++u) nonzero_s += cid_code_s[u] != 0;
    EXPECT_EQ(nonzero_s, 95 + 63 + 1);
}

std::unique_ptr<st_font> make_font(char kind) {
    auto f = std::make_unique<st_font>();
    std::memset(f.get(), 0, sizeof *f);
    f->encoding = kind;
    f->default_width = 1000;
    for (int i = 0; i < FONT_WIDTHS; ++i) f->width[i] = static_cast<int16_t>(i % 1000);
    return f;
}

TEST(CharWidth, StandardFonts) {
    for (int fno = 32; fno <= 35; ++fno) {
        for (int u = 0; u <= 0xFF; ++u) {
            int want = fmetric_winansi[20][u] != 0 ? 600 : 0;  // every encoded code
            ASSERT_EQ(char_width(-fno, 'T', u, nullptr), want) << fno << " " << u;
        }
        EXPECT_EQ(char_width(-fno, 'T', 0x100, nullptr), 1000);
        EXPECT_EQ(char_width(-fno, 'T', 0x3042, nullptr), 1000);
    }
    EXPECT_EQ(char_width(-20, 'T', 'A', nullptr), 667);
    // Codes are measured as WinAnsiEncoding lays them out: a Latin-1 letter is its own code.
    EXPECT_EQ(char_width(-20, 'T', 0xC4, nullptr), 667);  // Adieresis (tilde by StandardEncoding)
    EXPECT_EQ(char_width(-28, 'T', 0xF1, nullptr), 500);  // ntilde
    EXPECT_EQ(char_width(-20, 'T', 0x27, nullptr), 191);  // quotesingle, not quoteright
    EXPECT_EQ(char_width(-20, 'T', 0x80, nullptr), 556);  // Euro
    EXPECT_EQ(char_width(-20, 'T', 0x81, nullptr), 0);    // unencoded
    EXPECT_EQ(char_width(-20, 'T', apply_yen_sign(0x5C, 1), nullptr), fmetric[20][0xA5]);
    EXPECT_EQ(char_width(-20, 'T', apply_yen_sign(0x5C, 0), nullptr), fmetric[20][0x5C]);
    // Numbers without a font, and outside the table.
    EXPECT_EQ(char_width(-50, 'T', 'A', nullptr), 0);
    EXPECT_EQ(char_width(-64, 'T', 'A', nullptr), 0);
    EXPECT_EQ(char_width(-1000, 'T', 'A', nullptr), 0);
    EXPECT_EQ(char_width(-20, 'T', -1, nullptr), 0);
}

TEST(CharWidth, TemplateFontsByKind) {
    auto s = make_font('S');
    auto p = make_font('P');
    // Capital A: half-width CID 264 in an S font, proportional CID 34 in a P font.
    EXPECT_EQ(char_width(0, 'S', 'A', s.get()), 264);
    EXPECT_EQ(char_width(0, 'P', 'A', p.get()), 34);
    EXPECT_EQ(char_width(0, 'U', 'A', p.get()), 34);
    EXPECT_EQ(char_width(0, 'S', 0x3042, s.get()), 843);  // above 239: proportional table
    EXPECT_EQ(char_width(0, 'S', 0xEF, s.get()), 668);
    EXPECT_EQ(char_width(0, 'S', 0xF0, s.get()), cid_code_a[0xF0] % 1000);
    // T and N measure by the code point; 4096 and above take the default width.
    auto t = make_font('T');
    EXPECT_EQ(char_width(0, 'T', 'A', t.get()), 'A');
    EXPECT_EQ(char_width(0, 'N', 4095, t.get()), 95);
    EXPECT_EQ(char_width(0, 'T', 0x3042, t.get()), 1000);
    EXPECT_EQ(char_width(0, 'N', -3, t.get()), 1000);
    // A CID of 4096 or more (U+4E00 is CID 1200, U+9AD9 beyond 4096).
    EXPECT_GE(cid_code_a[0x9AD9], 4096);
    EXPECT_EQ(char_width(0, 'U', 0x9AD9, p.get()), 1000);
    // No CID: the width at 0 (here 0); code points beyond the BMP have none.
    EXPECT_EQ(char_width(0, 'P', 0xE000, p.get()), 0);
    EXPECT_EQ(char_width(0, 'P', 0x20000, p.get()), 0);
    EXPECT_EQ(char_width(0, 'Z', 'A', p.get()), 34);  // any other kind is measured as U
    EXPECT_EQ(char_width(0, 'S', 'A', nullptr), 0);
}

}  // namespace
