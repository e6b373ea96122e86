// Real-world forms compiled by carvel and printed by tessaro: the output passes qpdf,
// keeps the page count and page sizes, shows the same static text, every page renders like
// the source's with annotations hidden, and printed with a password it decrypts to exactly the
// plain document.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/support/corpus.h"
#include "tests/support/pdf_render.h"
#include "tests/support/run_tools.h"

namespace {

// "W x H" of every page, as pdfinfo reports them.
std::string page_sizes(const std::string& pdf) {
    tt::Result r = tt::run("pdfinfo -f 1 -l 100000 " + tt::sh_quote(pdf), false);
    std::string out;
    size_t at = 0;
    while ((at = r.out.find("\nPage ", at)) != std::string::npos) {
        size_t s = r.out.find(" size:", at), end = r.out.find(" pts", at);
        at = end;
        if (s == std::string::npos || end == std::string::npos) break;
        out += r.out.substr(s + 6, end - s - 6) + ";";
    }
    return out;
}

TEST(CorpusRoundTrip, CompiledTemplatesPrintLikeTheSource) {
    auto files = tt::corpus_files();
    if (files.empty()) GTEST_SKIP() << "corpus not present";
    for (const std::string& src : files) {
        SCOPED_TRACE(src);
        tt::TempDir d;
        std::string name = tt::base_name(src);
        std::string pdf = d.file(name);
        tt::write_file(pdf, tt::read_file(src));
        tt::Result c = tt::run(tt::sh_quote(tt::carvel()) + " " + tt::sh_quote(pdf));
        ASSERT_EQ(c.status, 0) << c.out;
        // Standard output holds only the one-line summary, no parse error.
        EXPECT_EQ(c.out.rfind("carvel: ", 0), 0u) << c.out;
        EXPECT_EQ(c.out.find('\n'), c.out.size() - 1) << c.out;
        // No file reports objects defined twice: the cross-reference data names the live
        // ones. Buttons whose widgets share one name are reported as duplicate fields.
        std::string err =
            tt::file_exists(pdf + ".log.err") ? tt::read_file(pdf + ".log.err") : std::string();
        EXPECT_EQ(err.find("Duplicate xref entry."), std::string::npos);

        std::string out = d.file("out.pdf");
        tt::write_file(d.file("script.txt"), "Tessaro\nstart\t" + out + "\nstartPage\t" + pdf +
                                                 ".tpl\nendPage\nfinish\n");
        ASSERT_EQ(tt::run_tessaro(d.file("script.txt"), d.file("err.log")), 0)
            << tt::read_file(d.file("err.log"));
        std::string report;
        EXPECT_TRUE(tt::qpdf_check(out, &report)) << report;
        EXPECT_EQ(tt::pdf_page_count(out), tt::pdf_page_count(src));
        EXPECT_EQ(page_sizes(out), page_sizes(src));
        // Text fields left unset print empty; everything else prints as in the source, in
        // its order.
        std::string text = tt::squeeze(tt::pdftotext(src));
        std::string printed = tt::squeeze(tt::pdftotext(out));
        // A form that asks viewers to build its appearances shows what the viewer builds;
        // the output shows the appearances the form stores, so its widgets' text may differ.
        std::string source =
            tt::run("qpdf --qdf --object-streams=disable " + tt::sh_quote(src) + " -").out;
        bool viewer_built = std::regex_search(source, std::regex("/NeedAppearances\\s*true"));
        size_t at = 0;
        for (char c : viewer_built ? std::string() : printed) {
            at = text.find(c, at);
            if (at == std::string::npos) break;
            ++at;
        }
        EXPECT_NE(at, std::string::npos) << printed << "\n" << text;
        // Every page looks like the source's with the annotations (the fields) hidden.
        int pages = tt::pdf_page_count(src);
        for (int page = 1; page <= pages; ++page) {
            double diff =
                tt::mean_difference(tt::render_page(src, page, 20, true, "-hide-annotations"),
                                    tt::render_page(out, page, 20, true, "-hide-annotations"));
            EXPECT_LT(diff, 0.01) << "page " << page;
        }
    }
}

TEST(CorpusRoundTrip, TwoPagesOfOneTemplateShareItsFonts) {
    std::string src = tt::corpus_dir() + "/samples-libreoffice-form.pdf";
    if (!tt::file_exists(src)) GTEST_SKIP() << "corpus not present";
    tt::TempDir d;
    std::string pdf = d.file("form.pdf");
    tt::write_file(pdf, tt::read_file(src));
    ASSERT_EQ(tt::run(tt::sh_quote(tt::carvel()) + " " + tt::sh_quote(pdf)).status, 0);
    std::string out = d.file("out.pdf");
    std::string page = "startPage\t" + pdf + ".tpl\nendPage\n";
    tt::write_file(d.file("script.txt"),
                   "Tessaro\nstart\t" + out + "\n" + page + page + "finish\n");
    ASSERT_EQ(tt::run_tessaro(d.file("script.txt"), d.file("err.log")), 0)
        << tt::read_file(d.file("err.log"));
    std::string report;
    EXPECT_TRUE(tt::qpdf_check(out, &report)) << report;
    EXPECT_EQ(tt::pdf_page_count(out), 2);
    EXPECT_EQ(tt::pdftotext(out, 1), tt::pdftotext(out, 2));
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
    std::vector<std::string> forms = tt::corpus_files();
    if (forms.empty()) GTEST_SKIP() << "no corpus at " << tt::corpus_dir();
    if (!tt::file_exists(tt::carvel())) GTEST_SKIP() << "carvel not built";
    bool pike = have_pikepdf();
    tt::TempDir d;
    tt::write_file(d.file("pike.py"), kPikeSave);
    int checked = 0;
    for (const std::string& src : forms) {
        SCOPED_TRACE(src);
        std::string pdf = d.file("form.pdf");
        tt::write_file(pdf, tt::read_file(src));
        if (tt::run(tt::sh_quote(tt::carvel()) + " " + tt::sh_quote(pdf)).status != 0) continue;
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

        tt::Result pc = tt::run("qpdf --check " + tt::sh_quote(plain));
        tt::Result ec = tt::run("qpdf --password='pw 1' --check " + tt::sh_quote(enc));
        EXPECT_LE(warnings(ec.out), warnings(pc.out)) << ec.out;
        EXPECT_TRUE(ec.status == 0 || ec.status == pc.status) << ec.out;

        std::string pq = d.file("plain.qdf"), eq = d.file("enc.qdf");
        tt::run("qpdf --qdf --object-streams=disable --static-id " + tt::sh_quote(plain) + " " +
                tt::sh_quote(pq));
        tt::run("qpdf --password='pw 1' --decrypt --qdf --object-streams=disable --static-id " +
                tt::sh_quote(enc) + " " + tt::sh_quote(eq));
        std::string a = normalised(pq), b = normalised(eq);
        EXPECT_TRUE(a == b) << first_difference(a, b);

        if (!pike) continue;
        std::string py = "/usr/bin/python3 " + tt::sh_quote(d.file("pike.py")) + " ";
        tt::Result r1 = tt::run(py + tt::sh_quote(plain) + " '' " + tt::sh_quote(pq));
        tt::Result r2 = tt::run(py + tt::sh_quote(enc) + " 'pw 1' " + tt::sh_quote(eq));
        ASSERT_EQ(r1.status, 0) << r1.out;
        ASSERT_EQ(r2.status, 0) << r2.out;
        a = normalised(pq), b = normalised(eq);
        EXPECT_TRUE(a == b) << "pikepdf " << first_difference(a, b);
    }
    if (checked == 0) GTEST_SKIP() << "no corpus form could be printed";
}
