// Real-world forms compiled by carvel and printed by tessaro: the output passes qpdf,
// keeps the page count and page sizes, shows the same static text, and every page renders
// like the source's with annotations hidden.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/run_tools.h"

namespace {

std::vector<std::string> corpus_files() {
    std::vector<std::string> out;
    if (DIR* d = opendir(CORPUS_DIR)) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n.size() > 4 && n.substr(n.size() - 4) == ".pdf") out.push_back(n);
        }
        closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

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

struct Gray {
    int w = 0, h = 0;
    std::string px;
};

// One page in grey at a low resolution, annotations hidden.
Gray render_page(const std::string& pdf, int page) {
    Gray g;
    std::string out = pdf + ".r" + std::to_string(page);
    tt::run("pdftoppm -r 20 -gray -hide-annotations -f " + std::to_string(page) + " -l " +
            std::to_string(page) + " -singlefile " + tt::sh_quote(pdf) + " " + tt::sh_quote(out));
    std::string pgm = tt::read_file(out + ".pgm");
    std::istringstream in(pgm);
    std::string magic;
    int maxval = 0;
    in >> magic >> g.w >> g.h >> maxval;
    in.get();
    if (magic != "P5" || !in) return {};
    g.px = pgm.substr(static_cast<size_t>(in.tellg()));
    return g;
}

// Mean absolute difference of two renderings, 0 (alike) to 1; 1 when the sizes differ.
double mean_difference(const Gray& a, const Gray& b) {
    if (a.w != b.w || a.h != b.h || a.px.size() != b.px.size() || a.px.empty()) return 1;
    double sum = 0;
    for (size_t i = 0; i < a.px.size(); ++i)
        sum += std::abs(static_cast<unsigned char>(a.px[i]) - static_cast<unsigned char>(b.px[i]));
    return sum / 255.0 / static_cast<double>(a.px.size());
}

std::string squeeze(const std::string& s) {
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '\n' && c != '\f') out += c;
    return out;
}

TEST(CorpusRoundTrip, CompiledTemplatesPrintLikeTheSource) {
    auto files = corpus_files();
    if (files.empty()) GTEST_SKIP() << "corpus not present";
    for (const std::string& name : files) {
        SCOPED_TRACE(name);
        tt::TempDir d;
        std::string src = std::string(CORPUS_DIR) + "/" + name;
        std::string pdf = d.file(name);
        tt::write_file(pdf, tt::read_file(src));
        tt::Result c = tt::run(tt::sh_quote(tt::carvel()) + " " + tt::sh_quote(pdf));
        ASSERT_EQ(c.status, 0) << c.out;
        // Standard output holds only the one-line summary, no parse error.
        EXPECT_EQ(c.out.rfind("carvel: ", 0), 0u) << c.out;
        EXPECT_EQ(c.out.find('\n'), c.out.size() - 1) << c.out;
        // Only a file that defines objects twice within one section reports it; buttons
        // whose widgets share one name are reported as duplicate fields.
        std::string err =
            tt::file_exists(pdf + ".log.err") ? tt::read_file(pdf + ".log.err") : std::string();
        EXPECT_EQ(err.find("Duplicate xref entry.") != std::string::npos,
                  name == "pdflib-with_update_sections.pdf");

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
        std::string text = squeeze(tt::pdftotext(src));
        std::string printed = squeeze(tt::pdftotext(out));
        size_t at = 0;
        for (char c : printed) {
            at = text.find(c, at);
            if (at == std::string::npos) break;
            ++at;
        }
        EXPECT_NE(at, std::string::npos) << printed << "\n" << text;
        // Every page looks like the source's with the annotations (the fields) hidden.
        int pages = tt::pdf_page_count(src);
        for (int page = 1; page <= pages; ++page) {
            double diff = mean_difference(render_page(src, page), render_page(out, page));
            EXPECT_LT(diff, 0.01) << "page " << page;
        }
    }
}

TEST(CorpusRoundTrip, TwoPagesOfOneTemplateShareItsFonts) {
    auto files = corpus_files();
    if (files.empty()) GTEST_SKIP() << "corpus not present";
    tt::TempDir d;
    std::string pdf = d.file("form.pdf");
    tt::write_file(pdf, tt::read_file(std::string(CORPUS_DIR) + "/samples-libreoffice-form.pdf"));
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
