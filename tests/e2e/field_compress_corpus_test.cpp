// Field compression on real-world forms and on the example form: carvel compiles each, the
// fields are filled with values of their own, and the flattened document is checked against
// the interactive one: qpdf passes it, no filled text widget remains, pdftotext shows every
// value, a hidden field vanishes, and every page renders like the interactive page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "store/storages.h"
#include "store/template_file.h"
#include "tests/support/corpus.h"
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
// without an appearance to fill, which stay interactive.
std::vector<std::string> fillable_fields(const std::string& tpl, int* unfillable) {
    std::vector<std::string> out;
    *unfillable = 0;
    storages_reset(StoreVariant::generator);
    load_template(tpl.c_str());
    for (int i = 0; i < g_st.num_field_strage; ++i) {
        const st_field& f = g_st.p_field_strage[i];
        std::string name(f.name, strnlen(f.name, sizeof f.name));
        if (f.f_ap == 0 && f.obj_no != 0 && name[0] != '_') ++*unfillable;
        if (f.f_ap != 0 && f.obj_no != 0 && !name.empty() &&
            std::find(out.begin(), out.end(), name) == out.end())
            out.push_back(name);
    }
    storages_reset(StoreVariant::generator);
    return out;
}

}  // namespace

TEST(FieldCompressionCorpus, FlattenedFormsShowEveryValue) {
    std::vector<std::string> files = forms();
    if (files.empty()) GTEST_SKIP() << "no corpus and no example form";
    if (!tt::file_exists(tt::carvel())) GTEST_SKIP() << "carvel not built";
    int forms_with_fields = 0;
    for (const std::string& src : files) {
        SCOPED_TRACE(src);
        tt::TempDir d;
        std::string pdf = d.file("form.pdf");
        tt::write_file(pdf, tt::read_file(src));
        tt::Result c = tt::run(tt::sh_quote(tt::carvel()) + " " + tt::sh_quote(pdf));
        ASSERT_EQ(c.status, 0) << c.out;
        std::string tpl = pdf + ".tpl";
        int unfillable = 0;
        std::vector<std::string> names = fillable_fields(tpl, &unfillable);
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
        EXPECT_TRUE(tt::qpdf_check(flat, &report)) << report;
        int remaining = 0;
        for (const std::string& f : text_fields(flat)) remaining += f.rfind("K_E_S_Trel", 0) == 0;
        EXPECT_LE(remaining, unfillable) << "filled text widgets remain";
        std::string text = tt::squeeze(tt::pdftotext(flat));
        for (const std::string& v : values) {
            if (v == hidden)
                EXPECT_EQ(text.find(v), std::string::npos) << v << " is hidden";
            else
                EXPECT_NE(text.find(v), std::string::npos) << v;
        }
        int pages = tt::pdf_page_count(flat);
        ASSERT_EQ(pages, tt::pdf_page_count(plain));
        for (int p = 1; p <= pages; ++p)
            EXPECT_LT(tt::differing(tt::render_page(plain, p), tt::render_page(flat, p)), 0.002)
                << "page " << p;
    }
    if (forms_with_fields == 0) GTEST_SKIP() << "no compiled form has fillable fields";
}
