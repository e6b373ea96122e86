// Later pages of a template run write only what changed and refer to the run's first page
// for the rest. Every page must still show its own values, drawings and images, whatever
// the script did on the pages before it: checked per page with pdftotext, pdfimages and
// pdftoppm, and the whole file with qpdf.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "store/element_walk.h"
#include "tests/support/run_tools.h"
#include "tests/support/template_builder.h"

using tt::has;
using tt::TempDir;

using tb::field;

namespace {

std::string png(const TempDir& d) {
    // A 4 x 4 RGB PNG made with the system's python zlib, so no image tool is needed.
    std::string path = d.file("dot.png");
    tt::Result r = tt::run(
        "/usr/bin/python3 -c \"import zlib,struct\n"
        "def ch(t,b): return struct.pack('>I',len(b))+t+b+struct.pack('>I',"
        "zlib.crc32(t+b))\n"
        "raw=b''.join(b'\\\\x00'+b'\\\\x20\\\\x40\\\\x60'*4 for _ in range(4))\n"
        "open('" +
        path +
        "','wb').write(b'\\\\x89PNG\\\\r\\\\n\\\\x1a\\\\n'+ch(b'IHDR',"
        "struct.pack('>IIBBBBB',4,4,8,2,0,0,0))+ch(b'IDAT',zlib.compress(raw))"
        "+ch(b'IEND',b''))\"");
    EXPECT_EQ(r.status, 0) << r.out;
    return path;
}

int dark_pixels(const std::string& pdf, int page) {
    std::string out = pdf + ".p" + std::to_string(page);
    tt::Result r =
        tt::run("pdftoppm -r 36 -gray -f " + std::to_string(page) + " -l " + std::to_string(page) +
                " -singlefile " + tt::sh_quote(pdf) + " " + tt::sh_quote(out));
    EXPECT_EQ(r.status, 0) << r.out;
    std::string pgm = tt::read_file(out + ".pgm");
    std::istringstream in(pgm);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    in >> magic >> w >> h >> maxval;
    in.get();
    int n = 0;
    for (size_t i = static_cast<size_t>(in.tellg()); i < pgm.size(); ++i)
        if (static_cast<unsigned char>(pgm[i]) < 100) ++n;
    return n;
}

// The head of a script writing `pdf` in one of the modes the reuse tests run in: "plain",
// "encrypted" or "compressed" (fields flattened).
std::string script_head(const std::string& mode, const std::string& pdf) {
    std::string s = "Tessaro\n";
    if (mode == "encrypted") s += "setCryptMode\t\towner\t1\t1\t1\t1\n";
    if (mode == "compressed") s += "compressField\n";
    return s + "start\t" + pdf + "\n";
}

// Runs the script (finished here) and checks that it wrote `pages` pages qpdf accepts.
bool run_checked(const TempDir& d, const std::string& script, const std::string& pdf, int pages) {
    tt::write_file(d.file("s.txt"), script + "finish\n");
    int status = tt::run_tessaro(d.file("s.txt"), d.file("e.log"));
    EXPECT_EQ(status, 0) << tt::read_file(d.file("e.log"));
    std::string report;
    EXPECT_TRUE(tt::qpdf_check(pdf, &report)) << report;
    EXPECT_EQ(tt::pdf_page_count(pdf), pages);
    return status == 0 && tt::pdf_page_count(pdf) == pages;
}

}  // namespace

TEST(PageReuse, EveryPageShowsItsOwnValuesDrawingsAndImages) {
    TempDir d;
    tb::PageSpec p;
    p.fields = {field("name", 600), field("city", 500), field("note", 400)};
    std::string tpl = d.file("form.tpl"), other = d.file("other.tpl");
    tb::simple_template(tpl, {p});
    tb::simple_template(other, {p});
    std::string img = png(d);
    const int pages = 7;
    for (const char* mode : {"plain", "encrypted", "compressed"}) {
        SCOPED_TRACE(mode);
        std::string pdf = d.file(std::string(mode) + ".pdf");
        std::string s = script_head(mode, pdf);
        for (int k = 1; k <= pages; ++k) {
            // Page 5 starts a new run from another template file; page 6 a third one.
            s += "startPage\t" + (k == 5 ? other : tpl) + "\n";
            std::string n = std::to_string(k);
            s += "setPageFieldData\tname\tNm" + n + "q\n";
            if (k % 2 == 1) s += "setPageFieldData\tcity\tCt" + n + "q\n";
            if (k == 2) s += "drawBox\t100\t150\t300\t200\t20\t0\t0\t0\t0\n";
            if (k == 3) s += "setPageFieldInvisible\tnote\n";
            if (k == 4) s += "setPageImageData\t" + img + "\t100\t150\t40\t0\t0\n";
            if (k == 7) {
                s += "makeArrayPageField\tnote\t2\t30\n";
                s += "setPageFieldData\tnote__1\tAr1q\nsetPageFieldData\tnote__2\tAr2q\n";
            } else if (k != 3) {
                s += "setPageFieldData\tnote\tNt" + n + "q\n";
            }
            s += "endPage\n";
        }
        ASSERT_TRUE(run_checked(d, s, pdf, pages));
        for (int k = 1; k <= pages; ++k) {
            SCOPED_TRACE("page " + std::to_string(k));
            std::string text = tt::pdftotext(pdf, k);
            std::string n = std::to_string(k);
            EXPECT_TRUE(has(text, "Nm" + n + "q")) << text;
            EXPECT_EQ(has(text, "Ct" + n + "q"), k % 2 == 1) << text;
            EXPECT_EQ(has(text, "Nt" + n + "q"), k != 3 && k != 7) << text;
            EXPECT_EQ(has(text, "Ar1q") && has(text, "Ar2q"), k == 7) << text;
            for (int j = 1; j <= pages; ++j)
                if (j != k) {
                    std::string o = std::to_string(j);
                    EXPECT_FALSE(has(text, "Nm" + o + "q") || has(text, "Ct" + o + "q") ||
                                 has(text, "Nt" + o + "q"))
                        << "page " << k << " shows page " << j << "'s value";
                }
        }
        if (std::string(mode) != "plain") continue;
        tt::Result images = tt::run("pdfimages -list " + tt::sh_quote(pdf), false);
        std::istringstream lines(images.out);
        std::string line;
        std::vector<int> on;
        std::getline(lines, line);
        std::getline(lines, line);
        while (std::getline(lines, line)) on.push_back(std::stoi(line));
        EXPECT_EQ(on, std::vector<int>{4});
        EXPECT_GT(dark_pixels(pdf, 2), dark_pixels(pdf, 1) + 200);
        EXPECT_LT(dark_pixels(pdf, 3) + 200, dark_pixels(pdf, 2));
    }
}

TEST(PageReuse, PagesListedInTheTreeAreWrittenOnEveryPage) {
    // A page that the template lists in its page tree but did not flag as a page (as the
    // compiler leaves some damaged forms) is still every later page's own page object.
    TempDir d;
    tb::begin(5);
    tb::page_tree(3);
    tb::name(3, "Type", "Page");  // no page flag
    tb::ref(3, "Parent", 2);
    tb::array(3, "MediaBox", "0 0 300 300");
    tb::resource(3, "Font", "F1", 4);
    tb::helvetica(4);
    int content = tb::add_object();
    tb::ref(3, "Contents", content);
    tb::stream(content, "BT /F1 12 Tf 20 20 Td (Unflagged) Tj ET");
    tb::trailer_ref("Root", 1);
    std::string tpl = d.file("unflagged.tpl");
    tb::write(tpl);
    std::string pdf = d.file("out.pdf");
    tt::write_file(d.file("s.txt"), "Tessaro\nstart\t" + pdf + "\nstartPage\t" + tpl +
                                        "\nendPage\nstartPage\t" + tpl + "\nendPage\nfinish\n");
    ASSERT_EQ(tt::run_tessaro(d.file("s.txt"), d.file("e.log")), 0)
        << tt::read_file(d.file("e.log"));
    std::string report;
    EXPECT_TRUE(tt::qpdf_check(pdf, &report)) << report;
    ASSERT_EQ(tt::pdf_page_count(pdf), 2);
    EXPECT_TRUE(has(tt::pdftotext(pdf, 2), "Unflagged"));
}

TEST(PageReuse, TheCatalogsPageTreeIsNotANameTreeInTheCatalog) {
    // A name tree written inside the catalog has /Kids of its own (Ghostscript and dvips
    // write /Names << /Dests << /Kids [...] >> >>); its node is no page.
    TempDir d;
    tb::begin(6);
    tb::page_tree(3);
    tb::name(3, "Type", "Page");
    tb::page_flag(3);
    tb::ref(3, "Parent", 2);
    tb::array(3, "MediaBox", "0 0 300 300");
    tb::resource(3, "Font", "F1", 4);
    tb::helvetica(4);
    tb::array(5, "Names", "(p1) [3 0 R /Fit]");
    tb::dict_start(1, "Names");
    tb::dict_start(1, "Dests");
    tb::array(1, "Kids", "5 0 R");
    tb::dict_end(1);
    tb::dict_end(1);
    int content = tb::add_object();
    tb::ref(3, "Contents", content);
    tb::stream(content, "BT /F1 12 Tf 20 20 Td (Named) Tj ET");
    tb::trailer_ref("Root", 1);
    std::string tpl = d.file("names.tpl");
    tb::write(tpl);
    std::string pdf = d.file("out.pdf");
    tt::write_file(d.file("s.txt"),
                   "Tessaro\nstart\t" + pdf + "\nstartPage\t" + tpl + "\nendPage\nfinish\n");
    ASSERT_EQ(tt::run_tessaro(d.file("s.txt"), d.file("e.log")), 0)
        << tt::read_file(d.file("e.log"));
    std::string report;
    EXPECT_TRUE(tt::qpdf_check(pdf, &report)) << report;
    EXPECT_TRUE(has(tt::pdftotext(pdf, 1), "Named"));
}

namespace {

size_t count(const std::string& s, const std::string& what) {
    size_t n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(PageReuse, EmptyFieldsOfLaterPagesTakeTheFirstPagesAppearance) {
    // Fields left empty on a later page of a run are the first page's empty appearances,
    // unless the page writes the appearance itself: field a's appearance refers to field
    // b's, so on a page that fills b, a's appearance is written anew, empty.
    TempDir d;
    tb::PageSpec p;
    p.fields = {field("a", 600), field("b", 500), field("c", 400)};
    tb::simple_template_bytes({p});
    const int ap_a = 8, ap_b = 10;  // catalog, Pages, font, AcroForm, page, content, widgets
    tb::ref(ap_a, "TsSeeAlso", ap_b);
    std::string tpl = d.file("form.tpl");
    tb::write(tpl);
    const char* values[] = {"", "b\tBv2q", "a\tAv3q\nsetPageFieldData\tc\tCv3q", ""};
    for (const char* mode : {"plain", "encrypted", "compressed"}) {
        SCOPED_TRACE(mode);
        std::string pdf = d.file(std::string(mode) + ".pdf");
        std::string s = script_head(mode, pdf);
        for (const char* v : values) {
            s += "startPage\t" + tpl + "\n";
            if (*v) s += "setPageFieldData\t" + std::string(v) + "\n";
            s += "endPage\n";
        }
        ASSERT_TRUE(run_checked(d, s, pdf, 4));
        const std::vector<std::vector<std::string>> shown = {{}, {"Bv2q"}, {"Av3q", "Cv3q"}, {}};
        for (int k = 1; k <= 4; ++k) {
            SCOPED_TRACE("page " + std::to_string(k));
            std::string text = tt::pdftotext(pdf, k);
            int seen = 0;
            for (const char* v : {"Bv2q", "Av3q", "Cv3q"}) seen += has(text, v);
            EXPECT_EQ(seen, static_cast<int>(shown[static_cast<size_t>(k - 1)].size())) << text;
            for (const std::string& v : shown[static_cast<size_t>(k - 1)])
                EXPECT_TRUE(has(text, v)) << text;
        }
        if (std::string(mode) == "compressed") continue;
        // Streams written: the first page's content and three appearances; page 2 b's and
        // a's (written anew because it refers to b's); page 3 a's and c's; page 4 none.
        std::string bytes = tt::read_file(pdf);
        EXPECT_EQ(count(bytes, "endstream"), 8u);
        if (std::string(mode) == "plain") {
            EXPECT_EQ(count(bytes, "0 g  ET Q EMC"), 0u);
        }
    }
}

TEST(PageReuse, FlattenedFieldsLeaveNoFieldNodeBehind) {
    // A field node whose only widget is flattened on every page: later pages do not write the
    // unchanged node again, and the document's /Fields must not list it under a number that
    // no object has.
    TempDir d;
    tb::PageSpec p;
    p.fields = {field("kid", 200)};
    tb::simple_template_bytes({p});
    const int acroform = 4, widget = 7;
    const int node = tb::add_object();
    tb::literal(node, "T", "grp");
    tb::array(node, "Kids", std::to_string(widget) + " 0 R");
    tb::ref(widget, "Parent", node);
    switch_off(dict_entry(acroform, "Fields"));
    tb::array(acroform, "Fields", std::to_string(node) + " 0 R");
    std::string tpl = d.file("form.tpl");
    tb::write(tpl);
    std::string pdf = d.file("out.pdf");
    std::string s = script_head("compressed", pdf);
    for (const char* v : {"Kv1q", "Kv2q", "Kv3q"})
        s += "startPage\t" + tpl + "\nsetPageFieldData\tkid\t" + v + "\nendPage\n";
    ASSERT_TRUE(run_checked(d, s, pdf, 3));
    EXPECT_TRUE(has(tt::pdftotext(pdf, 3), "Kv3q"));
    // poppler reports a /Fields entry without its object.
    tt::Result r = tt::run("pdftotext " + tt::sh_quote(pdf) + " /dev/null 2>&1");
    EXPECT_EQ(r.out, "");
}

TEST(PageReuse, AlternatingTemplatesGoOnWithTheirEarlierRuns) {
    // Pages that alternate between two forms write no more objects than the same pages
    // grouped by form: a form met again goes on with its first run.
    TempDir d;
    tb::PageSpec p;
    p.fields = {field("name", 600), field("city", 500)};
    std::string a = d.file("a.tpl"), b = d.file("b.tpl");
    tb::simple_template(a, {p});
    p.text = "Second form";
    tb::simple_template(b, {p});
    auto run = [&](const std::string& order) {
        std::string pdf = d.file(order + ".pdf");
        std::string s = script_head("plain", pdf);
        for (size_t k = 0; k < order.size(); ++k)
            s += "startPage\t" + (order[k] == 'A' ? a : b) + "\nsetPageFieldData\tname\tNm" +
                 std::to_string(k + 1) + "q\nendPage\n";
        EXPECT_TRUE(run_checked(d, s, pdf, static_cast<int>(order.size())));
        for (size_t k = 0; k < order.size(); ++k)
            EXPECT_TRUE(has(tt::pdftotext(pdf, static_cast<int>(k) + 1),
                            "Nm" + std::to_string(k + 1) + "q"));
        std::string bytes = tt::read_file(pdf);
        int objects = 0;
        for (size_t at = bytes.find(" 0 obj"); at != std::string::npos;
             at = bytes.find(" 0 obj", at + 1))
            ++objects;
        return objects;
    };
    EXPECT_EQ(run("ABABAB"), run("AAABBB"));
}
