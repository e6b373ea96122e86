// Values of fields that are not plain text: check boxes and radio buttons select one of
// their appearance states, list boxes select an option, combo boxes show the value as text.
#include <strings.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "generator/doc_state.h"
#include "generator/field_names.h"
#include "generator/field_widgets.h"
#include "generator/page_numbering.h"
#include "generator/text_fill.h"
#include "generator/utf16.h"
#include "multibyte/char_width.h"
#include "multibyte/text_decode.h"
#include "multibyte/utf8_encode.h"
#include "store/element_ops.h"
#include "store/element_walk.h"
#include "store/field_extras.h"
#include "store/pdf_text.h"
#include "store/widget_drawing.h"

namespace {

// The names a value may select a button state by, each at most once and none empty: its
// UTF-8 bytes, then its Latin-1 bytes (names of older producers) where it has no character
// beyond Latin-1; each shortened as the template shortened the state names it holds (a
// state named by a long export value), then merely cut to a label's length, as templates of
// older versions cut them.
int value_names(const int32_t* value, char (&names)[4][LABEL_SIZE]) {
    static std::string bytes;  // reused: no allocation per fill
    int n = 0;
    for (bool latin1 : {false, true}) {
        bytes.clear();
        bool ok = true;
        for (const int32_t* p = value; *p != 0 && ok; ++p) {
            const uint32_t u = static_cast<uint32_t>(*p);
            char b[4];
            ok = u <= (latin1 ? 0xFFu : 0x10FFFFu);
            if (ok && latin1) bytes += static_cast<char>(u);
            if (ok && !latin1) bytes.append(b, utf8_encode(u, b));
        }
        if (!ok || bytes.empty()) continue;
        copy_shortened_name(names[n], bytes.c_str());
        copy_label(names[n + 1], bytes.c_str());
        n += 2;
    }
    // Drop repeats: a short value is its own cut, a plain ASCII one the same in both.
    int kept = 0;
    for (int k = 0; k < n; ++k) {
        bool seen = false;
        for (int m = 0; m < kept && !seen; ++m)
            seen = std::strncmp(names[m], names[k], LABEL_SIZE) == 0;
        if (!seen && kept != k) std::memcpy(names[kept], names[k], LABEL_SIZE);
        if (!seen) ++kept;
    }
    return kept;
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
    drop_items(e);
    st_elem& el = g_st.p_elem_strage[e];
    el.f_type = ELEM_TYPE_NAME;
    copy_label(el.data.name, name);
    mark_elem_changed(e);
}

void mark_set(int i) {
    if (i < FLAG_SET_FIELD_SIZE) g_doc.flag_set_field[i] = 1;
}

// The value as UTF-8 text.
std::string value_utf8(const int32_t* value) {
    std::string out;
    for (const int32_t* p = value; *p != 0; ++p) {
        char bytes[4];
        if (*p > 0 && *p <= 0x10FFFF)
            out.append(bytes, utf8_encode(static_cast<uint32_t>(*p), bytes));
    }
    return out;
}

// The items of field `holder`'s /Opt; none when it has no option list.
std::vector<ChoiceItem> options_of(int holder) {
    int len = 0;
    const char* opts = dict_array_text(holder, "Opt", &len);
    if (!opts) return {};
    return choice_items(std::string(opts, static_cast<size_t>(len)));
}

// The index of the item of field `holder`'s /Opt whose export value is `want`, or -1.
int option_index(int holder, const std::string& want) {
    return exported_item(options_of(holder), want);
}

// Whether the widget is the button that item k of its field's /Opt stands for: the field's
// k-th kid, or item 0 for the widget that is the field itself.
bool kid_at(int holder, int widget, int k) {
    if (holder == widget) return k == 0;
    int len = 0;
    const char* kids = dict_array_text(holder, "Kids", &len);
    const std::vector<int> refs = marked_refs(kids, kids ? static_cast<size_t>(len) : 0);
    return k >= 0 && static_cast<size_t>(k) < refs.size() && refs[static_cast<size_t>(k)] == widget;
}

// The state other than Off that the widget's normal appearance offers, or nullptr.
const char* on_state(int widget) {
    int n = widget_normal_entry(widget);
    if (n == -1) return nullptr;
    for (int e : Dict::of(widget, n).entries()) {
        const char* label = g_st.p_elem_strage[e].label;
        if (label[0] != 0 && std::strncmp(label, "Off", LABEL_SIZE) != 0) return label;
    }
    return nullptr;
}

// A value that asks for a check box to be checked whatever its on state is called: users
// write "Yes", "X" or "1" without knowing that the form names the state "On" or "Choice1".
bool affirmative(const int32_t* value) {
    static const char* const words[] = {"yes", "y", "on", "true", "1", "x", "checked"};
    if (value[0] == 0x2713 || value[0] == 0x2714) return value[1] == 0;  // check marks
    for (const char* w : words) {
        size_t k = 0;
        while (w[k] && value[k] > 0 && value[k] < 0x80 &&
               std::tolower(static_cast<int>(value[k])) == w[k])
            ++k;
        if (w[k] == 0 && value[k] == 0) return true;
    }
    return false;
}

// Calls fn(record, widget) for each record of field `field_name`, from record `first`, that
// has a widget: the widgets of one field, on one page or several.
template <typename Fn>
void each_widget(int first, const char* field_name, Fn&& fn) {
    for (int i = first; i < g_st.num_field_strage; ++i) {
        if (!field_name_matches(i, field_name)) continue;
        const int widget = g_st.p_field_strage[i].obj_no;
        if (widget > 0 && valid_xref(widget)) fn(i, widget);
    }
}

// Check boxes and radio buttons: each widget shows the state the value names when it has
// one (in any case of ASCII letters, as "male" for "Male"), or its on state when the value
// is the export value /Opt gives it, else Off; the
// field's /V records the choice. A check box also takes an affirmative value as its on
// state.
void select_button_state(int first, const char* field_name, const int32_t* value) {
    char names[4][LABEL_SIZE], on[LABEL_SIZE];
    const int name_count = value_names(value, names);
    const bool yes = affirmative(value);
    const std::string want = value_utf8(value);
    // Copies of state names: entries appended below may move the element storage.
    char chosen[LABEL_SIZE] = "Off";
    // The /Opt item the value is, read once for the widgets of one field.
    int opt_holder = -1, opt_item = -1;
    auto is_option = [&](int widget) {
        const int holder = name_holder(widget);
        if (holder != opt_holder) {
            opt_holder = holder;
            opt_item = option_index(holder, want);
        }
        return opt_item != -1 && kid_at(holder, widget, opt_item);
    };
    // A radio button that names itself under the group's field but takes the group's value
    // (a /T, no /V of its own) is one of the group's buttons, as viewers treat it.
    const int w0 = g_st.p_field_strage[first].obj_no;
    const int group =
        field_type(first) == FIELD_TYPE_RADIO && w0 > 0 && valid_xref(w0) ? name_holder(w0) : -1;
    auto named_button = [group](int i) {
        const int w = g_st.p_field_strage[i].obj_no;
        return group != -1 && field_type(i) == FIELD_TYPE_RADIO && w > 0 && valid_xref(w) &&
               w != group && ref_target(dict_entry(w, "Parent")) == group &&
               dict_entry(w, "V") == -1;
    };
    for (int i = group != -1 ? 0 : first; i < g_st.num_field_strage; ++i) {
        if (!field_name_matches(i, field_name) && !named_button(i)) continue;
        const int widget = g_st.p_field_strage[i].obj_no;
        if (widget <= 0 || !valid_xref(widget)) continue;
        const char* state = "Off";
        int k = 0;
        while (k < name_count && appearance_state(widget, names[k]) == -1) ++k;
        if (k < name_count)
            state = names[k];
        else if (const char* o = on_state(widget);
                 o && (is_option(widget) || strcasecmp(o, want.c_str()) == 0 ||
                       (yes && field_type(i) == FIELD_TYPE_CHECKBOX)))
            state = std::strncpy(on, o, LABEL_SIZE);
        set_name_entry(widget, "AS", state);
        if (state != std::string_view("Off")) std::snprintf(chosen, sizeof chosen, "%.31s", state);
        mark_set(i);
    }
    each_widget(first, field_name,
                [&](int, int widget) { set_name_entry(name_holder(widget), "V", chosen); });
}

// The options of list box record `idx` for drawing, as they are in a one-byte font that
// shows every Latin-1 letter; false when the font or an option is beyond that.
bool latin_options(const st_field& r, const std::vector<ChoiceItem>& items,
                   std::vector<ListOption>& options) {
    const st_font* font = r.font_no >= 0 ? &g_st.p_font_strage[r.font_no] : nullptr;
    const char kind = font ? font->encoding : 'T';
    if (kind != 'T' && kind != 'N') return false;
    for (size_t i = 0; i < items.size(); ++i) {
        ListOption& o = options[i];
        if (!utf8_to_latin1(text_to_utf8(items[i].shown), &o.text)) return false;
        for (char c : o.text)
            o.width += char_width(r.font_no, kind, static_cast<unsigned char>(c), font) / 1000.0;
    }
    return true;
}

// The appearance stream to draw list box widget `widget` (record `idx`) into, and its box
// (*dx x *dy): the widget's normal appearance, unless another field's widget shows that
// stream too or its box is not the widget's size (forms that give many widgets one
// background stream); the widget then gets a copy of its own, the widget's size. -1: none.
int own_list_appearance(int idx, int widget, double* dx, double* dy) {
    const int n = widget_appearance_elem(widget);
    float rect[4], box[4];
    int len = 0;
    if (n == -1 || !widget_rect(widget, rect)) return -1;
    const int ap = g_st.p_elem_strage[n].data.obj_no;
    const char* bbox = dict_array_text(ap, "BBox", &len);
    if (!bbox || !read_numbers(bbox, len, box, 4)) return -1;
    double w = std::fabs(rect[2] - rect[0]), h = std::fabs(rect[3] - rect[1]);
    const int turn = get_elem_int(widget, "MK", "R");
    if (turn == 90 || turn == 270 || turn == -90) std::swap(w, h);
    *dx = std::fabs(box[2] - box[0]);
    *dy = std::fabs(box[3] - box[1]);
    bool shared = false;
    for (int k = 0; k < g_st.num_field_strage && !shared; ++k) {
        const int o = g_st.p_field_strage[k].obj_no;
        shared = k != idx && o > 0 && o != widget && valid_xref(o) && widget_appearance(o) == ap;
    }
    if (!shared && std::fabs(*dx - w) < 1 && std::fabs(*dy - h) < 1) return ap;
    const int own = dup_obj(ap);
    set_elem_objref(n, own);
    const std::string size = "0 0 " + std::to_string(w) + " " + std::to_string(h);
    if (const int b = dict_entry(own, "BBox"); b != -1) {
        set_elem_str(b, STR_ARRAY, size.data(), static_cast<int>(size.size()));
        g_st.p_elem_strage[b].data.str.f_renum = 0;
    }
    *dx = w;
    *dy = h;
    return own;
}

// Draws list box widget `widget` (field record `idx`) as viewers draw one: its options in the
// field's font, the stand-ins taking the characters it lacks, option `selected` on a black
// bar. A field whose appearance has no box keeps its appearance.
void redraw_list_box(int idx, int widget, const std::vector<ChoiceItem>& items, int selected) {
    const st_field& r = g_st.p_field_strage[idx];
    const int shown = widget_appearance(widget);
    if (shown == -1 || dict_entry(shown, LABEL_STREAM) == -1 || r.short_name[0] == 0 ||
        r.font_no >= g_st.num_font_strage)
        return;
    double dx = 0, dy = 0;
    const int ap = own_list_appearance(idx, widget, &dx, &dy);
    if (ap == -1) return;
    const WidgetFrame fr = read_widget_frame(widget, 0);
    char sname[LABEL_SIZE];
    std::memcpy(sname, r.short_name, sizeof sname);
    sname[LABEL_SIZE - 1] = 0;
    double size = r.font_size10 > 0 ? r.font_size10 / 10.0 : r.font_size;
    std::vector<ListOption> options(items.size());
    if (!latin_options(r, items, options)) {
        // Each option is set as a fill sets a value: its width first, for the size.
        const FieldFacts facts = own_font_facts(idx);
        std::vector<std::vector<int32_t>> values(items.size());
        FillResult used;
        std::string scratch;
        for (size_t i = 0; i < items.size(); ++i) {
            const std::string u = text_to_utf8(items[i].shown);
            values[i].assign(u.size() + 1, 0);
            mbs_mbstowcs(values[i].data(), u.data(), static_cast<int>(u.size()), 'U');
            options[i] = ListOption{};
            options[i].width =
                line_shows(facts, r.font_no, sname, 1, values[i].data(), scratch, used) / 1000;
        }
        if (size <= 0) size = list_size(options, dx, dy, fr.border);
        for (size_t i = 0; i < items.size(); ++i)
            line_shows(facts, r.font_no, sname, static_cast<float>(size), values[i].data(),
                       options[i].shows, used);
        enter_standins(widget, ap, used, facts.latin_standin);
    }
    for (size_t i = 0; i < options.size(); ++i)
        options[i].selected = static_cast<int>(i) == selected;
    int da_len = 0;
    const char* da = default_appearance(widget, &da_len);
    int top = get_elem_int(widget, "Parent", "TI");
    std::string text = frame_ops(fr, dx, dy, false);
    text += list_ops(da ? std::string(da, static_cast<size_t>(da_len > 0 ? da_len : 0)) : "",
                     std::string("/") + sname, size, options, top < 0 ? 0 : top, dx, dy, fr.border,
                     r.align);
    if (int parent = ref_target(dict_entry(ap, "Parent")); parent != -1) drop_filter(parent);
    set_plain_stream(ap, dict_entry(ap, LABEL_STREAM), text.data(), static_cast<int>(text.size()));
}

// Sets string entry `label` of `obj` to the bytes (as a hexadecimal string), or the array
// text `text`.
void set_string_entry(int obj, const char* label, char kind, const std::string& text) {
    int e = dict_entry(obj, label);
    if (e == -1) {
        append_elem_str(obj, 0, label, kind, text.data(), static_cast<int>(text.size()));
        return;
    }
    set_elem_str(e, kind, text.data(), static_cast<int>(text.size()));
}

// The value as the text of a hexadecimal string in UTF-16BE with its byte order mark.
std::string utf16_hex(const int32_t* value) {
    std::string v = "FEFF";
    for (const int32_t* c = value; *c; ++c) append_utf16_hex(v, *c);
    return v;
}

// The bytes as the text of a hexadecimal string.
std::string hex_of(const std::string& bytes) {
    static const char hex[] = "0123456789ABCDEF";
    std::string v;
    for (unsigned char c : bytes) {
        v.push_back(hex[c >> 4]);
        v.push_back(hex[c & 15]);
    }
    return v;
}

// The option that a value names: by its export value, else by the text it shows; -1: none.
int chosen_item(const std::vector<ChoiceItem>& items, const std::string& want) {
    int index = exported_item(items, want);
    for (size_t k = 0; k < items.size() && index == -1; ++k)
        if (text_to_utf8(items[k].shown) == want) index = static_cast<int>(k);
    return index;
}

// Makes option `index` the value (/V, its export value) and the selection (/I) of a field.
void select_item(int holder, const std::vector<ChoiceItem>& items, int index) {
    set_string_entry(holder, "V", STR_HEX, hex_of(items[static_cast<size_t>(index)].exported));
    set_string_entry(holder, "I", STR_ARRAY, std::to_string(index));
}

// List boxes: the option whose export value (or shown text) is the value becomes the
// selection (/V, /I) and the appearance shows it selected. Any other value (an empty one
// clears the field) selects nothing, as a check box given another value shows Off: the
// form's own selection would otherwise print as if the job had sent it.
void select_list_option(int first, const char* field_name, const int32_t* value) {
    const std::string want = value_utf8(value);
    each_widget(first, field_name, [&](int i, int widget) {
        mark_set(i);
        const int holder = name_holder(widget);
        std::vector<ChoiceItem> items = options_of(holder);
        const int index = chosen_item(items, want);
        if (index != -1) {
            select_item(holder, items, index);
        } else {
            for (const char* key : {"V", "I"})
                if (int e = dict_entry(holder, key); e != -1) switch_off(e);
        }
        redraw_list_box(i, widget, items, index);
    });
}

// Combo boxes: the value becomes the field's /V as well as what it shows, since viewers that
// draw a combo box as a control of their own (pdf.js) show its /V. An option's export value
// (or shown text) is that option's, selected by /I; any other value is a text of its own.
void set_combo_value(int first, const char* field_name, const int32_t* value) {
    const std::string want = value_utf8(value);
    each_widget(first, field_name, [&](int, int widget) {
        const int holder = name_holder(widget);
        const std::vector<ChoiceItem> items = options_of(holder);
        if (const int index = chosen_item(items, want); index != -1) {
            select_item(holder, items, index);
            return;
        }
        set_string_entry(holder, "V", STR_HEX, utf16_hex(value));
        if (int sel = dict_entry(holder, "I"); sel != -1) switch_off(sel);
    });
}

// A text field whose name starts with "_" keeps its name and stays interactive: the value it
// shows becomes its value, which viewers that draw editable fields themselves (pdf.js) show.
void keep_shown_value(int first, const char* field_name, const int32_t* value) {
    if (g_st.p_field_strage[first].name[0] != '_') return;
    each_widget(first, field_name, [&](int, int widget) {
        set_string_entry(name_holder(widget), "V", STR_HEX, utf16_hex(value));
    });
}

// The text a combo box shows for `value`: where its options pair export values with the
// texts shown (/Opt [[(IT) (Italy)] ...]), a value that is an export value shows its
// option's text, as viewers show it; any other value shows as it is. Null: as it is.
const int32_t* combo_shown(int first, const int32_t* value, std::vector<int32_t>& out) {
    const int widget = g_st.p_field_strage[first].obj_no;
    if (widget <= 0 || !valid_xref(widget)) return nullptr;
    const std::vector<ChoiceItem> items = options_of(name_holder(widget));
    const int k = exported_item(items, value_utf8(value));
    if (k == -1 || items[static_cast<size_t>(k)].shown == items[static_cast<size_t>(k)].exported)
        return nullptr;
    const std::string shown = text_to_utf8(items[static_cast<size_t>(k)].shown);
    out.assign(shown.size() + 1, 0);
    mbs_mbstowcs(out.data(), shown.data(), static_cast<int>(shown.size()), 'U');
    return out.data();
}

FillStyle plain_fill_style() {
    FillStyle st;
    st.viewer_place = true;
    return st;
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
        case FIELD_TYPE_COMBO: {
            std::vector<int32_t> shown;
            const int32_t* text = combo_shown(first, value, shown);
            fill_text_field(field_name, text ? text : value, plain_fill_style());
            set_combo_value(first, name, value);
            return;
        }
        default:  // text fields (older templates: every field)
            fill_text_field(field_name, value, plain_fill_style());
            keep_shown_value(first, name, value);
            return;
    }
}
