// MIME encoded words in EUC-JP and Shift_JIS values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "iconv_oracle.h"
#include "multibyte/sjis_encode.h"
#include "multibyte/text_decode.h"

namespace {

using Cps = std::vector<int32_t>;

Cps ascii(const std::string& s) {
    return Cps(s.begin(), s.end());
}

TEST(MimeWords, Base64InTheValuesEncoding) {
    // "pKI=" is EUC-JP A4 A2, "gqA=" Shift_JIS 82 A0: hiragana a.
    EXPECT_EQ(decode("x=?EUC-JP?B?pKI=?=y", 'E'), (Cps{'x', 0x3042, 'y'}));
    EXPECT_EQ(decode("x=?euc-jp?b?pKI=?=y", 'E'), (Cps{'x', 0x3042, 'y'}));
    EXPECT_EQ(decode("=?SHIFT_JIS?B?gqA=?=", 'S'), (Cps{0x3042}));
    EXPECT_EQ(decode("=?Shift_JIS?B?gqA?=", 'S'), (Cps{0x3042}));
    // Blanks right after the closing "?=" are dropped, others are kept.
    EXPECT_EQ(decode("=?EUC-JP?B?pKI=?=  \t z ", 'E'), (Cps{0x3042, 'z', ' '}));
    // Two words in a row.
    EXPECT_EQ(decode("=?EUC-JP?B?pKI=?= =?EUC-JP?B?pKI=?=", 'E'), (Cps{0x3042, 0x3042}));
}

TEST(MimeWords, NamedCharacterSetIsHonoured) {
    // UTF-8 E6 97 A5 (U+65E5) in EUC-JP and Shift_JIS values.
    EXPECT_EQ(decode("=?UTF-8?B?5pel?=", 'E'), (Cps{0x65E5}));
    EXPECT_EQ(decode("=?UTF-8?B?5pel?=", 'S'), (Cps{0x65E5}));
    EXPECT_EQ(decode("=?EUC-JP?B?pKI=?=", 'S'), (Cps{0x3042}));
    EXPECT_EQ(decode("=?SHIFT_JIS?B?gqA=?=", 'E'), (Cps{0x3042}));
    EXPECT_EQ(decode("=?ISO-8859-1?Q?caf=E9_au_lait?=", 'E'),
              (Cps{'c', 'a', 'f', 0xE9, ' ', 'a', 'u', ' ', 'l', 'a', 'i', 't'}));
    EXPECT_EQ(decode("=?ISO-8859-1?B?6Q==?=", 'S'), (Cps{0xE9}));
    // ISO-2022-JP: ESC $ B 0x24 0x22 ESC ( B, as Base64 and as quoted-printable.
    EXPECT_EQ(decode("=?ISO-2022-JP?B?GyRCJCIbKEI=?=", 'E'), (Cps{0x3042}));
    EXPECT_EQ(decode("=?iso-2022-jp?q?=1B$B$\"=1B(B?=x", 'S'), (Cps{0x3042, 'x'}));
    EXPECT_EQ(decode("=?US-ASCII?Q?a=3Db?=", 'E'), ascii("a=b"));
    // The word's two-byte mode does not leak into the text after it.
    EXPECT_EQ(decode("=?ISO-2022-JP?B?GyRC?=$\"", 'E'), ascii("$\""));
}

TEST(MimeWords, MalformedWordsStayText) {
    for (const std::string s : {
             "=?EUC-JP?B?pKI=",            // never closes
             "=?EUC-JP?B?pK I=?=",         // a blank inside Base64
             "=?EUC-JP?B?",                // pattern only
             "=?EUC-JP?",                  // partial pattern
             "=?",                         // just the opener
             "=?BIG5?B?pKI=?=",            // no such pattern
             "=?US-ASCII?Q?never closes",  // quoted-printable without an end
         }) {
        EXPECT_EQ(decode(s, 'E'), ascii(s)) << s;
        EXPECT_EQ(decode(s, 'S'), ascii(s)) << s;
    }
    // Malformed quoted-printable escapes stand for themselves.
    EXPECT_EQ(decode("=?US-ASCII?Q?a=zz=4?=", 'E'), ascii("a=zz=4"));
    // UTF-8 decoding never sees encoded words.
    EXPECT_EQ(decode("=?EUC-JP?B?pKI=?=", 'U'), ascii("=?EUC-JP?B?pKI=?="));
}

TEST(MimeWords, WordLengthLimit) {
    // 1,024 characters from "=?" through "?=" decode; one more and the word stays text.
    auto word = [](size_t total) {
        std::string w = "=?US-ASCII?Q?";
        w += std::string(total - w.size() - 2, 'a');
        return w + "?=";
    };
    EXPECT_EQ(decode(word(1024), 'E'), ascii(std::string(1024 - 15, 'a')));
    EXPECT_EQ(decode(word(1025), 'E'), ascii(word(1025)));
}

TEST(MimeWords, UnclosedWordsInALongestLine) {
    for (const std::string opener : {"=?UTF-8?B?", "=?US-ASCII?Q?"}) {
        std::string s;
        while (s.size() < 19999) s += opener + std::string(97, 'Q');
        s.resize(19999);
        std::vector<int32_t> dest(s.size() + 1);
        int n = mbs_mbstowcs(dest.data(), s.data(), static_cast<int>(s.size()), 'E');
        EXPECT_EQ(n, 19999);
        EXPECT_EQ(dest[0], '=');
    }
}

TEST(MimeWords, UnmappableTextInsideAWord) {
    // EUC-JP A9 A1 (row 9, unmapped) inside the word is the geta mark.
    EXPECT_EQ(decode("a=?EUC-JP?B?qaE=?=b", 'E'), (Cps{'a', 0x3013, 'b'}));
    // Invalid UTF-8 inside a UTF-8 word ends the value.
    EXPECT_EQ(decode("a=?UTF-8?B?gA==?=b", 'E'), ascii("a"));
}

TEST(MimeWords, EncoderWritesTextAsItStands) {
    Cps cps = ascii("=?US-ASCII?Q?x?=");
    EXPECT_STREQ(mbs_ucs2sjis(cps.data(), static_cast<int>(cps.size())), "=?US-ASCII?Q?x?=");
}

}  // namespace
