// What a person picking the system up meets: the manual pages, the installation, error
// messages that point at the script line, and the CSV front end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/run_tools.h"
#include "tests/support/template_builder.h"

using tt::TempDir;

namespace {

const std::string k_source = SOURCE_DIR;

std::string bin_dir() {
    std::string t = tt::tessaro();
    return t.substr(0, t.rfind('/'));
}

std::string csv_bin() {
    return bin_dir() + "/tessaro-csv";
}

// Every command of the script language.
const std::vector<std::string> k_commands = {"Tessaro",
                                             "start",
                                             "startPage",
                                             "endPage",
                                             "finish",
                                             "setPageFieldScriptValue",
                                             "setPageFieldData",
                                             "setPageFieldDataWithAttribute",
                                             "setPageFieldInvisible",
                                             "setImageProc",
                                             "setPageImageData",
                                             "setPageFieldImageData",
                                             "setCryptMode",
                                             "setYenSign",
                                             "compressField",
                                             "makeArrayPageField",
                                             "drawLine",
                                             "drawBox",
                                             "setLocale",
                                             "setIccProfile",
                                             "trace"};

}  // namespace

// The interpreter knows each command, and the manual page, rendered by man, describes it.
TEST(Manual, TessaroPageDocumentsEveryCommand) {
    TempDir d;
    for (const std::string& c : k_commands) {
        tt::write_file(d.file("s.txt"), c + "\n");
        tt::run_tessaro(d.file("s.txt"), d.file("err.log"));
        EXPECT_EQ(tt::read_file(d.file("err.log")).find("Illegal Operation"), std::string::npos)
            << c;
    }
    tt::Result man = tt::run(
        "MANWIDTH=120 man -l " + tt::sh_quote(k_source + "/man/tessaro.1") + " 2>&1 | col -b",
        false);
    ASSERT_EQ(man.status, 0) << man.out;
    // Each command is the tag of an entry: at the entry indent, followed by its arguments
    // or the end of the line.
    for (const std::string& c : k_commands) {
        const std::string tag = "\n       " + c;
        EXPECT_TRUE(man.out.find(tag + " ") != std::string::npos ||
                    man.out.find(tag + "\n") != std::string::npos)
            << c << " has no entry";
    }
    for (const char* page : {"tessaro.1", "tessaro-csv.1", "carvel.1"}) {
        tt::Result lint =
            tt::run("groff -man -ww -z " + tt::sh_quote(k_source + "/man/" + page) + " 2>&1");
        EXPECT_EQ(lint.out, "") << page;
    }
}

TEST(Install, LaysOutProgramsVariantsAndManualPages) {
    TempDir d;
    tt::Result r = tt::run("DESTDIR=" + tt::sh_quote(d.path) + " cmake --install " +
                           tt::sh_quote(BUILD_DIR) + " --prefix /usr/local");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string root = d.path + "/usr/local";
    for (const char* p : {"tessaro", "tessaro-csv", "carvel"}) {
        EXPECT_EQ(
            tt::run("test -x " + root + "/bin/" + p + " && test ! -L " + root + "/bin/" + p).status,
            0)
            << p;
    }
    for (const char* p : {"tessaro-sjis", "tessaro-euc", "tessaro-utf8"})
        EXPECT_EQ(tt::run("readlink " + root + "/bin/" + p).out, "tessaro\n") << p;
    for (const char* p : {"carvel-merlow", "carvel-merlow14", "carvel-jisx0213"})
        EXPECT_EQ(tt::run("readlink " + root + "/bin/" + p).out, "carvel\n") << p;
    for (const char* p : {"tessaro.1", "tessaro-csv.1", "carvel.1"})
        EXPECT_TRUE(tt::file_exists(root + "/share/man/man1/" + p)) << p;
}

// The error log keeps the bare message; standard error names the physical script line,
// also after a line longer than the line buffer, which is read in pieces.
TEST(ScriptErrors, StandardErrorNamesScriptLineAndCommand) {
    TempDir d;
    tb::simple_template(d.file("a.tpl"), {tb::PageSpec{.fields = {{.name = "name"}}}});
    std::string longline = "#" + std::string(19998, 'x') + "#" + std::string(5000, 'y');
    tt::write_file(d.file("script.txt"), "Tessaro\nstart\tout.pdf\n" + longline +
                                             "\nstartPage\ta.tpl\nsetPageFieldData\tnope\tx\n");
    tt::Result r = tt::run("cd " + tt::sh_quote(d.path) + " && " + tt::sh_quote(tt::tessaro()) +
                               " script.txt err.log 2> stderr.txt",
                           false);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(tt::read_file(d.file("err.log")), "Undefined Field Name(nope)\n");
    EXPECT_EQ(tt::read_file(d.file("stderr.txt")),
              "tessaro: script.txt:5: setPageFieldData: Undefined Field Name(nope)\n");
}

// A value in another encoding than the program reads is cut where it stops reading, and
// standard error says so; the run goes on.
TEST(ScriptErrors, ValueCutAtABadByteIsReported) {
    TempDir d;
    tb::simple_template(d.file("a.tpl"), {tb::PageSpec{.fields = {{.name = "name"}}}});
    tt::write_file(d.file("script.txt"),
                   "Tessaro\nstart\tout.pdf\nstartPage\ta.tpl\n"
                   "setPageFieldData\tname\tCaf\xe9 au lait\nendPage\nfinish\n");
    tt::Result r = tt::run("cd " + tt::sh_quote(d.path) + " && " + tt::sh_quote(bin_dir()) +
                               "/tessaro-utf8 script.txt err.log 2> stderr.txt",
                           false);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(tt::read_file(d.file("stderr.txt")),
              "tessaro: script.txt:4: setPageFieldData: the value is cut after 3 characters, at "
              "bytes that are no UTF-8\n");
    // A script saved as UTF-16 is refused, and standard error says why.
    tt::write_file(d.file("utf16.txt"), std::string("\xff\xfeT\0e\0s\0", 8));
    r = tt::run("cd " + tt::sh_quote(d.path) + " && " + tt::sh_quote(tt::tessaro()) +
                    " utf16.txt err.log 2> stderr.txt",
                false);
    EXPECT_EQ(r.status, 255);
    EXPECT_NE(tt::read_file(d.file("stderr.txt")).find("utf16.txt is UTF-16; save it as UTF-8"),
              std::string::npos);
}

namespace {

struct CsvRun {
    int status;
    std::string err;
};

CsvRun run_csv(const TempDir& d, const std::string& args) {
    tt::Result r =
        tt::run(tt::sh_quote(csv_bin()) + " " + args + " 2> " + d.file("csv.err"), false);
    return {r.status, tt::read_file(d.file("csv.err"))};
}

// Page text without its line and page breaks: a value that holds a line break is laid out
// over two lines, which pdftotext may order with the next field's line.
std::string squeeze(const std::string& s) {
    std::string out;
    for (char c : s)
        if (c != '\n' && c != '\f') out += c;
    return out;
}

}  // namespace

// Quoted commas, doubled quotes, a quoted line break and an empty cell come out as exactly
// those values, one page per row; the empty cell leaves its field empty.
TEST(CsvFrontEnd, OnePagePerRowWithExactValues) {
    TempDir d;
    tb::PageSpec page;
    page.text = "Form";
    page.fields = {{.name = "who", .y = 600, .w = 400},
                   {.name = "said", .y = 560, .w = 400},
                   {.name = "code", .y = 520, .w = 400}};
    tb::simple_template(d.file("f.tpl"), {page});
    tt::write_file(d.file("d.csv"),
                   "who,said,code\r\n"
                   "\"Smith, John\",\"He said \"\"hi\"\"\",A-1\r\n"
                   "Lee,,B-2\r\n"
                   "\"Ito\nKen\",\"x,y\",\r\n");
    CsvRun r = run_csv(d, d.file("f.tpl") + " " + d.file("d.csv") + " " + d.file("o.pdf"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::string report;
    EXPECT_TRUE(tt::qpdf_check(d.file("o.pdf"), &report)) << report;
    ASSERT_EQ(tt::pdf_page_count(d.file("o.pdf")), 3);
    const std::string p1 = tt::pdftotext(d.file("o.pdf"), 1, "-raw");
    const std::string p2 = tt::pdftotext(d.file("o.pdf"), 2, "-raw");
    const std::string p3 = tt::pdftotext(d.file("o.pdf"), 3, "-raw");
    EXPECT_EQ(p1, "Form\nSmith, John\nHe said \"hi\"\nA-1\n\f");
    EXPECT_EQ(p2, "Form\nLee\nB-2\n\f");
    EXPECT_EQ(squeeze(p3), std::string("FormItoKenx,y")) << p3;
}

TEST(CsvFrontEnd, UnknownColumnIsAnErrorBeforeAnythingIsWritten) {
    TempDir d;
    tb::simple_template(d.file("f.tpl"), {tb::PageSpec{.fields = {{.name = "who"}}}});
    tt::write_file(d.file("d.csv"), "who,nope\nA,B\n");
    CsvRun r = run_csv(d, d.file("f.tpl") + " " + d.file("d.csv") + " " + d.file("o.pdf"));
    EXPECT_EQ(r.status, 255);
    EXPECT_NE(r.err.find("column 2: Undefined Field Name(nope)"), std::string::npos) << r.err;
    EXPECT_FALSE(tt::file_exists(d.file("o.pdf")));

    // A row that breaks the quoting rules stops the run and leaves no half-written PDF.
    tt::write_file(d.file("d2.csv"), "who\nA\n\"B\"C\n");
    r = run_csv(d, d.file("f.tpl") + " " + d.file("d2.csv") + " " + d.file("o.pdf"));
    EXPECT_EQ(r.status, 255);
    EXPECT_NE(r.err.find("row 3"), std::string::npos) << r.err;
    EXPECT_FALSE(tt::file_exists(d.file("o.pdf")));

    // A cell in another encoding (a Latin-1 export read as UTF-8) would lose its rest.
    tt::write_file(d.file("d3.csv"), "who\nCaf\xe9\n");
    r = run_csv(d, d.file("f.tpl") + " " + d.file("d3.csv") + " " + d.file("o.pdf"));
    EXPECT_EQ(r.status, 255);
    EXPECT_NE(r.err.find("row 2, column \"who\": value is not in the file's encoding"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(tt::file_exists(d.file("o.pdf")));
}

// Shift_JIS input into the example form's Japanese field, flattened.
TEST(CsvFrontEnd, ShiftJisInputFlattened) {
    TempDir d;
    tt::write_file(d.file("form.pdf"), tt::read_file(k_source + "/examples/form.pdf"));
    ASSERT_EQ(tt::run(tt::sh_quote(tt::carvel()) + " " + d.file("form.pdf")).status, 0);
    tt::write_file(d.file("u.csv"), "name,kanji_name\nHanako,山田花子\n");
    ASSERT_EQ(
        tt::run("iconv -f UTF-8 -t SHIFT_JIS " + d.file("u.csv") + " > " + d.file("s.csv")).status,
        0);
    CsvRun r = run_csv(d, "--encoding shift_jis --flatten " + d.file("form.pdf.tpl") + " " +
                              d.file("s.csv") + " " + d.file("o.pdf"));
    ASSERT_EQ(r.status, 0) << r.err;
    std::string report;
    EXPECT_TRUE(tt::qpdf_check(d.file("o.pdf"), &report)) << report;
    std::string text = tt::pdftotext(d.file("o.pdf"));
    EXPECT_NE(text.find("Hanako"), std::string::npos) << text;
    EXPECT_NE(text.find("山田花子"), std::string::npos) << text;
    tt::Result widgets =
        tt::run("qpdf --qdf --object-streams=disable " + d.file("o.pdf") + " - | grep -c /Widget");
    EXPECT_EQ(widgets.out, "0\n");
}

// --password gives a document that opens only with that password.
TEST(CsvFrontEnd, PasswordEncryptsTheDocument) {
    TempDir d;
    tb::simple_template(d.file("f.tpl"), {tb::PageSpec{.fields = {{.name = "who"}}}});
    tt::write_file(d.file("d.csv"), "who\nOkada\n");
    CsvRun r = run_csv(
        d, "--password=secret " + d.file("f.tpl") + " " + d.file("d.csv") + " " + d.file("o.pdf"));
    ASSERT_EQ(r.status, 0) << r.err;
    tt::Result check = tt::run("qpdf --password=secret --check " + d.file("o.pdf"));
    EXPECT_EQ(check.status, 0) << check.out;
    EXPECT_NE(check.out.find("User password = secret"), std::string::npos) << check.out;
    EXPECT_NE(tt::run("qpdf --check " + d.file("o.pdf")).status, 0);
    EXPECT_NE(tt::pdftotext(d.file("o.pdf"), 0, "-upw secret").find("Okada"), std::string::npos);
}

// The guide's worked examples run as written: each "file" block is saved under its name,
// each "run" block runs in the shell (stopping at the first failing command) with the
// programs on the PATH, and every unencrypted PDF they make passes qpdf --check.
TEST(Guide, WorkedExamplesRun) {
    TempDir d;
    const std::string guide = tt::read_file(k_source + "/docs/guide.md");
    ASSERT_FALSE(guide.empty());
    int runs = 0;
    for (size_t at = 0; (at = guide.find("<!-- ", at)) != std::string::npos;) {
        size_t end = guide.find(" -->\n", at);
        ASSERT_NE(end, std::string::npos);
        const std::string marker = guide.substr(at + 5, end - at - 5);
        size_t open = guide.find("```", end);
        size_t body = guide.find('\n', open) + 1;
        size_t close = guide.find("\n```", body);
        ASSERT_NE(close, std::string::npos) << marker;
        const std::string text = guide.substr(body, close + 1 - body);
        at = close;
        if (marker.rfind("file: ", 0) == 0) {
            tt::write_file(d.file(marker.substr(6)), text);
        } else if (marker == "run") {
            ++runs;
            tt::write_file(d.file("run.sh"), text);
            tt::Result r = tt::run(
                "cd " + tt::sh_quote(d.path) + " && PATH=" + tt::sh_quote(bin_dir()) +
                ":$PATH EXAMPLES=" + tt::sh_quote(k_source + "/examples") + " sh -e run.sh");
            EXPECT_EQ(r.status, 0) << text << "\n---\n" << r.out;
        }
    }
    EXPECT_GE(runs, 10);
    tt::Result pdfs = tt::run("cd " + tt::sh_quote(d.path) + " && ls *.pdf", false);
    for (size_t a = 0, nl; (nl = pdfs.out.find('\n', a)) != std::string::npos; a = nl + 1) {
        const std::string pdf = d.file(pdfs.out.substr(a, nl - a));
        if (tt::run("qpdf --is-encrypted " + tt::sh_quote(pdf)).status == 0) continue;
        std::string report;
        EXPECT_TRUE(tt::qpdf_check(pdf, &report)) << pdf << "\n" << report;
    }
}
