// Forms encrypted with an empty user password are read as plain objects; a form that needs
// a password is refused. The encrypted fixtures are the project's hand-written form,
// encrypted by qpdf (the tests skip when it is missing).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "compile_helpers.h"
#include "compiler/compiler_state.h"
#include "compiler/decrypt.h"

namespace {

const std::string CONTENT = "BT /F1 12 Tf 10 10 Td (Hello) Tj ET";

// A one-page form: a text field with a literal name holding escapes, a choice list of
// strings inside an array, and an uncompressed content stream.
std::string plain_form() {
    std::string body =
        "1 0 obj <</Type/Catalog/Pages 2 0 R/AcroForm <</Fields [4 0 R]/DR <</Font <</Helv 6 "
        "0 R>>>>/DA (/Helv 0 Tf 0 g)>>>> endobj\n"
        "2 0 obj <</Type/Pages/Kids [3 0 R]/Count 1/MediaBox [0 0 200 200]>> endobj\n"
        "3 0 obj <</Type/Page/Parent 2 0 R/Contents 5 0 R/Annots [4 0 R]/Resources <</Font "
        "<</F1 6 0 R>>>>>> endobj\n"
        "4 0 obj <</Type/Annot/Subtype/Widget/FT/Tx/T (name)/TU (a \\(b\\) \\\\c)/Opt [(one) "
        "(two)]/Rect [10 100 150 120]/DA (/Helv 11 Tf 0 g)/P 3 0 R>> endobj\n"
        "5 0 obj <</Length " +
        std::to_string(CONTENT.size()) + ">>\nstream\n" + CONTENT +
        "\nendstream\nendobj\n"
        "6 0 obj <</Type/Font/Subtype/Type1/BaseFont/Helvetica>> endobj\n";
    return pdf_with(body, "<</Size 7/Root 1 0 R/ID [<0102><0304>]>>");
}

std::string read_file(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

bool have_qpdf() {
    return std::system("qpdf --version > /dev/null 2>&1") == 0;
}

// The plain form encrypted by qpdf with the given options; empty on failure.
std::string encrypted(const std::string& dir, const std::string& options) {
    std::string in = dir + "/plain.pdf", out = dir + "/enc.pdf";
    std::ofstream(in, std::ios::binary) << plain_form();
    std::string cmd = "qpdf --allow-weak-crypto --compress-streams=n --encrypt " + options + " " +
                      in + " " + out + " > /dev/null 2>&1";
    int st = std::system(cmd.c_str());
    if (!WIFEXITED(st) || (WEXITSTATUS(st) != 0 && WEXITSTATUS(st) != 3)) return std::string();
    return read_file(out);
}

// A scratch folder, removed with everything in it when the test ends.
struct TempDir {
    std::string path;
    TempDir() {
        char tmpl[] = "/tmp/carvel_enc_XXXXXX";
        const char* d = mkdtemp(tmpl);
        path = d ? d : "";
    }
    ~TempDir() {
        if (!path.empty()) std::filesystem::remove_all(path);
    }
    operator const std::string&() const { return path; }
};

int find_widget() {
    for (int i = 1; i < g_st.num_xref_strage; ++i) {
        const char* s = get_elem_name(i, nullptr, "Subtype");
        if (s && std::string(s) == "Widget") return i;
    }
    return -1;
}

TEST(EncryptedInput, EveryStandardMethodDecryptsWithTheEmptyUserPassword) {
    if (!have_qpdf()) GTEST_SKIP() << "qpdf not installed";
    TempDir tmp;
    const std::string& dir = tmp;
    struct Case {
        const char* options;
        const char* method;
    };
    const Case cases[] = {
        {"'' owner 40 --", "RC4 40-bit"},
        {"'' owner 128 --use-aes=n --", "RC4 128-bit"},
        {"'' owner 128 --use-aes=y --", "AES 128-bit"},
        {"'' owner 256 --force-R5 --", "AES 256-bit"},
        // Revision 6, with the objects inside an encrypted object stream.
        {"'' owner 256 -- --object-streams=generate", "AES 256-bit"},
    };
    // The field record of the unencrypted form, which every decrypted one must equal.
    ASSERT_EQ(compile_text(plain_form()), CompileStatus::ok);
    ASSERT_EQ(g_st.num_field_strage, 1);
    const st_field plain_field = g_st.p_field_strage[0];
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        std::string pdf = encrypted(dir, c.options);
        ASSERT_FALSE(pdf.empty());
        ASSERT_EQ(compile_text(pdf), CompileStatus::ok);
        ASSERT_EQ(g_cc.repairs.size(), 1u);
        EXPECT_EQ(g_cc.repairs[0],
                  std::string("decrypted (") + c.method + ") with the empty user password");
        // Strings, also those inside arrays, come back as literal strings with valid escapes.
        int w = find_widget();
        ASSERT_GT(w, 0);
        EXPECT_EQ(literal_bytes(get_elem_string(w, nullptr, "TU", nullptr),
                                std::string(get_elem_string(w, nullptr, "TU", nullptr)).size()),
                  "a (b) \\c");
        EXPECT_NE(str_of(get_elem(w, "Opt")).find("(one) (two)"), std::string::npos);
        ASSERT_EQ(g_st.num_field_strage, 1);
        EXPECT_STREQ(g_st.p_field_strage[0].name, "name");
        // (qpdf renumbers the objects: the rest of the record is compared.)
        const st_field& f = g_st.p_field_strage[0];
        EXPECT_EQ(f.font_no, plain_field.font_no);
        EXPECT_EQ(f.font_size10, plain_field.font_size10);
        EXPECT_EQ(f.width, plain_field.width);
        EXPECT_EQ(f.f_ap, plain_field.f_ap);
        EXPECT_STREQ(f.short_name, plain_field.short_name);
        // The content stream is plain, with its length.
        int page = get_trailer_objref("Root");
        page = first_marked_ref(
            g_st.p_elem_strage[get_elem(get_xref_absolute(page, "Pages"), "Kids")]);
        int contents = get_xref_absolute(page, "Contents");
        EXPECT_EQ(str_of(get_elem(contents, LABEL_STREAM)).substr(0, CONTENT.size()), CONTENT);
        EXPECT_EQ(get_elem_int(contents, nullptr, "Length"), static_cast<int>(CONTENT.size()));
        // Nothing names an encryption dictionary any more.
        EXPECT_EQ(get_trailer_objref("Encrypt"), -1);
        EXPECT_EQ(encryption_dict(), -1);
    }
}

TEST(EncryptedInput, AnEmptyOwnerPasswordOpensTheForm) {
    // A user password but an empty owner password: every viewer opens the file without asking.
    if (!have_qpdf()) GTEST_SKIP() << "qpdf not installed";
    std::string pdf = encrypted(TempDir(), "secret '' 256 --allow-insecure --");
    ASSERT_FALSE(pdf.empty());
    ASSERT_EQ(compile_text(pdf), CompileStatus::ok);
    ASSERT_EQ(g_cc.repairs.size(), 1u);
    EXPECT_EQ(g_cc.repairs[0], "decrypted (AES 256-bit) with the empty owner password");
    ASSERT_EQ(g_st.num_field_strage, 1);
    EXPECT_STREQ(g_st.p_field_strage[0].name, "name");
}

TEST(EncryptedInput, AFormNeedingAPasswordIsRefusedWithoutATemplate) {
    if (!have_qpdf()) GTEST_SKIP() << "qpdf not installed";
    TempDir tmp;
    const std::string& dir = tmp;
    std::string pdf = encrypted(dir, "secret owner 256 --");
    ASSERT_FALSE(pdf.empty());
    std::string path = dir + "/locked.pdf";
    std::ofstream(path, std::ios::binary) << pdf;
    std::string cmd = std::string(CARVEL_BIN) + " " + path + " > " + dir + "/out.txt";
    int st = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(WEXITSTATUS(st), 1);
    std::string msg = "Encrypted PDF needs a password(" + path + ")";
    EXPECT_EQ(read_file(dir + "/out.txt"), msg + "\n");
    EXPECT_NE(read_file(path + ".log.err").find("\n\n" + msg + "\n"), std::string::npos);
    struct stat sb;
    EXPECT_NE(stat((path + ".tpl").c_str(), &sb), 0);
}

TEST(EncryptedInput, LiteralStringsRoundTrip) {
    const std::string bytes("a(b)\\c\r\n\x01\0z", 11);
    std::string text = literal_text(bytes);
    EXPECT_EQ(literal_bytes(text.data(), text.size()), bytes);
    EXPECT_EQ(literal_bytes("x\\101\\\r\ny\\q", 11), "xAyq");
    EXPECT_EQ(hex_bytes("4 1 4", 5), "A@");
}

}  // namespace
