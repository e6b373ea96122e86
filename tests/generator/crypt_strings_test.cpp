// String syntax around encryption: a string's value is what gets encrypted, and the
// encrypted bytes come back in valid syntax of the string's own form.
#include "generator/crypt_strings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string literal(const std::string& body) {
    std::string out(body.size(), '\0');
    int n = literal_value(body.data(), static_cast<int>(body.size()),
                          reinterpret_cast<unsigned char*>(out.data()));
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string hex(const std::string& body) {
    std::string out((body.size() + 1) / 2, '\0');
    int n = hex_value(body.data(), static_cast<int>(body.size()),
                      reinterpret_cast<unsigned char*>(out.data()));
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string escaped(const std::string& raw) {
    std::string out(raw.size() * 2, '\0');
    int n = 0;
    escapeString(reinterpret_cast<const unsigned char*>(raw.data()), static_cast<int>(raw.size()),
                 &n, out.data());
    out.resize(static_cast<size_t>(n));
    return out;
}

TEST(LiteralValue, ResolvesEscapes) {
    EXPECT_EQ(literal(R"(a\(b\)c\\d)"), "a(b)c\\d");
    EXPECT_EQ(literal(R"(\n\r\t\b\f)"), "\n\r\t\b\f");
    EXPECT_EQ(literal(R"(\101\60\0610\7)"), std::string("A0") + "10" + "\x07");
    EXPECT_EQ(literal(R"(\501)"), "A");  // high-order overflow is ignored
    EXPECT_EQ(literal(R"(\q)"), "q");    // unknown escape: the byte itself
    EXPECT_EQ(literal("end\\"), "end");
    EXPECT_EQ(literal(std::string("a\\\r\nb\\\nc\\\rd")), "abcd");  // line continuations
    EXPECT_EQ(literal(std::string("a\r\nb\rc\nd")), "a\nb\nc\nd");  // end of line reads as LF
    EXPECT_EQ(literal(std::string("nul\0byte", 8)), std::string("nul\0byte", 8));
}

TEST(HexValue, DecodesDigits) {
    EXPECT_EQ(hex("48656C6c6F"), "Hello");
    EXPECT_EQ(hex("48 65\r\n6C"), "Hel");
    EXPECT_EQ(hex("414"), "A@");  // an odd last digit is followed by 0
    EXPECT_EQ(hex(""), "");
}

TEST(EscapeString, EscapesDelimitersAndLineEnds) {
    EXPECT_EQ(escaped("(a)\\"), "\\(a\\)\\\\");
    EXPECT_EQ(escaped("\b\t\n\f\r"), "\\b\\t\\n\\f\\r");
    std::string raw("\x00\x0B\xFF", 3);
    EXPECT_EQ(escaped(raw), raw);  // NUL, vertical tab and high bytes stay as they are
    // Whatever the bytes, escaping then reading back gives them again.
    std::string all;
    for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
    EXPECT_EQ(literal(escaped(all)), all);
}

// Replaces every value by awkward bytes derived from it, and records the values seen.
struct Recorder {
    std::vector<std::string> seen;
};
void swap_bytes(unsigned char* data, int len, void* ctx) {
    auto* r = static_cast<Recorder*>(ctx);
    r->seen.emplace_back(reinterpret_cast<char*>(data), static_cast<size_t>(len));
    const char awkward[] = "()\\\r\n\0x";
    for (int i = 0; i < len; ++i) data[i] = static_cast<unsigned char>(awkward[i % 7]);
}

TEST(CipherStrings, LiteralAndHexKeepTheirForm) {
    Recorder rec;
    StringScratch s;
    cipher_literal(R"(x\)y)", 4, swap_bytes, &rec, s);
    ASSERT_EQ(rec.seen.back(), "x)y");
    EXPECT_EQ(s.text, "\\(\\)\\\\");
    cipher_hex("4 1424", 6, swap_bytes, &rec, s);
    ASSERT_EQ(rec.seen.back(), "AB@");
    EXPECT_EQ(s.text, "28295C");
}

TEST(CipherStrings, ArrayTextStringsAtAnyDepth) {
    Recorder rec;
    StringScratch s;
    std::string text =
        " (one) 12 0 R [(t\\(w\\)o) <414243>] << /K (th(re)e) /H <4> >> /N%c(x)\n(ab)";
    int n = cipher_array_text(text.data(), static_cast<int>(text.size()), swap_bytes, &rec, s);
    EXPECT_EQ(n, 6);
    ASSERT_EQ(rec.seen.size(), 6u);
    EXPECT_EQ(rec.seen[0], "one");
    EXPECT_EQ(rec.seen[1], "t(w)o");
    EXPECT_EQ(rec.seen[2], "ABC");
    EXPECT_EQ(rec.seen[3], "th(re)e");
    EXPECT_EQ(rec.seen[4], std::string(1, '@'));
    EXPECT_EQ(rec.seen[5], "ab");
    // The comment's "(x)" is not a string; the string after it is.
    // Raw NUL bytes may stand in a literal string.
    EXPECT_EQ(s.text, std::string(" (\\(\\)\\\\) 12 0 R [(\\(\\)\\\\\\r\\n) <28295C>] << /K "
                                  "(\\(\\)\\\\\\r\\n\0x) /H <28> >> /N%c(x)\n(\\(\\))",
                                  87));
}

TEST(CipherStrings, ArrayTextWithoutStringsOrUnclosed) {
    Recorder rec;
    StringScratch s;
    std::string plain = " 0 0 612 792 ";
    EXPECT_EQ(cipher_array_text(plain.data(), static_cast<int>(plain.size()), swap_bytes, &rec, s),
              0);
    EXPECT_EQ(s.text, plain);
    std::string open = "(ok) (never closed <41";
    EXPECT_EQ(cipher_array_text(open.data(), static_cast<int>(open.size()), swap_bytes, &rec, s),
              1);
    EXPECT_EQ(s.text, "(\\(\\)) (never closed <41");
}

}  // namespace
