// Field compression on real-world forms and on the example form: carvel compiles each, the
// fields are filled with values of their own, and the flattened document is checked against
// the interactive one: qpdf passes it, no filled text widget remains, pdftotext shows every
// value, a hidden field vanishes, and every page renders like the interactive page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "store/element_ops.h"
#include "store/storages.h"
#include "store/template_file.h"
#include "tests/support/corpus.h"
#include "tests/support/pdf_file.h"
#include "tests/support/pdf_render.h"
#include "tests/support/run_tools.h"

namespace {

std::vector<std::string> forms() {
    std::vector<std::string> out = tt::corpus_files();
    std::string example = std::string(EXAMPLES_DIR) + "/form.pdf";
    if (tt::file_exists(example)) out.push_back(example);
    return out;
}

// Fully qualified names of the text fields qpdf finds in the document.
std::vector<std::string> text_fields(const std::string& pdf) {
    tt::Result r =
        tt::run("qpdf --json --json-key=acroform " + tt::sh_quote(pdf) + " 2>/dev/null", false);
    std::vector<std::string> out;
    const std::string key = "\"alternativename\":";
    size_t at = r.out.find(key);
    while (at != std::string::npos) {
        size_t next = r.out.find(key, at + 1);
        std::string chunk = r.out.substr(at, next == std::string::npos ? next : next - at);
        auto n = chunk.find("\"fullname\": \"");
        if (chunk.find("\"istext\": true") != std::string::npos && n != std::string::npos)
            out.push_back(chunk.substr(n + 13, chunk.find('"', n + 13) - n - 13));
        at = next;
    }
    return out;
}

// The names of the fillable fields of a template; *unfillable counts the ordinary fields
// without an appearance to fill, which stay interactive; *hidden gets the fields whose
// widget the form itself hides (Hidden or NoView), which no viewer shows.
std::vector<std::string> fillable_fields(const std::string& tpl, int* unfillable,
                                         std::vector<std::string>* hidden) {
    std::vector<std::string> out;
    *unfillable = 0;
    storages_reset(StoreVariant::generator);
    load_template(tpl.c_str());
    for (int i = 0; i < g_st.num_field_strage; ++i) {
        const st_field& f = g_st.p_field_strage[i];
        std::string name(f.name, strnlen(f.name, sizeof f.name));
        if (f.f_ap == 0 && f.obj_no != 0 && name[0] != '_') ++*unfillable;
        int flags = f.obj_no != 0 ? get_elem_int(f.obj_no, nullptr, "F") : -1;
        if (flags > 0 && (flags & (2 | 32)) != 0) hidden->push_back(name);
        if (f.f_ap != 0 && f.obj_no != 0 && !name.empty() &&
            std::find(out.begin(), out.end(), name) == out.end())
            out.push_back(name);
    }
    storages_reset(StoreVariant::generator);
    return out;
}

// The benchmark form: one A4 page of 20 single-line text fields f01..f20, built the way
// reportlab builds it: every field's appearance names its own copy of Helvetica "Helv",
// and here the page's own "Helv" is yet another font (Times), so that every field's font
// name clashes with something the page or an earlier field already uses.
std::string benchmark_form() {
    const int fields = 20, first = 9;  // objects per field: widget, appearance, font
    std::vector<std::string> objs(first + 3 * fields);
    std::string refs, content =
                          "BT /F1 14 Tf 50 800 Td (Peer benchmark form) Tj ET\n"
                          "BT /Helv 9 Tf 50 786 Td (Static text in Times) Tj ET\n";
    for (int i = 0; i < fields; ++i) {
        int w = first + 3 * i, ap = w + 1, font = w + 2, y = 750 - 34 * i;
        char name[8];
        std::snprintf(name, sizeof name, "f%02d", i + 1);
        refs += std::to_string(w) + " 0 R ";
        objs[w] = "<</Type/Annot/Subtype/Widget/FT/Tx/T (" + std::string(name) + ")/Rect [120 " +
                  std::to_string(y) + " 320 " + std::to_string(y + 18) +
                  "]/F 4/P 4 0 R/DA (/Helv 10 Tf 0 g)/MK <</BC [.1 .1 .1]/BG [.8 .843 1]>>"
                  "/AP <</N " +
                  std::to_string(ap) + " 0 R>>>>";
        std::string data = ".8 .843 1 rg 0 0 200 18 re f /Tx BMC EMC";
        objs[ap] = "<</Type/XObject/Subtype/Form/BBox [0 0 200 18]/Resources <</Font <</Helv " +
                   std::to_string(font) + " 0 R>>/ProcSet [/PDF /Text]>>/Length " +
                   std::to_string(data.size()) + ">>\nstream\n" + data + "\nendstream";
        objs[font] =
            "<</Type/Font/Subtype/Type1/BaseFont/Helvetica/Name/Helv"
            "/Encoding/WinAnsiEncoding>>";
        content += "BT /F1 10 Tf 50 " + std::to_string(y + 5) + " Td (Field " +
                   std::string(name + 1) + ") Tj ET\n";
    }
    objs[1] = "<</Type/Catalog/Pages 2 0 R/AcroForm 3 0 R>>";
    objs[2] = "<</Type/Pages/Kids [4 0 R]/Count 1>>";
    objs[3] = "<</Fields [" + refs + "]/DR <</Font <</Helv 5 0 R>>>>/DA (/Helv 0 Tf 0 g)>>";
    objs[4] =
        "<</Type/Page/Parent 2 0 R/MediaBox [0 0 595 842]/Resources <</Font <</F1 6 0 R"
        "/Helv 7 0 R>>>>/Contents 8 0 R/Annots [" +
        refs + "]>>";
    objs[5] = "<</Type/Font/Subtype/Type1/BaseFont/Helvetica/Encoding/WinAnsiEncoding>>";
    objs[6] = "<</Type/Font/Subtype/Type1/BaseFont/Helvetica-Bold/Encoding/WinAnsiEncoding>>";
    objs[7] = "<</Type/Font/Subtype/Type1/BaseFont/Times-Roman/Encoding/WinAnsiEncoding>>";
    objs[8] =
        "<</Length " + std::to_string(content.size()) + ">>\nstream\n" + content + "\nendstream";
    return tt::pdf_from_objects(objs, "%PDF-1.4\n");
}

}  // namespace

TEST(FieldCompression, BenchmarkFormFlattensEveryFieldOfEveryPage) {
    if (!tt::file_exists(tt::carvel())) GTEST_SKIP() << "carvel not built";
    tt::TempDir d;
    std::string form = d.file("form.pdf");
    tt::write_file(form, benchmark_form());
    tt::Result c = tt::run(tt::sh_quote(tt::carvel()) + " " + tt::sh_quote(form));
    ASSERT_EQ(c.status, 0) << c.out;
    std::string body;
    std::vector<std::string> values;
    for (int p = 1; p <= 3; ++p) {
        body += "startPage\t" + form + ".tpl\n";
        for (int f = 1; f <= 20; ++f) {
            values.push_back("Row" + std::to_string(p) + "field" + std::to_string(f) + "x");
            char name[8];
            std::snprintf(name, sizeof name, "f%02d", f);
            body += "setPageFieldData\t" + std::string(name) + "\t" + values.back() + "\n";
        }
        body += "endPage\n";
    }
    std::string plain = d.file("plain.pdf"), flat = d.file("flat.pdf");
    for (bool compress : {false, true}) {
        tt::write_file(d.file("s.txt"), std::string("Tessaro\n") +
                                            (compress ? "compressField\n" : "") + "start\t" +
                                            (compress ? flat : plain) + "\n" + body + "finish\n");
        ASSERT_EQ(tt::run_tessaro(d.file("s.txt"), d.file("err.log")), 0)
            << tt::read_file(d.file("err.log"));
    }
    std::string report;
    EXPECT_TRUE(tt::qpdf_check(flat, &report)) << report;
    EXPECT_EQ(text_fields(plain).size(), 60u);
    EXPECT_TRUE(text_fields(flat).empty());
    tt::Result qdf = tt::run("qpdf --qdf --object-streams=disable " + tt::sh_quote(flat) + " -");
    EXPECT_EQ(qdf.out.find("/Widget"), std::string::npos);
    std::string text = tt::squeeze(tt::pdftotext(flat));
    for (const std::string& v : values) EXPECT_NE(text.find(v), std::string::npos) << v;
    ASSERT_EQ(tt::pdf_page_count(flat), 3);
    for (int p = 1; p <= 3; ++p)
        EXPECT_LT(tt::differing(tt::render_page(plain, p), tt::render_page(flat, p)), 0.002)
            << "page " << p;
}

TEST(FieldCompressionCorpus, FlattenedFormsShowEveryValue) {
    std::vector<std::string> files = forms();
    if (files.empty()) GTEST_SKIP() << "no corpus and no example form";
    if (!tt::file_exists(tt::carvel())) GTEST_SKIP() << "carvel not built";
    int forms_with_fields = 0;
    // Real forms are measured as a whole: nearly every value must show once flattened, and
    // what falls short is listed. Hidden values, qpdf and the page count hold for every form.
    int expected = 0, shown = 0;
    std::vector<std::string> missing, unlike, interactive;
    for (const std::string& src : files) {
        SCOPED_TRACE(src);
        const std::string base = tt::base_name(src);
        tt::TempDir d;
        std::string pdf = d.file("form.pdf");
        tt::write_file(pdf, tt::read_file(src));
        tt::Result c = tt::run(tt::sh_quote(tt::carvel()) + " " + tt::sh_quote(pdf));
        ASSERT_EQ(c.status, 0) << c.out;
        std::string tpl = pdf + ".tpl";
        int unfillable = 0;
        std::vector<std::string> form_hidden;
        std::vector<std::string> names = fillable_fields(tpl, &unfillable, &form_hidden);
        if (names.empty()) continue;
        ++forms_with_fields;

        // Every field gets a short value of its own; the last ordinary one is then hidden.
        std::string body = "startPage\t" + tpl + "\n";
        std::vector<std::string> values;
        std::string hidden;
        for (size_t i = 0; i < names.size(); ++i) {
            values.push_back("Q" + std::to_string(i) + "z");
            body += "setPageFieldData\t" + names[i] + "\t" + values.back() + "\n";
        }
        for (size_t i = names.size(); i-- > 0 && hidden.empty();)
            if (names[i][0] != '_' && names.size() > 1) hidden = values[i];
        for (size_t i = 0; i < names.size(); ++i)
            if (values[i] == hidden) body += "setPageFieldInvisible\t" + names[i] + "\n";
        body += "endPage\n";

        std::string plain = d.file("plain.pdf"), flat = d.file("flat.pdf");
        for (bool compress : {false, true}) {
            tt::write_file(d.file("s.txt"),
                           std::string("Tessaro\n") + (compress ? "compressField\n" : "") +
                               "start\t" + (compress ? flat : plain) + "\n" + body + "finish\n");
            ASSERT_EQ(tt::run_tessaro(d.file("s.txt"), d.file("err.log")), 0)
                << tt::read_file(d.file("err.log"));
        }
        std::string report;
        if (!tt::qpdf_check(flat, &report)) {
            // A form whose own appearance streams hold stray tokens carries them into the
            // page when flattened; qpdf then names them, but nothing else may be wrong.
            std::string rest = std::regex_replace(
                report, std::regex("WARNING: [^\n]*treating unexpected [^\n]*\n"), "");
            EXPECT_EQ(rest.find("WARNING"), std::string::npos) << report;
            EXPECT_EQ(rest.find("ERROR"), std::string::npos) << report;
        }
        int remaining = 0;
        for (const std::string& f : text_fields(flat)) remaining += f.rfind("K_E_S_Trel", 0) == 0;
        if (remaining > unfillable) interactive.push_back(base);
        std::string text = tt::squeeze(tt::pdftotext(flat));
        for (size_t i = 0; i < values.size(); ++i) {
            const std::string& v = values[i];
            if (std::find(form_hidden.begin(), form_hidden.end(), names[i]) != form_hidden.end())
                EXPECT_EQ(text.find(v), std::string::npos) << v << " is hidden by the form";
            else if (v == hidden)
                EXPECT_EQ(text.find(v), std::string::npos) << v << " is hidden";
            else {
                ++expected;
                if (text.find(v) != std::string::npos)
                    ++shown;
                else
                    missing.push_back(base + ":" + names[i]);
            }
        }
        int pages = tt::pdf_page_count(flat);
        ASSERT_EQ(pages, tt::pdf_page_count(plain));
        for (int p = 1; p <= pages; ++p)
            if (tt::differing(tt::render_page(plain, p), tt::render_page(flat, p)) >= 0.002) {
                unlike.push_back(base + " page " + std::to_string(p));
                break;
            }
    }
    if (forms_with_fields == 0) GTEST_SKIP() << "no compiled form has fillable fields";
    auto list = [](const std::vector<std::string>& v) {
        std::string s;
        for (const std::string& x : v) s += "  " + x + "\n";
        return s;
    };
    EXPECT_GE(shown * 100, expected * 95) << shown << " of " << expected << " shown; missing:\n"
                                          << list(missing);
    EXPECT_LE(unlike.size() * 20, static_cast<size_t>(forms_with_fields))
        << "flattened pages unlike the plain ones:\n"
        << list(unlike);
    EXPECT_LE(interactive.size() * 20, static_cast<size_t>(forms_with_fields))
        << "filled text widgets remain:\n"
        << list(interactive);
    std::printf(
        "flattened corpus: %d of %d values shown; %zu forms render unlike, %zu keep "
        "widgets\n%s%s%s",
        shown, expected, unlike.size(), interactive.size(), list(missing).c_str(),
        list(unlike).c_str(), list(interactive).c_str());
}
