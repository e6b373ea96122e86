// Script values, invisibility, renaming, array fields and field compression, run in-process
// on synthetic templates and checked in the element store.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "generator/array_fields.h"
#include "generator/doc_state.h"
#include "generator/field_compress.h"
#include "generator/field_rename.h"
#include "generator/field_widgets.h"
#include "generator/operations.h"
#include "generator/page_hooks.h"
#include "generator/pdf_writer.h"
#include "store/element_ops.h"
#include "store/failure.h"
#include "store/field_extras.h"
#include "tests/support/run_tools.h"
#include "tests/support/template_builder.h"
#include "tests/support/zlib_tools.h"

using tb::field;

namespace {

// Object layout of tb::simple_template with one page: 1 catalog, 2 Pages, 3 font,
// 4 AcroForm, 5 page, 6 content, then widget and appearance per field (7, 8, 9, 10, ...).
constexpr int kPage = 5, kContent = 6;
int widget_of(int field) {
    return 7 + 2 * field;
}
int ap_of(int field) {
    return 8 + 2 * field;
}

std::vector<int32_t> cps(const std::u32string& s) {
    std::vector<int32_t> v(s.begin(), s.end());
    v.push_back(0);
    return v;
}

std::string bytes_of(int elem) {
    const st_elem& e = g_st.p_elem_strage[elem];
    return std::string(elem_bytes(e), static_cast<size_t>(e.data.str.len));
}

std::string entry_text(int obj, const char* label) {
    int e = dict_entry(obj, label);
    return e == -1 ? "<none>" : bytes_of(e);
}

int entry_int(int obj, const char* label) {
    int e = dict_entry(obj, label);
    return e == -1 ? -1 : g_st.p_elem_strage[e].data.int_data;
}

std::string failure_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const Failure& e) {
        return e.message;
    }
    return "";
}

// Builds a template, lets `edit` change the store before it is written, and opens a
// document with that template's page loaded.
class FieldOps : public ::testing::Test {
  protected:
    tt::TempDir dir;
    std::string tpl = dir.file("t.tpl");
    std::string pdf = dir.file("out.pdf");

    void load(const std::vector<tb::PageSpec>& pages, const std::function<void()>& edit = nullptr) {
        tb::simple_template(tpl, pages);
        if (edit) {
            edit();
            tb::write(tpl);
        }
        _Merlow();
        _setPDFFileName(pdf.c_str());
        _startPage(tpl.c_str());
    }
    void load(const std::vector<tb::FieldSpec>& fields, const std::function<void()>& edit = nullptr,
              int rotate = 0) {
        tb::PageSpec p;
        p.fields = fields;
        p.rotate = rotate;
        load(std::vector<tb::PageSpec>{p}, edit);
    }
    void TearDown() override { print_close(); }
};

// Replaces the page object by one whose resources are object `res`.
void page_with_resources(int res) {
    g_st.p_xref_strage[kPage].first_elem = 0;
    tb::name(kPage, "Type", "Page");
    tb::ref(kPage, "Parent", 2);
    tb::array(kPage, "MediaBox", "0 0 612 792");
    tb::ref(kPage, "Resources", res);
    tb::ref(kPage, "Contents", kContent);
    tb::array(kPage, "Annots", "7 0 R 9 0 R");
}

}  // namespace

TEST_F(FieldOps, ScriptValueIsUtf16WithEscapes) {
    load({field("_memo"), field("plain", 500)});
    int memo = set_field_script_value("_memo", cps(U"AB").data());
    EXPECT_EQ(memo, 0);
    EXPECT_EQ(g_doc.flag_set_field[0], 1);
    EXPECT_EQ(entry_text(widget_of(0), "V"), std::string("\xFE\xFF\x00\x41\x00\x42", 6));

    // "(", ")" and "\" in the UTF-16 bytes are escaped, and so is a carriage return byte;
    // a character beyond U+FFFF is a surrogate pair.
    set_field_script_value("_memo", cps(U"(\\)\u0D28\U0001F600").data());
    EXPECT_EQ(entry_text(widget_of(0), "V"),
              std::string("\xFE\xFF\x00\\(\x00\\\\\x00\\)\\r\\(\xD8\x3D\xDE\x00", 19));

    EXPECT_EQ(failure_of([] { set_field_script_value("nope", cps(U"x").data()); }),
              "Undefined Field Name(nope)");
    g_st.p_field_strage[1].f_ap = 0;
    EXPECT_EQ(failure_of([] { set_field_script_value("plain", cps(U"x").data()); }),
              "Undefined Field Appearance(plain)");
    EXPECT_EQ(failure_of([] { set_field_script_value("_mem", cps(U"x").data()); }),
              "Undefined Field Name(_mem)");
}

TEST_F(FieldOps, InvisibleClearsPrintAndSetsHidingFlags) {
    load({field("a"), field("b", 560), field("c", 520), field("d", 480)}, [] {
        // b: /F 0; c: no /F of its own, its parent's is 4; d: no /F anywhere.
        g_st.p_elem_strage[get_elem(widget_of(1), "F")].data.int_data = 0;
        int parent = tb::add_object();
        tb::integer(parent, "F", 4);
        g_st.p_elem_strage[get_elem(widget_of(2), "F")].f_type = 0;
        tb::ref(widget_of(2), "Parent", parent);
        g_st.p_elem_strage[get_elem(widget_of(3), "F")].f_type = 0;
    });
    for (const char* n : {"a", "b", "c", "d"}) set_field_invisible(n);
    EXPECT_EQ(entry_int(widget_of(0), "F"), 0x31);
    EXPECT_EQ(entry_int(widget_of(1), "F"), 0x31);
    int parent = dict_ref(widget_of(2), "Parent");
    EXPECT_EQ(entry_int(parent, "F"), 0x31);
    EXPECT_EQ(dict_entry(widget_of(2), "F"), -1);
    EXPECT_EQ(entry_int(widget_of(3), "F"), 0x31);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(g_doc.flag_set_field[i], 1);
    EXPECT_EQ(failure_of([] { set_field_invisible("e"); }), "Undefined Field Name(e)");
}

TEST_F(FieldOps, RenamingGivesUniqueReadOnlyNamesWithoutValues) {
    int parent = 0;
    load({field("a"), field("_keep", 560), field("k1", 520), field("k2", 480), field("gone", 440),
          field("sig", 400)},
         [&] {
             tb::integer(widget_of(0), "Ff", 4096);
             tb::literal(widget_of(0), "V", "old");
             tb::literal(widget_of(0), "DV", "default");
             tb::literal(widget_of(1), "V", "kept");
             tb::name(widget_of(4), "V", "Yes");  // a button's state
             // A signature's value is a dictionary: its entries must go with it.
             tb::dict_start(widget_of(5), "V");
             tb::array(widget_of(5), "ByteRange", "0 10 20 30");
             tb::dict_end(widget_of(5));
             // k1 and k2 are the kids of one named parent that holds the value.
             parent = tb::add_object();
             tb::literal(parent, "T", "kids");
             tb::literal(parent, "V", "parent value");
             tb::array(
                 parent, "Kids",
                 std::to_string(widget_of(2)) + " 0 R " + std::to_string(widget_of(3)) + " 0 R");
             for (int k : {2, 3}) {
                 g_st.p_elem_strage[get_elem(widget_of(k), "T")].f_type = 0;
                 tb::ref(widget_of(k), "Parent", parent);
             }
         });
    g_st.p_field_strage[4].obj_no = 0;  // a record without a widget is passed by
    global_annot_no = 7;
    rename_field_name();
    EXPECT_EQ(entry_text(widget_of(0), "T"), "K_E_S_Trel8_");
    EXPECT_EQ(entry_int(widget_of(0), "Ff"), 4097);
    EXPECT_EQ(entry_text(widget_of(0), "V"), "");
    EXPECT_EQ(entry_text(widget_of(0), "DV"), "");
    EXPECT_EQ(entry_text(widget_of(1), "T"), "_keep");
    EXPECT_EQ(entry_text(widget_of(1), "V"), "kept");
    EXPECT_EQ(dict_entry(widget_of(1), "Ff"), -1);
    // Both kids rename their parent; it ends with the later name, read-only, valueless.
    EXPECT_EQ(entry_text(parent, "T"), "K_E_S_Trel10_");
    EXPECT_EQ(entry_int(parent, "Ff"), 1);
    EXPECT_EQ(entry_text(parent, "V"), "");
    EXPECT_EQ(dict_entry(widget_of(2), "T"), -1);
    EXPECT_EQ(global_annot_no, 11);
    EXPECT_EQ(entry_text(widget_of(4), "T"), "gone");
    EXPECT_EQ(entry_text(widget_of(5), "V"), "");
    EXPECT_EQ(dict_entry(widget_of(5), "ByteRange"), -1);
    for (int e : obj_elems(widget_of(5)))  // nothing of the dictionary is left to write
        EXPECT_FALSE(g_st.p_elem_strage[e].f_type != 0 &&
                     label_is(g_st.p_elem_strage[e].label, "ByteRange"));
    g_st.p_field_strage[4].obj_no = static_cast<int16_t>(widget_of(4));
    rename_field_name();
    EXPECT_EQ(entry_text(widget_of(4), "T"), "K_E_S_Trel15_");
    EXPECT_STREQ(g_st.p_elem_strage[dict_entry(widget_of(4), "V")].data.name, "Yes");
}

TEST_F(FieldOps, AFieldKeptInteractiveHoldsTheValueItShows) {
    // "_" fields keep their names and stay editable: viewers drawing editable fields
    // themselves show /V, which becomes the value (UTF-16BE, hexadecimal).
    load({field("_keep"), field("plain", 560)});
    _setPageFieldData("_keep", cps(U"Zo\u00eb").data());
    _setPageFieldData("plain", cps(U"x").data());
    EXPECT_EQ(entry_text(widget_of(0), "V"), "FEFF005A006F00EB");
    EXPECT_EQ(entry_text(widget_of(1), "V"), "<none>");
}

TEST_F(FieldOps, ArrayFieldCopiesMoveByRotation) {
    for (int rotate : {0, 90, 270, -90, 180}) {
        SCOPED_TRACE(rotate);
        tb::FieldSpec item = field("item", 700);
        item.x = 100;
        load({item}, nullptr, rotate);
        int widgets = g_st.num_xref_strage;
        make_array_field("item", 3, 20);
        ASSERT_EQ(g_st.num_field_strage, 3);
        EXPECT_STREQ(g_st.p_field_strage[0].name, "item__1");
        EXPECT_STREQ(g_st.p_field_strage[1].name, "item__2");
        EXPECT_STREQ(g_st.p_field_strage[2].name, "item__3");
        EXPECT_EQ(entry_text(widget_of(0), "Rect"), " 100 700 300 720");
        const char* want[2];
        if (rotate == 90) {
            want[0] = "120.000000 700.000000 320.000000 720.000000";
            want[1] = "140.000000 700.000000 340.000000 720.000000";
        } else if (rotate == 270 || rotate == -90) {
            want[0] = "80.000000 700.000000 280.000000 720.000000";
            want[1] = "60.000000 700.000000 260.000000 720.000000";
        } else if (rotate == 180) {  // down the page as shown
            want[0] = "100.000000 720.000000 300.000000 740.000000";
            want[1] = "100.000000 740.000000 300.000000 760.000000";
        } else {
            want[0] = "100.000000 680.000000 300.000000 700.000000";
            want[1] = "100.000000 660.000000 300.000000 680.000000";
        }
        std::string annots = entry_text(kPage, "Annots");
        for (int k = 1; k <= 2; ++k) {
            const st_field& f = g_st.p_field_strage[k];
            int w = f.obj_no;
            EXPECT_EQ(w, widgets + 2 * (k - 1));
            EXPECT_EQ(entry_text(w, "Rect"), want[k - 1]);
            EXPECT_EQ(entry_text(w, "T"), std::string("item__") + char('1' + k));
            int ap = widget_appearance(w);
            EXPECT_EQ(ap, w + 1);
            EXPECT_EQ(entry_text(ap, "stream"), entry_text(ap_of(0), "stream"));
            EXPECT_EQ(f.font_no, g_st.p_field_strage[0].font_no);
            EXPECT_STREQ(f.start_str, g_st.p_field_strage[0].start_str);
            EXPECT_TRUE(array_refers(annots.data(), static_cast<int>(annots.size()), w));
        }
        EXPECT_EQ(g_st.p_elem_strage[page_annots_elem(kPage)].data.str.f_renum, 1);
        EXPECT_EQ(failure_of([] { set_field_script_value("item", cps(U"x").data()); }),
                  "Undefined Field Name(item)");
        print_close();
    }
}

TEST_F(FieldOps, ArrayFieldCopiesOwnTheirStrings) {
    int kid_parent = 0;
    load({field("item", 700), field("kid", 400)}, [&] {
        kid_parent = tb::add_object();
        tb::literal(kid_parent, "T", "named");
        g_st.p_elem_strage[get_elem(widget_of(1), "T")].f_type = 0;
        tb::ref(widget_of(1), "Parent", kid_parent);
    });
    make_array_field("item", 2, 30);
    int copy = g_st.p_field_strage[2].obj_no;
    int copy_ap = widget_appearance(copy);
    // Rewriting the copy's appearance leaves the source's bytes alone.
    int st = dict_entry(copy_ap, "stream");
    std::memset(elem_bytes(g_st.p_elem_strage[st]), 'x', 3);
    EXPECT_EQ(entry_text(ap_of(0), "stream").substr(0, 3), "/Tx");
    std::memset(elem_bytes(g_st.p_elem_strage[dict_entry(copy, "DA")]), 'y', 1);
    EXPECT_EQ(entry_text(widget_of(0), "DA")[0], '/');

    // A kid without its own /T gets one on each copy; the source keeps inheriting.
    make_array_field("kid", 3, 10);
    EXPECT_EQ(dict_entry(widget_of(1), "T"), -1);
    for (int r = 3; r < 5; ++r) {
        int w = g_st.p_field_strage[r].obj_no;
        EXPECT_EQ(entry_text(w, "T"), "kid__" + std::to_string(r - 1));
        EXPECT_EQ(dict_ref(w, "Parent"), kid_parent);
    }
}

TEST_F(FieldOps, DocumentAfterAFailedOneStartsClean) {
    // A page left open by an error keeps its array copies in the storages; the next
    // document's copies must not run into them.
    load({field("item", 700)});
    make_array_field("item", 40, 10);
    auto copy_elements = [] {
        int n = 0;
        for (int e : obj_elems(g_st.p_field_strage[1].obj_no)) n += e > 0;
        return n;
    };
    const int first = copy_elements();
    print_close();
    _Merlow();
    _setPDFFileName(pdf.c_str());
    _startPage(tpl.c_str());
    make_array_field("item", 3, 10);
    EXPECT_EQ(copy_elements(), first);
}

TEST_F(FieldOps, ArrayFieldOfALoopingChainFails) {
    // A damaged template whose widget chain leads back to its start: each copy would hold
    // the whole storage and double it.
    load({field("item", 700)}, [] {
        int first = g_st.p_xref_strage[widget_of(0)].first_elem;
        g_st.p_elem_strage[chain_last(widget_of(0))].next_elem = first;
    });
    EXPECT_EQ(failure_of([] { make_array_field("item", 13, 10); }),
              "Broken element chain(" + std::to_string(widget_of(0)) + ")");
    EXPECT_LT(g_st.num_elem_strage, 10000);
}

TEST_F(FieldOps, ArrayFieldEdges) {
    load({field("item", 700), field("x123456789012345678901234567", 650)}, [] {
        // The page's annotations live in an array object of their own.
        int arr = tb::add_object();
        std::string refs = entry_text(kPage, "Annots");
        tb::direct_array(arr, "7 0 R 9 0 R");
        int a = get_elem(kPage, "Annots");
        g_st.p_elem_strage[a].f_type = ELEM_TYPE_OBJREF;
        g_st.p_elem_strage[a].data.obj_no = arr;
    });
    int objs = g_st.num_xref_strage;
    make_array_field("item", 1, 20);
    EXPECT_STREQ(g_st.p_field_strage[0].name, "item__1");
    EXPECT_EQ(g_st.num_xref_strage, objs);
    EXPECT_EQ(g_st.num_field_strage, 2);

    make_array_field("item__1", 2, 20);
    int arr = dict_ref(kPage, "Annots");
    std::string text = entry_text(arr, LABEL_IMMEDIATE);
    EXPECT_TRUE(array_refers(text.data(), static_cast<int>(text.size()), widget_of(0)));
    EXPECT_TRUE(array_refers(text.data(), static_cast<int>(text.size()), objs));
    EXPECT_STREQ(g_st.p_field_strage[2].name, "item__1__2");

    // Suffixed names longer than a record holds are kept whole and address their copies.
    const int before = g_st.num_field_strage;
    make_array_field("x123456789012345678901234567", 10, 5);
    EXPECT_EQ(find_field("x123456789012345678901234567__10"), before + 8);
    EXPECT_EQ(find_field("x123456789012345678901234567__1"), 1);
    EXPECT_EQ(find_field("x123456789012345678901234567"), -1);
    EXPECT_EQ(entry_text(g_st.p_field_strage[before + 8].obj_no, "T"),
              "x123456789012345678901234567__10");
    EXPECT_EQ(failure_of([] { make_array_field("nope", 2, 5); }), "Undefined Field Name(nope)");
    EXPECT_EQ(failure_of([] { make_array_field("item__1__2", 40000, 1); }),
              "Too many objects for array field(item__1__2)");
    g_st.p_elem_strage[dict_entry(widget_of(1), "Rect")].f_type = 0;
    EXPECT_EQ(failure_of([] { make_array_field("x123456789012345678901234567__1", 2, 5); }),
              "Undefined Field Rect(x123456789012345678901234567__1)");
}

TEST_F(FieldOps, PageWithoutAnnotationsGetsTheCopies) {
    load({field("item", 700)}, [] { g_st.p_elem_strage[get_elem(kPage, "Annots")].f_type = 0; });
    make_array_field("item", 3, 20);
    std::string annots = entry_text(kPage, "Annots");
    EXPECT_FALSE(array_refers(annots.data(), static_cast<int>(annots.size()), widget_of(0)));
    for (int k = 1; k < 3; ++k)
        EXPECT_TRUE(array_refers(annots.data(), static_cast<int>(annots.size()),
                                 g_st.p_field_strage[k].obj_no));
}

namespace {

// Stands in for the field filler: gives the field an appearance that shows `text`.
void fill_by_hand(int field, const std::string& text) {
    int ap = ap_of(field);
    std::string s = "/Tx BMC q BT /Helv 12 Tf 0 g 2 5 Td (" + text + ") Tj ET Q EMC";
    set_elem_str(dict_entry(ap, "stream"), STR_STREAM, s.data(), static_cast<int>(s.size()));
    g_st.p_elem_strage[dict_entry(ap, "Length")].data.int_data = static_cast<int>(s.size());
    g_doc.flag_set_field[field] = 1;
}

std::string flattened() {
    int len = 0;
    const char* s = last_field_content(&len);
    return std::string(s, static_cast<size_t>(len));
}

}  // namespace

TEST_F(FieldOps, CompressionFlattensFilledTextFields) {
    load({field("first", 600), field("second", 560), field("_keep", 520)});
    fill_by_hand(0, "One");
    fill_by_hand(1, "Two");
    int before = g_st.num_xref_strage;
    size_t annots_len = entry_text(kPage, "Annots").size();
    compress_field(kPage);

    std::string c = flattened();
    auto one = c.find("(One) Tj");
    auto two = c.find("(Two) Tj");
    ASSERT_NE(one, std::string::npos);
    ASSERT_NE(two, std::string::npos);
    EXPECT_LT(one, two);
    EXPECT_EQ(c.substr(0, c.find("/Tx BMC")),
              "Q\n q 1 0 0 1 72.000000 600.000000 cm 100 Tz 0 Tc 0 0 0 rg  0 0 200 20 re W n \n");
    EXPECT_EQ(c.find("_keep"), std::string::npos);

    // Widgets and appearances are gone, their references blanked; "_keep" stays.
    for (int f : {0, 1}) {
        EXPECT_EQ(g_st.p_xref_strage[widget_of(f)].first_elem, 0);
        EXPECT_EQ(g_st.p_xref_strage[ap_of(f)].first_elem, 0);
        EXPECT_EQ(g_st.p_field_strage[f].obj_no, 0);
    }
    EXPECT_NE(g_st.p_xref_strage[widget_of(2)].first_elem, 0);
    std::string annots = entry_text(kPage, "Annots");
    std::string fields = entry_text(4, "Fields");
    for (const std::string& t : {annots, fields}) {
        EXPECT_FALSE(array_refers(t.data(), static_cast<int>(t.size()), widget_of(0)));
        EXPECT_FALSE(array_refers(t.data(), static_cast<int>(t.size()), widget_of(1)));
        EXPECT_TRUE(array_refers(t.data(), static_cast<int>(t.size()), widget_of(2)));
    }
    EXPECT_EQ(annots.size(), annots_len);

    // One new compressed stream, linked after the page's own content, which is wrapped in
    // a saved graphics state that the new stream restores first.
    EXPECT_EQ(g_st.num_xref_strage, before + 2);
    int obj = before, save = before + 1;
    EXPECT_EQ(entry_text(kPage, "Contents"), "\x01" + std::to_string(save) + " 0 R \x01" +
                                                 std::to_string(kContent) + " 0 R \x01" +
                                                 std::to_string(obj) + " 0 R ");
    EXPECT_EQ(entry_text(save, "stream"), "q\n");
    EXPECT_EQ(tt::inflate(entry_text(obj, "stream")), c);
    EXPECT_EQ(entry_int(obj, "Length"), static_cast<int>(entry_text(obj, "stream").size()));
    EXPECT_STREQ(g_st.p_elem_strage[dict_entry(obj, "Filter")].data.name, "FlateDecode");
}

TEST_F(FieldOps, CompressionDropsInvisibleAndKeepsOthersInteractive) {
    load({field("hidden", 600), field("check", 560), field("encoded", 520), field("shown", 480)},
         [] {
             g_st.p_elem_strage[get_elem(widget_of(1), "FT")].data.name[0] = 'B';  // Btn
             tb::name(ap_of(2), "Filter", "FlateDecode");
         });
    set_field_invisible("hidden");
    fill_by_hand(3, "Shown");
    compress_field(kPage);
    std::string c = flattened();
    EXPECT_EQ(c.find("hidden"), std::string::npos);
    EXPECT_NE(c.find("(Shown) Tj"), std::string::npos);
    EXPECT_EQ(c.find("re W n"), c.rfind("re W n"));  // one block only
    EXPECT_EQ(g_st.p_xref_strage[widget_of(0)].first_elem, 0);
    EXPECT_NE(g_st.p_xref_strage[widget_of(1)].first_elem, 0);
    EXPECT_NE(g_st.p_xref_strage[widget_of(2)].first_elem, 0);
    EXPECT_EQ(g_st.p_field_strage[2].obj_no, widget_of(2));
}

TEST_F(FieldOps, CompressionMakesTheFontsReachable) {
    // Resources without /Font, in an object of their own; a second field's appearance names
    // no font of its own, and the form's default resources hold it.
    int res = 0;
    load({field("a", 600), field("b", 560)}, [&] {
        res = tb::add_object();
        tb::array(res, "ProcSet", "/PDF /Text");
        page_with_resources(res);
        g_st.p_elem_strage[get_elem(ap_of(1), "Helv")].f_type = 0;
    });
    fill_by_hand(0, "A");
    fill_by_hand(1, "B");
    compress_field(kPage);
    int font = dict_entry(res, "Font");
    ASSERT_NE(font, -1);
    int helv = subdict_entry(font, "Helv");
    ASSERT_NE(helv, -1);
    EXPECT_EQ(g_st.p_elem_strage[helv].data.obj_no, 3);
    EXPECT_NE(flattened().find("(B) Tj"), std::string::npos);
}

TEST_F(FieldOps, CompressionGivesClashingResourcesFreshNames) {
    int other = 0;
    load({field("a", 600), field("b", 560)}, [&] {
        // The page's own /Helv is another font than the fields'; b's /Helv is a third one.
        other = tb::add_object();
        tb::name(other, "Type", "Font");
        append_elem_objref(kPage, get_elem(kPage, "Font"), "Helv", other);
        int third = tb::add_object();
        tb::name(third, "Type", "Font");
        g_st.p_elem_strage[get_elem(ap_of(1), "Helv")].data.obj_no = third;
    });
    fill_by_hand(0, "/Helv");
    fill_by_hand(1, "B");
    compress_field(kPage);
    std::string c = flattened();
    // The names change where they name resources, not inside strings.
    EXPECT_NE(c.find("/KsF1 12 Tf 0 g 2 5 Td (/Helv) Tj"), std::string::npos) << c;
    EXPECT_NE(c.find("/KsF2 12 Tf 0 g 2 5 Td (B) Tj"), std::string::npos) << c;
    int fonts = get_elem(kPage, "Font");
    EXPECT_EQ(g_st.p_elem_strage[subdict_entry(fonts, "Helv")].data.obj_no, other);
    EXPECT_EQ(g_st.p_elem_strage[subdict_entry(fonts, "KsF1")].data.obj_no, 3);
    EXPECT_NE(subdict_entry(fonts, "KsF2"), -1);
    EXPECT_EQ(g_st.p_xref_strage[widget_of(0)].first_elem, 0);
    EXPECT_EQ(g_st.p_xref_strage[widget_of(1)].first_elem, 0);
}

TEST_F(FieldOps, CompressionDropsHiddenAndNoViewFields) {
    // Also a widget that points at the page but that the page does not list (an old copy a
    // producer left behind), which no viewer shows.
    load({field("hidden", 600), field("noview", 560), field("shown", 520), field("stale", 480)},
         [] {
             g_st.p_elem_strage[get_elem(widget_of(0), "F")].data.int_data = 2 | 4;   // Hidden
             g_st.p_elem_strage[get_elem(widget_of(1), "F")].data.int_data = 32 | 4;  // NoView
             st_elem& a = g_st.p_elem_strage[get_elem(kPage, "Annots")];
             blank_array_ref(elem_bytes(a), a.data.str.len, widget_of(3));
         });
    fill_by_hand(0, "Hidden");
    fill_by_hand(1, "NoView");
    fill_by_hand(2, "Shown");
    fill_by_hand(3, "Stale");
    compress_field(kPage);
    std::string c = flattened();
    EXPECT_EQ(c.find("Hidden"), std::string::npos);
    EXPECT_EQ(c.find("NoView"), std::string::npos);
    EXPECT_EQ(c.find("Stale"), std::string::npos);
    EXPECT_NE(c.find("(Shown) Tj"), std::string::npos);
    for (int f : {0, 1, 2, 3}) EXPECT_EQ(g_st.p_field_strage[f].obj_no, 0);
}

TEST_F(FieldOps, CompressionChecksEachBlocksRealLength) {
    load({field("big", 600), field("more", 500)});
    // One block larger than the whole buffer is refused before it is copied.
    fill_by_hand(0, std::string(CSTREAM_SIZE + 10, 'x'));
    EXPECT_EQ(failure_of([] { compress_field(kPage); }), "Field data workspace overflow.");

    // A block that just fits is taken, the next one is refused.
    load({field("big", 600), field("more", 500)});
    // A block is its text and 130 bytes around it; the content starts with 2 bytes.
    fill_by_hand(0, std::string(CSTREAM_SIZE - 250, 'x'));
    fill_by_hand(1, "small");
    EXPECT_EQ(failure_of([] { compress_field(kPage); }), "Field data workspace overflow.");
    load({field("big", 600)});
    fill_by_hand(0, std::string(CSTREAM_SIZE - 250, 'x'));
    EXPECT_EQ(failure_of([] { compress_field(kPage); }), "");
    EXPECT_EQ(flattened().size(), static_cast<size_t>(CSTREAM_SIZE - 250 + 130 + 2));
}

TEST_F(FieldOps, CompressionDropsTrailingObjectsAndTheirReferences) {
    const int holder = 4;  // the AcroForm, which comes before the fields
    load({field("a", 600), field("b", 560)}, [&] {
        // References to the widgets, directly and in array texts; b's widget names the
        // holder as its parent, which lists b as its kid.
        tb::ref(holder, "Widget", widget_of(1));
        tb::array(holder, "CO", "7 0 R 9 0 R");
        tb::array(holder, "Kids", "9 0 R");
        tb::ref(widget_of(1), "Parent", holder);
    });
    fill_by_hand(0, "A");
    fill_by_hand(1, "B");
    compress_field(kPage);
    // The fields' objects were the last ones: the count ends before them, then the new
    // stream and the saved-state stream follow.
    EXPECT_EQ(g_st.num_xref_strage, widget_of(0) + 2);
    EXPECT_STREQ(g_st.p_elem_strage[dict_entry(widget_of(0), "Filter")].data.name, "FlateDecode");
    EXPECT_EQ(entry_text(widget_of(0) + 1, "stream"), "q\n");
    // References into the dropped range cannot point at the next page's objects.
    EXPECT_EQ(entry_text(holder, "CO"), " null  null ");
    EXPECT_EQ(entry_text(holder, "Kids").find_first_not_of(' '), std::string::npos);
    EXPECT_EQ(entry_text(holder, "Widget"), "null");
    EXPECT_EQ(g_st.p_elem_strage[dict_entry(holder, "Widget")].data.str.type, STR_BARE);
}

TEST_F(FieldOps, CompressionTakesOnlyThePagesOwnFields) {
    tb::PageSpec one, two;
    one.fields = {field("a", 600)};
    two.fields = {field("b", 600)};
    // Page objects 5 and 9 (content 6 and 10); a: widget 7, b: widget 11.
    load(std::vector<tb::PageSpec>{one, two}, [] {
        g_st.p_elem_strage[get_elem(11, "P")].f_type = 0;  // found through the page's /Annots
    });
    compress_field(9);
    EXPECT_NE(g_st.p_xref_strage[7].first_elem, 0);
    EXPECT_EQ(g_st.p_field_strage[0].obj_no, 7);
    EXPECT_EQ(g_st.p_field_strage[1].obj_no, 0);
    EXPECT_NE(flattened().find(" q 1 0 0 1 72.000000 600.000000 cm"), std::string::npos);
    compress_field(5);
    EXPECT_EQ(g_st.p_xref_strage[7].first_elem, 0);
    EXPECT_EQ(g_st.p_field_strage[0].obj_no, 0);
}
