// The interpreter's tokeniser and argument conversions.
#include <gtest/gtest.h>

#include <cstring>

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
    EXPECT_EQ(encoding_from_program_name("tessaro"), 'E');
    EXPECT_EQ(encoding_from_program_name("tessaro-sjis"), 'S');
    EXPECT_EQ(encoding_from_program_name("/x/SJIS-euc"), 'E');
    EXPECT_EQ(encoding_from_program_name("tessaro-sjis-utf8"), 'U');
    EXPECT_EQ(encoding_from_program_name("Utf8"), 'E');
}
