#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compiler/parse_ctx.h"
#include "pdf_grammar.hpp"

namespace {

// The token sequence of a text as "CODE:text" items; INT shows its value.
std::string tokens(const std::string& text, LexStart start = LexStart::header) {
    std::vector<LexToken> v;
    lex_tokens(text, v, start);
    static const char* const names[] = {"PDFVER", "NAME",    "STRING",    "OBJREF",        "OBJ",
                                        "ENDOBJ", "INT",     "FP",        "DBLLT",         "DBLGT",
                                        "STREAM", "ARRAY",   "ENDARRAY",  "ENDARRAYDBLGT", "PDFEOF",
                                        "XREF",   "TRAILER", "STARTXREF", "ANYTHING"};
    std::string out;
    for (const LexToken& t : v) {
        if (!out.empty()) out += ' ';
        out += t.code >= 258 && t.code <= 276 ? names[t.code - 258] : "?";
        if (t.code == INT)
            out += ":" + std::to_string(t.num);
        else if (!t.text.empty())
            out += ":" + t.text;
    }
    return out;
}

TEST(Lexer, VersionHeaderAndEndMarker) {
    EXPECT_EQ(tokens("%PDF-1.4x"), "PDFVER:%PDF-1.4 STRING:x");
    EXPECT_EQ(tokens("%PDF-2"), "ANYTHING:% STRING:PDF-2");
    EXPECT_EQ(tokens("%%EOFX"), "PDFEOF STRING:X");
}

TEST(Lexer, NumbersAndWords) {
    EXPECT_EQ(tokens("-.5 1e5 +3 007 0.0"), "STRING:-.5 STRING:1e5 INT:3 INT:7 FP:0.0");
    EXPECT_EQ(tokens("-12 3. true null"), "INT:-12 STRING:3. STRING:true STRING:null");
    // Keywords win only against equally long words.
    EXPECT_EQ(tokens("xref xrefs R R1 obj endobj trailer startxref"),
              "XREF:xref STRING:xrefs OBJREF:R STRING:R1 OBJ:obj ENDOBJ:endobj TRAILER:trailer "
              "STARTXREF");
    // A backslash cannot start a word.
    EXPECT_EQ(tokens("\\a"), "ANYTHING:\\ STRING:a");
}

TEST(Lexer, Names) {
    EXPECT_EQ(tokens("/A%B"), "NAME:A%B");
    EXPECT_EQ(tokens("/A/B"), "NAME:A NAME:B");
    EXPECT_EQ(tokens("/Type/Annot>>"), "NAME:Type NAME:Annot DBLGT");
}

TEST(Lexer, DictionaryBracketsAndSplits) {
    EXPECT_EQ(tokens("<</A 5>>"), "DBLLT NAME:A INT:5 DBLGT");
    EXPECT_EQ(tokens("R>>"), "OBJREF:R DBLGT");
    EXPECT_EQ(tokens(">>>>"), "DBLGT DBLGT");
    EXPECT_EQ(tokens(">>>"), "DBLGT ANYTHING:>");
    EXPECT_EQ(tokens("5>>"), "INT:5 DBLGT");
    EXPECT_EQ(tokens("1 0 R/Next"), "INT:1 INT:0 OBJREF:R NAME:Next");
}

TEST(Lexer, ArraysAndStrings) {
    // An array is one string whatever it nests; brackets inside strings do not count.
    EXPECT_EQ(tokens("[1 [2 [3]] 3]>>"), "STRING:[1 [2 [3]] 3] DBLGT");
    EXPECT_EQ(tokens("[(a]b) <5d> [(x[)]]/N"), "STRING:[(a]b) <5d> [(x[)]] NAME:N");
    EXPECT_EQ(tokens("[<</R [1 2]>> (a\\)]\\]) %]\n]"), "STRING:[<</R [1 2]>> (a\\)]\\]) %]\n]");
    // Only an array that does not close before its object ends comes item by item.
    EXPECT_EQ(tokens("[1 [2 endobj"), "ARRAY:[ INT:1 ARRAY:[ INT:2 ENDOBJ:endobj");
    EXPECT_EQ(tokens("<</A [1>>stream\n]\nendstream"),
              "DBLLT NAME:A ARRAY:[ INT:1 DBLGT STREAM:\n]\n");
    EXPECT_EQ(tokens("[1 0 R 2 0 R]"), "STRING:[1 0 R 2 0 R]");
    EXPECT_EQ(tokens("<a b\nc>"), "STRING:<a b\nc>");
    EXPECT_EQ(tokens("(a\\)b)"), "STRING:(a\\)b)");
    // Balanced parentheses inside a literal string keep it one string.
    EXPECT_EQ(tokens("(a(b)c) 1"), "STRING:(a(b)c) INT:1");
    EXPECT_EQ(tokens("(x (TeX Live) y)>>"), "STRING:(x (TeX Live) y) DBLGT");
    // Without a balancing parenthesis the bytes come one token at a time.
    EXPECT_EQ(tokens("(a(b)c"), "ANYTHING:( STRING:a STRING:(b) STRING:c");
}

TEST(Lexer, CommentsBetweenObjectsAndBeforeTheBody) {
    // Before the body (the header comment) a comment is bytes and words...
    EXPECT_EQ(tokens("%comment"), "ANYTHING:% STRING:comment");
    std::vector<LexToken> v;
    // ... and the header comment with bytes above 127 comes byte by byte.
    lex_tokens("%\xe2\xe3", v);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[1].code, ANYTHING);
    // Between objects a comment is skipped to its line end; numbers in it are not tokens.
    EXPECT_EQ(tokens("%% Original object ID: 1 0\n2 0 obj", LexStart::body), "INT:2 INT:0 OBJ:obj");
    // The end marker keeps its meaning with more text on its line.
    EXPECT_EQ(tokens("%%EOF junk\n%%EOF", LexStart::body), "PDFEOF STRING:junk PDFEOF");
    EXPECT_EQ(tokens("/A%B", LexStart::body), "NAME:A%B");
}

TEST(Lexer, StreamDataRunsToEndstream) {
    EXPECT_EQ(tokens("stream\r\nAB\r\nendstream endobj"), "STREAM:\r\nAB\r\n ENDOBJ:endobj");
    // Data that looks like tokens is not scanned.
    EXPECT_EQ(tokens("stream\n<< /x [ ( endstream 1"), "STREAM:\n<< /x [ (  INT:1");
    // Without "endstream" the data runs to the end.
    EXPECT_EQ(tokens("stream\nabc"), "STREAM:\nabc");
}

TEST(Lexer, BinaryBytesAndNul) {
    std::vector<LexToken> v;
    lex_tokens(std::string("\x80\0/N", 4), v);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[0].code, ANYTHING);
    EXPECT_EQ(v[1].code, ANYTHING);
    EXPECT_EQ(v[1].text, std::string(1, '\0'));
    EXPECT_EQ(v[2].code, NAME);
}

TEST(Lexer, OpaqueState) {
    EXPECT_EQ(tokens("abc def", LexStart::opaque), "ANYTHING:abc  STRING:def");
    EXPECT_EQ(tokens("(x)d", LexStart::opaque), "STRING:(x) STRING:d");
    EXPECT_EQ(tokens("%%EOF 12 (x)", LexStart::opaque), "ANYTHING:%%EOF 12 (x)");
}

}  // namespace
