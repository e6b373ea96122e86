// Values of fields that are not plain text: check boxes and radio buttons select one of
// their appearance states, list boxes select an option, combo boxes show the value as text.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "generator/doc_state.h"
#include "generator/field_names.h"
#include "generator/field_widgets.h"
#include "generator/text_fill.h"
#include "multibyte/utf8_encode.h"
#include "store/element_ops.h"
#include "store/field_extras.h"

namespace {

// A value as the bytes of a name: UTF-8, or Latin-1 when `latin1` is set (names of older
// producers). False when it does not fit a name or has a character Latin-1 lacks.
bool value_name(const int32_t* value, bool latin1, char (&out)[LABEL_SIZE]) {
    size_t o = 0;
    for (const int32_t* p = value; *p != 0; ++p) {
        uint32_t u = static_cast<uint32_t>(*p);
        char bytes[4];
        size_t n = 0;
        if (latin1) {
            if (u > 0xFF) return false;
            bytes[n++] = static_cast<char>(u);
        } else if (u <= 0x10FFFF) {
            n = utf8_encode(u, bytes);
        } else {
            return false;
        }
        if (o + n >= LABEL_SIZE) return false;
        std::memcpy(out + o, bytes, n);
        o += n;
    }
    out[o] = 0;
    return true;
}

// The entry `state` of the widget's normal appearance dictionary (/AP /N), or -1.
int appearance_state(int widget, const char* state) {
    int n = widget_normal_entry(widget);
    if (n == -1) return -1;
    const st_elem& e = g_st.p_elem_strage[n];
    if (e.f_type == ELEM_TYPE_SUBDIC_START) return subdict_entry(n, state);
    if (e.f_type == ELEM_TYPE_OBJREF) return dict_entry(e.data.obj_no, state);
    return -1;
}

// Sets name entry `label` of object `obj` (replacing its value, or appended).
void set_name_entry(int obj, const char* label, const char* name) {
    int e = dict_entry(obj, label);
    if (e == -1) {
        append_elem_name(obj, 0, label, name);
        return;
    }
    st_elem& el = g_st.p_elem_strage[e];
    el.f_type = ELEM_TYPE_NAME;
    copy_label(el.data.name, name);
}

// The object that holds the field's value: the widget when it carries the name (/T), else
// its parent field.
int value_holder(int widget) {
    if (dict_entry(widget, "T") != -1) return widget;
    int p = widget_parent(widget);
    return p == -1 ? widget : p;
}

void mark_set(int i) {
    if (i < FLAG_SET_FIELD_SIZE) g_doc.flag_set_field[i] = 1;
}

// Check boxes and radio buttons: each widget shows the state the value names when it has
// one, else Off; the field's /V records the choice.
void select_button_state(int first, const char* field_name, const int32_t* value) {
    char utf8[LABEL_SIZE], latin1[LABEL_SIZE];
    const bool have_utf8 = value_name(value, false, utf8);
    const bool have_latin1 = value_name(value, true, latin1);
    const char* chosen = "Off";
    for (int i = first; i < g_st.num_field_strage; ++i) {
        if (!field_name_matches(i, field_name)) continue;
        const int widget = g_st.p_field_strage[i].obj_no;
        if (widget <= 0 || !valid_xref(widget)) continue;
        const char* state = "Off";
        if (have_utf8 && *utf8 && appearance_state(widget, utf8) != -1)
            state = utf8;
        else if (have_latin1 && *latin1 && appearance_state(widget, latin1) != -1)
            state = latin1;
        set_name_entry(widget, "AS", state);
        if (state != std::string_view("Off")) chosen = state;
        mark_set(i);
    }
    for (int i = first; i < g_st.num_field_strage; ++i) {
        if (!field_name_matches(i, field_name)) continue;
        const int widget = g_st.p_field_strage[i].obj_no;
        if (widget > 0 && valid_xref(widget)) set_name_entry(value_holder(widget), "V", chosen);
    }
}

// True when option text `opt` (a literal or hexadecimal string of the /Opt array, without
// its delimiters) is the value.
bool option_is(const char* opt, int len, const char* want) {
    return static_cast<size_t>(len) == std::strlen(want) && std::memcmp(opt, want, len) == 0;
}

// The index of the option whose export value (or text) is `want` in the /Opt array text,
// or -1. Items are strings, or two-string arrays [export display].
int option_index(const char* s, int len, const char* want) {
    int index = 0, depth = 0;
    bool first_in_pair = false;
    for (int i = 0; i < len; ++i) {
        char c = s[i];
        if (c == '[') {
            ++depth;
            first_in_pair = true;
            continue;
        }
        if (c == ']') {
            if (depth > 0) {
                --depth;
                ++index;
            }
            continue;
        }
        if (c != '(') continue;
        // A literal string, read up to its closing parenthesis (escapes kept as they are).
        int start = i + 1, nest = 1, j = start;
        for (; j < len && nest > 0; ++j) {
            if (s[j] == '\\') {
                ++j;
                continue;
            }
            if (s[j] == '(') ++nest;
            if (s[j] == ')') --nest;
        }
        int end = j - 1;
        bool counts = depth == 0 || first_in_pair;
        if (counts && option_is(s + start, end - start, want)) return index;
        if (depth == 0) ++index;
        first_in_pair = false;
        i = j - 1;
    }
    return -1;
}

// List boxes: the option whose export value is the value becomes the selection (/V, /I).
void select_list_option(int first, const char* field_name, const int32_t* value) {
    char want[LABEL_SIZE * 4];
    size_t o = 0;
    for (const int32_t* p = value; *p != 0 && o + 1 < sizeof want; ++p)
        if (*p > 0 && *p < 0x100 && *p != '(' && *p != ')' && *p != '\\')
            want[o++] = static_cast<char>(*p);
    want[o] = 0;
    for (int i = first; i < g_st.num_field_strage; ++i) {
        if (!field_name_matches(i, field_name)) continue;
        const int widget = g_st.p_field_strage[i].obj_no;
        if (widget <= 0 || !valid_xref(widget)) continue;
        mark_set(i);
        const int holder = value_holder(widget);
        int len = 0;
        const char* opts = dict_array_text(holder, "Opt", &len);
        int index = opts ? option_index(opts, len, want) : -1;
        if (index == -1) continue;
        int v = dict_entry(holder, "V");
        if (v == -1) {
            append_elem_str(holder, 0, "V", STR_LITERAL, want, static_cast<int>(o));
        } else {
            g_st.p_elem_strage[v].f_type = ELEM_TYPE_STRING;
            set_elem_str(v, STR_LITERAL, want, static_cast<int>(o));
        }
        char num[16];
        int n = std::snprintf(num, sizeof num, "%d", index);
        int sel = dict_entry(holder, "I");
        if (sel == -1) {
            append_elem_str(holder, 0, "I", STR_ARRAY, num, n);
        } else {
            g_st.p_elem_strage[sel].f_type = ELEM_TYPE_STRING;
            set_elem_str(sel, STR_ARRAY, num, n);
        }
    }
}

}  // namespace

void set_field_value(const char* field_name, const int32_t* value) {
    const char* name = resolve_field_name(field_name);
    const int first = find_field(name);
    if (first == -1) throwf("Undefined Field Name(%s)", field_name);
    switch (field_type(first)) {
        case FIELD_TYPE_CHECKBOX:
        case FIELD_TYPE_RADIO:
            select_button_state(first, name, value);
            return;
        case FIELD_TYPE_LIST:
            select_list_option(first, name, value);
            return;
        case FIELD_TYPE_PUSHBUTTON:
        case FIELD_TYPE_SIGNATURE:
            throwf("Undefined Field Appearance(%s)", field_name);
        default:  // text and combo boxes (older templates: text)
            fill_text_field(field_name, value, FillStyle{});
            return;
    }
}
