// Every real-world form of the corpus compiles, and its template holds what the generator
// relies on.
#include "tests/support/corpus.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "compile_helpers.h"
#include "compiler/compiler_state.h"
#include "store/template_file.h"
#include "tests/support/run_tools.h"

namespace {

// Page count by qpdf, the oracle.
int qpdf_pages(const std::string& path) {
    std::string cmd = "qpdf --show-npages '" + path + "' 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    int n = -1;
    if (std::fscanf(p, "%d", &n) != 1) n = -1;
    pclose(p);
    return n;
}

// The object's own entry (entries of nested dictionaries do not count) is the name `value`.
bool name_is(int obj, const char* key, const char* value) {
    int depth = 0;
    for (int e = g_st.p_xref_strage[obj].first_elem; e > 0; e = g_st.p_elem_strage[e].next_elem) {
        const st_elem& el = g_st.p_elem_strage[e];
        if (depth == 0 && el.f_type == ELEM_TYPE_NAME && std::strcmp(el.label, key) == 0)
            return std::strcmp(el.data.name, value) == 0;
        if (el.f_type == ELEM_TYPE_SUBDIC_START || el.f_type == ELEM_TYPE_ARRAY_START) ++depth;
        if (el.f_type == ELEM_TYPE_SUBDIC_END || el.f_type == ELEM_TYPE_ARRAY_END) --depth;
    }
    return false;
}

TEST(Corpus, TemplatesHoldWhatTheGeneratorRelies) {
    auto files = tt::corpus_files();
    if (files.empty()) GTEST_SKIP() << "corpus not present";
    std::string tpl = "/tmp/carvel_corpus_" + std::to_string(getpid()) + ".tpl";
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        std::string data = tt::read_file(path);
        testing::internal::CaptureStdout();
        CompileStatus st = compile_text(data);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(st, CompileStatus::ok) << out;
        EXPECT_EQ(out, "");
        write_template(tpl.c_str());

        storages_reset(StoreVariant::generator);
        load_template(tpl.c_str());
        ASSERT_GT(g_st.num_trailer_strage, 1);
        EXPECT_STREQ(g_st.p_trailer_strage[0].label, "entryheader");
        EXPECT_EQ(std::string(elem_bytes(g_st.p_trailer_strage[0]), 5), "%PDF-");
        int root = get_trailer_objref("Root");
        ASSERT_GT(root, 0);
        EXPECT_TRUE(name_is(root, "Type", "Catalog"));
        EXPECT_EQ(g_st.p_xref_strage[root].f_common, 1);
        int pages = get_xref_absolute(root, "Pages");
        int kids = get_elem(pages, "Kids");
        ASSERT_GT(kids, 0);
        const st_elem& k = g_st.p_elem_strage[kids];
        ASSERT_EQ(k.f_type, ELEM_TYPE_STRING);
        EXPECT_EQ(k.data.str.type, STR_ARRAY);
        EXPECT_EQ(k.data.str.f_renum, 1);
        // Kids lists every leaf page directly, each as " <marker>N 0 R".
        std::string text(elem_bytes(k), static_cast<size_t>(k.data.str.len));
        int count = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] != REF_MARKER) continue;
            ASSERT_GT(i, 0u);
            EXPECT_EQ(text[i - 1], ' ');
            int page = std::atoi(text.c_str() + i + 1);
            EXPECT_NE(text.find(" 0 R", i), std::string::npos);
            ASSERT_TRUE(valid_xref(page));
            EXPECT_TRUE(name_is(page, "Type", "Page"));
            EXPECT_EQ(g_st.p_xref_strage[page].f_page, 1);
            EXPECT_EQ(g_st.p_xref_strage[page].f_common, 0);
            // Every page has a MediaBox of its own now.
            EXPECT_NE(get_elem(page, "MediaBox"), -1);
            ++count;
        }
        EXPECT_EQ(count, qpdf_pages(path));
        // Array texts with references carry markers and f_renum; fonts are shared.
        for (int i = 1; i < g_st.num_xref_strage; ++i) {
            if (name_is(i, "Type", "Font") || name_is(i, "Type", "FontDescriptor")) {
                EXPECT_EQ(g_st.p_xref_strage[i].f_common, 1) << i;
            }
        }
        for (int i = 1; i < g_st.num_elem_strage; ++i) {
            const st_elem& e = g_st.p_elem_strage[i];
            if (e.f_type == ELEM_TYPE_STRING && e.data.str.type == STR_ARRAY && has_ref_marker(e)) {
                EXPECT_EQ(e.data.str.f_renum, 1);
            }
        }
    }
    std::remove(tpl.c_str());
}

TEST(Corpus, ErrorLogOnlyForRealDuplicates) {
    auto files = tt::corpus_files();
    if (files.empty()) GTEST_SKIP() << "corpus not present";
    for (const std::string& path : files) {
        std::string name = tt::base_name(path);
        std::string data = tt::read_file(path);
        testing::internal::CaptureStdout();
        compile_text(data);
        testing::internal::GetCapturedStdout();
        // Objects that a later update redefines are ordinary, and the one file that defines
        // objects twice within one section names the live ones in its cross-reference data.
        EXPECT_FALSE(g_cc.f_dup_xref) << name;
        EXPECT_TRUE(g_cc.structure_errors.empty()) << name;
        EXPECT_TRUE(g_cc.parse_errors.empty()) << name;
    }
}

}  // namespace
