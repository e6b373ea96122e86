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

struct Case {
    std::string text;
    const char* want;
    LexStart start = LexStart::header;
};

void expect_tokens(std::initializer_list<Case> cases) {
    for (const Case& c : cases) EXPECT_EQ(tokens(c.text, c.start), c.want) << c.text;
}

TEST(Lexer, VersionHeaderAndEndMarker) {
    expect_tokens({
        {"%PDF-1.4x", "PDFVER:%PDF-1.4 STRING:x"},
        {"%PDF-2", "ANYTHING:% STRING:PDF-2"},
        {"%%EOFX", "PDFEOF STRING:X"},
    });
}

TEST(Lexer, NumbersAndWords) {
    expect_tokens({
        {"-.5 1e5 +3 007 0.0", "STRING:-.5 STRING:1e5 INT:3 INT:7 FP:0.0"},
        {"-12 3. true null", "INT:-12 STRING:3. STRING:true STRING:null"},
        // Keywords win only against equally long words.
        {"xref xrefs R R1 obj endobj trailer startxref",
         "XREF:xref STRING:xrefs OBJREF:R STRING:R1 OBJ:obj ENDOBJ:endobj TRAILER:trailer "
         "STARTXREF"},
        // A backslash cannot start a word.
        {"\\a", "ANYTHING:\\ STRING:a"},
    });
}

TEST(Lexer, Names) {
    expect_tokens({
        {"/A%B", "NAME:A%B"},
        {"/A/B", "NAME:A NAME:B"},
        {"/Type/Annot>>", "NAME:Type NAME:Annot DBLGT"},
        // The empty name (a form filler writes /V / for an empty value).
        {"/V /\n>>", "NAME:V NAME DBLGT"},
    });
}

TEST(Lexer, DictionaryBracketsAndSplits) {
    expect_tokens({
        {"<</A 5>>", "DBLLT NAME:A INT:5 DBLGT"},
        {"R>>", "OBJREF:R DBLGT"},
        {">>>>", "DBLGT DBLGT"},
        {">>>", "DBLGT ANYTHING:>"},
        {"5>>", "INT:5 DBLGT"},
        {"1 0 R/Next", "INT:1 INT:0 OBJREF:R NAME:Next"},
    });
}

TEST(Lexer, ArraysAndStrings) {
    // An array is one string whatever it nests; brackets inside strings do not count.
    expect_tokens({
        {"[1 [2 [3]] 3]>>", "STRING:[1 [2 [3]] 3] DBLGT"},
        {"[(a]b) <5d> [(x[)]]/N", "STRING:[(a]b) <5d> [(x[)]] NAME:N"},
        {"[<</R [1 2]>> (a\\)]\\]) %]\n]", "STRING:[<</R [1 2]>> (a\\)]\\]) %]\n]"},
        // Only an array that does not close before its object ends comes item by item.
        {"[1 [2 endobj", "ARRAY:[ INT:1 ARRAY:[ INT:2 ENDOBJ:endobj"},
        {"<</A [1>>stream\n]\nendstream", "DBLLT NAME:A ARRAY:[ INT:1 DBLGT STREAM:\n]\n"},
        {"[1 0 R 2 0 R]", "STRING:[1 0 R 2 0 R]"},
        {"<a b\nc>", "STRING:<a b\nc>"},
        {"(a\\)b)", "STRING:(a\\)b)"},
        // Balanced parentheses inside a literal string keep it one string.
        {"(a(b)c) 1", "STRING:(a(b)c) INT:1"},
        {"(x (TeX Live) y)>>", "STRING:(x (TeX Live) y) DBLGT"},
        // Without a balancing parenthesis the bytes come one token at a time.
        {"(a(b)c", "ANYTHING:( STRING:a STRING:(b) STRING:c"},
    });
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
    expect_tokens({
        {"%% Original object ID: 1 0\n2 0 obj", "INT:2 INT:0 OBJ:obj", LexStart::body},
        // The end marker keeps its meaning with more text on its line.
        {"%%EOF junk\n%%EOF", "PDFEOF STRING:junk PDFEOF", LexStart::body},
        {"/A%B", "NAME:A%B", LexStart::body},
    });
}

TEST(Lexer, StreamDataRunsToEndstream) {
    expect_tokens({
        {"stream\r\nAB\r\nendstream endobj", "STREAM:\r\nAB\r\n ENDOBJ:endobj"},
        // Data that looks like tokens is not scanned.
        {"stream\n<< /x [ ( endstream 1", "STREAM:\n<< /x [ (  INT:1"},
        // Without "endstream" the data runs to the end.
        {"stream\nabc", "STREAM:\nabc"},
    });
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
    expect_tokens({
        {"abc def", "ANYTHING:abc  STRING:def", LexStart::opaque},
        {"(x)d", "STRING:(x) STRING:d", LexStart::opaque},
        {"%%EOF 12 (x)", "ANYTHING:%%EOF 12 (x)", LexStart::opaque},
    });
}

}  // namespace
