// Image placement in the store: the XObject object, resource names, colour spaces and masks,
// the painting text on pages and in fields, and the ICC profile object.
#include "generator/image_place.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "generator/doc_state.h"
#include "generator/icc_profile.h"
#include "generator/image_state.h"
#include "generator/operations.h"
#include "generator/page_contents.h"
#include "generator/page_hooks.h"
#include "store/element_ops.h"
#include "store/failure.h"
#include "tests/generator/image_fixtures.h"
#include "tests/support/run_tools.h"
#include "tests/support/template_builder.h"

namespace {

std::string text_of(int e) {
    const st_elem& el = elem_at(e);
    return std::string(elem_bytes(el), static_cast<size_t>(el.data.str.len));
}

// "Label=value" for every element of an object's chain, in chain order.
std::vector<std::string> chain(int obj) {
    std::vector<std::string> out;
    for (int e = xref_at(obj).first_elem; e > 0; e = elem_at(e).next_elem) {
        const st_elem& el = elem_at(e);
        std::string v;
        if (el.f_type == ELEM_TYPE_NAME) v = std::string("/") + el.data.name;
        if (el.f_type == ELEM_TYPE_INTEGER) v = std::to_string(el.data.int_data);
        if (el.f_type == ELEM_TYPE_STRING)
            v = el.data.str.type == STR_STREAM ? "<data>" : "[" + text_of(e) + "]";
        out.push_back(std::string(el.label) + "=" + v);
    }
    return out;
}

std::string failure(void (*fn)()) {
    try {
        fn();
    } catch (const Failure& f) {
        return f.what();
    }
    return "(no failure)";
}

class ImagePlace : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!imgfix::available()) GTEST_SKIP() << "ImageMagick is not installed";
        images_reset();
        g_doc = DocState{};
        g_doc.opened = true;
        g_doc.seq = SEQ_IN_PAGE;
        base_ = d_.file("base.png");
        imgfix::base_png(base_, 40, 30);
        rgb_jpg_ = d_.file("rgb.jpg");
        imgfix::convert(tt::sh_quote(base_) + " " + tt::sh_quote(rgb_jpg_));
        tb::PageSpec p;
        p.fields.push_back({.name = "photo", .w = 200, .h = 100});
        tb::simple_template("/dev/null", {p});  // leaves the page in the store
        page_ = find_page_obj();
    }
    void TearDown() override {
        images_reset();
        g_doc = DocState{};
    }
    // The XObject entry `name` of the resources directly inside object `owner`.
    int resource(int owner, const std::string& name) {
        int e = get_elem(owner, name.c_str());
        return e == -1 ? -1 : elem_at(e).data.obj_no;
    }
    tt::TempDir d_;
    std::string base_, rgb_jpg_;
    int page_ = 0;
};

}  // namespace

TEST(ImageText, PageImageStandsUprightInEveryRotation) {
    PageGeometry g;
    g.xx = 612, g.yy = 792;
    EXPECT_EQ(page_image_text(g, 10, 20, 0.5f, 200, 100, 1),
              "q 100.000000 0 0 50.000000 10.000000 722.000000 cm /ImKestrel1 Do Q");
    g.rotate = 90;
    EXPECT_EQ(page_image_text(g, 10, 20, 0.5f, 200, 100, 2),
              "q 0 1 -1 0 0 0 cm 100.000000 0 0 50.000000 10.000000 -70.000000 cm /ImKestrel2 "
              "Do Q");
    g.rotate = 270;
    EXPECT_EQ(page_image_text(g, 10, 20, 0.5f, 200, 100, 3),
              "q 50.000000 0 0 100.000000 542.000000 782.000000 cm 0 -1 1 0 0 0 cm /ImKestrel3 "
              "Do Q");
    g.rotate = 0;
    EXPECT_EQ(page_image_text(g, 1, 2, 0, 200, 100, 4),
              "q 0.000000 0 0 0.000000 1.000000 790.000000 cm /ImKestrel4 Do Q");
}

TEST(ImageText, FieldImageIsFittedAndAligned) {
    const float box[4] = {0, 0, 200, 100};
    EXPECT_EQ(field_image_text(box, 0, 400, 400, 0, 0, 1),
              "q 100.000000 0 0 100.000000 50.000000 0.000000 cm /ImKestrel1 Do Q");
    EXPECT_EQ(field_image_text(box, 0, 400, 100, 1, -1, 2),
              "q 200.000000 0 0 50.000000 0.000000 50.000000 cm /ImKestrel2 Do Q");
    EXPECT_EQ(field_image_text(box, 0.125f, 400, 100, 1, 1, 3),
              "q 50.000000 0 0 12.500000 150.000000 0.000000 cm /ImKestrel3 Do Q");
    const float shifted[4] = {10, 20, 210, 120};
    EXPECT_EQ(field_image_text(shifted, 0, 400, 400, -1, -1, 4),
              "q 100.000000 0 0 100.000000 10.000000 20.000000 cm /ImKestrel4 Do Q");
}

TEST_F(ImagePlace, PageImageAddsTheXObjectItsNameAndItsContent) {
    int before = g_st.num_xref_strage;
    set_page_image(rgb_jpg_.c_str(), 10, 20, 1, 0);
    int xobj = before, content = before + 1;
    ASSERT_EQ(g_st.num_xref_strage, before + 2);
    long size = static_cast<long>(tt::read_file(rgb_jpg_).size());
    EXPECT_EQ(chain(xobj),
              (std::vector<std::string>{"Type=/XObject", "Subtype=/Image", "Name=/ImKestrel1",
                                        "Filter=/DCTDecode", "Width=40", "Height=30",
                                        "BitsPerComponent=8", "ColorSpace=/DeviceRGB",
                                        "Length=" + std::to_string(size), "STREAM=<data>"}));
    EXPECT_EQ(resource(page_, "ImKestrel1"), xobj);
    EXPECT_EQ(text_of(get_elem(content, LABEL_STREAM)),
              "q 40.000000 0 0 30.000000 10.000000 742.000000 cm /ImKestrel1 Do Q");
    std::string contents = text_of(get_elem(page_, "Contents"));
    EXPECT_EQ(contents.substr(contents.size() - std::to_string(content).size() - 5),
              std::to_string(content) + " 0 R ");
    // The same file again: a second XObject under the next name.
    set_page_image(rgb_jpg_.c_str(), 0, 0, 1, 0);
    EXPECT_EQ(resource(page_, "ImKestrel2"), before + 2);
}

TEST_F(ImagePlace, NewNamesSkipNamesTheTemplateHolds) {
    // A template compiled from an earlier output: its page already names ImKestrel1.
    int old_image = tb::add_object();
    tb::name(old_image, "Name", "ImKestrel1");
    enter_xobject_resource(page_, "ImKestrel1", old_image);
    int before = g_st.num_xref_strage;
    set_page_image(rgb_jpg_.c_str(), 10, 20, 1, 0);
    EXPECT_EQ(resource(page_, "ImKestrel1"), old_image);
    EXPECT_EQ(resource(page_, "ImKestrel2"), before);
    EXPECT_NE(text_of(get_elem(before + 1, LABEL_STREAM)).find("/ImKestrel2 Do"),
              std::string::npos);
    // Entered again (a field image in resources its appearance shares with the page): one
    // entry, which names the object given last.
    enter_xobject_resource(page_, "ImKestrel2", old_image);
    int entries = 0;
    for (int e = g_st.p_xref_strage[page_].first_elem; e > 0; e = elem_at(e).next_elem)
        entries += std::string(elem_at(e).label) == "ImKestrel2";
    EXPECT_EQ(entries, 1);
    EXPECT_EQ(resource(page_, "ImKestrel2"), old_image);
}

TEST_F(ImagePlace, ColourSpaceAndMaskFollowTheColourModel) {
    std::string gray = d_.file("gray.jpg"), cmyk = d_.file("cmyk.jpg"), png = d_.file("p.png");
    imgfix::convert(tt::sh_quote(base_) + " -colorspace Gray " + tt::sh_quote(gray));
    imgfix::convert(tt::sh_quote(base_) + " -colorspace CMYK " + tt::sh_quote(cmyk));
    imgfix::convert(tt::sh_quote(base_) + " " + tt::sh_quote(png));
    struct Case {
        std::string file;
        int mask_mode;
        std::string filter, colour, mask;
    } cases[] = {
        {png, 1, "/FlateDecode", "/DeviceRGB", "[224 255 224 255 224 255]"},
        {png, 2, "/FlateDecode", "/DeviceRGB", "[0 31 0 31 0 31]"},
        {png, 3, "/FlateDecode", "/DeviceRGB", ""},
        {gray, 1, "/DCTDecode", "/DeviceGray", ""},
        {cmyk, 1, "/DCTDecode", "/DeviceCMYK", "[254 255 254 255 254 255 254 255]"},
        {cmyk, 2, "/DCTDecode", "/DeviceCMYK", "[0 255 0 255 0 255 0 10]"},
    };
    int n = 0;
    for (const Case& c : cases) {
        int xobj = g_st.num_xref_strage;
        set_page_image(c.file.c_str(), 0, 0, 1, c.mask_mode);
        std::vector<std::string> el = chain(xobj);
        EXPECT_EQ(el[2], "Name=/ImKestrel" + std::to_string(++n));
        EXPECT_EQ(el[3], "Filter=" + c.filter) << c.file;
        EXPECT_EQ(el[7], "ColorSpace=" + c.colour) << c.file;
        // ImageMagick's CMYK JPEGs carry the Adobe marker: their samples are inverted.
        const size_t at = c.file == cmyk ? 9 : 8;
        if (c.file == cmyk) {
            EXPECT_EQ(el[8], "Decode=[1 0 1 0 1 0 1 0]");
        }
        EXPECT_EQ(el[at].rfind(c.mask.empty() ? "Length=" : "Mask=" + c.mask, 0), 0u)
            << c.file << " " << c.mask_mode << " " << el[at];
    }
    // With a profile loaded, CMYK images name it; RGB and gray images do not.
    tt::write_file(d_.file("p.icc"), std::string(200, 'x'));
    g_doc.base_num = 37;
    int profile = g_st.num_xref_strage;
    load_icc_profile(d_.file("p.icc").c_str());
    EXPECT_EQ(g_img.g_icc_profile_obj_no, 37 + profile);
    int xobj = g_st.num_xref_strage;
    set_page_image(cmyk.c_str(), 0, 0, 1, 0);
    EXPECT_EQ(chain(xobj)[7], "ColorSpace=[/ICCBased " + std::to_string(37 + profile) + " 0 R]");
    EXPECT_EQ(elem_at(get_elem(xobj, "ColorSpace")).data.str.f_renum, 0);
    xobj = g_st.num_xref_strage;
    set_page_image(png.c_str(), 0, 0, 1, 0);
    EXPECT_EQ(chain(xobj)[7], "ColorSpace=/DeviceRGB");
}

TEST_F(ImagePlace, ProfileObjectHoldsTheFileAsItIs) {
    tt::write_file(d_.file("empty.icc"), "");
    int obj = g_st.num_xref_strage;
    load_icc_profile(d_.file("empty.icc").c_str());
    EXPECT_EQ(chain(obj), (std::vector<std::string>{"Alternate=/DeviceCMYK", "N=4", "Length=0",
                                                    "stream=<data>"}));
    EXPECT_EQ(g_img.g_icc_profile_obj_no, obj);
    std::string bytes("ab\0cd\r\n", 7);
    tt::write_file(d_.file("b.icc"), bytes);
    load_icc_profile(d_.file("b.icc").c_str());
    EXPECT_EQ(text_of(get_elem(obj + 1, LABEL_STREAM)), bytes);
    EXPECT_EQ(g_img.g_icc_profile_obj_no, obj + 1);
    try {
        load_icc_profile(d_.file("none.icc").c_str());
        FAIL();
    } catch (const Failure& f) {
        EXPECT_EQ(std::string(f.what()), "fopen::error(" + d_.file("none.icc") + ")");
    }
    g_doc.seq = SEQ_STARTED;
    EXPECT_EQ(failure([] { _setIccProfile("/dev/null"); }), "Illegal method calling sequence.");
}

TEST_F(ImagePlace, DrawUnderPutsTheImageFirstForThisCallOnly) {
    int content = g_st.num_xref_strage + 1;
    _setPageImageData(rgb_jpg_.c_str(), 0, 0, 1, 0, 1);
    std::string contents = text_of(get_elem(page_, "Contents"));
    EXPECT_EQ(contents.substr(1, std::to_string(content).size()), std::to_string(content));
    EXPECT_EQ(g_img.g_img_draw_under, 0);
    static std::string missing;
    missing = d_.file("missing.jpg");
    EXPECT_EQ(failure([] { _setPageImageData(missing.c_str(), 0, 0, 1, 0, 1); }),
              "fopen::error(" + missing + ")");
    EXPECT_EQ(g_img.g_img_draw_under, 0);
}

TEST_F(ImagePlace, FieldImageReplacesTheAppearance) {
    std::string png = d_.file("wide.png");
    imgfix::convert("-size 400x400 xc:red " + tt::sh_quote(png));
    int widget = g_st.p_field_strage[0].obj_no;
    int ap = elem_at(get_elem(widget, "N")).data.obj_no;
    // A compressed appearance: the filter goes when the stream is rewritten.
    tb::name(ap, "Filter", "FlateDecode");
    int xobj = g_st.num_xref_strage;
    _setPageFieldImageData("photo", png.c_str(), 0, 0, 0, 0);
    std::string text = "q 100.000000 0 0 100.000000 50.000000 0.000000 cm /ImKestrel1 Do Q";
    EXPECT_EQ(text_of(get_elem(ap, LABEL_STREAM)), text);
    EXPECT_EQ(get_elem_int(ap, nullptr, "Length"), static_cast<int>(text.size()));
    EXPECT_EQ(elem_at(get_elem(ap, "Filter")).f_type, 0);
    EXPECT_EQ(resource(ap, "ImKestrel1"), xobj);
    EXPECT_EQ(resource(page_, "ImKestrel1"), xobj);
    EXPECT_EQ(g_doc.flag_set_field[0], 1);
    // The appearance keeps its font resources beside the image.
    EXPECT_NE(get_elem(ap, "Helv"), -1);

    int count = g_st.num_xref_strage;
    EXPECT_EQ(failure([] { _setPageFieldImageData("nope", "/dev/null", 0, 0, 0, 0); }),
              "fopen::error(/dev/null)");
    static std::string img;
    img = png;
    EXPECT_EQ(failure([] { _setPageFieldImageData("nope", img.c_str(), 0, 0, 0, 0); }),
              "Undefined Field Name(nope)");
    EXPECT_EQ(g_st.num_xref_strage, count);
    g_st.p_field_strage[0].f_ap = 0;
    EXPECT_EQ(failure([] { _setPageFieldImageData("photo", img.c_str(), 0, 0, 0, 0); }),
              "Undefined Field Appearance(photo)");
    EXPECT_EQ(g_st.num_xref_strage, count + 1);  // the XObject stays in the page
}

TEST_F(ImagePlace, FieldImageDropsTheFilterParametersWhole) {
    std::string png = d_.file("red.png");
    imgfix::convert("-size 20x20 xc:red " + tt::sh_quote(png));
    int ap = elem_at(get_elem(g_st.p_field_strage[0].obj_no, "N")).data.obj_no;
    tb::name(ap, "Filter", "FlateDecode");
    int parms = append_elem_subdic_start(ap, 0, "DecodeParms");
    tb::integer(ap, "Predictor", 12);
    tb::dict_end(ap);
    _setPageFieldImageData("photo", png.c_str(), 0, 0, 0, 0);
    // Leaving the dictionary's items behind would write them as entries of the stream.
    for (int e : value_elems(parms)) EXPECT_EQ(elem_at(e).f_type, 0) << elem_at(e).label;
    EXPECT_EQ(get_elem_int(ap, nullptr, "Length"), text_of(get_elem(ap, LABEL_STREAM)).size());
}

TEST_F(ImagePlace, FieldWidgetWithoutPageEntryUsesThePageThatListsIt) {
    std::string png = d_.file("p.png");
    imgfix::convert(tt::sh_quote(base_) + " " + tt::sh_quote(png));
    int widget = g_st.p_field_strage[0].obj_no;
    elem_at(get_elem(widget, "P")).f_type = 0;
    elem_at(get_elem(widget, "P")).label[0] = 0;
    set_field_image("photo", png.c_str(), 1, -1, -1, 0);
    EXPECT_NE(get_elem(page_, "ImKestrel1"), -1);
    // An appearance without a box is refused by name.
    int ap = elem_at(get_elem(widget, "N")).data.obj_no;
    elem_at(get_elem(ap, "BBox")).label[0] = 'X';
    static std::string img;
    img = png;
    EXPECT_EQ(failure([] { set_field_image("photo", img.c_str(), 1, -1, -1, 0); }),
              "Illegal Field Appearance BBox(photo)");
}
