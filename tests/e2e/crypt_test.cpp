// Encrypted documents made by the tessaro program, opened by independent readers: qpdf
// reports the handler and permissions and decrypts with either password, poppler shows the
// text with the passwords and refuses a wrong one, and every string decrypts to its value.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store/element_ops.h"
#include "store/storages.h"
#include "tests/support/run_tools.h"
#include "tests/support/template_builder.h"

using tt::has;
using tt::sh_quote;
using tt::TempDir;

namespace {

// Starts a template of `objects` objects: 1 catalog, 2 Pages, 3 font, 4 a page whose content
// is object 5.
void one_page(int objects) {
    tb::begin(objects);
    tb::page_tree(4);
    tb::common(1);
    tb::helvetica(3);
    tb::common(3);
    tb::name(4, "Type", "Page");
    tb::ref(4, "Parent", 2);
    tb::array(4, "MediaBox", "0 0 612 792");
    tb::resource(4, "Font", "F1", 3);
    tb::ref(4, "Contents", 5);
    tb::page_flag(4);
}

// One page whose strings take every form the store keeps: literal strings with escapes,
// a hexadecimal string, strings inside array text (nested too), and text in a content
// stream. Object layout: 1 catalog, 2 Pages, 3 font, 4 page, 5 content, 6 information.
std::string strings_template(const TempDir& d, const std::string& page_text) {
    one_page(7);
    tb::stream(5, "BT /F1 24 Tf 72 720 Td (" + page_text + ") Tj ET");
    tb::literal(6, "Title", "Tessaro \\(test\\) caf\\351\\\\");
    append_elem_str(6, 0, "Subject", STR_HEX, "48657820 7375626A656374", 23);
    tb::literal(6, "Author", "line\\\none\r\ntwo");
    tb::array(6, "TessaroList", "(first) <7365636F6E64> [(th\\(ir\\)d)] << /K (fourth) >>");
    tb::trailer_ref("Root", 1);
    tb::trailer_ref("Info", 6);
    std::string path = d.file("strings.tpl");
    tb::write(path);
    return path;
}

struct Crypt {
    std::string user, owner;
    int pr = 1, mod = 1, cp = 1, ed = 1;
};

std::string crypt_line(const Crypt& c) {
    return "setCryptMode\t" + c.user + "\t" + c.owner + "\t" + std::to_string(c.pr) + "\t" +
           std::to_string(c.mod) + "\t" + std::to_string(c.cp) + "\t" + std::to_string(c.ed) + "\n";
}

// Runs a script of the given templates (one page line pair each) with encryption set up.
std::string make_pdf(const TempDir& d, const Crypt& c, const std::vector<std::string>& templates,
                     const std::string& name = "out.pdf") {
    std::string pdf = d.file(name);
    std::string s = "Tessaro\n" + crypt_line(c) + "start\t" + pdf + "\n";
    for (const auto& t : templates) s += "startPage\t" + t + "\nendPage\n";
    s += "finish\n";
    tt::write_file(d.file("script.txt"), s);
    int st = tt::run_tessaro(d.file("script.txt"), d.file("err.log"));
    EXPECT_EQ(st, 0) << tt::read_file(d.file("err.log"));
    return pdf;
}

std::string pw(const std::string& p) {
    return "--password=" + sh_quote(p) + " ";
}

// qpdf's report of the encryption, opened with the password (none when empty).
tt::Result show_encryption(const std::string& pdf, const std::string& password = "") {
    return tt::run("qpdf " + (password.empty() ? "" : pw(password)) + "--show-encryption " +
                   sh_quote(pdf));
}

// Checks the encrypted file with the password, decrypts it, checks the result with qpdf and returns
// its uncompressed, readable form (qpdf's QDF mode).
std::string decrypt(const TempDir& d, const std::string& pdf, const std::string& password) {
    tt::Result r = tt::run("qpdf " + pw(password) + "--check " + sh_quote(pdf));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_FALSE(has(r.out, "WARNING")) << r.out;
    std::string out = d.file("decrypted.pdf");
    r = tt::run("qpdf " + pw(password) + "--decrypt " + sh_quote(pdf) + " " + sh_quote(out));
    EXPECT_EQ(r.status, 0) << r.out;
    std::string report;
    EXPECT_TRUE(tt::qpdf_check(out, &report)) << report;
    std::string qdf = d.file("decrypted.qdf");
    r = tt::run("qpdf --qdf --object-streams=disable " + sh_quote(out) + " " + sh_quote(qdf));
    EXPECT_EQ(r.status, 0) << r.out;
    return tt::read_file(qdf);
}

TEST(Crypt, ReadersAgreeOnHandlerAndPermissions) {
    TempDir d;
    std::string tpl = strings_template(d, "Secret page text");
    struct Case {
        Crypt c;
        const char* p;
        const char* print;
        const char* modify;
    } cases[] = {
        {{"user", "owner", 1, 1, 1, 1}, "P = -4", "allowed", "allowed"},
        {{"user", "owner", 0, 0, 0, 0}, "P = -64", "not allowed", "not allowed"},
        {{"user", "owner", 1, 0, 0, 0}, "P = -60", "allowed", "not allowed"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.p);
        std::string pdf = make_pdf(d, k.c, {tpl});
        tt::Result r = show_encryption(pdf, "user");
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_TRUE(has(r.out, "R = 2")) << r.out;
        EXPECT_TRUE(has(r.out, k.p)) << r.out;
        EXPECT_TRUE(has(r.out, "Supplied password is user password")) << r.out;
        EXPECT_TRUE(has(r.out, std::string("print high resolution: ") + k.print)) << r.out;
        EXPECT_TRUE(has(r.out, std::string("modify other: ") + k.modify)) << r.out;
        tt::Result j = tt::run("qpdf " + pw("user") + "--json --json-key=encrypt " + sh_quote(pdf));
        EXPECT_TRUE(has(j.out, "\"bits\": 40")) << j.out;
        // 40 bits: the dictionary has no /Length and V 1.
        std::string bytes = tt::read_file(pdf);
        EXPECT_TRUE(has(bytes, "/Filter /Standard /V 1 /R 2 /O (")) << bytes.substr(0, 400);
        EXPECT_FALSE(has(bytes, "/Length 40"));
        EXPECT_TRUE(has(bytes, "/Encrypt "));
        r = show_encryption(pdf, "owner");
        EXPECT_TRUE(has(r.out, "Supplied password is owner password")) << r.out;
    }
}

TEST(Crypt, EveryStringDecryptsToItsValue) {
    TempDir d;
    std::string tpl = strings_template(d, "Secret \\(page\\) text");
    std::string pdf = make_pdf(d, {"user", "owner"}, {tpl});
    std::string raw = tt::read_file(pdf);
    // Nothing readable is left in the encrypted file.
    for (const char* clear : {"Secret", "Tessaro (", "first", "fourth", "7365636F6E64", "line"})
        EXPECT_FALSE(has(raw, clear)) << clear;
    for (const char* password : {"user", "owner"}) {
        SCOPED_TRACE(password);
        std::string qdf = decrypt(d, pdf, password);
        EXPECT_TRUE(has(qdf, "(Secret \\(page\\) text) Tj")) << qdf;
        EXPECT_TRUE(has(qdf, "/Title (Tessaro \\(test\\) caf\xE9\\\\)")) << qdf;
        EXPECT_TRUE(has(qdf, "/Subject (Hex subject)")) << qdf;
        EXPECT_TRUE(has(qdf, "/Author (lineone\\ntwo)")) << qdf;
        EXPECT_TRUE(has(qdf, "(first)")) << qdf;
        EXPECT_TRUE(has(qdf, "(second)")) << qdf;
        EXPECT_TRUE(has(qdf, "(th\\(ir\\)d)")) << qdf;
        EXPECT_TRUE(has(qdf, "/K (fourth)")) << qdf;
    }
    tt::Result info = tt::run("pdfinfo -upw user " + sh_quote(pdf));
    EXPECT_TRUE(has(info.out, "Tessaro (test) caf\xC3\xA9\\")) << info.out;
    EXPECT_TRUE(has(info.out, "Hex subject")) << info.out;
}

TEST(Crypt, PasswordsOpenAndWrongOnesAreRefused) {
    TempDir d;
    std::string tpl = strings_template(d, "Protected text");
    std::string pdf = make_pdf(d, {"user", "owner"}, {tpl});
    EXPECT_TRUE(has(tt::pdftotext(pdf, 0, "-upw user"), "Protected text"));
    EXPECT_TRUE(has(tt::pdftotext(pdf, 0, "-opw owner"), "Protected text"));
    tt::Result r = tt::run("pdftotext -upw wrong " + sh_quote(pdf) + " -");
    EXPECT_NE(r.status, 0);
    EXPECT_FALSE(has(r.out, "Protected text"));
    r = tt::run("pdftotext " + sh_quote(pdf) + " -");
    EXPECT_NE(r.status, 0);
    r = tt::run("qpdf " + pw("wrong") + "--check " + sh_quote(pdf));
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(has(r.out, "invalid password")) << r.out;
}

TEST(Crypt, EmptyPasswordsOpenWithoutOne) {
    TempDir d;
    std::string tpl = strings_template(d, "Open text");
    std::string pdf = make_pdf(d, {"", "", 0, 0, 0, 0}, {tpl});
    std::string report;
    EXPECT_TRUE(tt::qpdf_check(pdf, &report)) << report;
    EXPECT_TRUE(has(tt::pdftotext(pdf), "Open text"));
    tt::Result r = show_encryption(pdf);
    EXPECT_TRUE(has(r.out, "P = -64")) << r.out;
    // An empty owner password is its own password, not the user's: the empty password
    // opens as the owner too.
    EXPECT_TRUE(has(r.out, "Supplied password is owner password")) << r.out;
    // Only the owner password set: the user password is empty.
    pdf = make_pdf(d, {"", "boss", 1, 0, 0, 0}, {tpl}, "owner_only.pdf");
    EXPECT_TRUE(has(tt::pdftotext(pdf), "Open text"));
    r = show_encryption(pdf);
    EXPECT_TRUE(has(r.out, "P = -60")) << r.out;
    EXPECT_FALSE(has(r.out, "Supplied password is owner password")) << r.out;
    r = show_encryption(pdf, "boss");
    EXPECT_TRUE(has(r.out, "Supplied password is owner password")) << r.out;
}

TEST(Crypt, EmptyOwnerPasswordStillNeedsTheUserPassword) {
    // Without an owner password the user password keys the owner value too, so no empty
    // password opens the document.
    TempDir d;
    std::string tpl = strings_template(d, "Guarded text");
    std::string pdf = make_pdf(d, {"secret", "", 1, 1, 1, 1}, {tpl});
    tt::Result r = tt::run("pdftotext " + sh_quote(pdf) + " -");
    EXPECT_NE(r.status, 0) << r.out;
    EXPECT_FALSE(has(r.out, "Guarded text"));
    EXPECT_TRUE(has(tt::pdftotext(pdf, 0, "-upw secret"), "Guarded text"));
    r = show_encryption(pdf);
    EXPECT_TRUE(has(r.out, "Incorrect password supplied")) << r.out;
    r = show_encryption(pdf, "secret");
    EXPECT_TRUE(has(r.out, "Supplied password is owner password")) << r.out;
}

TEST(Crypt, LongPasswordsUseTheirFirst32Bytes) {
    TempDir d;
    std::string tpl = strings_template(d, "Long password text");
    std::string longpw = "0123456789abcdefghijklmnopqrstuvwxyz!";  // 37 bytes
    std::string pdf = make_pdf(d, {longpw, "owner"}, {tpl});
    EXPECT_TRUE(has(tt::pdftotext(pdf, 0, "-upw " + sh_quote(longpw)), "Long password text"));
    EXPECT_TRUE(
        has(tt::pdftotext(pdf, 0, "-upw " + sh_quote(longpw.substr(0, 32))), "Long password text"));
    decrypt(d, pdf, longpw);
}

TEST(Crypt, MultiPageDocumentsFromSeveralTemplates) {
    TempDir d;
    std::string a = strings_template(d, "Alpha strings page");
    tb::PageSpec p1, p2;
    p1.text = "Beta one";
    p2.text = "Beta two";
    p1.fields.push_back(tb::FieldSpec{.name = "name"});
    std::string b = d.file("b.tpl");
    tb::simple_template(b, {p1, p2});
    std::string c = d.file("c.tpl");
    tb::simple_template(c, "Gamma page");
    // Runs of one template share objects; a template met again starts a new run.
    std::string pdf = make_pdf(d, {"u", "o", 1, 0, 1, 0}, {a, a, b, c, b, a});
    EXPECT_EQ(tt::pdf_page_count(d.file("decrypted.pdf")), -1);  // not made yet
    std::string qdf = decrypt(d, pdf, "u");
    EXPECT_EQ(tt::pdf_page_count(d.file("decrypted.pdf")), 8);
    std::string text = tt::pdftotext(pdf, 0, "-upw u");
    std::vector<std::string> order = {"Alpha strings page", "Alpha strings page", "Beta one",
                                      "Beta two",           "Gamma page",         "Beta one",
                                      "Beta two",           "Alpha strings page"};
    size_t at = 0;
    for (const std::string& t : order) {
        at = text.find(t, at);
        ASSERT_NE(at, std::string::npos) << t << "\n" << text;
        at += t.size();
    }
    EXPECT_TRUE(has(tt::pdftotext(pdf, 8, "-opw o"), "Alpha strings page"));
    EXPECT_TRUE(has(qdf, "/DA (/Helv ")) << qdf;  // the field's default appearance
}

// A stream whose /Length is an object of its own: on a later page of the run that length
// object is the first page's, and the stream, written again there because it refers to the
// page, must still be encrypted over exactly /Length bytes.
TEST(Crypt, LaterPagesKeepTheLengthOfStreamsWithIndirectLengths) {
    TempDir d;
    one_page(9);
    const std::string data = "BT /F1 24 Tf 72 720 Td (Indirect length) Tj ET\n";
    tb::ref(5, "Length", 7);
    tb::ref(5, "OnPage", 4);
    append_elem_str(5, 0, LABEL_STREAM, STR_STREAM, data.data(), static_cast<int>(data.size()));
    append_elem_int(7, 0, LABEL_IMMEDIATE, static_cast<int>(data.size()));
    tb::trailer_ref("Root", 1);
    std::string tpl = d.file("indirect.tpl");
    tb::write(tpl);
    std::string pdf = d.file("out.pdf");
    tt::write_file(d.file("s.txt"), "Tessaro\n" + crypt_line({"u", "o", 1, 0, 1, 0}) + "start\t" +
                                        pdf + "\nstartPage\t" + tpl + "\nendPage\nstartPage\t" +
                                        tpl + "\nendPage\nfinish\n");
    ASSERT_EQ(tt::run_tessaro(d.file("s.txt"), d.file("err.log")), 0);
    std::string qdf = decrypt(d, pdf, "u");
    size_t n = 0;
    for (size_t at = qdf.find("(Indirect length) Tj ET"); at != std::string::npos;
         at = qdf.find("(Indirect length) Tj ET", at + 1), ++n)
        EXPECT_EQ(qdf.substr(at + 23, 2), "\ne") << qdf.substr(at, 40);  // then "endstream"
    EXPECT_EQ(n, 2u);
}

TEST(Crypt, SetCryptModeOnlyBeforeStart) {
    TempDir d;
    std::string tpl = d.file("t.tpl");
    tb::simple_template(tpl);
    std::string s = "Tessaro\nstart\t" + d.file("late.pdf") + "\n" + crypt_line({"u", "o"});
    tt::write_file(d.file("script.txt"), s);
    EXPECT_EQ(tt::run_tessaro(d.file("script.txt"), d.file("err.log")), 255);
    EXPECT_EQ(tt::read_file(d.file("err.log")), "Illegal method calling sequence.\n");
}

}  // namespace
