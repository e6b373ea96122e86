// Damaged and hostile input: every case ends with a clear report and a template that the
// generator's loader accepts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "compile_helpers.h"
#include "compiler/compiler_state.h"
#include "store/failure.h"
#include "store/template_file.h"
#include "tests/support/corpus.h"
#include "tests/support/run_tools.h"

namespace {

std::string tpl_path() {
    return "/tmp/carvel_damaged_" + std::to_string(getpid()) + ".tpl";
}

// Compiles quietly, writes the template and loads it back as the generator does.
void compile_and_reload(const std::string& pdf) {
    testing::internal::CaptureStdout();
    compile_text(pdf);
    testing::internal::GetCapturedStdout();
    write_template(tpl_path().c_str());
    storages_reset(StoreVariant::generator);
    try {
        load_template(tpl_path().c_str());
    } catch (const Failure& f) {
        ADD_FAILURE() << "template does not load: " << f.message;
    }
    std::remove(tpl_path().c_str());
}

TEST(DamagedInput, NestedArraysTwoLevelsDeep) {
    compile_and_reload(pdf_with("1 0 obj <</A [1 [2 [3]] 4]>> endobj\n"));
    compile_and_reload(pdf_with("1 0 obj <</A [[[[]]]]>> endobj\n"));
}

TEST(DamagedInput, LargeObjectNumbers) {
    ASSERT_EQ(compile_text(pdf_with("32768 0 obj <</A 1>> endobj\n70000 0 obj 5 endobj\n")),
              CompileStatus::ok);
    EXPECT_EQ(chain_of(32768), "A:I");
    EXPECT_EQ(g_st.num_xref_strage, 70001);
    std::string out =
        parse_error_output(pdf_with("1 0 obj 1 endobj\n99999999999 0 obj 5 endobj\n"));
    EXPECT_NE(out.find("Object number out of range(99999999999)."), std::string::npos) << out;
    EXPECT_EQ(chain_of(1), "_i_m_m_e_d_i_a_t_e_:I");
    parse_error_output(pdf_with("-3 0 obj 5 endobj\n"));
    compile_and_reload(pdf_with("40000 0 obj <</A 1>> endobj\n"));
}

TEST(DamagedInput, ManyTrailerKeys) {
    std::string t = "<<";
    for (int i = 0; i < 300; ++i) t += "/K" + std::to_string(i) + " " + std::to_string(i);
    t += "/Root 1 0 R>>";
    ASSERT_EQ(compile_text(pdf_with("1 0 obj 1 endobj\n", t)), CompileStatus::ok);
    EXPECT_EQ(g_st.num_trailer_strage, 302);
    EXPECT_EQ(get_trailer_objref("Root"), 1);
    compile_and_reload(pdf_with("1 0 obj 1 endobj\n", t));
}

TEST(DamagedInput, StreamWithoutEndstream) {
    parse_error_output("%PDF-1.4\n1 0 obj <</A 1>> endobj\n2 0 obj <<>>\nstream\nabc\n%%EOF\n");
    EXPECT_EQ(chain_of(1), "A:I");
    compile_and_reload("%PDF-1.4\n1 0 obj <<>>\nstream\nabc\n%%EOF\n");
}

TEST(DamagedInput, FileWithoutEofMarker) {
    // Read to its end as viewers read it: the objects are kept, a cut is reported.
    std::string whole = pdf_with("1 0 obj <</A 1>> endobj\n");
    whole.resize(whole.rfind("%%EOF"));
    EXPECT_EQ(compile_text(whole), CompileStatus::ok);
    EXPECT_EQ(chain_of(1), "A:I");
    parse_error_output("%PDF-1.4\n1 0 obj <</A 1>> endobj\n2 0 obj <</B");
    EXPECT_EQ(chain_of(1), "A:I");
    compile_and_reload("%PDF-1.4\n1 0 obj <</A 1>> endobj\n");
    compile_and_reload("");
}

TEST(DamagedInput, ObjectsAfterADamagedOneAndHeadersGluedToEndobj) {
    // Object 2's body does not parse: the error is reported and reading goes on after its
    // endobj. Object 4's header follows the endobj before it with nothing between.
    parse_error_output(
        pdf_with("1 0 obj <</A 1>> endobj\n2 0 obj /Type /XRef /Size 3\nendobj\n"
                 "3 0 obj <</C 3>> endobj4 0 obj <</D 4>> endobj\n"));
    EXPECT_EQ(chain_of(1), "A:I");
    EXPECT_EQ(chain_of(3), "C:I");
    EXPECT_EQ(chain_of(4), "D:I");
    ASSERT_EQ(g_cc.repairs.size(), 1u);
    EXPECT_EQ(g_cc.repairs[0], "object headers glued to the endobj before them split (1 place)");
}

TEST(DamagedInput, UnbalancedStringsAndLongTokens) {
    std::string many(20000, '(');
    compile_and_reload(pdf_with("1 0 obj <</A " + many + ">> endobj\n"));
    compile_and_reload(pdf_with("1 0 obj <</A <" + std::string(100000, 'a') + ">> endobj\n"));
    compile_and_reload(pdf_with("1 0 obj <</" + std::string(500, 'N') + " /" +
                                std::string(500, 'V') + ">> endobj\n"));
}

TEST(DamagedInput, TruncatedCorpusFiles) {
    auto files = tt::corpus_files();
    if (files.empty()) GTEST_SKIP() << "corpus not present";
    for (const std::string& f : files) {
        std::string data = tt::read_file(f);
        // Cuts over the whole file, more of them in small files so that the bytes compiled
        // stay bounded whatever the corpus holds, and a few just before the end.
        size_t cuts = std::clamp<size_t>(4'000'000 / (data.size() + 1), 8, 120);
        size_t step = data.size() / cuts + 1;
        for (size_t cut = 0; cut < data.size(); cut += step)
            compile_and_reload(data.substr(0, cut));
        for (size_t k : {1, 2, 7, 31})
            if (k < data.size()) compile_and_reload(data.substr(0, data.size() - k));
    }
}

TEST(DamagedInput, RandomByteFlips) {
    auto files = tt::corpus_files();
    if (files.empty()) GTEST_SKIP() << "corpus not present";
    std::mt19937 rng(12345);
    for (const std::string& f : files) {
        std::string data = tt::read_file(f);
        for (int round = 0; round < 15; ++round) {
            std::string d = data;
            int flips = 1 + static_cast<int>(rng() % 20);
            for (int i = 0; i < flips; ++i) d[rng() % d.size()] = static_cast<char>(rng());
            compile_and_reload(d);
        }
    }
}

}  // namespace
