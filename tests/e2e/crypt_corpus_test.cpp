// Encrypted printing of the real-world forms: carvel compiles each, tessaro prints it once
// in the clear and once with a user password. The encrypted file must pass qpdf with the
// password without a warning that the plain one does not have, and must decrypt (qpdf, and
// pikepdf when it is installed) to exactly the plain document.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/run_tools.h"

using tt::sh_quote;

namespace {

std::vector<std::string> corpus_forms() {
    std::vector<std::string> out;
    if (DIR* d = opendir(CORPUS_DIR)) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n.size() > 4 && n.substr(n.size() - 4) == ".pdf")
                out.push_back(std::string(CORPUS_DIR) + "/" + n);
        }
        closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

int warnings(const std::string& qpdf_out) {
    int n = 0;
    for (size_t at = qpdf_out.find("WARNING"); at != std::string::npos;
         at = qpdf_out.find("WARNING", at + 1))
        ++n;
    return n;
}

// The document in qpdf's normalised form. Left out: the identifier, which differs between
// runs, and the comments on source object numbers, which the encryption dictionary shifts
// for objects that the reader creates itself.
std::string normalised(const std::string& qdf_file) {
    static const std::regex id("/ID \\[<[0-9a-f]*><[0-9a-f]*>\\]|%% Original object ID: \\d+ 0");
    return std::regex_replace(tt::read_file(qdf_file), id, "");
}

bool have_pikepdf() {
    return tt::run("/usr/bin/python3 -c 'import pikepdf'").status == 0;
}

// pikepdf opens the file (with the password) and saves it decrypted in normalised form.
const char* kPikeSave =
    "import sys, pikepdf\n"
    "with pikepdf.open(sys.argv[1], password=sys.argv[2]) as p:\n"
    "    p.save(sys.argv[3], qdf=True, static_id=True, encryption=False,\n"
    "           object_stream_mode=pikepdf.ObjectStreamMode.disable)\n";

// Where two texts first differ, for the failure message.
std::string first_difference(const std::string& a, const std::string& b) {
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    size_t from = i > 80 ? i - 80 : 0;
    return "at byte " + std::to_string(i) + ":\n" + a.substr(from, 160) + "\n----\n" +
           b.substr(from, 160);
}

}  // namespace

TEST(CryptCorpus, EncryptedFormsDecryptToThePlainDocument) {
    std::vector<std::string> forms = corpus_forms();
    if (forms.empty()) GTEST_SKIP() << "no corpus at " << CORPUS_DIR;
    if (!tt::file_exists(tt::carvel())) GTEST_SKIP() << "carvel not built";
    bool pike = have_pikepdf();
    tt::TempDir d;
    tt::write_file(d.file("pike.py"), kPikeSave);
    int checked = 0;
    for (const std::string& src : forms) {
        SCOPED_TRACE(src);
        std::string pdf = d.file("form.pdf");
        tt::write_file(pdf, tt::read_file(src));
        if (tt::run(sh_quote(tt::carvel()) + " " + sh_quote(pdf)).status != 0) continue;
        std::string plain = d.file("plain.pdf"), enc = d.file("enc.pdf");
        auto print = [&](const std::string& out, const std::string& crypt) {
            tt::write_file(d.file("s.txt"), "Tessaro\n" + crypt + "start\t" + out +
                                                "\nstartPage\t" + pdf + ".tpl\nendPage\nfinish\n");
            return tt::run_tessaro(d.file("s.txt"), d.file("err.log"));
        };
        int plain_status = print(plain, "");
        int enc_status = print(enc, "setCryptMode\tpw 1\t\t1\t1\t1\t1\n");
        EXPECT_EQ(enc_status, plain_status);
        if (plain_status != 0) continue;  // a template this generator cannot print at all
        ++checked;

        tt::Result pc = tt::run("qpdf --check " + sh_quote(plain));
        tt::Result ec = tt::run("qpdf --password='pw 1' --check " + sh_quote(enc));
        EXPECT_LE(warnings(ec.out), warnings(pc.out)) << ec.out;
        EXPECT_TRUE(ec.status == 0 || ec.status == pc.status) << ec.out;

        std::string pq = d.file("plain.qdf"), eq = d.file("enc.qdf");
        tt::run("qpdf --qdf --object-streams=disable --static-id " + sh_quote(plain) + " " +
                sh_quote(pq));
        tt::run("qpdf --password='pw 1' --decrypt --qdf --object-streams=disable --static-id " +
                sh_quote(enc) + " " + sh_quote(eq));
        std::string a = normalised(pq), b = normalised(eq);
        EXPECT_TRUE(a == b) << first_difference(a, b);

        if (!pike) continue;
        std::string py = "/usr/bin/python3 " + sh_quote(d.file("pike.py")) + " ";
        tt::Result r1 = tt::run(py + sh_quote(plain) + " '' " + sh_quote(pq));
        tt::Result r2 = tt::run(py + sh_quote(enc) + " 'pw 1' " + sh_quote(eq));
        ASSERT_EQ(r1.status, 0) << r1.out;
        ASSERT_EQ(r2.status, 0) << r2.out;
        a = normalised(pq), b = normalised(eq);
        EXPECT_TRUE(a == b) << "pikepdf " << first_difference(a, b);
    }
    if (checked == 0) GTEST_SKIP() << "no corpus form could be printed";
}
