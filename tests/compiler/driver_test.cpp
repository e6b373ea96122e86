#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "compile_helpers.h"
#include "compiler/compile_log.h"
#include "compiler/compiler_state.h"
#include "compiler/crash_handler.h"
#include "store/template_file.h"
#include "tests/support/run_tools.h"

namespace {

bool exists(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0;
}

// A fresh directory for one test's files.
std::string temp_dir() {
    char tmpl[] = "/tmp/carvel_test_XXXXXX";
    const char* d = mkdtemp(tmpl);
    return d ? d : "/tmp";
}

int run(const std::string& cmd) {
    int r = std::system(cmd.c_str());
    return WIFEXITED(r) ? WEXITSTATUS(r) : -1;
}

void add_field(const char* name, int font_no, int align, bool ap) {
    new_field_strage();
    st_field& f = g_st.p_field_strage[g_st.cur_field_strage];
    std::snprintf(f.name, sizeof f.name, "%s", name);
    f.font_no = static_cast<int16_t>(font_no);
    std::snprintf(f.short_name, sizeof f.short_name, "F%d", font_no);
    f.font_size = 12;
    f.align = static_cast<char>(align);
    f.f_ap = ap;
    f.width = 196;
    f.line_feed = 13.5f;
    f.line_start = 4.25f;
}

TEST(Driver, VariantSwitchesFromTheProgramName) {
    compiler_reset("/usr/bin/carvel-merlow14");
    EXPECT_TRUE(g_cc.f_merlow14);
    EXPECT_FALSE(g_cc.f_merlow);
    compiler_reset("carvel-merlow");
    EXPECT_TRUE(g_cc.f_merlow);
    EXPECT_FALSE(g_cc.f_merlow14);
    compiler_reset("carvel-jisx0213");
    EXPECT_TRUE(g_cc.f_jisx0213);
    compiler_reset("carvel-jisx0213-jisx0208");
    EXPECT_FALSE(g_cc.f_jisx0213);
    compiler_reset("carvel");
    EXPECT_FALSE(g_cc.f_merlow || g_cc.f_merlow14 || g_cc.f_jisx0213);
}

TEST(Driver, LogListsFieldsAndEachFontOnce) {
    std::string dir = temp_dir();
    compile_begin("carvel", dir + "/f.pdf", 0);
    new_font_strage();
    std::snprintf(g_st.p_font_strage[0].name, 32, "%s", "HeiseiMin-W3");
    add_field("a", 0, 0, true);
    add_field("b", 0, 1, false);
    add_field("c", -20, 3, false);
    ASSERT_TRUE(write_compile_log(dir + "/f.pdf"));
    std::string log = tt::read_file(dir + "/f.pdf.log");
    EXPECT_EQ(log.rfind("Carvel version: Jul  7 2013\nPDF name: " + dir + "/f.pdf\ncreated: ", 0),
              0u);
    EXPECT_NE(log.find("\n\n\n[field:0]---------------------------------\nfield name: a\n"
                       "font name: HeiseiMin-W3\nfont size: 12 pt\nfield align: left\n"
                       "default value: decleard\nwidth: 196.000000 pt\nline_feed: 13.500000 pt\n"
                       "line_start: 4.250000 pt\n\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("field align: center\ndefault value: not decleard\n"), std::string::npos);
    EXPECT_NE(log.find("field align: \ndefault value"), std::string::npos);
    // Two fields share font 0: one block, numbered with the first field's index.
    EXPECT_NE(log.find("\n\n[font:0]---------------------------------\nfont name: HeiseiMin-W3\n"
                       "font short_name: F0\n\n[font:2]"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("[font:1]"), std::string::npos);
    // A standard font shows its name.
    EXPECT_NE(log.find("[font:2]---------------------------------\nfont name: Helvetica\n"),
              std::string::npos);
}

TEST(Driver, DuplicateFieldsListedOnceWithTheirCountAndBothReportsKept) {
    std::string dir = temp_dir();
    compile_begin("carvel", dir + "/d.pdf", 0);
    add_field("same", 0, 0, false);
    add_field("other", 0, 0, false);
    add_field("same", 0, 0, false);
    add_field("same", 0, 0, false);
    add_field("other", 0, 0, false);
    add_field("alone", 0, 0, false);
    // Two widgets of one field (kids of the dictionary that holds its name) are one field.
    reserve_xref_strage(4);
    append_elem_str(1, 0, "T", STR_LITERAL, "kids", 4);
    for (int w : {2, 3}) {
        append_elem_objref(w, 0, "Parent", 1);
        add_field("kids", 0, 0, false);
        g_st.p_field_strage[g_st.cur_field_strage].obj_no = static_cast<int16_t>(w);
    }
    EXPECT_EQ(duplicate_field_message(),
              "Duplicate form field.\n  field name: same (3 fields)\n  field name: other (2 "
              "fields)\n");
    g_cc.f_dup_xref = true;
    ASSERT_TRUE(write_compile_outputs());
    std::string err = tt::read_file(dir + "/d.pdf.log.err");
    EXPECT_NE(err.find("created: "), std::string::npos);
    EXPECT_NE(err.find("\n\nDuplicate form field.\n  field name: same (3 fields)\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("Duplicate xref entry.\nPlease do \"open\" this PDF file by Acrobat and do "
                       "\"save as\".\n"),
              std::string::npos);
    EXPECT_EQ(err.find("Carvel version", 10), std::string::npos);
}

TEST(Driver, FormWithoutWidgetsWritesHeaderOnlyLogAndFullTemplate) {
    std::string dir = temp_dir();
    std::string pdf = pdf_with(
        "1 0 obj <</Type/Catalog/Pages 2 0 R>> endobj\n"
        "2 0 obj <</Type/Pages/Kids[3 0 R]/Count 1>> endobj\n"
        "3 0 obj <</Type/Page/Parent 2 0 R/MediaBox[0 0 10 10]>> endobj\n");
    compile_begin("carvel", dir + "/n.pdf", pdf.size());
    ASSERT_EQ(compile_pdf_memory(pdf.data(), pdf.size()), CompileStatus::ok);
    ASSERT_TRUE(write_compile_outputs());
    EXPECT_FALSE(exists(dir + "/n.pdf.log.err"));
    std::string log = tt::read_file(dir + "/n.pdf.log");
    EXPECT_EQ(log.substr(log.size() - 3), "\n\n\n");
    EXPECT_EQ(log.find("[field"), std::string::npos);
    std::string tpl = tt::read_file(dir + "/n.pdf.tpl");
    ASSERT_GE(tpl.size(), 26u);
    EXPECT_EQ(tpl.substr(0, 4), std::string("\x40\xe2\x01\x00", 4));
    storages_reset(StoreVariant::generator);
    load_template((dir + "/n.pdf.tpl").c_str());
    EXPECT_EQ(g_st.num_xref_strage, 4);
    EXPECT_EQ(g_st.num_field_strage, 0);
    EXPECT_EQ(get_trailer_objref("Root"), 1);
}

TEST(Driver, ProgramArgumentsOutputsAndExitStatus) {
    std::string dir = temp_dir();
    EXPECT_EQ(run(std::string(CARVEL_BIN) + " > /dev/null"), 1);
    EXPECT_EQ(run(std::string(CARVEL_BIN) + " a b > /dev/null"), 1);
    {
        std::ofstream(dir + "/ok.pdf") << pdf_with(
            "1 0 obj <</Type/Catalog/Pages 2 0 R>> endobj\n"
            "2 0 obj <</Type/Pages/Kids[]/Count 0>> endobj\n");
        std::ofstream(dir + "/ok.pdf.log.err") << "stale";
    }
    EXPECT_EQ(run(std::string(CARVEL_BIN) + " " + dir + "/ok.pdf > " + dir + "/out.txt"), 0);
    EXPECT_TRUE(exists(dir + "/ok.pdf.tpl"));
    EXPECT_TRUE(exists(dir + "/ok.pdf.log"));
    // The stale error log of an earlier run is gone.
    EXPECT_FALSE(exists(dir + "/ok.pdf.log.err"));
    // Standard output holds the one-line summary.
    EXPECT_EQ(tt::read_file(dir + "/out.txt"),
              "carvel: " + dir + "/ok.pdf.tpl: 0 fields found, 0 fillable, 0 warnings (log " + dir +
                  "/ok.pdf.log)\n");

    EXPECT_EQ(run(std::string(CARVEL_BIN) + " " + dir + "/missing.pdf > " + dir + "/out2.txt"), 1);
    EXPECT_EQ(tt::read_file(dir + "/out2.txt"),
              "Can't open file(" + dir + "/missing.pdf)\ncarvel: " + dir +
                  "/missing.pdf.tpl: 0 fields found, 0 fillable, 1 warning (log " + dir +
                  "/missing.pdf.log, problems in " + dir + "/missing.pdf.log.err)\n");
    EXPECT_NE(tt::read_file(dir + "/missing.pdf.log.err").find("Can't open file("),
              std::string::npos);
}

TEST(Driver, VariantSymlinksBesideTheProgram) {
    std::string bin = CARVEL_BIN;
    std::string dir = bin.substr(0, bin.rfind('/'));
    for (const char* n : {"carvel-merlow", "carvel-merlow14", "carvel-jisx0213"})
        EXPECT_TRUE(exists(dir + "/" + n)) << n;
}

TEST(Driver, LongPathsAreHandled) {
    std::string dir = temp_dir();
    std::string sub = dir;
    for (int i = 0; i < 7; ++i) {
        sub += "/" + std::string(60, 'd');
        mkdir(sub.c_str(), 0755);
    }
    std::string pdf = sub + "/" + std::string(200, 'p') + ".pdf";
    ASSERT_GT(pdf.size(), 600u);
    std::ofstream(pdf) << pdf_with("1 0 obj 1 endobj\n");
    EXPECT_EQ(run(std::string(CARVEL_BIN) + " " + pdf + " > /dev/null"), 0);
    EXPECT_TRUE(exists(pdf + ".tpl"));
    // A name the file system refuses (over 255 bytes with the suffix) fails cleanly.
    std::string too_long = dir + "/" + std::string(250, 'q') + ".pdf";
    std::ofstream(too_long) << pdf_with("1 0 obj 1 endobj\n");
    EXPECT_EQ(run(std::string(CARVEL_BIN) + " " + too_long + " > /dev/null 2>&1"), 1);
}

TEST(Driver, CrashHandlerWritesTheErrorLog) {
    std::string dir = temp_dir();
    std::string pdf = dir + "/crash.pdf";
    EXPECT_EXIT(
        {
            install_crash_handler(pdf);
            std::raise(SIGSEGV);
        },
        testing::ExitedWithCode(255), "");
    std::string err = tt::read_file(pdf + ".log.err");
    EXPECT_EQ(err.rfind("Carvel version: Jul  7 2013\nPDF name: " + pdf + "\n", 0), 0u);
    EXPECT_NE(err.find("\n\nCarvel unrecognized object in the pdf file.\n"), std::string::npos);
}

}  // namespace
