#include "generator/text_fill.h"

#include <cstdio>
#include <cstring>

#include "generator/doc_state.h"
#include "generator/operations.h"
#include "generator/page_contents.h"
#include "generator/page_hooks.h"
#include "generator/text_layout.h"
#include "store/change_marks.h"
#include "store/element_ops.h"

FillState g_fill;

namespace {

bool name_is(const char (&have)[LABEL_SIZE], const char* want) {
    return std::strncmp(have, want, LABEL_SIZE) == 0;
}

// Where the font resources of appearance object `ap` live: the object holding them and the
// element after which a new entry goes (the Font dictionary's start, or 0 when the object is
// itself the font dictionary). False when the appearance has no font resources.
bool locate_fonts(int ap, int* owner, int* after) {
    int obj = ap;
    for (int hop = 0; hop < 2 && obj != -1; ++hop) {
        int fe = get_elem(obj, "Font");
        if (fe != -1) {
            if (elem_at(fe).f_type == ELEM_TYPE_SUBDIC_START) {
                *owner = obj;
                *after = fe;
                return true;
            }
            int t = ref_target(fe);
            if (t == -1) return false;
            *owner = t;
            *after = 0;
            return true;
        }
        obj = ref_target(get_elem(obj, "Resources"));
    }
    return false;
}

// The font resource entry `label` of appearance object `ap` (an indirect reference), or -1.
int font_entry(int ap, const char* label, int* owner, int* after) {
    if (!locate_fonts(ap, owner, after)) return -1;
    int e = get_elem(*owner, label);
    return ref_target(e) == -1 ? -1 : e;
}

// The height of the appearance box (the upper y of /BBox), or false when it cannot be read.
bool box_height(int ap, float* height) {
    int len = 0;
    const char* s = get_elem_string(ap, nullptr, "BBox", &len);
    if (!s || len <= 0) return false;
    char buf[128];
    size_t n =
        static_cast<size_t>(len) < sizeof buf - 1 ? static_cast<size_t>(len) : sizeof buf - 1;
    std::memcpy(buf, s, n);
    buf[n] = 0;
    const char* p = buf;
    while (*p == ' ') ++p;
    if (*p == '[') ++p;
    float x2 = 0;
    if (std::sscanf(p, "%*s %*s %f %f", &x2, height) != 2) return false;
    return true;
}

// Gives field `i` (whose appearance is `ap`) the font entry of the font field's appearance,
// keeping the field's own entry, which the template's text may still name.
void take_font(int i, int ap, int font_field, const char* font_sname) {
    int fowner = 0, fafter = 0;
    int fap = field_appearance_object(g_st.p_field_strage[font_field].obj_no);
    int src = fap == -1 ? -1 : font_entry(fap, font_sname, &fowner, &fafter);
    if (src == -1) throwf("Undefined Font(font short_name:%s)", font_sname);
    int target = elem_at(src).data.obj_no;

    int owner = 0, after = 0;
    int have = font_entry(ap, font_sname, &owner, &after);
    if (have != -1) {
        set_elem_objref(have, target);
    } else {
        if (!locate_fonts(ap, &owner, &after))
            throwf("Undefined Font(font short_name:%s)", font_sname);
        int own = font_entry(ap, g_st.p_field_strage[i].short_name, &owner, &after);
        append_elem_objref(owner, own != -1 ? own : after, font_sname, target);
    }
    st_field& f = g_st.p_field_strage[i];
    std::snprintf(f.short_name, sizeof f.short_name, "%s", font_sname);
    f.font_no = g_st.p_field_strage[font_field].font_no;
}

// Fills field record i (which has an appearance) and stores the new appearance stream.
void fill_record(int i, const int32_t* field_data, float linefeed, int font_field, float font_size,
                 float color_r, float color_g, float color_b, int mode_linefeed, float start_ypos,
                 float start_xpos, float char_space, float outline_width) {
    const st_field& f = g_st.p_field_strage[i];
    const int src = font_field != -1 ? font_field : i;
    const int font_no = g_st.p_field_strage[src].font_no;
    char sname[LABEL_SIZE];
    std::memcpy(sname, g_st.p_field_strage[src].short_name, sizeof sname);
    sname[LABEL_SIZE - 1] = 0;
    const int widget = f.obj_no;
    std::string& text = g_fill.stream;
    int lines = 0;

    if (start_ypos < -9000) {
        // Vertical centring: measure the block once, then place it in the middle of the box.
        float offset = start_ypos + 10000;
        float leading = linefeed > 0 ? linefeed : f.line_feed;
        int ap = field_appearance_object(widget);
        float height = 0;
        start_ypos = offset;
        if (ap != -1 && box_height(ap, &height)) {
            set_field_data_stream(i, field_data, linefeed, font_no, sname, font_size, color_r,
                                  color_g, color_b, text, mode_linefeed, 0, start_xpos, char_space,
                                  outline_width, &lines);
            float text_height = leading * static_cast<float>(lines - 1) + f.line_feed;
            start_ypos = (height - text_height) / 2 + offset;
        }
    }
    set_field_data_stream(i, field_data, linefeed, font_no, sname, font_size, color_r, color_g,
                          color_b, text, mode_linefeed, start_ypos, start_xpos, char_space,
                          outline_width, &lines);

    int ap = field_appearance_object(widget);
    if (ap == -1) return;
    int data = dict_entry(ap, LABEL_STREAM);
    if (data == -1 || elem_at(data).f_type != ELEM_TYPE_STRING ||
        elem_at(data).data.str.type != STR_STREAM)
        return;

    if (font_field != -1) take_font(i, ap, font_field, sname);

    // The new text is stored unfiltered; an encoding named by the appearance's Parent goes
    // as well.
    if (int parent = ref_target(dict_entry(ap, "Parent")); parent != -1) drop_filter(parent);
    set_plain_stream(ap, data, text.data(), static_cast<int>(text.size()));
    if (i < FLAG_SET_FIELD_SIZE) g_doc.flag_set_field[i] = 1;
}

}  // namespace

int field_appearance_object(int widget) {
    if (!valid_xref(widget) || widget == 0) return -1;
    int t = ref_target(get_elem(widget, "N"));
    return t == widget ? -1 : t;
}

void set_field_data(const char* field_name, const int32_t* field_data, float linefeed,
                    const char* font_sname, float font_size, float color_r, float color_g,
                    float color_b, int mode_linefeed, float start_ypos, float start_xpos,
                    float char_space, float outline_width) {
    const Storages& s = g_st;
    const bool name_ok = std::strlen(field_name) < LABEL_SIZE;
    int first = -1;
    for (int i = 0; name_ok && i < s.num_field_strage && first == -1; ++i)
        if (name_is(s.p_field_strage[i].name, field_name)) first = i;
    if (first == -1) throwf("Undefined Field Name(%s)", field_name);

    int font_field = -1;
    if (font_sname && *font_sname) {
        if (std::strlen(font_sname) < LABEL_SIZE)
            for (int i = 0; i < s.num_field_strage && font_field == -1; ++i)
                if (name_is(s.p_field_strage[i].short_name, font_sname)) font_field = i;
        if (font_field == -1) throwf("Undefined Font(font short_name:%s)", font_sname);
    }

    // Every widget of the field shows the value; records of one name are its widgets.
    bool filled = false;
    for (int i = first; i < s.num_field_strage; ++i) {
        if (!name_is(s.p_field_strage[i].name, field_name)) continue;
        if (s.p_field_strage[i].f_ap == 0) continue;
        fill_record(i, field_data, linefeed, font_field, font_size, color_r, color_g, color_b,
                    mode_linefeed, start_ypos, start_xpos, char_space, outline_width);
        filled = true;
    }
    if (!filled) throwf("Undefined Field Appearance(%s)", field_name);
}

void _setPageFieldData(const char* fieldName, const int32_t* value) {
    check_seq(2);
    set_field_data(fieldName, value, 0.0f, "", -1.0f, -1.0f, -1.0f, -1.0f, -1, 0.0f, 0.0f, 0.0f,
                   0.0f);
}

void _setPageFieldDataWithAttribute(const char* fieldName, const int32_t* value, float linefeed,
                                    const char* font_sname, float font_size, int color,
                                    int mode_linefeed, float start_ypos, float start_xpos,
                                    float char_space, float outline_width) {
    check_seq(2);
    int r = -1, g = -1, b = -1;
    if (color != -1) {
        r = color / 65536;
        g = (color / 256) % 256;
        b = color % 256;
    }
    set_field_data(fieldName, value, linefeed, font_sname, font_size, static_cast<float>(r / 256.0),
                   static_cast<float>(g / 256.0), static_cast<float>(b / 256.0), mode_linefeed,
                   start_ypos, start_xpos, char_space, outline_width);
}
