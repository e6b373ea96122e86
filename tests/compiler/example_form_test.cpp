// The example form is made by tools/make_example_form.py; the committed copy must be what
// the generator makes now, a clean PDF, and compile with every field and font it promises.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "compile_helpers.h"
#include "tests/support/run_tools.h"

namespace {

TEST(ExampleForm, CommittedCopyMatchesItsGenerator) {
    std::string out = "/tmp/example_form_" + std::to_string(getpid()) + ".pdf";
    std::string cmd = "python3 " SOURCE_DIR "/tools/make_example_form.py " + out;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(tt::read_file(out), tt::read_file(SOURCE_DIR "/examples/form.pdf"))
        << "run tools/make_example_form.py to refresh examples/form.pdf";
    std::remove(out.c_str());
    EXPECT_EQ(std::system("qpdf --check " SOURCE_DIR "/examples/form.pdf > /dev/null"), 0);
}

TEST(ExampleForm, CompilesWithItsFieldsAndJapaneseFont) {
    std::string pdf = tt::read_file(SOURCE_DIR "/examples/form.pdf");
    ASSERT_EQ(compile_text(pdf), CompileStatus::ok);
    int widgets = 0, type0 = 0;
    for (int i = 1; i < g_st.num_xref_strage; ++i) {
        const char* st = get_elem_name(i, nullptr, "Subtype");
        if (st && std::strcmp(st, "Widget") == 0) ++widgets;
        if (st && std::strcmp(st, "Type0") == 0) {
            ++type0;
            EXPECT_STREQ(get_elem_name(i, nullptr, "Encoding"), "UniJIS-UCS2-H");
            EXPECT_EQ(g_st.p_xref_strage[i].f_common, 1);
        }
    }
    EXPECT_GE(widgets, 4);
    EXPECT_EQ(type0, 1);
    // The page inherited its MediaBox from the page tree.
    int root = get_trailer_objref("Root");
    int pages = get_xref_absolute(root, "Pages");
    int kids = get_elem(pages, "Kids");
    int page = first_marked_ref(g_st.p_elem_strage[kids]);
    EXPECT_EQ(str_of(get_elem(page, "MediaBox")), " 0 0 595 842");
}

}  // namespace
