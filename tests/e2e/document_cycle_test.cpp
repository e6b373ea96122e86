// End-to-end runs of the tessaro program over synthetic templates, checked with qpdf and
// poppler and, where the output format is fixed byte for byte, by reading the bytes.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "tests/support/run_tools.h"
#include "tests/support/template_builder.h"

using tt::TempDir;

namespace {

// Two leaf pages in one template, each with its own text.
std::string two_page_template(const TempDir& d, const std::string& name = "two.tpl") {
    tb::PageSpec a, b;
    a.text = "Alpha page";
    b.text = "Beta page";
    std::string path = d.file(name);
    tb::simple_template(path, {a, b});
    return path;
}

std::string script_for(const std::string& pdf, const std::vector<std::string>& templates) {
    std::string s = "Tessaro\nstart\t" + pdf + "\n";
    for (const auto& t : templates) s += "startPage\t" + t + "\nendPage\n";
    return s + "finish\n";
}

struct RunResult {
    int status;
    std::string errlog;
};

RunResult run_script(const TempDir& d, const std::string& script, const std::string& program = "") {
    tt::write_file(d.file("script.txt"), script);
    int st = tt::run_tessaro(d.file("script.txt"), d.file("err.log"), program);
    return {st, tt::read_file(d.file("err.log"))};
}

// Checks the cross-reference table against the file itself: every in-use entry points at
// "k 0 obj", free entries are the fixed 20-byte form, and startxref points at "xref".
void expect_consistent_xref(const std::string& pdf) {
    auto xref_at = pdf.rfind(" xref\r");
    ASSERT_NE(xref_at, std::string::npos);
    std::smatch m;
    std::string tail = pdf.substr(xref_at);
    ASSERT_TRUE(std::regex_search(tail, m, std::regex("^ xref\r0 (\\d+) \r")));
    int n = std::stoi(m[1]);
    size_t p = xref_at + m[0].length();
    ASSERT_EQ(pdf.substr(p, 20), "0000000000 65535 f\r\n");
    for (int k = 1; k < n; ++k) {
        std::string e = pdf.substr(p + 20 * k, 20);
        ASSERT_EQ(e.size(), 20u);
        if (e[17] == 'f') {
            EXPECT_EQ(e, "0000000000 00000 f\r\n");
            continue;
        }
        ASSERT_EQ(e.substr(10), " 00000 n\r\n") << "entry " << k;
        long off = std::stol(e.substr(0, 10));
        std::string head = std::to_string(k) + " 0 obj\r";
        EXPECT_EQ(pdf.substr(off, head.size()), head) << "entry " << k;
    }
    std::string after = pdf.substr(p + 20 * n);
    std::regex trailer(
        "^trailer\r<<\r/Root (\\d+) 0 R\r/Size (\\d+)\r(?:[^\r]*\r)*?"
        "/ID\\[<([0-9A-F]{32})><([0-9A-F]{32})>\\]\r>>\rstartxref\r(\\d+)\r%%EOF\r$");
    ASSERT_TRUE(std::regex_search(after, m, trailer)) << after;
    EXPECT_EQ(std::stoi(m[2]), n);
    EXPECT_EQ(m[3], m[4]);
    EXPECT_EQ(std::stol(m[5]), static_cast<long>(xref_at) + 1);
}

}  // namespace

TEST(DocumentCycle, PagesOfTwoLeafTemplateMultiply) {
    TempDir d;
    std::string tpl = two_page_template(d);
    for (int pages : {1, 3, 500}) {
        std::string pdf = d.file("out" + std::to_string(pages) + ".pdf");
        RunResult r = run_script(d, script_for(pdf, std::vector<std::string>(pages, tpl)));
        ASSERT_EQ(r.status, 0) << r.errlog;
        std::string report;
        EXPECT_TRUE(tt::qpdf_check(pdf, &report)) << report;
        EXPECT_EQ(tt::pdf_page_count(pdf), 2 * pages);
        expect_consistent_xref(tt::read_file(pdf));
        if (pages == 3) {
            for (int p = 1; p <= 6; ++p)
                EXPECT_NE(tt::pdftotext(pdf, p).find(p % 2 ? "Alpha page" : "Beta page"),
                          std::string::npos)
                    << "page " << p;
        }
    }
}

TEST(DocumentCycle, SharedObjectsUseTheRunsFirstPageNumbers) {
    TempDir d;
    std::string a = two_page_template(d, "a.tpl");
    tb::simple_template(d.file("b.tpl"), "Bravo");
    std::string b = d.file("b.tpl");
    std::string pdf = d.file("out.pdf");
    RunResult r = run_script(d, script_for(pdf, {a, a, b, a}));
    ASSERT_EQ(r.status, 0) << r.errlog;
    EXPECT_TRUE(tt::qpdf_check(pdf));
    std::string out = tt::read_file(pdf);
    // Template a has 9 entries (0..8), b has 7; the first page also holds the document's
    // form field array and its font dictionary: bases 0, 11, 20, 27. The font (object 3) is
    // shared: pages of a's runs use 3 (the last page goes on with the first run), page b 23.
    auto uses = [&](const std::string& obj, const std::string& ref) {
        auto at = out.find("\r" + obj + " 0 obj\r");
        if (at == std::string::npos) at = out.find(obj + " 0 obj\r");
        auto end = out.find("endobj", at);
        return out.substr(at, end - at).find("/F1 " + ref + " 0 R") != std::string::npos;
    };
    EXPECT_TRUE(uses("5", "3"));
    EXPECT_TRUE(uses("16", "3"));
    EXPECT_TRUE(uses("25", "23"));
    EXPECT_TRUE(uses("32", "3"));
    EXPECT_EQ(tt::pdftotext(pdf).find("Bravo") != std::string::npos, true);
    EXPECT_EQ(tt::pdf_page_count(pdf), 7);
}

TEST(DocumentCycle, SecondPageObjectsFollowFirstPageEntryCount) {
    TempDir d;
    // 12 entries: the standard five plus page, content, and a field's widget, appearance,
    // then three unused entries.
    tb::begin(0);
    tb::PageSpec p;
    std::string tpl = d.file("twelve.tpl");
    tb::simple_template(tpl, {p});  // 7 entries
    // Rebuild with padding objects so that the page has exactly 12 entries.
    tb::begin(5);
    tb::page_tree(5);
    tb::helvetica(3);
    tb::literal(4, "Producer", "test");
    int page = tb::add_object();
    int content = tb::add_object();
    tb::name(page, "Type", "Page");
    tb::ref(page, "Parent", 2);
    tb::array(page, "MediaBox", "0 0 300 300");
    tb::resource(page, "Font", "F1", 3);
    tb::ref(page, "Contents", content);
    tb::page_flag(page);
    tb::stream(content, "BT /F1 12 Tf 20 20 Td (Twelve) Tj ET");
    for (int i = 0; i < 5; ++i) tb::add_object();
    tb::trailer_ref("Root", 1);
    tb::write(tpl);

    std::string pdf = d.file("out.pdf");
    RunResult r = run_script(d, script_for(pdf, {tpl, tpl}));
    ASSERT_EQ(r.status, 0) << r.errlog;
    std::string out = tt::read_file(pdf);
    // Page 2's objects are numbered from 12, the first page's entry count: its page object
    // is 17. Its copies of the font (3, shared) and of the document information (4,
    // unchanged) are not written; the first page's stand for them.
    EXPECT_NE(out.find("\r17 0 obj\r"), std::string::npos);
    EXPECT_EQ(out.find("\r15 0 obj\r"), std::string::npos);
    EXPECT_EQ(out.find("\r16 0 obj\r"), std::string::npos);
    EXPECT_NE(out.find("/Contents 6 0 R"), out.rfind("/Contents 6 0 R"));
    EXPECT_TRUE(tt::qpdf_check(pdf));
    // The page tree replaces the first page's Pages object under number 2.
    EXPECT_NE(out.find("2 0 obj\r<< \r/Type /Pages /Kids [ 5 0 R 17 0 R ] /Count 2 >> "),
              std::string::npos);
    EXPECT_EQ(tt::pdf_page_count(pdf), 2);
}

TEST(DocumentCycle, StandardOutputAndQuotedPrintable) {
    TempDir d;
    std::string tpl = two_page_template(d);
    tt::write_file(d.file("s1"), script_for("-", {tpl}));
    auto raw =
        tt::run(tt::sh_quote(tt::tessaro()) + " < " + d.file("s1") + " > " + d.file("raw.pdf"));
    ASSERT_EQ(raw.status, 0) << raw.out;
    EXPECT_TRUE(tt::qpdf_check(d.file("raw.pdf")));

    tt::write_file(d.file("s2"), script_for("-qprint", {tpl}));
    auto qp =
        tt::run(tt::sh_quote(tt::tessaro()) + " < " + d.file("s2") + " > " + d.file("qp.txt"));
    ASSERT_EQ(qp.status, 0) << qp.out;
    std::string text = tt::read_file(d.file("qp.txt"));
    EXPECT_NE(text.find("=0d"), std::string::npos);
    for (size_t at = 0, nl; (nl = text.find("\r\n", at)) != std::string::npos; at = nl + 2)
        EXPECT_LE(nl - at, 76u);
    auto dec = tt::run(
        "python3 -c 'import quopri,sys; sys.stdout.buffer.write(quopri.decodestring("
        "open(sys.argv[1],\"rb\").read()))' " +
        d.file("qp.txt") + " > " + d.file("qp.pdf"));
    ASSERT_EQ(dec.status, 0) << dec.out;
    EXPECT_TRUE(tt::qpdf_check(d.file("qp.pdf")));
    EXPECT_EQ(tt::read_file(d.file("qp.pdf")).size(), tt::read_file(d.file("raw.pdf")).size());

    // An error with the PDF on standard output goes to standard error.
    tt::write_file(d.file("s3"), "Tessaro\nstart\t-\nbogus\n");
    auto err = tt::run(tt::sh_quote(tt::tessaro()) + " < " + d.file("s3") + " 2> " +
                           d.file("stderr.txt") + " > /dev/null",
                       false);
    EXPECT_EQ(err.status, 255);
    EXPECT_EQ(tt::read_file(d.file("stderr.txt")), "Illegal Operation::bogus\n");
}

TEST(DocumentCycle, NumbersStayPdfSyntaxUnderACommaLocale) {
    TempDir d;
    auto gen = tt::run("localedef -i de_DE -f UTF-8 " + d.file("de_DE.UTF-8"));
    if (!tt::file_exists(d.file("de_DE.UTF-8"))) GTEST_SKIP() << "cannot build a locale here";
    std::string tpl = two_page_template(d);
    std::string pdf = d.file("out.pdf");
    tt::write_file(d.file("s"), "Tessaro\nsetLocale\tde_DE.UTF-8\nstart\t" + pdf + "\nstartPage\t" +
                                    tpl + "\nendPage\nfinish\n");
    auto r = tt::run("LOCPATH=" + d.path + " " + tt::sh_quote(tt::tessaro()) + " " + d.file("s") +
                     " " + d.file("err"));
    ASSERT_EQ(r.status, 0) << tt::read_file(d.file("err"));
    EXPECT_TRUE(tt::qpdf_check(pdf));
}

TEST(Interpreter, CallSequenceErrors) {
    TempDir d;
    std::string tpl = two_page_template(d);
    std::string pdf = d.file("o.pdf");
    struct Case {
        std::string script, message;
    } cases[] = {
        {"Tessaro\nstart\t" + pdf + "\nfinish\n", "Illegal method calling sequence."},
        {"Tessaro\nstartPage\t" + tpl + "\n", "Illegal method calling sequence."},
        {"Tessaro\nstart\t" + pdf + "\nendPage\n", "Illegal method calling sequence."},
        {"Tessaro\nstart\t" + pdf + "\ncompressField\n", "Illegal method calling sequence."},
        {"startPage\t" + tpl + "\n", "Illegal method calling sequence."},
        {"Tessaro\nStart\t" + pdf + "\n", "Illegal Operation::Start"},
        {"Tessaro\nstart\t" + pdf + "\nstartPage\t" + d.file("missing.tpl") + "\n",
         "fopen::error(" + d.file("missing.tpl") + ")"},
        {"Tessaro\nstart\t" + d.path + "/no/such/dir/o.pdf\n",
         "fopen::error(" + d.path + "/no/such/dir/o.pdf)"},
        {"Tessaro\nstart\t" + pdf + "\nstartPage\t " + tpl + "\n", "fopen::error( " + tpl + ")"},
    };
    for (const Case& c : cases) {
        RunResult r = run_script(d, c.script);
        EXPECT_EQ(r.status, 255) << c.script;
        EXPECT_EQ(r.errlog, c.message + "\n") << c.script;
    }
}

TEST(Interpreter, LinesThatAreSkippedOrEndTheRun) {
    TempDir d;
    std::string tpl = two_page_template(d);
    std::string pdf = d.file("o.pdf");
    std::string script = "Tessaro\n\n\t\n# comment\n// another\r\nstart\t" + pdf +
                         "\r\nstartPage\t" + tpl + "\nendPage\nfinish\textra\nbogus\n";
    RunResult r = run_script(d, script);
    EXPECT_EQ(r.status, 0) << r.errlog;
    EXPECT_EQ(r.errlog, "");
    EXPECT_TRUE(tt::qpdf_check(pdf));
    // A UTF-8 script may start with a byte order mark.
    const std::string t = tt::tessaro();
    RunResult bom =
        run_script(d, "\xEF\xBB\xBF" + script, t.substr(0, t.rfind('/')) + "/tessaro-utf8");
    EXPECT_EQ(bom.status, 0) << bom.errlog;

    // A script that ends without "finish" exits 0 with an incomplete PDF; standard error
    // says so, the error log stays empty.
    tt::write_file(d.file("partial.txt"),
                   "Tessaro\nstart\t" + pdf + "\nstartPage\t" + tpl + "\nendPage\n");
    tt::Result partial =
        tt::run(tt::sh_quote(tt::tessaro()) + " " + tt::sh_quote(d.file("partial.txt")) + " " +
                tt::sh_quote(d.file("err.log")));
    EXPECT_EQ(partial.status, 0);
    EXPECT_TRUE(tt::has(partial.out, "ended without \"finish\"")) << partial.out;
    EXPECT_EQ(tt::read_file(d.file("err.log")), "");
    EXPECT_EQ(tt::read_file(pdf).find("xref"), std::string::npos);
}

TEST(Interpreter, UsageVersionAndTrace) {
    TempDir d;
    auto v = tt::run(tt::sh_quote(tt::tessaro()) + " -version whatever");
    EXPECT_EQ(v.status, 3);
    EXPECT_TRUE(std::regex_search(
        v.out, std::regex("^Tessaro version 1\\.00\\([A-Z][a-z]{2} [ 0-9]\\d \\d{4}\\)\n")))
        << v.out;
    const std::string usage =
        "usage: Tessaro < data_file > errlog_file\n   or  Tessaro data_file errlog_file\n";
    auto three = tt::run(tt::sh_quote(tt::tessaro()) + " a b c");
    EXPECT_EQ(three.status, 3);
    EXPECT_EQ(three.out, usage);
    // Standard output holds the usage text alone; standard error says which file is missing.
    auto missing = tt::run(tt::sh_quote(tt::tessaro()) + " " + d.file("none") + " " + d.file("e") +
                               " 2> " + d.file("why"),
                           false);
    EXPECT_EQ(missing.status, 3);
    EXPECT_EQ(missing.out, usage);
    EXPECT_EQ(tt::read_file(d.file("why")),
              "tessaro: cannot open " + d.file("none") + ": No such file or directory\n");

    std::string tpl = two_page_template(d);
    tt::write_file(d.file("s"), "trace\nTessaro\nstart\t" + d.file("o.pdf") + "\nstartPage\t" +
                                    tpl + "\nendPage\nsetYenSign\t0\nfinish\n");
    auto t = tt::run(tt::sh_quote(tt::tessaro()) + " " + d.file("s") + " " + d.file("e"));
    EXPECT_EQ(t.status, 0);
    EXPECT_EQ(t.out, "Tessaro()\nstart()\nstartPage()\nendPage()\nsetYenSign()\nfinish()\n");
}

TEST(Interpreter, ErrorLogOnStandardOutputWithoutArguments) {
    TempDir d;
    tt::write_file(d.file("s"), "Tessaro\nnope\n");
    auto r = tt::run(tt::sh_quote(tt::tessaro()) + " < " + d.file("s"), false);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "Illegal Operation::nope\n");
}

TEST(DocumentCycle, FieldCompressionWritesSharedObjectsOncePerRun) {
    TempDir d;
    std::string a = two_page_template(d, "a.tpl");
    std::string pdf = d.file("out.pdf");
    std::string script = "Tessaro\ncompressField\nstart\t" + pdf + "\n";
    for (int i = 0; i < 3; ++i) script += "startPage\t" + a + "\nendPage\n";
    RunResult r = run_script(d, script + "finish\n");
    ASSERT_EQ(r.status, 0) << r.errlog;
    EXPECT_TRUE(tt::qpdf_check(pdf));
    std::string out = tt::read_file(pdf);
    // The font (object 3, shared) is written with the first page only. Each of the
    // template's two page objects gains a flattened-field stream and a saved-state stream, so
    // a page has 13 entries (the first two more, the form's field array and font
    // dictionary): 3, not 18 or 31. The later pages' page objects (5 and 7 of the template)
    // are written under their own numbers and use the first page's contents.
    EXPECT_NE(out.find("\r3 0 obj\r"), std::string::npos);
    EXPECT_EQ(out.find("\r18 0 obj\r"), std::string::npos);
    EXPECT_EQ(out.find("\r31 0 obj\r"), std::string::npos);
    EXPECT_NE(out.find("\r20 0 obj\r"), std::string::npos);
    EXPECT_NE(out.find("\r35 0 obj\r"), std::string::npos);
    EXPECT_EQ(out.find("\r21 0 obj\r"), std::string::npos);
    EXPECT_EQ(tt::pdf_page_count(pdf), 6);
}

TEST(DocumentCycle, TemplateRunsAreToldApartByTheWholeName) {
    // Two templates whose paths share their first 255 bytes: the second starts a run of its
    // own and writes its own shared objects, even with field compression on.
    TempDir d;
    std::string dir = d.file(std::string(250, 'd'));
    ASSERT_EQ(tt::run("mkdir " + tt::sh_quote(dir)).status, 0);
    tb::PageSpec a, b;
    a.text = "Alpha page";
    b.text = "Beta page";
    std::string ta = dir + "/a.tpl", tbp = dir + "/b.tpl";
    ASSERT_GT(ta.size(), 255u);
    tb::simple_template(ta, {a});
    tb::simple_template(tbp, {b});
    std::string pdf = d.file("out.pdf");
    RunResult r = run_script(d, "Tessaro\ncompressField\nstart\t" + pdf + "\nstartPage\t" + ta +
                                    "\nendPage\nstartPage\t" + tbp + "\nendPage\nfinish\n");
    ASSERT_EQ(r.status, 0) << r.errlog;
    EXPECT_TRUE(tt::qpdf_check(pdf));
    std::string out = tt::read_file(pdf);
    size_t fonts = 0;
    for (size_t at = out.find("/BaseFont /Helvetica"); at != std::string::npos;
         at = out.find("/BaseFont /Helvetica", at + 1))
        ++fonts;
    EXPECT_EQ(fonts, 2u);
    EXPECT_NE(tt::pdftotext(pdf, 2).find("Beta page"), std::string::npos);
}

namespace {

TEST(DocumentCycle, SourceCrossReferenceKeysNeverReachTheTrailer) {
    // A template of an older compiler may hold a hybrid file's /XRefStm: a reader of the
    // output would look for a cross-reference stream that is not there.
    TempDir d;
    tb::begin(5);
    tb::page_tree(3);
    tb::name(3, "Type", "Page");
    tb::ref(3, "Parent", 2);
    tb::array(3, "MediaBox", "0 0 100 100");
    tb::page_flag(3);
    tb::literal(4, "Producer", "test");
    tb::trailer_ref("Root", 1);
    tb::trailer_ref("Info", 4);
    tb::trailer_ref("XRefStm", 4);
    tb::trailer_ref("Index", 4);
    tb::trailer_ref("W", 4);
    std::string tpl = d.file("hybrid.tpl");
    tb::write(tpl);
    std::string pdf = d.file("out.pdf");
    RunResult r = run_script(d, script_for(pdf, {tpl}));
    ASSERT_EQ(r.status, 0) << r.errlog;
    std::string out = tt::read_file(pdf);
    std::string trailer = out.substr(out.rfind("trailer"));
    EXPECT_NE(trailer.find("/Info "), std::string::npos) << trailer;
    for (const char* key : {"/XRefStm", "/Index", "/W "})
        EXPECT_EQ(trailer.find(key), std::string::npos) << key << "\n" << trailer;
    EXPECT_TRUE(tt::qpdf_check(pdf));
}

}  // namespace
