// Stop rules, escape sequences and bounds of the script-value decoders.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "iconv_oracle.h"
#include "multibyte/text_decode.h"

namespace {

using Cps = std::vector<int32_t>;

Cps ascii(const std::string& s) {
    return Cps(s.begin(), s.end());
}

TEST(DecodeRules, AsciiPassesAndZeroByteEnds) {
    for (char enc : {'E', 'S', 'U'}) {
        EXPECT_EQ(decode("Ab 1~\\", enc), ascii("Ab 1~\\")) << enc;
        EXPECT_EQ(decode(std::string("ab\0cd", 5), enc), ascii("ab")) << enc;
        EXPECT_TRUE(decode("", enc).empty());
    }
}

TEST(DecodeRules, UnknownEncodingIsEucJp) {
    EXPECT_EQ(decode("\xA4\xA2", 'X'), (Cps{0x3042}));
    EXPECT_EQ(decode("\xA4\xA2", 0), (Cps{0x3042}));
}

TEST(DecodeRules, Utf8StopsAtInvalidInput) {
    // A stray continuation byte in the middle keeps what came before it.
    EXPECT_EQ(decode("ab\x80"
                     "cd",
                     'U'),
              ascii("ab"));
    EXPECT_EQ(decode("ab\xFE"
                     "cd",
                     'U'),
              ascii("ab"));
    EXPECT_EQ(decode("ab\xFF"
                     "cd",
                     'U'),
              ascii("ab"));
    // A lead byte followed by something other than a continuation byte.
    EXPECT_EQ(decode("a\xE3\x81"
                     "b",
                     'U'),
              ascii("a"));
    // Values that end a value: surrogates, U+FFFE, U+FFFF, above U+10FFFF.
    EXPECT_EQ(decode("a\xED\xA0\x80"
                     "b",
                     'U'),
              ascii("a"));
    EXPECT_EQ(decode("a\xEF\xBF\xBE"
                     "b",
                     'U'),
              ascii("a"));
    EXPECT_EQ(decode("a\xEF\xBF\xBF"
                     "b",
                     'U'),
              ascii("a"));
    EXPECT_EQ(decode("a\xF4\x90\x80\x80"
                     "b",
                     'U'),
              ascii("a"));
    EXPECT_EQ(decode("a\xF4\x8F\xBF\xBF"
                     "b",
                     'U'),
              (Cps{'a', 0x10FFFF, 'b'}));
    // An encoded zero (overlong) ends the value like a zero byte.
    EXPECT_EQ(decode("a\xC0\x80"
                     "b",
                     'U'),
              ascii("a"));
}

TEST(DecodeRules, Utf8LongFormsAreNotRejected) {
    EXPECT_EQ(decode("\xC1\x81", 'U'), (Cps{0x41}));
    EXPECT_EQ(decode("\xF8\x80\x80\x81\x81", 'U'), (Cps{0x41}));
    EXPECT_EQ(decode("\xFC\x80\x80\x83\x81\x82"
                     "z",
                     'U'),
              (Cps{0x3042, 'z'}));
    // A six-byte form of U+110000 is above the limit.
    EXPECT_TRUE(decode("\xFC\x80\x84\x90\x80\x80", 'U').empty());
}

TEST(DecodeRules, TruncatedSequencesAtTheEnd) {
    EXPECT_EQ(decode("ab\xE3\x81", 'U'), ascii("ab"));
    EXPECT_EQ(decode("ab\xC3", 'U'), ascii("ab"));
    EXPECT_EQ(decode("ab\xA4", 'E'), ascii("ab"));
    EXPECT_EQ(decode("ab\x8E", 'E'), ascii("ab"));
    EXPECT_EQ(decode("ab\x8F", 'E'), ascii("ab"));
    EXPECT_EQ(decode("ab\x8F\xB0", 'E'), ascii("ab"));
    EXPECT_EQ(decode("ab\x82", 'S'), ascii("ab"));
    EXPECT_EQ(decode("ab\xFA", 'S'), ascii("ab"));
    EXPECT_EQ(decode("ab\x1B$B$", 'E'), ascii("ab"));
    EXPECT_EQ(decode("ab\x1B$", 'S'), ascii("ab$"));  // the lone ESC is dropped
}

TEST(DecodeRules, EucJpRules) {
    // Two letters, a JIS X 0212 character, two letters: the character, which has no
    // mapping, becomes the geta mark and the value goes on.
    EXPECT_EQ(decode("ab\x8F\xB0\xA1"
                     "cd",
                     'E'),
              (Cps{'a', 'b', 0x3013, 'c', 'd'}));
    // A lead byte followed by a byte below 0x40 is dropped with it.
    EXPECT_EQ(decode("a\xA4"
                     "1b",
                     'E'),
              ascii("ab"));
    // 0x8E with a byte outside A1-DF is dropped with it.
    EXPECT_EQ(decode("a\x8E\xE0"
                     "b",
                     'E'),
              ascii("ab"));
    // The top bit of the second byte is cleared: A1 41 is row 1 cell 0x41.
    EXPECT_EQ(decode("\xA1\x41", 'E'), (Cps{0x301C}));
    // An unmapped cell is the geta mark.
    EXPECT_EQ(decode("a\xA9\xA1"
                     "b",
                     'E'),
              (Cps{'a', 0x3013, 'b'}));
    EXPECT_EQ(decode("a\xFF\xFF"
                     "b",
                     'E'),
              (Cps{'a', 0x3013, 'b'}));
    // The JIS mapping, not code page 932's.
    EXPECT_EQ(decode("\xA1\xB1\xA1\xBD\xA1\xC0\xA1\xC1\xA1\xC2\xA1\xC3\xA1\xF1\xA1\xF2", 'E'),
              (Cps{0xFFE3, 0x2015, 0xFF3C, 0x301C, 0x2016, 0xFF5C, 0x00A2, 0x00A3}));
    EXPECT_EQ(decode("\xAD\xA1\xF9\xA1\xB0\xA1", 'E'), (Cps{0x2460, 0x7E8A, 0x4E9C}));
}

TEST(DecodeRules, ShiftJisRules) {
    EXPECT_EQ(decode("\xA1\xDF", 'S'), (Cps{0xFF61, 0xFF9F}));
    EXPECT_EQ(decode("a\xA0"
                     "b",
                     'S'),
              (Cps{'a', 0x3013, 'b'}));
    EXPECT_EQ(decode("a\x82"
                     "1b",
                     'S'),
              ascii("ab"));
    EXPECT_EQ(decode("\xFA\x40", 'S'), (Cps{0x2170}));
    EXPECT_EQ(decode("\xEE\xEF", 'S'), (Cps{0x2170}));
    // An IBM extension code without an equivalent, invalid trail bytes and the user-defined
    // area are the geta mark; the value goes on.
    for (const char* code : {"\xFC\xFC", "\x82\x7F", "\xF0\x40", "\x80\x40"})
        EXPECT_EQ(decode(std::string("a") + code + "b", 'S'), (Cps{'a', 0x3013, 'b'})) << code;
}

TEST(DecodeRules, Iso2022JpEscapesAndShifts) {
    const std::string a = "\x24\x22";  // JIS 0x2422, hiragana a
    for (char enc : {'E', 'S'}) {
        for (const char* esc : {"\x1B$B", "\x1B$@", "\x1B$(B", "\x1B$(@"}) {
            for (const char* back : {"\x1B(B", "\x1B(J", "\x1B(H"}) {
                EXPECT_EQ(decode(std::string("x") + esc + a + back + "$\"", enc),
                          (Cps{'x', 0x3042, '$', '"'}))
                    << enc << " " << esc + 1 << " " << back + 1;
            }
        }
        EXPECT_EQ(decode("\x1B(I\x31\x5F\x1B(Bz", enc), (Cps{0xFF71, 0xFF9F, 'z'}));
        EXPECT_EQ(decode("a\x0E\x31 \x0F\x31", enc), (Cps{'a', 0xFF71, ' ', '1'}));
        // Katakana mode has no characters at 0x60-0x7E.
        EXPECT_EQ(decode("\x0E\x31\x60\x31", enc), (Cps{0xFF71, 0x3013, 0xFF71}));
        // An escape that is not honoured is dropped by itself.
        EXPECT_EQ(decode("a\x1B"
                         "xb",
                         enc),
                  ascii("axb"));
        // Spaces pass in two-byte mode; an unmapped pair is the geta mark.
        EXPECT_EQ(decode("\x1B$B$\" $\"", enc), (Cps{0x3042, ' ', 0x3042}));
        EXPECT_EQ(decode("\x1B$B$\"\x29\x21z", enc), (Cps{0x3042, 0x3013}));
        // A zero byte still ends the value in two-byte mode.
        EXPECT_EQ(decode(std::string("\x1B$B$\"\0$\"", 7), enc), (Cps{0x3042}));
    }
}

// Values as long as one command-script line allows, in every encoding, into a destination of
// exactly the size the caller provides (AddressSanitizer checks the bounds).
TEST(DecodeRules, LongestLineInEveryEncoding) {
    const int len = 19999;
    struct Case {
        char enc;
        std::string unit;
        int32_t cp;
    } cases[] = {
        {'E', "\xA4\xA2", 0x3042}, {'S', "\x82\xA0", 0x3042}, {'U', "\xE3\x81\x82", 0x3042},
        {'S', "\xB1", 0xFF71},     {'E', "a", 'a'},           {'U', "a", 'a'},
    };
    for (const Case& c : cases) {
        std::string s;
        while (s.size() + c.unit.size() <= static_cast<size_t>(len)) s += c.unit;
        size_t whole = s.size() / c.unit.size();
        while (s.size() < static_cast<size_t>(len)) s += 'z';
        std::vector<int32_t> dest(len + 1, -1);
        int n = mbs_mbstowcs(dest.data(), s.data(), len, c.enc);
        ASSERT_EQ(n, static_cast<int>(whole + (len - whole * c.unit.size()))) << c.enc;
        EXPECT_EQ(dest[0], c.cp);
        EXPECT_EQ(dest[whole - 1], c.cp);
        EXPECT_EQ(dest[n], 0);
    }
}

// Lines longer than a command-script line are decoded whole; the destination bound holds.
TEST(DecodeRules, LongerInputIsDecodedWhole) {
    std::string s;
    for (int i = 0; i < 100000; ++i) s += "\xB1";
    std::vector<int32_t> dest(s.size() + 1);
    EXPECT_EQ(mbs_mbstowcs(dest.data(), s.data(), static_cast<int>(s.size()), 'S'), 100000);
}

TEST(DecodeRules, BadArguments) {
    int32_t dest[2] = {7, 7};
    EXPECT_EQ(mbs_mbstowcs(dest, nullptr, 5, 'E'), 0);
    EXPECT_EQ(dest[0], 0);
    EXPECT_EQ(mbs_mbstowcs(dest, "abc", -1, 'E'), 0);
    EXPECT_EQ(mbs_mbstowcs(nullptr, "abc", 3, 'E'), 0);
}

}  // namespace
