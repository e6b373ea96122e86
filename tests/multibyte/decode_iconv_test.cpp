// Exhaustive comparison of the decoders and the Shift_JIS encoder with glibc iconv.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "iconv_oracle.h"
#include "multibyte/sjis_encode.h"

namespace {

using Cps = std::vector<int32_t>;

std::string encode_sjis(const Cps& cps) {
    return std::string(mbs_ucs2sjis(cps.data(), static_cast<int>(cps.size())));
}

bool nec_row(int row) {
    return row == 13 || (row >= 89 && row <= 92);
}

// Every cell of rows 1-94 in EUC-JP: rows 1-84 agree with iconv "EUC-JP"; NEC row 13 and the
// NEC-selected IBM rows 89-92 agree with "CP932"; cells that neither maps end the value.
TEST(DecodeIconv, EucJpEveryCell) {
    int mapped = 0;
    for (int row = 1; row <= 94; ++row) {
        for (int cell = 1; cell <= 94; ++cell) {
            std::string euc{static_cast<char>(0xA0 + row), static_cast<char>(0xA0 + cell)};
            auto want = nec_row(row) ? iconv_decode("CP932", jis_to_sjis(row + 0x20, cell + 0x20))
                                     : iconv_decode("EUC-JP", euc);
            if (row >= 85 && !nec_row(row)) want.reset();
            Cps got = decode(euc + "x", 'E');
            if (want) {
                ++mapped;
                ASSERT_EQ(got, (Cps{(*want)[0], 'x'})) << "row " << row << " cell " << cell;
                // The encoder gives back the Shift_JIS code of the cell, or for NEC row 13 the
                // standard-row code of the same character.
                std::string sj = encode_sjis({(*want)[0]});
                if (row != 13) {
                    ASSERT_EQ(sj, jis_to_sjis(row + 0x20, cell + 0x20)) << row << "/" << cell;
                } else {
                    ASSERT_EQ(decode(sj, 'S'), (Cps{(*want)[0]})) << row << "/" << cell;
                }
            } else {
                ASSERT_EQ(got, (Cps{0x3013, 'x'})) << "row " << row << " cell " << cell;
            }
        }
    }
    // JIS X 0208 (6879), NEC row 13 (83), NEC-selected IBM extensions (374).
    EXPECT_EQ(mapped, 6879 + 83 + 374);
}

// Every two-byte Shift_JIS code: iconv "SHIFT_JIS" for the JIS rows, "CP932" for NEC row 13,
// rows 89-92 and the IBM extensions; unmapped IBM extension codes are dropped, other
// unmapped codes end the value.
TEST(DecodeIconv, ShiftJisEveryCode) {
    int ibm = 0;
    for (int b1 = 0x81; b1 <= 0xFC; ++b1) {
        if (b1 >= 0xA0 && b1 <= 0xDF) continue;
        for (int b2 = 0x40; b2 <= 0xFC; ++b2) {
            std::string sj{static_cast<char>(b1), static_cast<char>(b2)};
            int lead = b1 >= 0xE0 ? b1 - 0xC1 : b1 - 0x81;
            int row = 2 * lead + 1 + (b2 >= 0x9F ? 1 : 0);
            bool ext = b1 >= 0xFA;
            auto want =
                (ext || nec_row(row)) ? iconv_decode("CP932", sj) : iconv_decode("SHIFT_JIS", sj);
            if (want && (*want)[0] >= 0xE000 && (*want)[0] <= 0xF8FF) want.reset();  // user area
            Cps got = decode(sj + "x", 'S');
            if (want) {
                ASSERT_EQ(got, (Cps{(*want)[0], 'x'})) << std::hex << b1 << " " << b2;
                std::string back = encode_sjis({(*want)[0]});
                if (ext) {
                    ++ibm;
                    ASSERT_EQ(decode(back, 'S'), (Cps{(*want)[0]})) << std::hex << b1 << b2;
                    ASSERT_TRUE(static_cast<unsigned char>(back[0]) < 0xFA);
                } else if (row != 13) {
                    ASSERT_EQ(back, sj) << std::hex << b1 << " " << b2;
                }
            } else {
                // No mapping: the geta mark stands for it, and the value goes on.
                ASSERT_EQ(got, (Cps{0x3013, 'x'})) << std::hex << b1 << " " << b2;
            }
        }
    }
    EXPECT_EQ(ibm, 388);
}

// Half-width katakana in both encodings.
TEST(DecodeIconv, HalfWidthKatakana) {
    for (int b = 0xA1; b <= 0xDF; ++b) {
        std::string sj(1, static_cast<char>(b));
        std::string euc = "\x8E" + sj;
        auto want = iconv_decode("SHIFT_JIS", sj);
        ASSERT_TRUE(want);
        EXPECT_EQ(decode(sj, 'S'), *want);
        EXPECT_EQ(decode(euc, 'E'), *iconv_decode("EUC-JP", euc));
        EXPECT_EQ(encode_sjis(*want), sj);
    }
}

void append_utf8(std::string& s, uint32_t u) {
    if (u < 0x80) {
        s += static_cast<char>(u);
    } else if (u < 0x800) {
        s += static_cast<char>(0xC0 | (u >> 6));
        s += static_cast<char>(0x80 | (u & 0x3F));
    } else if (u < 0x10000) {
        s += static_cast<char>(0xE0 | (u >> 12));
        s += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (u & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (u >> 18));
        s += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (u & 0x3F));
    }
}

// All of Unicode except the code points that end a value, in one string.
TEST(DecodeIconv, Utf8AllValidCodePoints) {
    std::string text;
    for (uint32_t u = 1; u <= 0x10FFFF; ++u) {
        if ((u >= 0xD800 && u <= 0xDFFF) || u == 0xFFFE || u == 0xFFFF) continue;
        append_utf8(text, u);
    }
    auto want = iconv_decode("UTF-8", text);
    ASSERT_TRUE(want);
    Cps got = decode(text, 'U');
    ASSERT_EQ(got.size(), want->size());
    EXPECT_TRUE(got == *want);
}

// Japanese text converted by iconv into each encoding decodes to the same code points, and
// the encoder writes the Shift_JIS that iconv writes.
TEST(DecodeIconv, MixedTextInEveryEncoding) {
    // JIS-mapped characters (U+301C wave dash, U+FFE5 yen sign) as EUC-JP and Shift_JIS hold them.
    std::string jis = "Tessaro 請求書 No.12345 ご利用ありがとうございます。ｶﾀｶﾅ ー〜￥100";
    auto cps = iconv_decode("UTF-8", jis);
    ASSERT_TRUE(cps);
    EXPECT_EQ(decode(jis, 'U'), *cps);
    EXPECT_EQ(decode(iconv_encode("EUC-JP", jis), 'E'), *cps);
    std::string sj = iconv_encode("SHIFT_JIS", jis);
    EXPECT_EQ(decode(sj, 'S'), *cps);
    EXPECT_EQ(encode_sjis(*cps), sj);
    // Code page 932 text with NEC row 13 and an IBM extension (U+9AD9).
    std::string ms = "①②③ ㈱ 髙﨑 Ⅲ";
    auto ms_cps = iconv_decode("UTF-8", ms);
    ASSERT_TRUE(ms_cps);
    EXPECT_EQ(decode(iconv_encode("CP932", ms), 'S'), *ms_cps);
    EXPECT_EQ(decode(encode_sjis(*ms_cps), 'S'), *ms_cps);
}

}  // namespace
