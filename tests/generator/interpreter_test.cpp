// The interpreter's tokeniser and argument conversions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "generator/progress.h"
#include "generator/script_interpreter.h"

namespace {
void set_line(const char* text) {
    std::memset(g_script.line_buf, 0, LINE_BUF_SIZE);
    std::strncpy(g_script.line_buf, text, LINE_BUF_SIZE - 1);
}
}  // namespace

TEST(Tokeniser, FieldsAreNotTrimmed) {
    set_line("startPage\t a.tpl\t\tlast\r\n");
    EXPECT_STREQ(mytoken(g_script.line_buf), "startPage");
    EXPECT_STREQ(mytoken(nullptr), " a.tpl");
    EXPECT_STREQ(mytoken(nullptr), "");
    EXPECT_STREQ(mytoken(nullptr), "last");
    EXPECT_STREQ(mytoken(nullptr), "");  // CR LF gives one extra empty field
    for (int i = 0; i < 5; ++i) EXPECT_STREQ(mytoken(nullptr), "");
    EXPECT_STREQ(g_script.line_buf, "startPage");
}

TEST(Tokeniser, CarriageReturnInsideALineBelongsToTheValue) {
    set_line("setPageFieldData\tnotes\tline one\rline two\r\n");
    mytoken(g_script.line_buf);
    EXPECT_STREQ(mytoken(nullptr), "notes");
    EXPECT_STREQ(mytoken(nullptr), "line one\rline two");
    EXPECT_STREQ(mytoken(nullptr), "");
}

TEST(Tokeniser, StaysInsideAFullBuffer) {
    std::memset(g_script.line_buf, 'x', LINE_BUF_SIZE);
    g_script.line_buf[LINE_BUF_SIZE - 1] = 0;
    char* f = mytoken(g_script.line_buf);
    EXPECT_EQ(std::strlen(f), static_cast<size_t>(LINE_BUF_SIZE - 1));
    for (int i = 0; i < 20; ++i) EXPECT_STREQ(mytoken(nullptr), "");
}

TEST(Arguments, Conversions) {
    EXPECT_EQ(arg_colour("ff8000"), 0xff8000);
    EXPECT_EQ(arg_colour("0x00ff00"), 0x00ff00);
    EXPECT_EQ(arg_colour("-1"), -1);
    EXPECT_EQ(arg_colour(""), -1);
    EXPECT_EQ(arg_colour("zz"), -1);
    EXPECT_EQ(arg_int("  42abc"), 42);
    EXPECT_EQ(arg_int(""), 0);
    EXPECT_FLOAT_EQ(arg_float("1.5pt"), 1.5f);
    EXPECT_FLOAT_EQ(arg_float(""), 0.0f);
}

TEST(Arguments, EncodingFromProgramName) {
    for (auto [name, encoding] : {std::pair{"tessaro", 'E'},
                                  {"tessaro-sjis", 'S'},
                                  {"/x/SJIS-euc", 'E'},
                                  {"tessaro-sjis-utf8", 'U'},
                                  {"Utf8", 'E'}})
        EXPECT_EQ(encoding_from_program_name(name), encoding) << name;
}

// The progress line: nothing in the first quarter second (short runs stay quiet), then at
// most one redraw a quarter second, and clearing blanks exactly what was shown.
TEST(Progress, RateLimitedAndCleared) {
    char* buf = nullptr;
    size_t len = 0;
    FILE* out = open_memstream(&buf, &len);
    ProgressLine p;
    p.start = 100.0;
    EXPECT_FALSE(p.update(out, 10, 100.2));
    EXPECT_TRUE(p.update(out, 50, 100.5));
    EXPECT_FALSE(p.update(out, 60, 100.6));
    EXPECT_TRUE(p.update(out, 9, 101.0));
    p.clear(out);
    std::fclose(out);
    std::string text(buf, len);
    std::free(buf);
    const std::string first = "tessaro: 50 pages written, 100 pages/s";
    const std::string second = "tessaro: 9 pages written, 9 pages/s";
    EXPECT_EQ(text, "\r" + first + "\r" + second + std::string(first.size() - second.size(), ' ') +
                        "\r" + std::string(first.size(), ' ') + "\r");
}
