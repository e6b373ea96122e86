// Real-world forms compiled by carvel and printed by tessaro: the output passes qpdf,
// keeps the page count and page sizes, and shows the same static text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/corpus.h"
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
        EXPECT_EQ(c.out, "");
        // Only a file that really redefines objects reports it; buttons whose widgets share
        // one name are reported as duplicate fields.
        std::string err =
            tt::file_exists(pdf + ".log.err") ? tt::read_file(pdf + ".log.err") : std::string();
        EXPECT_EQ(err.find("Duplicate xref entry.") != std::string::npos,
                  name == "qpdf-form-filled-by-acrobat.pdf");

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
        size_t at = 0;
        for (char c : printed) {
            at = text.find(c, at);
            if (at == std::string::npos) break;
            ++at;
        }
        EXPECT_NE(at, std::string::npos) << printed << "\n" << text;
        EXPECT_GE(printed.size(), text.size() / 2);
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

}  // namespace
