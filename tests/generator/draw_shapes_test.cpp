// Lines and boxes: the content text for each rotation, and how the drawing is linked into
// the page's Contents and resources in the store.
#include "generator/draw_shapes.h"

#include <gtest/gtest.h>

#include <string>

#include "generator/doc_state.h"
#include "generator/operations.h"
#include "generator/page_contents.h"
#include "store/element_ops.h"
#include "store/failure.h"
#include "tests/support/template_builder.h"

namespace {

std::string elem_text(int e) {
    const st_elem& el = elem_at(e);
    return std::string(elem_bytes(el), static_cast<size_t>(el.data.str.len));
}

std::string marked(int n) {
    return std::string(1, REF_MARKER) + std::to_string(n) + " 0 R ";
}

// A store with a Pages node (1) and a page (2) whose entries the test adds.
int bare_page() {
    tb::begin(3);
    tb::name(1, "Type", "Pages");
    tb::name(2, "Type", "Page");
    tb::ref(2, "Parent", 1);
    tb::page_flag(2);
    return 2;
}

std::string stream_of(int obj) {
    return elem_text(get_elem(obj, LABEL_STREAM));
}

}  // namespace

TEST(ShapeText, UnrotatedLineMatchesTheFixedForm) {
    PageGeometry g;
    g.xx = 595, g.yy = 842;
    EXPECT_EQ(shape_content_text(Shape::line, g, 10, 20, 100, 0, 1, 0, 0, 0, 0),
              "q 0 0 0 RG 1.000000 w 0 0 0 rg 1 0 0 1 10.000000 822.000000 cm 0 0 m "
              "100.000000 -0.000000 l S Q");
    // d1 alone does not make a dash; any of d2..d4 does.
    EXPECT_EQ(shape_content_text(Shape::line, g, 10, 20, 100, 0, 1, 5, 0, 0, 0),
              shape_content_text(Shape::line, g, 10, 20, 100, 0, 1, 0, 0, 0, 0));
    EXPECT_EQ(shape_content_text(Shape::line, g, 10, 20, 100, 0, 1, 5, 0, 3, 0),
              "q 0 0 0 RG 1.000000 w [ 5 0 3 0 ] 0 d 0 0 0 rg 1 0 0 1 10.000000 822.000000 cm "
              "0 0 m 100.000000 -0.000000 l S Q");
}

TEST(ShapeText, BoxPathForEachRotation) {
    PageGeometry g;
    g.xx = 600, g.yy = 800;
    const char* head = "q 0 0 0 RG 2.000000 w 0 0 0 rg 1 0 0 1 ";
    const struct {
        Shape shape;
        int rotate;
        const char* path;  // what follows head
    } cases[] = {
        {Shape::box, 0,
         "10.000000 780.000000 cm 0 0 m 0 -40.000000 l 30.000000 -40.000000 l "
         "30.000000 0 l 0 0 l S Q"},
        {Shape::box, 90,
         "20.000000 10.000000 cm 0 0 m 0 30.000000 l 40.000000 30.000000 l "
         "40.000000 0 l 0 0 l S Q"},
        {Shape::box, 270,
         "580.000000 790.000000 cm 0 0 m 0 -30.000000 l -40.000000 -30.000000 l "
         "-40.000000 0 l 0 0 l S Q"},
        // Half a turn: displayed (10, 20) is (590, 20), the box runs left and up.
        {Shape::box, 180,
         "590.000000 20.000000 cm 0 0 m 0 40.000000 l -30.000000 40.000000 l "
         "-30.000000 0 l 0 0 l S Q"},
        {Shape::line, 90, "20.000000 10.000000 cm 0 0 m 40.000000 30.000000 l S Q"},
        {Shape::line, 270, "580.000000 790.000000 cm 0 0 m -40.000000 -30.000000 l S Q"},
    };
    for (const auto& c : cases) {
        g.rotate = c.rotate;
        EXPECT_EQ(shape_content_text(c.shape, g, 10, 20, 30, 40, 2, 0, 0, 0, 0),
                  std::string(head) + c.path)
            << c.rotate;
    }
    // Values that are no quarter turn are drawn as on an upright page.
    PageGeometry up = g;
    up.rotate = 0;
    g.rotate = 45;
    EXPECT_EQ(shape_content_text(Shape::box, g, 1, 2, 3, 4, 1, 0, 0, 0, 0),
              shape_content_text(Shape::box, up, 1, 2, 3, 4, 1, 0, 0, 0, 0));
}

TEST(ShapeText, MediaBoxOriginShiftsTheDrawing) {
    PageGeometry g;
    g.x0 = 100, g.y0 = 50, g.xx = 712, g.yy = 842;
    EXPECT_NE(shape_content_text(Shape::line, g, 10, 20, 5, 0, 1, 0, 0, 0, 0)
                  .find("1 0 0 1 110.000000 822.000000 cm"),
              std::string::npos);
    g.rotate = 90;
    EXPECT_NE(shape_content_text(Shape::line, g, 10, 20, 5, 0, 1, 0, 0, 0, 0)
                  .find("1 0 0 1 120.000000 60.000000 cm"),
              std::string::npos);
}

TEST(PageDrawing, CallsAppendStreamsAfterTheOldContent) {
    tb::simple_template("/dev/null", "x");  // leaves the store loaded: page 5, content 6
    int page = find_page_obj();
    ASSERT_EQ(page, 5);
    int before = g_st.num_xref_strage;
    draw_line(10, 20, 100, 0, 1, 0, 0, 0, 0);
    draw_box(10, 20, 100, 50, 1, 0, 0, 0, 0);
    draw_line(0, 0, 1, 1, 1, 2, 2, 2, 2);
    ASSERT_EQ(g_st.num_xref_strage, before + 3);
    int c = get_elem(page, "Contents");
    const st_elem& ce = elem_at(c);
    ASSERT_EQ(ce.f_type, ELEM_TYPE_STRING);
    EXPECT_EQ(ce.data.str.type, STR_ARRAY);
    EXPECT_EQ(ce.data.str.f_renum, 1);
    EXPECT_EQ(elem_text(c),
              marked(6) + marked(before) + " " + marked(before + 1) + " " + marked(before + 2));
    // Each drawing is its own uncompressed stream with its length.
    std::string s = stream_of(before);
    EXPECT_EQ(get_elem_int(before, nullptr, "Length"), static_cast<int>(s.size()));
    EXPECT_EQ(get_elem(before, "Filter"), -1);
    EXPECT_EQ(s.rfind("q 0 0 0 RG 1.000000 w", 0), 0u);
    EXPECT_NE(s.find("1 0 0 1 10.000000 772.000000 cm"), std::string::npos);
}

TEST(PageDrawing, PageWithoutContentsGetsOneReference) {
    int page = bare_page();
    tb::array(page, "MediaBox", "0 0 200 300");
    draw_box(1, 2, 3, 4, 1, 0, 0, 0, 0);
    int c = get_elem(page, "Contents");
    ASSERT_NE(c, -1);
    EXPECT_EQ(elem_at(c).f_type, ELEM_TYPE_OBJREF);
    EXPECT_EQ(elem_at(c).data.obj_no, 3);
}

TEST(PageDrawing, UnderGoesFirstInBothContentsForms) {
    int page = bare_page();
    tb::array(page, "MediaBox", "0 0 200 300");
    tb::ref(page, "Contents", 9);
    link_page_contents(page, 11, true);
    EXPECT_EQ(elem_text(get_elem(page, "Contents")), marked(11) + marked(9));
    link_page_contents(page, 12, true);
    EXPECT_EQ(elem_text(get_elem(page, "Contents")), marked(12) + marked(11) + marked(9) + " ");
}

TEST(PageDrawing, ContentsHeldInAnArrayObjectIsExtendedThere) {
    int page = bare_page();
    tb::array(page, "MediaBox", "0 0 200 300");
    int arr = tb::add_object();
    tb::direct_array(arr, "7 0 R 8 0 R");
    tb::ref(page, "Contents", arr);
    draw_line(0, 0, 10, 10, 1, 0, 0, 0, 0);
    int added = g_st.num_xref_strage - 1;
    EXPECT_EQ(elem_at(get_elem(page, "Contents")).f_type, ELEM_TYPE_OBJREF);
    std::string t = elem_text(get_elem(arr, LABEL_IMMEDIATE));
    EXPECT_NE(t.find(marked(added)), std::string::npos);
    EXPECT_EQ(elem_at(get_elem(arr, LABEL_IMMEDIATE)).data.str.f_renum, 1);
}

TEST(PageDrawing, GeometryIsInheritedAndMissingGeometryRefused) {
    int page = bare_page();
    tb::array(1, "MediaBox", "0 0 400 500");
    tb::integer(1, "Rotate", 90);
    PageGeometry g = read_page_geometry(page);
    EXPECT_EQ(g.xx, 400);
    EXPECT_EQ(g.yy, 500);
    EXPECT_EQ(g.rotate, 90);
    // The page takes the inherited values over as its own.
    EXPECT_EQ(elem_text(get_elem(page, "MediaBox")), elem_text(get_elem(1, "MediaBox")));
    EXPECT_EQ(get_elem_int(page, nullptr, "Rotate"), 90);
    // The page's own entries win over the page tree's.
    page = bare_page();
    tb::array(1, "MediaBox", "0 0 400 500");
    tb::integer(1, "Rotate", 90);
    tb::array(page, "MediaBox", "[0 0 100 200]");
    tb::integer(page, "Rotate", 0);
    g = read_page_geometry(page);
    EXPECT_EQ(g.yy, 200);
    EXPECT_EQ(g.rotate, 0);

    page = bare_page();
    EXPECT_THROW(draw_line(0, 0, 1, 1, 1, 0, 0, 0, 0), Failure);
    EXPECT_EQ(get_elem(page, "Contents"), -1);
    tb::begin(2);
    try {
        draw_box(0, 0, 1, 1, 1, 0, 0, 0, 0);
        FAIL();
    } catch (const Failure& f) {
        EXPECT_STREQ(f.what(), "Page Object Not Found.");
    }
}

TEST(PageDrawing, OperationsNeedAnOpenPage) {
    bare_page();
    g_doc = DocState{};
    g_doc.opened = true;
    g_doc.seq = SEQ_STARTED;
    try {
        _drawLine(0, 0, 1, 1, 1, 0, 0, 0, 0);
        FAIL();
    } catch (const Failure& f) {
        EXPECT_STREQ(f.what(), "Illegal method calling sequence.");
    }
    EXPECT_THROW(_drawBox(0, 0, 1, 1, 1, 0, 0, 0, 0), Failure);
    EXPECT_EQ(g_st.num_xref_strage, 3);
    g_doc = DocState{};
}

TEST(PageResources, XObjectEntryLandsInTheResourcesDictionary) {
    // Inline resources with an XObject dictionary: the entry becomes its first item.
    int page = bare_page();
    tb::resource(page, "XObject", "Old", 9);
    enter_xobject_resource(page, "ImKestrel1", 7);
    int x = get_elem(page, "XObject");
    EXPECT_STREQ(elem_at(elem_at(x).next_elem).label, "ImKestrel1");

    // Inline resources without XObject: a new dictionary opens the resources.
    page = bare_page();
    tb::resource(page, "Font", "F1", 9);
    enter_xobject_resource(page, "ImKestrel2", 7);
    int r = get_elem(page, "Resources");
    int xs = elem_at(r).next_elem;
    EXPECT_STREQ(elem_at(xs).label, "XObject");
    EXPECT_EQ(elem_at(xs).f_type, ELEM_TYPE_SUBDIC_START);
    EXPECT_EQ(elem_at(elem_at(xs).next_elem).data.obj_no, 7);

    // Resources in an object of their own, XObject in a third object.
    page = bare_page();
    int res = tb::add_object();
    int xo = tb::add_object();
    tb::ref(page, "Resources", res);
    tb::ref(res, "XObject", xo);
    tb::ref(xo, "Other", 9);
    enter_xobject_resource(page, "ImKestrel3", 8);
    int e = get_elem(xo, "ImKestrel3");
    ASSERT_NE(e, -1);
    EXPECT_EQ(elem_at(e).data.obj_no, 8);
    EXPECT_EQ(get_elem(res, "ImKestrel3"), -1);

    // Resources object without XObject: a dictionary is appended to it.
    page = bare_page();
    res = tb::add_object();
    tb::ref(page, "Resources", res);
    tb::ref(res, "ProcSet", 9);
    enter_xobject_resource(page, "ImKestrel4", 8);
    EXPECT_EQ(elem_at(get_elem(res, "XObject")).f_type, ELEM_TYPE_SUBDIC_START);
    EXPECT_EQ(elem_at(get_elem(res, "ImKestrel4")).data.obj_no, 8);
}

TEST(PageResources, InheritedResourcesBecomeThePagesOwn) {
    int page = bare_page();
    tb::resource(1, "Font", "F1", 9);
    ensure_own_resources(page);
    enter_xobject_resource(page, "ImKestrel1", 7);
    // The page holds a copy with the inherited font and the new image; the tree is unchanged.
    EXPECT_EQ(elem_at(get_elem(page, "F1")).data.obj_no, 9);
    EXPECT_NE(get_elem(page, "ImKestrel1"), -1);
    EXPECT_EQ(get_elem(1, "ImKestrel1"), -1);

    page = bare_page();
    int res = tb::add_object();
    tb::ref(1, "Resources", res);
    ensure_own_resources(page);
    EXPECT_EQ(elem_at(get_elem(page, "Resources")).data.obj_no, res);

    page = bare_page();
    ensure_own_resources(page);
    enter_xobject_resource(page, "ImKestrel1", 7);
    EXPECT_NE(get_elem(page, "ImKestrel1"), -1);
}
