#include "generator/image_place.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "generator/doc_state.h"
#include "generator/field_names.h"
#include "generator/image_input.h"
#include "generator/image_state.h"
#include "generator/jpeg_scan.h"
#include "generator/operations.h"
#include "generator/page_contents.h"
#include "store/change_marks.h"
#include "store/element_ops.h"
#include "store/field_extras.h"

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

// One image file read into memory with what read_image_file tells about it.
struct ImageData {
    std::unique_ptr<unsigned char, FreeDeleter> data;
    int type_jpeg = 0, type_cmyk = 0, img_x = 0, img_y = 0, img_size = 0;
};

ImageData read_image(const char* image_file) {
    ImageData im;
    im.data.reset(read_image_file(image_file, &im.type_jpeg, &im.type_cmyk, &im.img_x, &im.img_y,
                                  &im.img_size));
    return im;
}

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    va_list ap, ap2;
    va_start(ap, fmt);
    va_copy(ap2, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string s(static_cast<size_t>(n > 0 ? n : 0) + 1, '\0');
    std::vsnprintf(s.data(), s.size(), fmt, ap2);
    va_end(ap2);
    s.resize(static_cast<size_t>(n > 0 ? n : 0));
    return s;
}

std::string resource_name(int seq) {
    return format("ImKestrel%d", seq);
}

// True when some element of the loaded page already carries `name`, as its label (a
// resource entry) or as its value (an XObject's /Name): a template compiled from an
// earlier output holds the images placed then.
bool name_in_use(const char* name) {
    const Storages& s = g_st;
    for (int e = 1; e < s.num_elem_strage; ++e) {
        const st_elem& el = s.p_elem_strage[e];
        if (el.label[0] != name[0] && (el.f_type != ELEM_TYPE_NAME || el.data.name[0] != name[0]))
            continue;
        if (std::strncmp(el.label, name, LABEL_SIZE) == 0) return true;
        if (el.f_type == ELEM_TYPE_NAME && std::strncmp(el.data.name, name, LABEL_SIZE) == 0)
            return true;
    }
    return false;
}

// Advances the document's image counter to the next number whose resource name the page
// does not use yet.
void next_image_seq() {
    do {
        ++g_img.xobject_seq;
    } while (name_in_use(resource_name(g_img.xobject_seq).c_str()));
}

// The reference held by entry `label` of object `obj` or, failing that, of its Parent.
int referenced_obj(int obj, const char* label) {
    for (int hop = 0; hop < 2 && obj != -1; ++hop) {
        int e = get_elem(obj, label);
        if (e != -1) {
            const st_elem& el = elem_at(e);
            if (el.f_type == ELEM_TYPE_OBJREF && valid_xref(el.data.obj_no)) return el.data.obj_no;
            return -1;
        }
        obj = ref_target(get_elem(obj, "Parent"));
    }
    return -1;
}

// The page that shows widget `widget`: the one its /P names; without /P, the page whose
// Annots lists the widget; else the first page of the store.
int widget_page(int widget) {
    int p = referenced_obj(widget, "P");
    if (p != -1 && xref_at(p).f_page == 1) return p;
    char ref[16];
    int n = std::snprintf(ref, sizeof ref, "%c%d ", REF_MARKER, widget);
    for (int i = 0; i < g_st.num_xref_strage; ++i) {
        if (g_st.p_xref_strage[i].f_page != 1) continue;
        int len = 0;
        const char* annots = get_elem_string(i, nullptr, "Annots", &len);
        if (annots && memmem(annots, static_cast<size_t>(len), ref, static_cast<size_t>(n)))
            return i;
    }
    if (p != -1) return p;
    return find_page_obj();
}

// The rectangle held by entry `label` of object `obj` as array text, normalised so that
// (v[0], v[1]) is the lower-left corner.
bool read_rect(int obj, const char* label, float v[4]) {
    int len = 0;
    const char* s = get_elem_string(obj, nullptr, label, &len);
    if (!s) return false;
    std::string text(s, static_cast<size_t>(len));
    const char* p = text.c_str();
    while (*p == ' ' || *p == '\r' || *p == '\n' || *p == '\t') ++p;
    if (*p == '[') ++p;
    for (int i = 0; i < 4; ++i) {
        char* end = nullptr;
        v[i] = std::strtof(p, &end);
        if (end == p) return false;
        p = end;
    }
    if (v[2] < v[0]) std::swap(v[0], v[2]);
    if (v[3] < v[1]) std::swap(v[1], v[3]);
    return true;
}

}  // namespace

std::string page_image_text(const PageGeometry& g, float xpos, float ypos, float mag, int img_x,
                            int img_y, int seq) {
    double W = static_cast<double>(mag) * img_x, H = static_cast<double>(mag) * img_y;
    double X = xpos, Y = ypos;
    if (g.rotate == 90)
        return format("q 0 1 -1 0 0 0 cm %f 0 0 %f %f %f cm /ImKestrel%d Do Q", W, H, X + g.y0,
                      -Y - H - g.x0, seq);
    if (g.rotate == 270)
        return format("q %f 0 0 %f %f %f cm 0 -1 1 0 0 0 cm /ImKestrel%d Do Q", H, W, g.xx - Y - H,
                      g.yy - X, seq);
    if (g.rotate == 180)
        return format("q %f 0 0 %f %f %f cm /ImKestrel%d Do Q", -W, -H, g.xx - X, g.y0 + Y + H,
                      seq);
    return format("q %f 0 0 %f %f %f cm /ImKestrel%d Do Q", W, H, X + g.x0, g.yy - Y - H, seq);
}

std::string field_image_text(const float bbox[4], float mag, int img_x, int img_y, int align,
                             int valign, int seq) {
    double w = static_cast<double>(bbox[2]) - bbox[0], h = static_cast<double>(bbox[3]) - bbox[1];
    double m = mag;
    if (mag == 0) {
        double mx = w / img_x, my = h / img_y;
        m = mx < my ? mx : my;
    }
    double W = m * img_x, H = m * img_y;
    double bias_x = align < 0 ? 0 : align == 0 ? (w - W) / 2 : w - W;
    double bias_y = valign < 0 ? 0 : valign == 0 ? (h - H) / 2 : h - H;
    return format("q %f 0 0 %f %f %f cm /ImKestrel%d Do Q", W, H, bbox[0] + bias_x,
                  bbox[1] + h - H - bias_y, seq);
}

void append_img_xobject(int page_obj_no, const unsigned char* data, int type_jpeg, int type_cmyk,
                        int img_x, int img_y, int img_size, int* xobj_obj_no_p, int mask_mode) {
    new_xref_strage();
    int obj = g_st.cur_xref_strage;
    std::string name = resource_name(g_img.xobject_seq);
    ensure_own_resources(page_obj_no);
    enter_xobject_resource(page_obj_no, name.c_str(), obj);

    append_elem_name(obj, 0, "Type", "XObject");
    append_elem_name(obj, 0, "Subtype", "Image");
    append_elem_name(obj, 0, "Name", name.c_str());
    append_elem_name(obj, 0, "Filter", type_jpeg ? "DCTDecode" : "FlateDecode");
    append_elem_int(obj, 0, "Width", img_x);
    append_elem_int(obj, 0, "Height", img_y);
    append_elem_int(obj, 0, "BitsPerComponent", 8);
    const char* mask = nullptr;
    if (type_cmyk == -1) {
        append_elem_name(obj, 0, "ColorSpace", "DeviceGray");
    } else if (type_cmyk == 1) {
        if (g_img.g_icc_profile_obj_no != 0) {
            std::string cs = format("/ICCBased %d 0 R", g_img.g_icc_profile_obj_no);
            append_elem_str(obj, 0, "ColorSpace", STR_ARRAY, cs.data(),
                            static_cast<int>(cs.size()));
        } else {
            append_elem_name(obj, 0, "ColorSpace", "DeviceCMYK");
        }
        // Inverted samples (an Adobe JPEG) are read back the right way round; the colour
        // keys below apply to the samples as stored.
        if (type_jpeg && jpeg_scan(data, static_cast<size_t>(img_size)).adobe) {
            static const char decode[] = "1 0 1 0 1 0 1 0";
            append_elem_str(obj, 0, "Decode", STR_ARRAY, decode, sizeof decode - 1);
        }
        if (mask_mode == 1) mask = "254 255 254 255 254 255 254 255";
        if (mask_mode == 2) mask = "0 255 0 255 0 255 0 10";
    } else {
        append_elem_name(obj, 0, "ColorSpace", "DeviceRGB");
        if (mask_mode == 1) mask = "224 255 224 255 224 255";
        if (mask_mode == 2) mask = "0 31 0 31 0 31";
    }
    if (mask) append_elem_str(obj, 0, "Mask", STR_ARRAY, mask, static_cast<int>(std::strlen(mask)));
    // A PNG's transparency goes with it as a soft mask, unless a colour mask was asked for.
    if (!type_jpeg && !mask && !g_img.alpha.empty()) {
        new_xref_strage();
        const int smask = g_st.cur_xref_strage;
        append_elem_name(smask, 0, "Type", "XObject");
        append_elem_name(smask, 0, "Subtype", "Image");
        append_elem_name(smask, 0, "Filter", "FlateDecode");
        append_elem_int(smask, 0, "Width", img_x);
        append_elem_int(smask, 0, "Height", img_y);
        append_elem_int(smask, 0, "BitsPerComponent", 8);
        append_elem_name(smask, 0, "ColorSpace", "DeviceGray");
        const int n = static_cast<int>(g_img.alpha.size());
        append_elem_int(smask, 0, "Length", n);
        append_elem_str(smask, 0, "STREAM", STR_STREAM,
                        reinterpret_cast<const char*>(g_img.alpha.data()), n);
        append_elem_objref(obj, 0, "SMask", smask);
    }
    append_elem_int(obj, 0, "Length", img_size);
    append_elem_str(obj, 0, "STREAM", STR_STREAM, reinterpret_cast<const char*>(data), img_size);
    *xobj_obj_no_p = obj;
}

void append_img_contents(int page_obj_no, float xpos, float ypos, float mag, int img_x, int img_y) {
    PageGeometry g = read_page_geometry(page_obj_no);
    std::string text = page_image_text(g, xpos, ypos, mag, img_x, img_y, g_img.xobject_seq);
    int obj = add_content_stream(text.data(), static_cast<int>(text.size()));
    link_page_contents(page_obj_no, obj, g_img.g_img_draw_under != 0);
}

void set_page_image(const char* image_file, float xpos, float ypos, float mag, int mask_mode) {
    ImageData im = read_image(image_file);
    int page = find_page_obj();
    // The geometry is checked before anything is added, so a page without a usable
    // MediaBox is refused untouched.
    read_page_geometry(page);
    next_image_seq();
    int xobj = 0;
    append_img_xobject(page, im.data.get(), im.type_jpeg, im.type_cmyk, im.img_x, im.img_y,
                       im.img_size, &xobj, mask_mode);
    append_img_contents(page, xpos, ypos, mag, im.img_x, im.img_y);
}

void append_field_img_contents(int page_obj_no, int field_no, float mag, int img_x, int img_y,
                               int xobj_obj_no, int align, int valign) {
    (void)page_obj_no;
    const st_field& f = g_st.p_field_strage[field_no];
    std::string fname(f.name, strnlen(f.name, sizeof f.name));
    int ap = referenced_obj(f.obj_no, "N");
    if (ap == -1) throwf("Undefined Field Appearance(%s)", fname.c_str());
    int stream = dict_entry(ap, LABEL_STREAM);
    if (stream == -1 || elem_at(stream).f_type != ELEM_TYPE_STRING ||
        elem_at(stream).data.str.type != STR_STREAM)
        throwf("Undefined Field Appearance(%s)", fname.c_str());
    float bbox[4];
    if (!read_rect(ap, "BBox", bbox)) throwf("Illegal Field Appearance BBox(%s)", fname.c_str());

    std::string text = field_image_text(bbox, mag, img_x, img_y, align, valign, g_img.xobject_seq);
    int len = static_cast<int>(text.size());
    set_plain_stream(ap, stream, text.data(), len);
    if (dict_entry(ap, "Resources") == -1) {
        int s = append_elem_subdic_start(ap, 0, "Resources");
        append_elem_subdic_end(ap, s, "Resources");
    }
    enter_xobject_resource(ap, resource_name(g_img.xobject_seq).c_str(), xobj_obj_no);
}

namespace {

// True when record i can show an image in its widget: a field whose appearance was analysed
// for filling, or a push button or signature field, which forms give for a photo or a
// signature (their normal appearance is drawn anew).
bool takes_image(int i) {
    const st_field& f = g_st.p_field_strage[i];
    if (f.obj_no <= 0 || !valid_xref(f.obj_no)) return false;
    const char type = field_type(i);
    return f.f_ap != 0 || type == FIELD_TYPE_PUSHBUTTON || type == FIELD_TYPE_SIGNATURE;
}

}  // namespace

void set_field_image(const char* field_name, const char* image_file, float mag, int align,
                     int valign, int mask_mode) {
    ImageData im = read_image(image_file);
    const int field_no = field_record_index(field_name);
    const char* name = resolve_field_name(field_name);
    if (field_no == -1) throwf("Undefined Field Name(%s)", field_name);
    int widget = g_st.p_field_strage[field_no].obj_no;
    if (widget <= 0 || !valid_xref(widget)) throwf("Undefined Field Appearance(%s)", field_name);
    int page = widget_page(widget);

    next_image_seq();
    int xobj = 0;
    append_img_xobject(page, im.data.get(), im.type_jpeg, im.type_cmyk, im.img_x, im.img_y,
                       im.img_size, &xobj, mask_mode);
    if (!takes_image(field_no)) throwf("Undefined Field Appearance(%s)", field_name);
    // Every widget of the field shows the image; widgets that share one appearance stream
    // get it once.
    for (int i = field_no; i < g_st.num_field_strage; ++i) {
        if (!field_name_matches(i, name) || !takes_image(i)) continue;
        const int ap = referenced_obj(g_st.p_field_strage[i].obj_no, "N");
        bool done = false;
        for (int k = field_no; k < i && !done; ++k)
            done = field_name_matches(k, name) && takes_image(k) &&
                   referenced_obj(g_st.p_field_strage[k].obj_no, "N") == ap;
        if (!done) append_field_img_contents(page, i, mag, im.img_x, im.img_y, xobj, align, valign);
        if (i < FLAG_SET_FIELD_SIZE) g_doc.flag_set_field[i] = 1;
    }
}

void _setPageImageData(const char* imageFile, float xpos, float ypos, float mag, int mask_mode,
                       int draw_under) {
    check_seq(SEQ_IN_PAGE);
    g_img.g_img_draw_under = draw_under;
    try {
        set_page_image(imageFile, xpos, ypos, mag, mask_mode);
    } catch (...) {
        g_img.g_img_draw_under = 0;
        throw;
    }
    g_img.g_img_draw_under = 0;
}

void _setPageFieldImageData(const char* fieldName, const char* imageFile, float mag, int align,
                            int valign, int mask_mode) {
    check_seq(SEQ_IN_PAGE);
    set_field_image(fieldName, imageFile, mag, align, valign, mask_mode);
}
