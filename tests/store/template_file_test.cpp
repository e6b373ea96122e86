// Template files: the fixed layout, the load into reused storages, and damaged files.
#include "store/template_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "store/change_marks.h"
#include "store/element_ops.h"
#include "store/element_walk.h"
#include "store/failure.h"
#include "store/field_extras.h"
#include "tests/support/run_tools.h"
#include "tests/support/template_builder.h"

using tb::load_error;
using tt::TempDir;

namespace {

std::string header(int t, int x, int e, int f, int d, int c) {
    std::string h("\x40\xE2\x01\x00", 4);
    int16_t ts = static_cast<int16_t>(t);
    h.append(reinterpret_cast<const char*>(&ts), 2);
    for (int v : {x, e, f, d, c}) h.append(reinterpret_cast<const char*>(&v), 4);
    return h;
}

}  // namespace

TEST(TemplateFile, EmptyTemplateAndWrongMagic) {
    TempDir d;
    tt::write_file(d.file("empty.tpl"), header(0, 0, 0, 0, 0, 0));
    storages_reset();
    EXPECT_EQ(load_error(d.file("empty.tpl")), "");
    EXPECT_EQ(g_st.num_xref_strage, 0);
    EXPECT_EQ(g_st.num_trailer_strage, 0);

    std::string bad = header(0, 0, 0, 0, 0, 0);
    bad[0] = 0x41;
    tt::write_file(d.file("bad.tpl"), bad);
    EXPECT_EQ(load_error(d.file("bad.tpl")), "fopen::error(" + d.file("bad.tpl") + ")");
    EXPECT_EQ(load_error(d.file("none.tpl")), "fopen::error(" + d.file("none.tpl") + ")");
}

TEST(TemplateFile, LayoutAndRoundTrip) {
    TempDir d;
    tb::PageSpec p;
    p.fields.push_back({"Name"});
    tb::simple_template(d.file("t.tpl"), {p});
    const int x = g_st.num_xref_strage, e = g_st.num_elem_strage, c = g_st.num_char_strage;
    std::string bytes = tt::read_file(d.file("t.tpl"));
    EXPECT_EQ(bytes.substr(0, 26), header(g_st.num_trailer_strage, x, e, 0, 1, c));
    EXPECT_EQ(bytes.size(), 26u + 72 * 2 + 12u * x + 72u * e + 348 + c);

    storages_reset();
    ASSERT_EQ(load_error(d.file("t.tpl")), "");
    EXPECT_EQ(g_st.num_xref_strage, x);
    EXPECT_EQ(g_st.alloc_elem_strage, e + 1024);
    EXPECT_EQ(g_st.alloc_char_strage, c + 4194304);
    EXPECT_STREQ(g_st.p_field_strage[0].name, "Name");
    EXPECT_EQ(get_trailer_objref("Root"), 1);
}

TEST(TemplateFile, ReloadLeavesNothingOfThePreviousPage) {
    TempDir d;
    tb::simple_template(d.file("small.tpl"), "small");
    tb::begin(2);
    tb::trailer_ref("Root", 1);
    tb::write(d.file("tiny.tpl"));
    storages_reset();
    ASSERT_EQ(load_error(d.file("small.tpl")), "");
    append_elem_str(1, 0, "Extra", STR_LITERAL, "junk", 4);
    ASSERT_EQ(load_error(d.file("tiny.tpl")), "");
    for (int i = g_st.num_elem_strage; i < g_st.alloc_elem_strage; ++i)
        ASSERT_EQ(g_st.p_elem_strage[i].f_type, 0) << i;
    for (int i = g_st.num_char_strage; i < g_st.num_char_strage + 4096; ++i)
        ASSERT_EQ(g_st.p_char_strage[i], 0) << i;
    for (int i = g_st.num_xref_strage; i < 64; ++i) ASSERT_EQ(g_st.p_xref_strage[i].first_elem, 0);
}

TEST(TemplateFile, StreamLineEndBeforeEndstreamIsDropped) {
    tb::begin(3);
    // Stored as in the compiler's templates: data, then the byte that followed in the source.
    int a = append_elem_str(1, 0, LABEL_STREAM, STR_STREAM, "DATA\r\ne", 7);
    int b = append_elem_str(2, 0, LABEL_STREAM, STR_STREAM, "DATA\ne", 6);
    elem_at(a).data.str.len = 6;  // "DATA\r\n" followed by "e"
    elem_at(b).data.str.len = 5;  // "DATA\n" followed by "e"
    adjust_stream();
    EXPECT_EQ(elem_at(a).data.str.len, 4);
    EXPECT_EQ(elem_bytes(elem_at(a))[4], 0);
    EXPECT_EQ(elem_at(b).data.str.len, 5);
}

TEST(TemplateFile, DamagedFilesFailCleanly) {
    TempDir d;
    tb::PageSpec p;
    p.fields.push_back({"Name"});
    tb::simple_template(d.file("t.tpl"), {p});
    std::string good = tt::read_file(d.file("t.tpl"));
    const std::string broken = "Broken template file(" + d.file("x.tpl") + ")";
    // Every truncation.
    for (size_t n = 0; n < good.size(); n += (n < 64 ? 1 : 37)) {
        tt::write_file(d.file("x.tpl"), good.substr(0, n));
        std::string err = load_error(d.file("x.tpl"));
        EXPECT_TRUE(err == broken || err == "fopen::error(" + d.file("x.tpl") + ")") << n;
    }
    // Absurd counts.
    std::string absurd = good;
    int big = 0x7fffffff;
    std::memcpy(&absurd[10], &big, 4);
    tt::write_file(d.file("x.tpl"), absurd);
    EXPECT_EQ(load_error(d.file("x.tpl")), broken);
    int neg = -5;
    std::memcpy(&absurd[10], &neg, 4);
    tt::write_file(d.file("x.tpl"), absurd);
    EXPECT_EQ(load_error(d.file("x.tpl")), broken);

    // Records pointing outside the storages.
    int16_t t;
    int32_t x, e;
    std::memcpy(&t, &good[4], 2);
    std::memcpy(&x, &good[6], 4);
    std::memcpy(&e, &good[10], 4);
    const size_t xref0 = 26 + 72 * static_cast<size_t>(t);
    const size_t elem0 = xref0 + 12 * static_cast<size_t>(x);
    auto patch = [&](size_t at, int32_t v) {
        std::string s = good;
        std::memcpy(&s[at], &v, 4);
        tt::write_file(d.file("x.tpl"), s);
        return load_error(d.file("x.tpl"));
    };
    EXPECT_EQ(patch(xref0 + 12 + 4, e + 5), broken);     // first_elem beyond the elements
    EXPECT_EQ(patch(elem0 + 72 + 32, 1 << 30), broken);  // next_elem far away
    EXPECT_EQ(patch(elem0 + 72 + 32, -2), broken);       // negative next_elem
    // A chain that loops back on itself loads, and lookups on it end.
    ASSERT_EQ(patch(elem0 + 72 + 32, 1), "");
    EXPECT_EQ(get_elem(1, "Nope"), -1);
}

TEST(TemplateFile, MemoryLoadChecksLikeTheFileLoad) {
    tb::PageSpec p;
    p.fields.push_back({"Name"});
    const std::string good = tb::simple_template_bytes({p});
    const int x = g_st.num_xref_strage, e = g_st.num_elem_strage;
    auto load = [](const std::string& bytes) -> std::string {
        try {
            load_template_memory("mem.tpl", bytes.data(), bytes.size());
        } catch (const Failure& f) {
            return f.message;
        }
        return "";
    };
    storages_reset();
    ASSERT_EQ(load(good), "");
    EXPECT_EQ(g_st.num_xref_strage, x);
    EXPECT_EQ(g_st.num_elem_strage, e);
    EXPECT_STREQ(g_st.p_field_strage[0].name, "Name");
    EXPECT_EQ(load(good.substr(0, good.size() - 1)), "Broken template file(mem.tpl)");
    EXPECT_EQ(load(good.substr(0, 3)), "fopen::error(mem.tpl)");
    std::string damaged = good;
    int16_t t;
    std::memcpy(&t, &good[4], 2);
    int32_t bad = -2;  // negative next_elem of element 1
    std::memcpy(&damaged[26 + 72 * static_cast<size_t>(t) + 12 * x + 72 + 32], &bad, 4);
    EXPECT_EQ(load(damaged), "Broken template file(mem.tpl)");
}

TEST(TemplateFile, KeptImagesAndWhatAComputationRead) {
    // Loads of one kept image share an identity; what a lookup walked is known, and holds
    // until one of those objects is edited.
    TempDir d;
    tb::PageSpec p;
    p.fields = {{.name = "a"}};
    std::string tpl = d.file("form.tpl");
    tb::simple_template(tpl, {p});
    keep_template_images(true);
    load_template(tpl.c_str());
    const long first = loaded_image_id();
    load_template(tpl.c_str());
    EXPECT_EQ(loaded_image_id(), first);
    const std::string bytes = tb::simple_template_bytes({p});
    load_template_memory("mem.tpl", bytes.data(), bytes.size());
    EXPECT_NE(loaded_image_id(), first);
    load_template(tpl.c_str());
    EXPECT_EQ(loaded_image_id(), first);

    const int widget = 7, ap = 8;  // catalog, Pages, font, AcroForm, page, content, widget
    std::vector<int> reads;
    marks_record_reads(&reads);
    const int length = dict_entry(ap, "Length");
    EXPECT_NE(get_elem(widget, "N"), -1);
    marks_record_reads(nullptr);
    ASSERT_NE(length, -1);
    EXPECT_NE(std::find(reads.begin(), reads.end(), ap), reads.end());
    EXPECT_NE(std::find(reads.begin(), reads.end(), widget), reads.end());
    EXPECT_EQ(std::find(reads.begin(), reads.end(), 1), reads.end());
    EXPECT_TRUE(objects_unchanged(reads));
    const long changes = marks_changes();
    set_elem_int(length, 5);
    EXPECT_FALSE(objects_unchanged(reads));
    EXPECT_EQ(marks_changes(), changes + 1);
    mark_object_unchanged(ap);
    EXPECT_TRUE(objects_unchanged(reads));
    keep_template_images(false);
}

TEST(TemplateFile, AKeptImageKeepsTheFieldsFullNames) {
    // A page loaded again from the kept image still finds its fields by their full names
    // (they were lost with the extras, so later pages of a run failed "Undefined Field Name").
    TempDir d;
    tb::PageSpec p;
    p.fields = {{.name = "short"}};
    tb::simple_template_bytes({p});
    const std::string full = "topmostSubform[0].Page1[0].a-rather-long-name[0]";
    field_extra_set_name(0, full.data(), static_cast<int>(full.size()));
    std::string tpl = d.file("form.tpl");
    tb::write(tpl);
    keep_template_images(true);
    for (int load = 0; load < 2; ++load) {
        SCOPED_TRACE(load);
        load_template(tpl.c_str());
        EXPECT_EQ(find_field(full.c_str()), 0);
        EXPECT_EQ(find_field("short"), 0);
    }
    keep_template_images(false);
}
