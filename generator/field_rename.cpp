#include "generator/field_rename.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "generator/doc_state.h"
#include "generator/field_names.h"
#include "generator/field_widgets.h"
#include "generator/operations.h"
#include "generator/page_hooks.h"
#include "generator/utf16.h"
#include "store/change_marks.h"
#include "store/element_ops.h"
#include "store/field_extras.h"

int global_annot_no = 0;

namespace {

// Reused for every script value, so that long values need no fixed bound.
std::string g_script_value;

void put_byte(std::string& out, unsigned char b) {
    switch (b) {
        case '(':
        case ')':
        case '\\':
            out.push_back('\\');
            out.push_back(static_cast<char>(b));
            break;
        case '\r':
            // A bare carriage return in a literal string reads back as a line feed.
            out.append("\\r");
            break;
        default:
            out.push_back(static_cast<char>(b));
    }
}

void put_unit(std::string& out, unsigned u) {
    put_byte(out, static_cast<unsigned char>(u >> 8));
    put_byte(out, static_cast<unsigned char>(u & 0xFF));
}

void mark_set(int field_no) {
    if (field_no >= 0 && field_no < FLAG_SET_FIELD_SIZE) g_doc.flag_set_field[field_no] = 1;
}

int int_value(const st_elem& e) {
    return e.f_type == ELEM_TYPE_INTEGER ? e.data.int_data : 0;
}

void set_int(int elem, int value) {
    set_elem_int(elem, value);
}

void set_literal(int elem, const char* text, int len) {
    set_elem_str(elem, STR_LITERAL, text, len);
}

bool has_elements(int obj) {
    return valid_xref(obj) && g_st.p_xref_strage[obj].first_elem > 0;
}

}  // namespace

void utf16_literal(const int32_t* text, std::string& out) {
    out.clear();
    out.push_back(static_cast<char>(0xFE));
    out.push_back(static_cast<char>(0xFF));
    for (const int32_t* p = text; p && *p; ++p) {
        // A lone surrogate is no character of a text string.
        const int32_t c = *p >= 0xD800 && *p <= 0xDFFF ? 0xFFFD : *p;
        utf16_units(c, [&](uint32_t u) { put_unit(out, u); });
    }
}

int set_field_script_value(const char* field_name, const int32_t* field_data) {
    int i = field_record_index(field_name);
    if (i == -1) throwf("Undefined Field Name(%s)", field_name);
    const st_field& f = g_st.p_field_strage[i];
    if (f.f_ap == 0 || !has_elements(f.obj_no))
        throwf("Undefined Field Appearance(%s)", field_name);
    int widget = f.obj_no;
    utf16_literal(field_data, g_script_value);
    int len = static_cast<int>(g_script_value.size());
    int v = dict_entry(widget, "V");
    if (v == -1)
        append_elem_str(widget, 0, "V", STR_LITERAL, g_script_value.data(), len);
    else
        set_literal(v, g_script_value.data(), len);
    mark_set(i);
    return i;
}

namespace {

// Invisible, NoRotate and NoView on, Print off, for the widget of field record I.
void hide_widget(int i) {
    int widget = g_st.p_field_strage[i].obj_no;
    int owner = widget;
    int e = widget_or_parent_entry(widget, "F", &owner);
    if (e == -1) {
        append_elem_int(widget, 0, "F", 0x31);
    } else {
        set_int(e, (int_value(g_st.p_elem_strage[e]) | 0x31) & ~0x04);
    }
    mark_set(i);
}

// The entries of a widget or field that renaming edits, found in one walk.
struct NamingEntries {
    int t = -1, ff = -1, dv = -1, v = -1, parent = -1;
};

NamingEntries naming_entries(int obj) {
    NamingEntries n;
    for (int e : Dict{obj, 0}.entries()) {
        const char* l = g_st.p_elem_strage[e].label;
        int* slot = label_is(l, "T")        ? &n.t
                    : label_is(l, "Ff")     ? &n.ff
                    : label_is(l, "DV")     ? &n.dv
                    : label_is(l, "V")      ? &n.v
                    : label_is(l, "Parent") ? &n.parent
                                            : nullptr;
        if (slot && *slot == -1) *slot = e;
    }
    return n;
}

}  // namespace

int set_field_invisible(const char* field_name) {
    const char* name = resolve_field_name(field_name);
    int i = find_field(name);
    if (i == -1) throwf("Undefined Field Name(%s)", field_name);
    if (!has_elements(g_st.p_field_strage[i].obj_no))
        throwf("Undefined Field Appearance(%s)", field_name);
    // Every widget of the field is hidden: records that the same name addresses are its
    // widgets (a field shown on several pages of the form, or twice on one page).
    for (int k = i; k < g_st.num_field_strage; ++k)
        if (k == i || (field_name_matches(k, name) && has_elements(g_st.p_field_strage[k].obj_no)))
            hide_widget(k);
    return i;
}

void rename_field_name() {
    char name[32];
    for (int i = 0; i < g_st.num_field_strage; ++i) {
        const st_field& f = g_st.p_field_strage[i];
        if (f.name[0] == '_' || f.obj_no == 0) continue;
        int widget = f.obj_no;
        if (!has_elements(widget)) continue;
        ++global_annot_no;
        // "K_E_S_Trel%d_"
        std::memcpy(name, "K_E_S_Trel", 10);
        char* end = std::to_chars(name + 10, name + sizeof name - 1, global_annot_no).ptr;
        *end++ = '_';
        int len = static_cast<int>(end - name);

        // The name belongs to the object that holds /T: the widget, or its parent field
        // when the widget is one of several kids; a widget named by neither gets its own.
        // Each object's entries are found in one walk (the first of each key, as dict_entry
        // finds them); the edits below change no key, so what the walk found stays right.
        const NamingEntries w = naming_entries(widget);
        int parent = ref_target(w.parent);
        if (parent == widget) parent = -1;
        NamingEntries p;
        if (parent != -1 && (w.t == -1 || w.ff == -1)) p = naming_entries(parent);
        int field = widget;
        int t = w.t;
        if (t == -1 && parent != -1 && p.t != -1) {
            t = p.t;
            field = parent;
        }
        if (t == -1)
            append_elem_str(widget, 0, "T", STR_LITERAL, name, len);
        else
            set_literal(t, name, len);

        int ff = w.ff != -1 ? w.ff : parent != -1 ? p.ff : -1;
        if (ff == -1)
            append_elem_int(field, 0, "Ff", 1);
        else
            set_int(ff, int_value(g_st.p_elem_strage[ff]) | 1);

        // A text value goes; a name is a button's state, which its appearance shows, and a
        // choice field's value is the option it shows (viewers drawing their own control of a
        // combo box show its /V).
        const char type = field_type(i);
        if (type == FIELD_TYPE_COMBO || type == FIELD_TYPE_LIST) continue;
        for (const NamingEntries& x : {w, p}) {
            for (int e : {x.dv, x.v})
                if (e != -1 && g_st.p_elem_strage[e].f_type != ELEM_TYPE_NAME)
                    set_literal(e, "", 0);
            if (field == widget) break;
        }
    }
}

void fields_reset() {
    global_annot_no = 0;
}

void _setPageFieldScriptValue(const char* fieldName, const int32_t* value) {
    check_seq(SEQ_IN_PAGE);
    set_field_script_value(fieldName, value);
}

void _setPageFieldInvisible(const char* fieldName) {
    check_seq(SEQ_IN_PAGE);
    set_field_invisible(fieldName);
}
