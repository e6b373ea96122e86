#include "generator/array_fields.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "generator/doc_state.h"
#include "generator/field_widgets.h"
#include "generator/operations.h"
#include "generator/page_numbering.h"
#include "store/change_marks.h"
#include "store/element_ops.h"
#include "store/field_extras.h"

namespace {

// Annotation references of the copies, and the page's new annotation array text; reused
// between calls, so that neither has a fixed bound.
std::string g_tmp_annots;
std::string g_new_annots;

// Gives every string element of object `obj` its own copy of its bytes, so that editing or
// encrypting one object's strings leaves the object it was copied from alone.
void own_strings(int obj) {
    for (int e : obj_elems(obj)) {
        st_elem& el = g_st.p_elem_strage[e];
        if (el.f_type != ELEM_TYPE_STRING) continue;
        set_elem_str(e, el.data.str.type, elem_bytes(el), el.data.str.len);
    }
}

int page_rotation(int page) {
    int r = dict_entry(page, "Rotate");
    if (r == -1 || g_st.p_elem_strage[r].f_type != ELEM_TYPE_INTEGER) return 0;
    int deg = g_st.p_elem_strage[r].data.int_data % 360;
    return deg < 0 ? deg + 360 : deg;
}

// Names record `rec`. A name longer than the record holds is kept whole as the record's full
// name, by which it is addressed; the record keeps its beginning.
void set_record_name(int rec, const std::string& name) {
    st_field& f = g_st.p_field_strage[rec];
    field_names_changed();
    std::memset(f.name, 0, sizeof f.name);
    std::memcpy(f.name, name.data(), std::min(name.size(), sizeof f.name - 1));
    if (name.size() >= sizeof f.name)
        field_extra_set_name(rec, name.data(), static_cast<int>(name.size()));
}

std::string copy_name(const char* field_name, int k) {
    return std::string(field_name) + "__" + std::to_string(k);
}

// The place of copy k of a widget whose rectangle is r: moved down the page by k gaps,
// which on a page turned by 90 or 270 degrees is along x.
void copy_rect(const float r[4], float d, int rot, float m[4]) {
    m[0] = r[0], m[1] = r[1] - d, m[2] = r[2], m[3] = r[3] - d;
    if (rot == 90) {
        m[0] = r[0] + d, m[1] = r[1], m[2] = r[2] + d, m[3] = r[3];
    } else if (rot == 180) {
        // Down the page as shown is up the page's own coordinates.
        m[0] = r[0], m[1] = r[1] + d, m[2] = r[2], m[3] = r[3] + d;
    } else if (rot == 270) {
        m[0] = r[0] - d, m[1] = r[1], m[2] = r[2] - d, m[3] = r[3];
    }
}

// Makes record `rec` (a copy of record src) a field of its own named `name`: a copy of the
// widget with its own string bytes, its own appearance, its name in /T and its place in
// /Rect. Returns the copy's object number.
int copy_widget(int src, int rec, int widget, int ap, const std::string& name, const float m[4]) {
    Storages& s = g_st;
    s.p_field_strage[rec] = s.p_field_strage[src];
    if (const st_field_extra* x = field_extra(src)) *field_extra_mut(rec) = *x;
    set_record_name(rec, name);

    int wc = dup_obj(widget);
    s.p_field_strage[rec].obj_no = static_cast<uint16_t>(wc);
    // A check box's state appearances are shared: copies differ only in their /AS.
    int apc = ap == -1 ? -1 : dup_obj(ap);
    if (apc != -1) own_strings(apc);

    char rect[160];
    int rect_len = std::snprintf(rect, sizeof rect, "%f %f %f %f", m[0], m[1], m[2], m[3]);
    int name_len = static_cast<int>(name.size());
    for (int e : obj_elems(wc)) {
        st_elem& el = s.p_elem_strage[e];
        if (apc != -1 && el.f_type == ELEM_TYPE_OBJREF && el.data.obj_no == ap &&
            std::strncmp(el.label, "N", LABEL_SIZE) == 0)
            set_elem_objref(e, apc);
        else if (el.f_type == ELEM_TYPE_STRING)
            set_elem_str(e, el.data.str.type, elem_bytes(el), el.data.str.len);
    }
    bool named = false;
    for (int e : Dict{wc, 0}.entries()) {
        const st_elem& el = s.p_elem_strage[e];
        if (el.f_type < ELEM_TYPE_NAME) continue;
        if (std::strncmp(el.label, "T", LABEL_SIZE) == 0 && !named) {
            set_elem_str(e, STR_LITERAL, name.data(), name_len);
            named = true;
        } else if (std::strncmp(el.label, "Rect", LABEL_SIZE) == 0) {
            set_elem_str(e, STR_ARRAY, rect, rect_len);
            s.p_elem_strage[e].data.str.f_renum = 0;
        }
    }
    if (!named) append_elem_str(wc, 0, "T", STR_LITERAL, name.data(), name_len);
    return wc;
}

// Adds the references collected in g_tmp_annots to the page's annotations (`annots`, the
// array element, or -1 when the page has none).
void add_annotations(int page, int annots) {
    Storages& s = g_st;
    if (annots == -1) {
        int e = append_elem_str(page, 0, "Annots", STR_ARRAY, g_tmp_annots.data(),
                                static_cast<int>(g_tmp_annots.size()));
        s.p_elem_strage[e].data.str.f_renum = 1;
        return;
    }
    const st_elem& a = s.p_elem_strage[annots];
    g_new_annots.assign(elem_bytes(a), static_cast<size_t>(a.data.str.len));
    g_new_annots.append(g_tmp_annots);
    set_elem_str(annots, STR_ARRAY, g_new_annots.data(), static_cast<int>(g_new_annots.size()));
    s.p_elem_strage[annots].data.str.f_renum = 1;
}

}  // namespace

void make_array_field(const char* field_name, int num, float gap) {
    Storages& s = g_st;
    int src = field_record_index(field_name);
    if (src == -1) throwf("Undefined Field Name(%s)", field_name);
    int widget = s.p_field_strage[src].obj_no;
    // Text fields, combo boxes (filled as text) and check boxes are repeated; a radio button
    // belongs to its group, whose other buttons a copy would not have.
    const char type = field_type(src);
    const bool check_box = type == FIELD_TYPE_CHECKBOX;
    if ((s.p_field_strage[src].f_ap == 0 && type != FIELD_TYPE_COMBO && !check_box) ||
        !valid_xref(widget) || s.p_xref_strage[widget].first_elem == 0)
        throwf("Undefined Field Appearance(%s)", field_name);

    // The record is addressed by its new name only from here on.
    field_extra_set_name(src, nullptr, 0);
    if (num <= 1) {
        set_record_name(src, copy_name(field_name, 1));
        return;
    }

    int page = widget_page(widget);
    if (page == -1) throwf("Undefined Field Page(%s)", field_name);
    int ap = check_box ? -1 : widget_appearance(widget);
    if (ap == -1 && (!check_box || widget_normal_entry(widget) == -1))
        throwf("Undefined Field Appearance(%s)", field_name);
    float r[4];
    if (!widget_rect(widget, r)) throwf("Undefined Field Rect(%s)", field_name);
    int annots = page_annots_elem(page);
    if (annots == -1 && dict_entry(page, "Annots") != -1)
        throwf("Unsupported annotation array(%s)", field_name);
    // Widget numbers are 16-bit in field records, and every field needs its set flag.
    long copies = num - 1L;
    if (s.num_xref_strage + 2 * copies > UINT16_MAX)
        throwf("Too many objects for array field(%s)", field_name);
    if (s.num_field_strage + copies > FLAG_SET_FIELD_SIZE)
        throwf("Too many fields for array field(%s)", field_name);

    int rot = page_rotation(page);
    set_record_name(src, copy_name(field_name, 1));

    g_tmp_annots.clear();
    for (int k = 1; k < num; ++k) {
        new_field_strage();
        float m[4];
        copy_rect(r, gap * static_cast<float>(k), rot, m);
        int wc = copy_widget(src, s.cur_field_strage, widget, ap, copy_name(field_name, k + 1), m);
        g_tmp_annots.push_back(REF_MARKER);
        g_tmp_annots.append(std::to_string(wc));
        g_tmp_annots.append(" 0 R");
    }
    add_annotations(page, annots);
}

void _makeArrayPageField(const char* fieldName, int num, float gap) {
    check_seq(SEQ_IN_PAGE);
    make_array_field(fieldName, num, gap);
}
