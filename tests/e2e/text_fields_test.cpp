// Text fields end to end: carvel compiles a form, tessaro fills its fields from a script,
// and qpdf and poppler read the result.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "multibyte/font_metrics.h"
#include "tests/support/corpus.h"
#include "tests/support/run_tools.h"

namespace {

std::string bin_dir() {
    std::string t = tt::tessaro();
    return t.substr(0, t.rfind('/'));
}

// Copies a form into `dir` and compiles it; returns the copy's path.
std::string compile(const tt::TempDir& dir, const std::string& src, const std::string& name,
                    const std::string& program = "carvel") {
    std::string pdf = dir.file(name);
    tt::write_file(pdf, tt::read_file(src));
    tt::Result r = tt::run(tt::sh_quote(bin_dir() + "/" + program) + " " + tt::sh_quote(pdf));
    EXPECT_EQ(r.status, 0) << r.out;
    return pdf;
}

// Names of the fields the log lists as fillable, each once.
std::vector<std::string> fillable_fields(const std::string& pdf) {
    std::string log = tt::read_file(pdf + ".log");
    std::vector<std::string> names;
    static const std::regex field("field name: ([^\n]*)\n(?:[^\n]*\n){3}default value: decleard");
    for (auto it = std::sregex_iterator(log.begin(), log.end(), field);
         it != std::sregex_iterator(); ++it) {
        std::string n = (*it)[1];
        if (!n.empty() && n[0] != '_' && std::find(names.begin(), names.end(), n) == names.end())
            names.push_back(n);
    }
    return names;
}

std::string fill_script(const std::string& tpl, const std::string& out,
                        const std::vector<std::pair<std::string, std::string>>& values) {
    std::string s = "Tessaro\nstart\t" + out + "\nstartPage\t" + tpl + "\n";
    for (const auto& [name, value] : values) s += "setPageFieldData\t" + name + "\t" + value + "\n";
    return s + "endPage\nfinish\n";
}

// Runs a script; returns the output PDF's path after checking it with qpdf.
std::string run_fill(const tt::TempDir& d, const std::string& script, const std::string& out,
                     const std::string& program = "") {
    tt::write_file(d.file("script.txt"), script);
    EXPECT_EQ(tt::run_tessaro(d.file("script.txt"), d.file("err.log"), program), 0)
        << tt::read_file(d.file("err.log"));
    std::string report;
    EXPECT_TRUE(tt::qpdf_check(out, &report)) << report;
    return out;
}

// The x of the first word that pdftotext -bbox reports for `word`, or -1.
double word_x(const std::string& pdf, const std::string& word) {
    tt::Result r = tt::run("pdftotext -bbox " + tt::sh_quote(pdf) + " -", false);
    std::regex re("<word xMin=\"([0-9.]+)\"[^>]*>" + word + "</word>");
    std::smatch m;
    if (!std::regex_search(r.out, m, re)) return -1;
    return std::atof(m[1].str().c_str());
}

double helvetica_width(const std::string& s, double size) {
    double w = 0;
    for (unsigned char c : s) w += fmetric[20][c] * size / 1000;
    return w;
}

const std::string k_form = std::string(SOURCE_DIR) + "/examples/form.pdf";

TEST(TextFieldsE2E, ExampleFormFillsEveryFieldAtItsPlace) {
    tt::TempDir d;
    std::string pdf = compile(d, k_form, "form.pdf");
    EXPECT_FALSE(tt::file_exists(pdf + ".log.err")) << tt::read_file(pdf + ".log.err");
    std::vector<std::string> names = fillable_fields(pdf);
    ASSERT_EQ(names.size(), 6u);
    std::string note =
        "Delivery on weekday mornings only, please ring twice and leave the "
        "parcel at the desk if nobody answers";
    std::string out = d.file("out.pdf");
    run_fill(d,
             fill_script(pdf + ".tpl", out,
                         {{"name", "Alpha"},
                          {"company", "Bravo"},
                          {"code", "C-20481"},
                          {"amount", "12,345.00"},
                          {"kanji_name", "\xe5\xb1\xb1\xe7\x94\xb0"},  // 山田
                          {"note", note}}),
             out, bin_dir() + "/tessaro-utf8");
    std::string text = tt::pdftotext(out);
    for (const char* v : {"Alpha", "Bravo", "C-20481", "12,345.00", "\xe5\xb1\xb1\xe7\x94\xb0"})
        EXPECT_NE(text.find(v), std::string::npos) << v << "\n" << text;

    // Left, centre and right: the widget's x plus the border allowance plus the offset the
    // line's width gives (fields at x 150, 296 and 146 points wide, allowance 2).
    EXPECT_NEAR(word_x(out, "Alpha"), 152, 1);
    double courier = 7 * 600 * 11 / 1000.0;
    EXPECT_NEAR(word_x(out, "C-20481"), 152 + (146 - courier) / 2, 1);
    EXPECT_NEAR(word_x(out, "12,345.00"), 152 + 146 - helvetica_width("12,345.00", 12), 1);

    // The note wraps at the field width (296 points, Helvetica 10) between words, as viewers
    // wrap a multi-line field: a word that would pass the edge starts the next line.
    std::vector<std::string> lines(1);
    double w = 0;
    for (size_t i = 0; i < note.size();) {
        size_t end = note.find(' ', i);
        end = end == std::string::npos ? note.size() : end + 1;
        double ww = 0;
        for (size_t k = i; k < end; ++k)
            ww += fmetric[20][static_cast<unsigned char>(note[k])] * 10 / 1000.0;
        if (w + ww - (note[end - 1] == ' ' ? 2.78 : 0) > 296) {
            lines.emplace_back();
            w = 0;
        }
        lines.back() += note.substr(i, end - i);
        w += ww;
        i = end;
    }
    ASSERT_GE(lines.size(), 2u);
    std::string raw = tt::pdftotext(out, 0, "-raw");
    size_t at = 0;
    for (const std::string& l : lines) {
        size_t p = tt::squeeze(raw).find(tt::squeeze(l), at);
        EXPECT_NE(p, std::string::npos) << l;
        at = p;
    }
    std::string first = lines[0].substr(0, lines[0].find_last_not_of(' ') + 1);
    EXPECT_NE(raw.find(first.substr(first.find_last_of(' ') + 1) + "\n"), std::string::npos) << raw;
}

TEST(TextFieldsE2E, ThreeInputEncodingsGiveOneDocument) {
    tt::TempDir d;
    std::string pdf = compile(d, k_form, "form.pdf");
    std::vector<std::string> outs;
    for (const char* enc : {"utf8", "sjis", "euc"}) {
        std::string suffix = std::string(enc) == "utf8" ? "" : std::string("_") + enc;
        std::string script =
            tt::read_file(std::string(SOURCE_DIR) + "/examples/fill_form" + suffix + ".txt");
        std::string out = d.file(std::string("out_") + enc + ".pdf");
        script = std::regex_replace(script, std::regex("examples/out.pdf"), out);
        script = std::regex_replace(script, std::regex("examples/form.pdf.tpl"), pdf + ".tpl");
        run_fill(d, script, out, bin_dir() + "/tessaro-" + enc);
        // Every document has its own identifier.
        outs.push_back(
            std::regex_replace(tt::read_file(out), std::regex("/ID ?\\[[^\\]]*\\]"), ""));
    }
    EXPECT_TRUE(outs[0] == outs[1]);
    EXPECT_TRUE(outs[0] == outs[2]);
    std::string text = tt::pdftotext(d.file("out_euc.pdf"));
    EXPECT_NE(text.find("\xe5\xb1\xb1\xe7\x94\xb0\xe8\x8a\xb1\xe5\xad\x90"), std::string::npos)
        << text;  // 山田花子
}

// The example form with its Japanese font's CMap swapped (padded to the same length, so
// the file's offsets stay right).
TEST(TextFieldsE2E, JapaneseInShiftJisAndUnicodeFonts) {
    std::string src = tt::read_file(k_form);
    const std::string ucs2 = "/Encoding/UniJIS-UCS2-H";
    ASSERT_NE(src.find(ucs2), std::string::npos);
    for (const char* cmap : {"UniJIS-UCS2-H", "90ms-RKSJ-H", "90msp-RKSJ-H"}) {
        SCOPED_TRACE(cmap);
        tt::TempDir d;
        std::string repl = std::string("/Encoding/") + cmap;
        repl.resize(ucs2.size(), ' ');
        std::string form = src;
        form.replace(form.find(ucs2), ucs2.size(), repl);
        tt::write_file(d.file("src.pdf"), form);
        std::string pdf = compile(d, d.file("src.pdf"), "form.pdf");
        std::string out = d.file("out.pdf");
        const std::string value = "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\x82";  // 日本語あ
        run_fill(d, fill_script(pdf + ".tpl", out, {{"kanji_name", value}}), out,
                 bin_dir() + "/tessaro-utf8");
        EXPECT_NE(tt::pdftotext(out).find(value), std::string::npos) << tt::pdftotext(out);
    }
}

TEST(TextFieldsE2E, CorpusFieldsShowTheirValues) {
    auto forms = tt::corpus_files();
    if (forms.empty()) GTEST_SKIP() << "corpus not present";
    // Real forms are measured as a whole, as a user would: nearly every value shows, and the
    // values that do not are listed.
    int filled = 0, shown = 0;
    std::string missing;
    for (const std::string& src : forms) {
        SCOPED_TRACE(src);
        tt::TempDir d;
        std::string pdf = compile(d, src, "form.pdf");
        std::vector<std::pair<std::string, std::string>> values;
        for (const std::string& f : fillable_fields(pdf))
            values.push_back({f, "Qz" + std::to_string(values.size() + 10) + "x"});
        std::string out = d.file("out.pdf");
        run_fill(d, fill_script(pdf + ".tpl", out, values), out);
        std::string text = tt::squeeze(tt::pdftotext(out));
        for (const auto& [field, value] : values) {
            if (text.find(value) != std::string::npos)
                ++shown;
            else
                missing += "  " + tt::base_name(src) + ": " + field + "\n";
        }
        filled += static_cast<int>(values.size());
    }
    EXPECT_GT(filled, 10);
    EXPECT_GE(shown * 100, filled * 95) << shown << " of " << filled << " shown; missing:\n"
                                        << missing;
    std::printf("corpus fill: %d of %d values shown\n%s", shown, filled, missing.c_str());
}

}  // namespace
