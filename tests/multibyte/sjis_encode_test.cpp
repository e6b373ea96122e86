// The Shift_JIS encoder.
#include "multibyte/sjis_encode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "iconv_oracle.h"
#include "multibyte/char_width.h"

namespace {

using Cps = std::vector<int32_t>;

std::string enc(const Cps& cps) {
    return std::string(mbs_ucs2sjis(cps.data(), static_cast<int>(cps.size())));
}

TEST(SjisEncode, AsciiKatakanaAndKanji) {
    EXPECT_EQ(enc({'A', 0x3042, 0xFF71, 0x4E9C, '~'}), "A\x82\xA0\xB1\x88\x9F~");
    // Row 1 by the JIS mapping.
    EXPECT_EQ(enc({0xFFE3, 0x2015, 0xFF3C, 0x301C, 0x2016, 0xFF5C, 0xA2, 0xA3}),
              "\x81\x50\x81\x5C\x81\x5F\x81\x60\x81\x61\x81\x62\x81\x91\x81\x92");
    // Windows forms of the same characters reach the same codes.
    EXPECT_EQ(enc({0xFF5E, 0x2225, 0xFF0D, 0xFFE0, 0xFFE1}),
              "\x81\x60\x81\x61\x81\x7C\x81\x91\x81\x92");
    // NEC row 13 and an IBM extension character (written by its NEC-selected code).
    EXPECT_EQ(enc({0x2460, 0x7E8A}), "\x87\x40\xED\x40");
    EXPECT_EQ(decode(enc({0x9AD9}), 'S'), (Cps{0x9AD9}));
}

TEST(SjisEncode, CharactersWithoutACodeBecomeTheirLowByte) {
    EXPECT_EQ(enc({0xA5}), "\xA5");
    EXPECT_EQ(enc({0x20AC}), "\xAC");
    // U+0100 becomes a zero byte: the written line ends there.
    const char* s = mbs_ucs2sjis(Cps{'A', 0x100, 'B'}.data(), 3);
    EXPECT_EQ(std::strlen(s), 1u);
    EXPECT_EQ(std::memcmp(s, "A\0B\0\0\0\0", 7), 0);
}

TEST(SjisEncode, YenSignOption) {
    // On: a backslash is written as U+00A5, which has no JIS X 0208 code: the byte 0xA5.
    EXPECT_EQ(enc({apply_yen_sign(0x5C, 1)}), "\xA5");
    EXPECT_EQ(enc({apply_yen_sign(0x5C, 0)}), "\\");
    EXPECT_EQ(apply_yen_sign('A', 1), 'A');
    EXPECT_EQ(apply_yen_sign(0x5C, 7), 0xA5);
}

TEST(SjisEncode, LineEndsAtZeroOrAboveTheBmp) {
    EXPECT_EQ(enc({'a', 0x10000, 'b'}), "a");
    EXPECT_EQ(enc({'a', -5, 'b'}), "a");
    EXPECT_EQ(enc({'a', 0, 'b'}), "a");
    EXPECT_EQ(enc({}), "");
    EXPECT_STREQ(mbs_ucs2sjis(nullptr, 5), "");
    EXPECT_STREQ(ucs2sjis(Cps{'o', 'k'}.data(), 2), "ok");
    // The count bounds the input: nothing past it is read.
    EXPECT_EQ(std::string(mbs_ucs2sjis(Cps{'a', 'b', 'c'}.data(), 2)), "ab");
}

TEST(SjisEncode, FourZeroBytesEndTheOutput) {
    const char* s = mbs_ucs2sjis(Cps{0x3042}.data(), 1);
    EXPECT_EQ(std::memcmp(s, "\x82\xA0\0\0\0\0", 6), 0);
}

// Lines of any length: the output buffer grows, and the whole line is written.
TEST(SjisEncode, LongLines) {
    for (size_t n : {size_t{9999}, size_t{15000}, size_t{100000}}) {
        Cps cps(n, 0x3042);
        const char* s = mbs_ucs2sjis(cps.data(), static_cast<int>(n));
        ASSERT_EQ(std::strlen(s), 2 * n);
        EXPECT_EQ(decode(std::string(s), 'S'), cps);
    }
}

}  // namespace
