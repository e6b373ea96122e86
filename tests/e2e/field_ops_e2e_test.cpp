// Field renaming, script values, array fields and field compression through the tessaro
// program, checked with qpdf (structure, the form's fields), pdftotext (values and where
// they stand) and pdftoppm (flattened pages look like interactive ones).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "store/element_ops.h"
#include "tests/support/pdf_render.h"
#include "tests/support/run_tools.h"
#include "tests/support/template_builder.h"

using tt::TempDir;

using tb::field;

namespace {

struct RunResult {
    int status;
    std::string errlog;
};

RunResult run_script(const TempDir& d, const std::string& script) {
    tt::write_file(d.file("script.txt"), script);
    int st = tt::run_tessaro(d.file("script.txt"), d.file("err.log"));
    return {st, tt::read_file(d.file("err.log"))};
}

// A field of the form as qpdf reads it.
struct QField {
    std::string fullname;
    int flags = 0;
    int page = 0;
    bool has_value = false;
    std::string value;  // "u:" and the text for text strings
};

std::string json_unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        char c = s[++i];
        if (c == 'u' && i + 4 < s.size()) {
            out += static_cast<char>(std::strtol(s.substr(i + 1, 4).c_str(), nullptr, 16));
            i += 4;
        } else {
            out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
        }
    }
    return out;
}

std::vector<QField> qpdf_fields(const std::string& pdf, const std::string& extra = "") {
    tt::Result r = tt::run(
        "qpdf " + extra + "--json --json-key=acroform " + tt::sh_quote(pdf) + " 2>/dev/null",
        false);
    std::vector<QField> out;
    const std::string key = "\"alternativename\":";
    size_t at = r.out.find(key);
    static const std::regex flags("\"fieldflags\": (\\d+)");
    static const std::regex name("\"fullname\": \"((?:[^\"\\\\]|\\\\.)*)\"");
    static const std::regex page("\"pageposfrom1\": (\\d+)");
    static const std::regex value("\"value\": (null|\"((?:[^\"\\\\]|\\\\.)*)\")");
    while (at != std::string::npos) {
        size_t next = r.out.find(key, at + 1);
        std::string chunk = r.out.substr(at, next == std::string::npos ? next : next - at);
        QField f;
        std::smatch m;
        if (std::regex_search(chunk, m, flags)) f.flags = std::stoi(m[1]);
        if (std::regex_search(chunk, m, name)) f.fullname = json_unescape(m[1]);
        if (std::regex_search(chunk, m, page)) f.page = std::stoi(m[1]);
        if (std::regex_search(chunk, m, value) && m[1] != "null") {
            f.has_value = true;
            f.value = json_unescape(m[2]);
        }
        out.push_back(f);
        at = next;
    }
    return out;
}

// A page rendered in grey; an empty picture fails the comparisons.
tt::Pixmap render(const std::string& pdf, int page) {
    tt::Pixmap p = tt::render_page(pdf, page);
    EXPECT_FALSE(p.px.empty()) << "pdftoppm failed on page " << page;
    return p;
}

// A word that pdftotext -bbox found, in displayed page coordinates (top-left origin).
struct Word {
    std::string text;
    double x0, y0, x1, y1;
};

std::vector<Word> words(const std::string& pdf, int page) {
    tt::Result r = tt::run("pdftotext -bbox -f " + std::to_string(page) + " -l " +
                               std::to_string(page) + " " + tt::sh_quote(pdf) + " -",
                           false);
    std::vector<Word> out;
    static const std::regex w(
        "<word xMin=\"([-\\d.]+)\" yMin=\"([-\\d.]+)\" xMax=\"([-\\d.]+)\" yMax=\"([-\\d.]+)\">"
        "([^<]*)</word>");
    for (auto it = std::sregex_iterator(r.out.begin(), r.out.end(), w);
         it != std::sregex_iterator(); ++it) {
        const std::smatch& m = *it;
        out.push_back({m[5], std::stod(m[1]), std::stod(m[2]), std::stod(m[3]), std::stod(m[4])});
    }
    return out;
}

const Word* find_word(const std::vector<Word>& ws, const std::string& text) {
    for (const Word& w : ws)
        if (w.text == text) return &w;
    return nullptr;
}

}  // namespace

TEST(FieldRenaming, PagesOfOneTemplateStandSideBySide) {
    TempDir d;
    std::string tpl = d.file("form.tpl");
    tb::simple_template(
        tpl, {{.fields = {field("first", 650), field("second", 600), field("_memo", 550)}}});
    const std::string memo = "a(b)c\\d (";
    for (bool encrypt : {false, true}) {
        SCOPED_TRACE(encrypt ? "encrypted" : "plain");
        std::string pdf = d.file(encrypt ? "enc.pdf" : "plain.pdf");
        std::string s = "Tessaro\n";
        if (encrypt) s += "setCryptMode\t\towner\t1\t1\t1\t1\n";
        s += "start\t" + pdf + "\n";
        for (int k = 1; k <= 3; ++k)
            s += "startPage\t" + tpl + "\nsetPageFieldScriptValue\t_memo\t" + memo +
                 std::to_string(k) + "\nsetPageFieldScriptValue\tfirst\tgone\nendPage\n";
        s += "finish\n";
        RunResult r = run_script(d, s);
        ASSERT_EQ(r.status, 0) << r.errlog;
        std::string report;
        EXPECT_TRUE(tt::qpdf_check(pdf, &report)) << report;

        std::vector<QField> fields = qpdf_fields(pdf);
        ASSERT_EQ(fields.size(), 9u);
        std::map<std::string, QField> by_name;
        int memos = 0;
        for (const QField& f : fields) {
            if (f.fullname == "_memo") {
                ++memos;
                EXPECT_EQ(f.value, "u:" + memo + std::to_string(f.page));
                EXPECT_EQ(f.flags & 1, 0);
            } else {
                by_name[f.fullname] = f;
            }
        }
        EXPECT_EQ(memos, 3);
        ASSERT_EQ(by_name.size(), 6u);
        for (int k = 1; k <= 6; ++k) {
            std::string n = "K_E_S_Trel" + std::to_string(k) + "_";
            ASSERT_TRUE(by_name.count(n)) << n;
            const QField& f = by_name[n];
            EXPECT_EQ(f.page, (k + 1) / 2) << n;
            EXPECT_EQ(f.flags & 1, 1) << n << " is read-only";
            EXPECT_TRUE(!f.has_value || f.value == "u:" || f.value.empty()) << n << ": " << f.value;
        }
    }
}

TEST(FieldRenaming, ErrorsNameTheField) {
    TempDir d;
    std::string tpl = d.file("form.tpl");
    tb::simple_template(tpl, {{.fields = {field("first", 650)}}});
    for (const std::string& op : {std::string("setPageFieldScriptValue\tnone\tx"),
                                  std::string("setPageFieldInvisible\tnone"),
                                  std::string("makeArrayPageField\tnone\t3\t20")}) {
        RunResult r = run_script(d, "Tessaro\nstart\t" + d.file("o.pdf") + "\nstartPage\t" + tpl +
                                        "\n" + op + "\nendPage\nfinish\n");
        EXPECT_EQ(r.status, 255) << op;
        EXPECT_EQ(r.errlog, "Undefined Field Name(none)\n") << op;
    }
    RunResult r = run_script(
        d, "Tessaro\nstart\t" + d.file("o.pdf") + "\nsetPageFieldInvisible\tfirst\nfinish\n");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.errlog, "Illegal method calling sequence.\n");
}

namespace {

// A template whose fields already show values: their appearance streams draw `text` and
// the name, so that pages can be flattened without the field filler. Fields are set by a
// script value, which keeps the appearance as it is.
void prefilled_template(const std::string& path, const std::vector<tb::PageSpec>& pages) {
    tb::simple_template(path, pages);
    for (int i = 0; i < g_st.num_field_strage; ++i) {
        const st_field& f = g_st.p_field_strage[i];
        int ap = get_elem_objref(f.obj_no, "AP", "N");
        std::string s =
            "/Tx BMC q BT /Helv 12 Tf 0 g 2 5 Td (Shows" + std::string(f.name) + ") Tj ET Q EMC";
        set_elem_str(get_elem(ap, "stream"), STR_STREAM, s.data(), static_cast<int>(s.size()));
        g_st.p_elem_strage[get_elem(ap, "Length")].data.int_data = static_cast<int>(s.size());
    }
    tb::write(path);
}

std::string pages_script(const std::string& pdf, const std::vector<std::string>& templates,
                         const std::string& per_page, bool compress) {
    std::string s = "Tessaro\n";
    if (compress) s += "compressField\n";
    s += "start\t" + pdf + "\n";
    for (const std::string& t : templates) s += "startPage\t" + t + "\n" + per_page + "endPage\n";
    return s + "finish\n";
}

}  // namespace

TEST(FieldCompression, FlattenedPagesLookLikeInteractiveOnes) {
    TempDir d;
    // Template b has two pages, the first turned, with fields named apart.
    auto page = [](const std::string& suffix, int rotate) {
        tb::PageSpec p;
        p.rotate = rotate;
        p.fields = {field("alpha" + suffix, 650), field("beta" + suffix, 600),
                    field("hidden" + suffix, 550), field("_keep" + suffix, 500)};
        return p;
    };
    std::string a = d.file("a.tpl"), b = d.file("b.tpl");
    prefilled_template(a, {page("", 0)});
    prefilled_template(b, {page("", 90), page("2", 0)});
    auto set = [](const std::string& suffix) {
        std::string s;
        for (const char* n : {"alpha", "beta", "_keep"})
            s += std::string("setPageFieldScriptValue\t") + n + suffix + "\tv\n";
        return s + "setPageFieldInvisible\thidden" + suffix + "\n";
    };
    // Runs of one template share objects; with compression later pages write none of them.
    std::string body;
    for (const std::string& t : {a, a, b, a})
        body += "startPage\t" + t + "\n" + set("") + (t == b ? set("2") : "") + "endPage\n";
    std::string plain = d.file("plain.pdf"), flat = d.file("flat.pdf");
    ASSERT_EQ(run_script(d, "Tessaro\nstart\t" + plain + "\n" + body + "finish\n").status, 0);
    RunResult r =
        run_script(d, "Tessaro\ncompressField\nstart\t" + flat + "\n" + body + "finish\n");
    ASSERT_EQ(r.status, 0) << r.errlog;
    std::string report;
    EXPECT_TRUE(tt::qpdf_check(flat, &report)) << report;
    ASSERT_EQ(tt::pdf_page_count(flat), 5);

    // Only the "_" fields remain interactive.
    std::vector<QField> fields = qpdf_fields(flat);
    EXPECT_EQ(fields.size(), 5u);
    for (const QField& f : fields) EXPECT_EQ(f.fullname.substr(0, 5), "_keep");
    for (int page = 1; page <= 5; ++page) {
        SCOPED_TRACE(page);
        std::string text = tt::pdftotext(flat, page);
        for (const char* v : {"alpha", "beta", "Shows_keep", "Static page text"})
            EXPECT_NE(text.find(v), std::string::npos) << v << " in\n" << text;
        EXPECT_EQ(text.find("Showshidden"), std::string::npos);
        tt::Pixmap want = render(plain, page), got = render(flat, page);
        EXPECT_GT(tt::dark_pixels(got), 100);
        EXPECT_LT(tt::differing(want, got), 0.0005);
    }
    EXPECT_LT(tt::read_file(flat).size(), tt::read_file(plain).size());
}

TEST(FieldCompression, PageWithoutFieldsGetsAnEmptyStream) {
    TempDir d;
    std::string tpl = d.file("t.tpl");
    tb::simple_template(tpl, "Nothing to flatten");
    std::string pdf = d.file("o.pdf");
    ASSERT_EQ(run_script(d, pages_script(pdf, {tpl, tpl}, "", true)).status, 0);
    EXPECT_TRUE(tt::qpdf_check(pdf));
    EXPECT_NE(tt::pdftotext(pdf, 2).find("Nothing to flatten"), std::string::npos);
}

TEST(ArrayFields, CopiesAreFilledAtTheirPlaces) {
    TempDir d;
    for (int rotate : {0, 90, 270}) {
        // On a turned page the copies stand side by side in page space, so the field is
        // narrow there and set small: 20 copies 25 points apart fit on the page.
        const float x0 = rotate == 270 ? 560 : 100;
        tb::PageSpec p;
        p.rotate = rotate;
        tb::FieldSpec row = field("row", 700, x0);
        if (rotate) row.w = 24, row.font_size = 8;
        p.fields = {row, field("other", 100, 300)};
        std::string tpl = d.file("r" + std::to_string(rotate) + ".tpl");
        tb::simple_template(tpl, {p});
        for (int num : {1, 3, 20}) {
            SCOPED_TRACE("rotate " + std::to_string(rotate) + " num " + std::to_string(num));
            const float gap = rotate ? 25 : 30;
            std::string set = "makeArrayPageField\trow\t" + std::to_string(num) + "\t" +
                              std::to_string(gap) + "\n";
            for (int k = 1; k <= num; ++k)
                set += "setPageFieldData\trow__" + std::to_string(k) + "\tV" + std::to_string(k) +
                       "x\n";
            std::string pdf = d.file("o.pdf");
            RunResult r = run_script(d, pages_script(pdf, {tpl, tpl}, set, false));
            ASSERT_EQ(r.status, 0) << r.errlog;
            std::string report;
            EXPECT_TRUE(tt::qpdf_check(pdf, &report)) << report;
            std::vector<QField> fields = qpdf_fields(pdf);
            EXPECT_EQ(fields.size(), 2u * (num + 1));
            for (int page = 1; page <= 2; ++page) {
                std::vector<Word> ws = words(pdf, page);
                for (int k = 1; k <= num; ++k) {
                    std::string v = "V" + std::to_string(k) + "x";
                    const Word* w = find_word(ws, v);
                    ASSERT_NE(w, nullptr) << v << " on page " << page;
                    // Where the copy's rectangle lies on the displayed page (612 x 792).
                    double d_k = gap * (k - 1), px = x0, py = 700;  // lower-left corner
                    double dx, dy;  // displayed, from the top-left corner
                    if (rotate == 90) {
                        px += d_k;
                        dx = py, dy = px;
                    } else if (rotate == 270) {
                        px -= d_k;
                        dx = 792 - py, dy = 612 - px;
                    } else {
                        py -= d_k;
                        dx = px, dy = 792 - py;
                    }
                    double cx = (w->x0 + w->x1) / 2, cy = (w->y0 + w->y1) / 2;
                    // The text starts 2 points into the field, its middle about 10 points above
                    // the field's lower edge; copies lie 25 or 30 points apart.
                    if (rotate == 0) {
                        EXPECT_NEAR(w->x0, dx + 2, 3) << v;
                        EXPECT_NEAR(cy, dy - 10, 8) << v;
                    } else if (rotate == 90) {
                        EXPECT_NEAR(cx, dx + 10, 8) << v;
                        EXPECT_NEAR(w->y0, dy + 2, 3) << v;
                    } else {
                        EXPECT_NEAR(cx, dx - 10, 8) << v;
                        EXPECT_NEAR(w->y1, dy - 2, 3) << v;
                    }
                }
            }
        }
    }
}

TEST(FieldCompression, AppearanceGeometryIsKeptWhenFlattened) {
    // Appearances turned by a matrix, with a box away from the origin, and smaller than the
    // widget (a viewer scales them to the rectangle).
    TempDir d;
    tb::PageSpec p;
    p.fields = {field("turned", 300, 100), field("offset", 600, 300), field("scaled", 450, 300)};
    std::string tpl = d.file("g.tpl");
    prefilled_template(tpl, {p});
    auto set_array = [](int obj, const char* label, const std::string& text) {
        int e = get_elem(obj, label);
        if (e == -1)
            tb::array(obj, label, text);
        else
            set_elem_str(e, STR_ARRAY, text.data(), static_cast<int>(text.size()));
    };
    // Widgets 7, 9, 11 with appearances 8, 10, 12.
    set_array(7, "Rect", "100 300 120 500");
    set_array(8, "BBox", "0 0 200 20");
    set_array(8, "Matrix", "0 1 -1 0 0 0");
    set_array(10, "BBox", "-30 -5 170 15");
    set_array(12, "BBox", "0 0 100 10");
    tb::write(tpl);
    std::string set;
    for (const char* n : {"turned", "offset", "scaled"})
        set += std::string("setPageFieldScriptValue\t") + n + "\tv\n";
    std::string plain = d.file("plain.pdf"), flat = d.file("flat.pdf");
    ASSERT_EQ(run_script(d, pages_script(plain, {tpl}, set, false)).status, 0);
    ASSERT_EQ(run_script(d, pages_script(flat, {tpl}, set, true)).status, 0);
    EXPECT_TRUE(tt::qpdf_check(flat));
    EXPECT_TRUE(qpdf_fields(flat).empty());
    std::string bare_tpl = d.file("bare.tpl"), bare = d.file("bare.pdf");
    tb::simple_template(bare_tpl);
    ASSERT_EQ(run_script(d, pages_script(bare, {bare_tpl}, "", false)).status, 0);
    tt::Pixmap want = render(plain, 1), got = render(flat, 1);
    EXPECT_GT(tt::dark_pixels(got), tt::dark_pixels(render(bare, 1)) + 150);
    EXPECT_LT(tt::differing(want, got), 0.0005);
}

TEST(FieldCompression, PageContentLeavingItsStateChangedDoesNotMoveFields) {
    // The page's own content ends with a halved, unrestored coordinate system and red fill.
    TempDir d;
    tb::PageSpec p;
    p.text = "Static) Tj ET 0.5 0 0 0.5 0 0 cm 1 0 0 rg BT (";
    p.fields = {field("alpha", 650), field("beta", 300, 300)};
    std::string tpl = d.file("s.tpl");
    prefilled_template(tpl, {p});
    std::string set = "setPageFieldScriptValue\talpha\tv\nsetPageFieldScriptValue\tbeta\tv\n";
    std::string plain = d.file("plain.pdf"), flat = d.file("flat.pdf");
    ASSERT_EQ(run_script(d, pages_script(plain, {tpl}, set, false)).status, 0);
    ASSERT_EQ(run_script(d, pages_script(flat, {tpl}, set, true)).status, 0);
    EXPECT_TRUE(tt::qpdf_check(flat));
    EXPECT_LT(tt::differing(render(plain, 1), render(flat, 1)), 0.0005);
}

TEST(FieldCompression, FilledValuesAreFlattened) {
    TempDir d;
    tb::PageSpec p;
    p.fields = {field("name", 650), field("city", 600), field("unset", 550), field("_note", 500)};
    tb::FieldSpec wide = field("remarks", 400);
    wide.h = 60;
    p.fields.push_back(wide);
    std::string tpl = d.file("f.tpl");
    tb::simple_template(tpl, {p});
    std::string set =
        "setPageFieldData\tname\tAda Lovelace\nsetPageFieldData\tcity\tLondon (UK) \\ 1843\n"
        "setPageFieldData\t_note\tkept\n"
        "setPageFieldDataWithAttribute\tremarks\tFirst line in "
        "red\t0\t10\tff0000\t\t0\t0\t0\t0\t0\n";
    std::string plain = d.file("plain.pdf"), flat = d.file("flat.pdf");
    RunResult r = run_script(d, pages_script(plain, {tpl, tpl}, set, false));
    ASSERT_EQ(r.status, 0) << r.errlog;
    r = run_script(d, pages_script(flat, {tpl, tpl}, set, true));
    ASSERT_EQ(r.status, 0) << r.errlog;
    EXPECT_TRUE(tt::qpdf_check(flat));
    std::vector<QField> fields = qpdf_fields(flat);
    ASSERT_EQ(fields.size(), 2u);
    for (int page = 1; page <= 2; ++page) {
        std::string text = tt::pdftotext(flat, page);
        // The yen-sign mode, on by default, shows the backslash as a yen sign.
        for (const char* v : {"Ada Lovelace", "London (UK) \u00a5 1843", "kept", "First line"})
            EXPECT_NE(text.find(v), std::string::npos) << v << " in\n" << text;
        EXPECT_LT(tt::differing(render(plain, page), render(flat, page)), 0.0005);
    }
}
