#include "compiler/field_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "compiler/compiler_state.h"
#include "compiler/font_analysis.h"
#include "compiler/font_size.h"
#include "multibyte/char_width.h"
#include "multibyte/font_metrics.h"
#include "multibyte/standard_fonts.h"
#include "store/change_marks.h"
#include "store/element_ops.h"
#include "store/element_walk.h"
#include "store/field_extras.h"
#include "store/inflate.h"
#include "store/pdf_text.h"
#include "store/storages.h"
#include "store/widget_drawing.h"

namespace {

bool top_name_is(int obj, const char* label, const char* value) {
    int e = dict_entry(obj, label);
    return e != -1 && g_st.p_elem_strage[e].f_type == ELEM_TYPE_NAME &&
           std::strncmp(g_st.p_elem_strage[e].data.name, value, LABEL_SIZE) == 0;
}

std::string string_value(int obj, const char* parent, const char* label, bool* found) {
    int len = 0;
    const char* s = get_elem_string(obj, parent, label, &len);
    *found = s != nullptr;
    return s ? std::string(s, static_cast<size_t>(len > 0 ? len : 0)) : std::string();
}

void note(const std::string& msg) {
    g_cc.field_errors.push_back(msg);
}

int new_object();

// Appends copies of elements `elems` (their string bytes shared) to object obj's chain after
// element `last`; returns the last copy. The indices are taken first: appending may move the
// storage they lie in.
int append_copies(int obj, int last, const std::vector<int>& elems) {
    for (int e : elems) {
        last = append_elem(obj, last);
        copy_elem_value(last, g_st.p_elem_strage[e]);
    }
    return last;
}

// The object a resource entry `e` refers to. A resource given as a direct dictionary (as some
// form libraries write their fonts) is moved into an object of its own first, which the
// entry then refers to, so that it is found, analysed and named like any other. -1 for an
// entry that is neither.
int resource_object(int e) {
    if (e == -1) return -1;
    if (g_st.p_elem_strage[e].f_type != ELEM_TYPE_SUBDIC_START) return ref_target(e);
    std::vector<int> inside;
    for (int n : value_elems(e)) inside.push_back(n);
    if (inside.size() < 2) return -1;
    const int obj = new_object();
    append_copies(obj, 0, std::vector<int>(inside.begin() + 1, inside.end() - 1));
    // The entry becomes the reference first, which switches off the dictionary's items and
    // its closing element: with the closing element already off, the items would run on to
    // the enclosing dictionary's end.
    set_elem_objref(e, obj);
    for (size_t k = 1; k < inside.size(); ++k) {
        st_elem& el = g_st.p_elem_strage[inside[k]];
        el.label[0] = 0;
        el.f_type = 0;
    }
    return obj;
}

// The element holding the value of entry `name` in object obj, searched as get_elem searches;
// a name too long for a label is kept as a bare "/name" with its value after it. -1: none.
int resource_entry(int obj, const char* name) {
    if (std::strlen(name) < LABEL_SIZE) return get_elem(obj, name);
    if (!valid_xref(obj)) return -1;
    const size_t len = std::strlen(name);
    bool next = false;
    for (int e : obj_elems(obj)) {
        const st_elem& el = g_st.p_elem_strage[e];
        if (next) return e;
        next = label_is(el.label, LABEL_IMMEDIATE) && el.f_type == ELEM_TYPE_STRING &&
               el.data.str.type == STR_BARE && static_cast<size_t>(el.data.str.len) == len + 1 &&
               std::memcmp(elem_bytes(el) + 1, name, len) == 0;
    }
    return -1;
}

// The font object under `name` in a resource dictionary object or its /Font, or -1.
int font_in_resources(int obj, const char* name) {
    if (obj == -1) return -1;
    int t = resource_object(resource_entry(obj, name));
    if (t != -1) return t;
    return resource_object(resource_entry(ref_target(get_elem(obj, "Font")), name));
}

// The font object of resource `name` in the form's default resources (the AcroForm's /DR,
// else the widget's own /DR), or -1.
int default_resource_font(int widget, const char* name) {
    int root = get_trailer_objref("Root");
    int acro = valid_xref(root) ? get_xref_absolute(root, "AcroForm") : -1;
    for (int obj : {acro, widget}) {
        if (!valid_xref(obj)) continue;
        int t = font_in_resources(obj, name);
        if (t == -1) t = font_in_resources(ref_target(get_elem(obj, "DR")), name);
        if (t != -1) return t;
    }
    return -1;
}

// Finds where the font resources of appearance object `ap` live: the object holding them
// and the element after which entries go (the Font dictionary's start, or 0 when the object
// is the font dictionary itself). An appearance without font resources gets a Font
// dictionary, in its resources or in new resources.
void font_holder(int ap, int* owner, int* after) {
    int res = dict_entry(ap, "Resources");
    int obj = ap;
    if (res != -1 && g_st.p_elem_strage[res].f_type == ELEM_TYPE_OBJREF) {
        int t = ref_target(res);
        if (t != -1 && t != ap) obj = t;
    }
    int fe = get_elem(obj, "Font");
    if (fe != -1 && g_st.p_elem_strage[fe].f_type == ELEM_TYPE_SUBDIC_START) {
        *owner = obj;
        *after = fe;
        return;
    }
    int t = ref_target(fe);
    if (t != -1 && t != obj) {
        *owner = t;
        *after = 0;
        return;
    }
    if (obj == ap && (res == -1 || g_st.p_elem_strage[res].f_type != ELEM_TYPE_SUBDIC_START)) {
        res = append_elem_subdic_start(ap, 0, "Resources");
        append_elem_subdic_end(ap, res, "Resources");
    }
    int start = append_elem_subdic_start(obj, obj == ap ? res : 0, "Font");
    append_elem_subdic_end(obj, start, "Font");
    *owner = obj;
    *after = start;
}

bool is_operand_byte(char c) {
    return (c >= '0' && c <= '9') || c == ' ' || c == '-' || c == '.';
}

}  // namespace

std::string appearance_prefix(const std::string& text) {
    const long len = static_cast<long>(text.size());
    auto find = [&](const char* op) {
        size_t p = text.find(op);
        return p == std::string::npos ? 1000L : static_cast<long>(p);
    };
    long tm = find("Tm"), tl = find("TL"), td = find("Td");
    long point = tm - 2;
    if (tl < point) point = tl - 2;
    if (td < point) point = td - 2;
    if (point >= 997 || len == 0) return text;
    if (point >= len) point = len - 1;
    if (point < 0) point = 0;
    while (point > 0 && is_operand_byte(text[static_cast<size_t>(point)])) --point;
    char c = text[static_cast<size_t>(point)];
    std::string out = text.substr(0, static_cast<size_t>(point) + 1);
    if (c != '\n' && c != '\r') out.push_back(' ');
    return out;
}

namespace {

// Parent chains deeper than this are taken as loops.
constexpr int MAX_FIELD_DEPTH = 64;

// The element holding the value of `e`, following a reference to an object that is a bare
// value ("5 0 obj 12 endobj"); a reference to a dictionary stays as it is.
int value_of(int e) {
    int d = deref_value(e);
    return d == -1 ? e : d;
}

// The text of a string element (literal or hexadecimal) as bytes.
bool bytes_of(int e, std::string* out) {
    if (e == -1) return false;
    const st_elem& el = g_st.p_elem_strage[value_of(e)];
    // A string: not an array (the values of a list box that several are chosen in) nor any
    // other text the store keeps as a string.
    if (el.f_type != ELEM_TYPE_STRING ||
        (el.data.str.type != STR_LITERAL && el.data.str.type != STR_HEX))
        return false;
    *out = string_bytes(el.data.str.type, elem_bytes(el), el.data.str.len);
    return true;
}

const char* name_of(int e) {
    if (e == -1) return nullptr;
    const st_elem& el = g_st.p_elem_strage[value_of(e)];
    return el.f_type == ELEM_TYPE_NAME ? el.data.name : nullptr;
}

// Entry `key` of the dictionary `dict` of object `obj`: a sub-dictionary of its chain, or the
// object it references. -1 when absent.
int entry_in(int obj, const char* dict, const char* key) {
    return Dict{obj, 0}.sub(dict).find(key);
}

int acroform_object() {
    int root = get_trailer_objref("Root");
    return valid_xref(root) ? get_xref_absolute(root, "AcroForm") : -1;
}

// What a widget's field says of itself, its own entries before those of its parents.
struct FieldFacts {
    std::string full_name;  // partial names of the field and its ancestors, joined by "."
    std::string partial;    // the nearest partial name (what the fixed record holds)
    std::string da;         // default appearance (from the field, else the AcroForm)
    char type = FIELD_TYPE_UNKNOWN;
    uint32_t field_flags = 0;
    uint32_t annot_flags = 0;
    int max_len = 0;
    int q = -1;
    const char* state = nullptr;  // a button's value /V, a state name
    std::string value;            // a choice's value /V, as bytes
    // The field's scripts turn a value black, the default appearance's colour being that of
    // a hint shown while the field is empty (Acrobat's "grey hint" fields).
    bool value_black = false;

    bool shows_text() const {
        return type == FIELD_TYPE_UNKNOWN || type == FIELD_TYPE_TEXT || type == FIELD_TYPE_COMBO ||
               type == FIELD_TYPE_LIST;
    }
    bool is_text() const { return type == FIELD_TYPE_UNKNOWN || type == FIELD_TYPE_TEXT; }
};

char type_of(const char* ft, uint32_t ff) {
    if (!ft) return FIELD_TYPE_UNKNOWN;
    if (std::strcmp(ft, "Tx") == 0) return FIELD_TYPE_TEXT;
    if (std::strcmp(ft, "Ch") == 0) return (ff & FF_COMBO) ? FIELD_TYPE_COMBO : FIELD_TYPE_LIST;
    if (std::strcmp(ft, "Sig") == 0) return FIELD_TYPE_SIGNATURE;
    if (std::strcmp(ft, "Btn") == 0) {
        if (ff & FF_PUSHBUTTON) return FIELD_TYPE_PUSHBUTTON;
        return (ff & FF_RADIO) ? FIELD_TYPE_RADIO : FIELD_TYPE_CHECKBOX;
    }
    return FIELD_TYPE_UNKNOWN;
}

// A default appearance whose Tf has a size but no font name ("0 Tf 0 g") is shown by
// viewers in the form's default font, else in Helvetica: the name is put in before the size.
void name_the_font(std::string* da, const std::string& form_da) {
    int ignored = -1;
    std::vector<std::string> t = da_tokens(*da, &ignored);
    size_t tf = 0;
    while (tf < t.size() && t[tf] != "Tf") ++tf;
    int form_tf = -1;
    const std::vector<std::string> form = da_tokens(form_da, &form_tf);
    const std::string& named = form_tf >= 0 ? form[static_cast<size_t>(form_tf)] : std::string();
    const std::string font = named.size() > 1 && named[0] == '/' ? named : "/Helv";
    if (tf == t.size()) {
        // No font operator at all: only a colour, or bytes that are no operators (as a form
        // encrypted amiss leaves them). Viewers show a typed value in the form's font then,
        // else in Helvetica sized to the box.
        const std::string size = form_tf >= 0 ? form[static_cast<size_t>(form_tf) + 1] : "0";
        bool text = !da->empty();
        for (char c : *da) text = text && ((c >= ' ' && c <= '~') || std::strchr("\t\r\n", c));
        *da = font + " " + size + " Tf " + (text ? *da : "0 g");
        return;
    }
    char* end = nullptr;
    const bool sized = tf >= 1 && (std::strtod(t[tf - 1].c_str(), &end), *end == 0);
    if (sized && tf >= 2 && t[tf - 2].size() > 1 && t[tf - 2][0] == '/') return;
    // The font's name is missing ("12 Tf") or empty ("/ 12 Tf", as Scribus writes it), or the
    // size too: the form's font stands in, as viewers take it.
    const auto at = t.begin() + static_cast<long>(tf);
    if (sized && tf >= 2 && t[tf - 2] == "/")
        t[tf - 2] = font;
    else if (sized)
        t.insert(at - 1, font);
    else
        t.insert(at, {font, "0"});
    da->clear();
    for (const std::string& w : t) *da += (da->empty() ? "" : " ") + w;
}

int appearance_stream(int w);
bool appearance_text(int ap, std::string* text);

// The font operator and colour that the widget's own appearance sets its text with, as a
// default appearance ("/F1 12 Tf 0 0 1 rg"), for a field whose writer names none (as jsPDF
// writes them); empty when the appearance sets no font.
std::string da_from_appearance(int w) {
    const int ap = appearance_stream(w);
    std::string text;
    if (ap == -1 || !appearance_text(ap, &text)) return "";
    int ignored = -1;
    const std::vector<std::string> t = da_tokens(text, &ignored);
    std::string font, colour;
    size_t k = 0;
    while (k < t.size() && t[k] != "BT") ++k;
    for (; k < t.size() && t[k] != "ET"; ++k) {
        const std::string& op = t[k];
        if (op == "Tj" || op == "TJ" || op == "'" || op == "\"") break;
        if (op == "Tf" && k >= 2 && t[k - 2].size() > 1 && t[k - 2][0] == '/')
            font = t[k - 2] + " " + t[k - 1] + " Tf";
        const size_t operands = op == "g" ? 1 : op == "rg" ? 3 : op == "k" ? 4 : 0;
        if (operands > 0 && k >= operands) {
            colour.clear();
            for (size_t i = k - operands; i <= k; ++i) colour += (colour.empty() ? "" : " ") + t[i];
        }
    }
    return font.empty() ? "" : font + " " + (colour.empty() ? "0 g" : colour);
}

// Whether node's additional actions hold a script that sets the text colour to black: the
// grey hints of forms whose default appearance is the hint's grey, which viewers running the
// scripts show black once a value is in. Scripts given as strings are read.
bool script_sets_black(int node) {
    const Dict aa = Dict{node, 0}.sub("AA");
    if (!aa.valid()) return false;
    for (int e : aa.entries()) {
        std::string js;
        const Dict action = Dict::of(aa.obj, e);
        if (!action.valid() || !bytes_of(action.find("JS"), &js)) continue;
        if (js.find("textColor") != std::string::npos &&
            js.find("color.black") != std::string::npos)
            return true;
    }
    return false;
}

// Walks the widget and its /Parent chain. False when no node has a partial name.
bool gather_field_facts(int w, FieldFacts* f) {
    const char* ft = nullptr;
    bool have_ff = false, have_max = false, have_da = false, named = false, have_value = false;
    double v = 0;
    if (number_value(dict_entry(w, "F"), &v))
        f->annot_flags = static_cast<uint32_t>(static_cast<int64_t>(v));
    std::vector<int> seen;
    int node = w;
    for (int depth = 0; node != -1 && depth < MAX_FIELD_DEPTH; ++depth) {
        for (int s : seen)
            if (s == node) node = -1;
        if (node == -1) break;
        seen.push_back(node);
        std::string t;
        if (bytes_of(dict_entry(node, "T"), &t)) {
            std::string u = text_to_utf8(t);
            if (!named) f->partial = u;
            // An empty partial name below adds no separator: a widget named "" under "1"
            // is "1", as qpdf and browsers' viewers name it.
            f->full_name = f->full_name.empty() ? u : u + "." + f->full_name;
            named = true;
        }
        if (!ft) ft = name_of(dict_entry(node, "FT"));
        if (!have_ff && number_value(dict_entry(node, "Ff"), &v)) {
            f->field_flags = static_cast<uint32_t>(static_cast<int64_t>(v));
            have_ff = true;
        }
        if (!have_max && number_value(dict_entry(node, "MaxLen"), &v)) {
            f->max_len = static_cast<int>(v);
            have_max = true;
        }
        if (!have_da && bytes_of(dict_entry(node, "DA"), &f->da)) have_da = true;
        f->value_black = f->value_black || script_sets_black(node);
        if (f->q == -1 && number_value(dict_entry(node, "Q"), &v)) f->q = static_cast<int>(v);
        int val = dict_entry(node, "V");
        if (!have_value && val != -1) {
            have_value = true;
            f->state = name_of(val);
            if (!bytes_of(val, &f->value)) {
                // Values given as an array (chosen options): the first is the one a
                // combo box shows.
                const st_elem& el = g_st.p_elem_strage[value_of(val)];
                if (el.f_type == ELEM_TYPE_STRING && el.data.str.type == STR_ARRAY) {
                    std::vector<ChoiceItem> chosen = choice_items(
                        std::string(elem_bytes(el), static_cast<size_t>(el.data.str.len)));
                    if (!chosen.empty()) f->value = chosen.front().exported;
                }
            }
        }
        node = ref_target(dict_entry(node, "Parent"));
    }
    if (!named) return false;
    int acro = acroform_object();
    if (!have_da && valid_xref(acro)) bytes_of(get_elem(acro, "DA"), &f->da);
    if (f->q == -1 && valid_xref(acro) && number_value(get_elem(acro, "Q"), &v))
        f->q = static_cast<int>(v);
    f->type = type_of(ft, f->field_flags);
    if (!f->da.empty()) f->da = clean_da(f->da);
    // A field that names no default appearance anywhere (some form libraries write none) is
    // shown as viewers show it then: in the font and colour its own appearance sets, else in
    // Helvetica sized to the box, black.
    if (f->da.empty() && f->shows_text()) f->da = da_from_appearance(w);
    if (f->da.empty() && f->shows_text()) f->da = "/Helv 0 Tf 0 g";
    // A push button's caption is set in its default appearance's font too, once it names one.
    const bool caption = f->type == FIELD_TYPE_PUSHBUTTON && f->da.find("Tf") != std::string::npos;
    if (f->shows_text() || caption) {
        std::string form_da;
        if (valid_xref(acro)) bytes_of(get_elem(acro, "DA"), &form_da);
        name_the_font(&f->da, form_da);
    }
    return true;
}

// Creates the field record of widget `w` and its extra.
int make_field_record(int w, const FieldFacts& f) {
    new_field_strage();
    const int idx = g_st.cur_field_strage;
    st_field& r = g_st.p_field_strage[idx];
    r.obj_no = static_cast<uint16_t>(w);
    std::snprintf(r.name, sizeof r.name, "%s", f.partial.c_str());
    r.align = static_cast<char>(f.q < 0 || f.q > 2 ? 0 : f.q);
    st_field_extra* x = field_extra_mut(idx);
    x->type = f.type;
    x->field_flags = f.field_flags;
    x->annot_flags = f.annot_flags;
    x->max_len = f.max_len;
    field_extra_set_name(idx, f.full_name.data(), static_cast<int>(f.full_name.size()));
    return idx;
}

// The widget's normal appearance stream, or -1.
int appearance_stream(int w) {
    int n = entry_in(w, "AP", "N");
    int ap = ref_target(n);
    if (ap == -1 || ap == w) return -1;
    return dict_entry(ap, LABEL_STREAM) == -1 ? -1 : ap;
}

void append_real(std::string& s, double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4g ", v);
    s += buf;
}

// Switches entry `e` off so the template leaves it out, with everything inside it and its
// labels, so that no lookup by label (the generator's included) finds it any more.
void switch_off_entry(int e) {
    for (int n : value_elems(e)) g_st.p_elem_strage[n].label[0] = 0;
    switch_off(e);
}

// Points the widget's normal appearance at object `ap` through a new /AP in place of the
// one it had.
void point_normal_appearance(int w, int ap) {
    int apd = dict_entry(w, "AP");
    if (apd != -1) switch_off_entry(apd);
    int d = append_elem_subdic_start(w, 0, "AP");
    int n = append_elem_objref(w, d, "N", ap);
    append_elem_subdic_end(w, n, "AP");
}

// A widget whose /AP, or whose dictionary of appearance states, is an object of its own gets
// them as its own direct dictionaries: the filling finds the appearance streams in the
// widget, a rebuild repoints only this widget's states, and readers that take an indirect
// /N for a stream (poppler does) find the states.
void inline_appearance_dictionary(int w) {
    const Dict ap = Dict{w, 0}.sub("AP");
    if (!ap.valid()) return;
    struct Part {
        const char* key;
        int stream;                               // a stream, by reference
        std::vector<std::pair<int, int>> states;  // or states: label element, object
        bool held;                                // the states lie in an object of their own
    };
    Part parts[3] = {{"N", -1, {}, false}, {"R", -1, {}, false}, {"D", -1, {}, false}};
    bool needed = ap.obj != w;
    for (Part& p : parts) {
        const int e = ap.find(p.key);
        const Dict states = Dict::of(ap.obj, e);
        if (states.valid() && dict_entry(states.obj, LABEL_STREAM) == -1) {
            p.held = states.start == 0;
            for (int s : states.entries())
                if (ref_target(s) != -1) p.states.emplace_back(s, ref_target(s));
        } else {
            p.stream = ref_target(e);
        }
        needed = needed || p.held;
    }
    if (!needed || (parts[0].stream == -1 && parts[0].states.empty())) return;
    switch_off_entry(dict_entry(w, "AP"));
    int last = append_elem_subdic_start(w, 0, "AP");
    for (const Part& p : parts) {
        if (p.stream != -1) {
            last = append_elem_objref(w, last, p.key, p.stream);
        } else if (!p.states.empty()) {
            last = append_elem_subdic_start(w, last, p.key);
            for (auto [label, obj] : p.states) {
                // The label is copied first: appending may move the storage.
                char name[LABEL_SIZE];
                std::memcpy(name, g_st.p_elem_strage[label].label, LABEL_SIZE);
                last = append_elem_objref(w, last, name, obj);
            }
            last = append_elem_subdic_end(w, last, p.key);
        }
    }
    append_elem_subdic_end(w, last, "AP");
}

// True when the appearance's /BBox is a box a value can be shown in.
bool usable_box(int ap) {
    std::vector<double> b = array_numbers(dict_entry(ap, "BBox"));
    return b.size() >= 4 && std::fabs(b[2] - b[0]) > 0.5 && std::fabs(b[3] - b[1]) > 0.5;
}

// True when the appearance's /Matrix shows its text upright and readable: none, or a scaled
// quarter turn. A mirrored, skewed or obliquely turned appearance would show a value
// reversed or slanted, where a viewer shows a value typed into the field upright.
bool upright_matrix(int ap) {
    int e = dict_entry(ap, "Matrix");
    if (e == -1) return true;
    std::vector<double> m = array_numbers(e);
    if (m.size() < 4) return true;
    const double a = m[0], b = m[1], c = m[2], d = m[3];
    const double det = a * d - b * c;
    const double scale = std::fabs(a) + std::fabs(b) + std::fabs(c) + std::fabs(d);
    if (!(det > 0) || scale <= 0) return false;
    const double tiny = scale * 1e-3;
    return (std::fabs(b) < tiny && std::fabs(c) < tiny) ||
           (std::fabs(a) < tiny && std::fabs(d) < tiny);
}

// True when the appearance's /Matrix swaps the box's sides: its width is drawn upwards.
bool lies_on_side(int ap) {
    std::vector<double> m = array_numbers(dict_entry(ap, "Matrix"));
    return m.size() >= 4 && std::fabs(m[0]) + std::fabs(m[3]) < std::fabs(m[1]) + std::fabs(m[2]);
}

// True when an appearance that no matrix turns has its box across the widget's rectangle
// (380 wide and 20 high for a rectangle 20 wide and 380 high): its writer drew it for the
// page as shown turned (/Rotate 90), and every viewer would squeeze it into the rectangle.
bool drawn_across(int w, int ap) {
    if (lies_on_side(ap)) return false;
    std::vector<double> b = array_numbers(dict_entry(ap, "BBox"));
    std::vector<double> r = array_numbers(dict_entry(w, "Rect"));
    if (b.size() < 4 || r.size() < 4) return false;
    const double bw = std::fabs(b[2] - b[0]), bh = std::fabs(b[3] - b[1]);
    const double rw = std::fabs(r[2] - r[0]), rh = std::fabs(r[3] - r[1]);
    return (bw > 1.5 * bh && rh > 1.5 * rw) || (bh > 1.5 * bw && rw > 1.5 * rh);
}

bool appearance_text(int ap, std::string* text);

// True when the appearance's box, as its /Matrix draws it, is another size than the widget's
// rectangle (more than a tenth and two points apart on a side). Either way round when no
// matrix turns it (a box drawn for the page as shown turned, which drawn_across takes); a
// box that its matrix turns across the rectangle (iText's turned fields: a box of the
// rectangle's own size, turned a quarter) is squeezed by viewers.
bool sized_apart(int w, int ap) {
    std::vector<double> b = array_numbers(dict_entry(ap, "BBox"));
    std::vector<double> r = array_numbers(dict_entry(w, "Rect"));
    if (b.size() < 4 || r.size() < 4) return false;
    std::vector<double> m = array_numbers(dict_entry(ap, "Matrix"));
    if (m.size() < 4) m = {1, 0, 0, 1};
    const double bw = std::fabs(b[2] - b[0]), bh = std::fabs(b[3] - b[1]);
    const double tw = std::fabs(m[0]) * bw + std::fabs(m[2]) * bh;
    const double th = std::fabs(m[1]) * bw + std::fabs(m[3]) * bh;
    const double rw = std::fabs(r[2] - r[0]), rh = std::fabs(r[3] - r[1]);
    auto near = [](double a, double want) {
        return std::fabs(a - want) <= std::max(2.0, 0.1 * want);
    };
    const bool swapped = near(tw, rh) && near(th, rw);
    return !(near(tw, rw) && near(th, rh)) && !(swapped && !lies_on_side(ap));
}

int mk_turn(int w);

// True when /MK /R turns the field a quarter or half turn but the appearance's /Matrix does
// not: the form drew the field upright, where a viewer turns a typed value as /MK /R says.
bool turned_by_mk_only(int w, int ap) {
    if (mk_turn(w) == 0) return false;
    std::vector<double> m = array_numbers(dict_entry(ap, "Matrix"));
    return m.size() < 4 || (m[0] > 0 && m[3] > 0 && std::fabs(m[1]) + std::fabs(m[2]) < 1e-3);
}

// What the "cm" operators before an appearance's first text object do to its text.
struct Inside {
    int turn = 0;       // a quarter turn (90 or 270), else 0
    double scale = 1;   // how much they enlarge it
    bool text = false;  // the appearance has a text object
};

// Reads the drawing before the first text object of appearance `ap`. Viewers based on poppler
// save a turned field (/MK /R 90) with a turn there, the box as the widget lies on the page;
// Ghostscript draws at ten times the size, which the appearance's /Matrix takes back.
Inside inside_of(int ap) {
    Inside in;
    std::string text;
    if (!appearance_text(ap, &text)) return in;
    const size_t bt = text.find("BT");
    in.text = bt != std::string::npos;
    if (in.text) text.resize(bt);
    const char* ws = " \t\r\n\f";
    std::string tok[7];
    std::vector<Inside> saved;  // the state at each open "q", which "Q" brings back
    for (size_t p = text.find_first_not_of(ws); p != std::string::npos;) {
        const size_t end = std::min(text.find_first_of(ws, p), text.size());
        for (int k = 0; k < 6; ++k) tok[k] = std::move(tok[k + 1]);
        tok[6] = text.substr(p, end - p);
        p = text.find_first_not_of(ws, end);
        if (tok[6] == "q") saved.push_back(in);
        if (tok[6] == "Q" && !saved.empty()) {
            in.turn = saved.back().turn;
            in.scale = saved.back().scale;
            saved.pop_back();
        }
        if (tok[6] != "cm") continue;
        double m[4];
        for (int k = 0; k < 4; ++k) m[k] = std::atof(tok[k].c_str());
        const double size = std::fabs(m[0]) + std::fabs(m[1]) + std::fabs(m[2]) + std::fabs(m[3]);
        const double tiny = size * 1e-3;
        if (size > 0 && std::fabs(m[0]) < tiny && std::fabs(m[3]) < tiny && m[1] * m[2] < 0)
            in.turn = (in.turn + (m[1] > 0 ? 90 : 270)) % 360;
        in.scale *= std::sqrt(std::fabs(m[0] * m[3] - m[1] * m[2]));
    }
    if (in.turn != 90 && in.turn != 270) in.turn = 0;
    return in;
}

// True when appearance `ap` is drawn at another size than its widget's, which its /Matrix
// scales back, and the text inside it is at the widget's size or missing: a viewer typing a
// value draws it at the widget's size, while the box and the default appearance's font size
// would be read at the drawing's.
bool scaled_to_widget(int ap, const Inside& in) {
    std::vector<double> m = array_numbers(dict_entry(ap, "Matrix"));
    if (m.size() < 4) return false;
    const double s = m[0];
    if (!(s > 0) || std::fabs(m[1]) > 1e-3 * s || std::fabs(m[2]) > 1e-3 * s ||
        std::fabs(m[3] - s) > 1e-3 * s || std::fabs(s - 1) < 0.01)
        return false;
    return !in.text || std::fabs(s * in.scale - 1) < 0.01;
}

// A turn in degrees as 0, 90, 180 or 270; 0 for one that is no multiple of a quarter.
int quarter_turn(double degrees) {
    const int rot = ((static_cast<int>(degrees) % 360) + 360) % 360;
    return rot % 90 == 0 ? rot : 0;
}

// The turn /MK /R gives the widget's field: 0, 90, 180 or 270.
int mk_turn(int w) {
    double r = 0;
    number_value(entry_in(w, "MK", "R"), &r);
    return quarter_turn(r);
}

// The page whose /Annots lists each widget, by object number (0: none), as analyse_fields
// found them.
std::vector<int> g_widget_pages;

// The page that shows widget w: the one listing it, else the one its /P names (-1: none).
// Producers that write no /P (iText) are many.
int widget_page(int w) {
    if (w >= 0 && static_cast<size_t>(w) < g_widget_pages.size() &&
        g_widget_pages[static_cast<size_t>(w)] > 0)
        return g_widget_pages[static_cast<size_t>(w)];
    return ref_target(dict_entry(w, "P"));
}

// The quarter turn of the widget's page (/Rotate 90 or 270); on any other page the one /MK /R
// gives the field (as Scribus turns fields, drawn upright), else 90.
int page_turn(int w) {
    double r = 0;
    number_value(dict_entry(widget_page(w), "Rotate"), &r);
    if (quarter_turn(r) == 90 || quarter_turn(r) == 270) return quarter_turn(r);
    return mk_turn(w) == 270 ? 270 : 90;
}

// A new object of the template, with an empty chain.
int new_object() {
    int n = g_st.num_xref_strage;
    reserve_xref_strage(n + 1);
    return n;
}

// Appearance streams that a text or combo widget has taken as its own, by object number.
std::vector<char> g_taken_appearances;

// A copy of object src (its elements, sharing their string bytes) as a new object.
int copy_object(int src) {
    int n = new_object();
    std::vector<int> elems;
    for (int e : obj_elems(src)) elems.push_back(e);
    append_copies(n, 0, elems);
    return n;
}

// The widget's normal appearance stream as its own: one that another widget took already is
// copied for this one. Forms whose writer merged identical objects share one empty stream
// among many fields, and filling one field would change them all.
int own_appearance_stream(int w) {
    int ap = appearance_stream(w);
    if (ap == -1) return -1;
    std::vector<char>& taken = g_taken_appearances;
    if (static_cast<size_t>(ap) < taken.size() && taken[static_cast<size_t>(ap)]) {
        // Only an /AP of the widget's own can point elsewhere without moving other widgets.
        if (Dict{w, 0}.sub("AP").obj != w) return ap;
        int n = entry_in(w, "AP", "N");
        ap = copy_object(ap);
        g_st.p_elem_strage[n].data.obj_no = ap;
    }
    if (taken.size() <= static_cast<size_t>(ap)) taken.resize(static_cast<size_t>(ap) + 1, 0);
    taken[static_cast<size_t>(ap)] = 1;
    return ap;
}

// A new form XObject of box bw x bh (turned by `matrix` when given) with empty resources;
// *res, when asked for, is the element that opens them. Its stream is set by set_form_text.
int new_form(double bw, double bh, const char* matrix, int* res) {
    int obj = new_object();
    append_elem_name(obj, 0, "Type", "XObject");
    append_elem_name(obj, 0, "Subtype", "Form");
    std::string box = "0 0 ";
    append_real(box, bw);
    append_real(box, bh);
    append_elem_str(obj, 0, "BBox", STR_ARRAY, box.data(), static_cast<int>(box.size()));
    if (matrix)
        append_elem_str(obj, 0, "Matrix", STR_ARRAY, matrix, static_cast<int>(std::strlen(matrix)));
    int start = append_elem_subdic_start(obj, 0, "Resources");
    append_elem_subdic_end(obj, start, "Resources");
    if (res) *res = start;
    return obj;
}

void set_form_text(int ap, const std::string& s) {
    append_elem_int(ap, 0, "Length", static_cast<int>(s.size()));
    // The compiler stores a stream with the byte that followed it in the source.
    std::string data = s + "\n";
    append_elem_str(ap, 0, LABEL_STREAM, STR_STREAM, data.data(), static_cast<int>(s.size()));
}

// Builds the appearance a viewer would draw for an empty text field that has none: its
// background and border from /MK and /BS, a clipped text object with the default appearance,
// the box turned as /MK /R says; `shown` (text operators) goes after the default appearance.
// `size` (width and height), when given, is the box drawn in, which viewers scale to the
// widget's rectangle. `drawing`, when given, is a form drawn in place of the background and
// border. Returns the new appearance object, or -1.
int build_appearance(int w, const FieldFacts& f, const std::string& shown = "",
                     const double* size = nullptr, int turn = -1, int drawing = -1) {
    std::vector<double> rect = array_numbers(dict_entry(w, "Rect"));
    if (rect.size() < 4) return -1;
    double rw = std::fabs(rect[2] - rect[0]), rh = std::fabs(rect[3] - rect[1]);
    const int rot = turn < 0 ? mk_turn(w) : quarter_turn(turn);
    const bool turned = rot == 90 || rot == 270;
    const double bw = size ? size[0] : turned ? rh : rw, bh = size ? size[1] : turned ? rw : rh;

    // Background and border as for every widget a viewer draws; the text is clipped inside
    // the border (twice its width for a beveled or inset one, whose bands take that much).
    const WidgetFrame fr = read_widget_frame(w, 1);
    const bool framed = fr.border > 0 && !(fr.bc.empty() && fr.bg.empty());
    double inset = framed ? fr.border : 1;
    if (framed && (fr.style == 'B' || fr.style == 'I')) inset *= 2;
    std::string frame = frame_ops(fr, bw, bh, false);
    std::string clip;
    append_real(clip, inset);
    append_real(clip, inset);
    append_real(clip, bw - 2 * inset > 0 ? bw - 2 * inset : 0);
    append_real(clip, bh - 2 * inset > 0 ? bh - 2 * inset : 0);
    // The drawing before the text is what filling starts every value with, and the record
    // holds FIELD_START_STR bytes of it: a frame too long for that (the bands of a beveled
    // or inset border) is drawn by a form of its own, which the appearance paints.
    int frame_form = drawing;
    if (drawing != -1) {
        frame = "/KsFrame Do\n";
    } else if (frame.size() + clip.size() + f.da.size() + 32 > FIELD_START_STR / 4 * 3) {
        frame_form = new_form(bw, bh, nullptr, nullptr);
        set_form_text(frame_form, frame);
        frame = "/KsFrame Do\n";
    }
    std::string s = "/Tx BMC\nq\n" + frame + "Q\nq\n" + clip + "re W n\nBT\n" + f.da + "\n" +
                    shown + "ET\nQ\nEMC";
    const char* turned_matrix = rot == 90    ? "0 1 -1 0 0 0"
                                : rot == 180 ? "-1 0 0 -1 0 0"
                                : rot == 270 ? "0 -1 1 0 0 0"
                                             : nullptr;
    int res = 0;
    int ap = new_form(bw, bh, turned_matrix, &res);
    if (frame_form != -1) {
        int xo = append_elem_subdic_start(ap, res, "XObject");
        int ref = append_elem_objref(ap, xo, "KsFrame", frame_form);
        append_elem_subdic_end(ap, ref, "XObject");
    }
    set_form_text(ap, s);

    point_normal_appearance(w, ap);
    return ap;
}

// The appearance text without its text objects (BT to ET; strings inside them skipped).
std::string without_text_objects(const std::string& text) {
    std::string out;
    auto boundary = [&](size_t p, size_t n) {
        return (p == 0 || std::strchr(" \t\r\n\f", text[p - 1])) &&
               (p + n >= text.size() || std::strchr(" \t\r\n\f", text[p + n]));
    };
    size_t from = 0;
    for (size_t p = text.find("BT"); p != std::string::npos; p = text.find("BT", p + 2)) {
        if (p < from || !boundary(p, 2)) continue;
        size_t q = p + 2;
        int depth = 0;
        for (; q < text.size(); ++q) {
            const char c = text[q];
            if (c == '\\' && depth > 0) {
                ++q;
            } else if (c == '(') {
                ++depth;
            } else if (c == ')' && depth > 0) {
                --depth;
            } else if (depth == 0 && c == 'E' && text.compare(q, 2, "ET") == 0 && boundary(q, 2)) {
                break;
            }
        }
        out.append(text, from, p - from);
        from = q + 2 < text.size() ? q + 2 : text.size();
        p = from;
    }
    out.append(text, std::min(from, text.size()), std::string::npos);
    return out;
}

// For a text field whose appearance draws more before its text than the record holds (comb
// cells, elaborate borders): the appearance a viewer draws for a typed value, with the
// form's own drawing, text objects left out, as a form that it paints. -1 where the drawing
// would not stand where it stood (a box not at the widget's size, a turned or scaled one).
int build_keeping_drawing(int w, int ap, const FieldFacts& f) {
    std::string text;
    std::vector<double> b = array_numbers(dict_entry(ap, "BBox"));
    std::vector<double> r = array_numbers(dict_entry(w, "Rect"));
    std::vector<double> m = array_numbers(dict_entry(ap, "Matrix"));
    if (b.size() < 4 || r.size() < 4 || mk_turn(w) != 0 || !appearance_text(ap, &text)) return -1;
    if (m.size() >= 6 &&
        (m[0] != 1 || m[1] != 0 || m[2] != 0 || m[3] != 1 || m[4] != 0 || m[5] != 0))
        return -1;
    const double rw = std::fabs(r[2] - r[0]), rh = std::fabs(r[3] - r[1]);
    if (std::fabs(b[0]) > 1 || std::fabs(b[1]) > 1 || std::fabs(b[2] - rw) > 1 ||
        std::fabs(b[3] - rh) > 1)
        return -1;
    const int drawing = new_object();
    append_elem_name(drawing, 0, "Type", "XObject");
    append_elem_name(drawing, 0, "Subtype", "Form");
    int last = 0;
    for (const char* key : {"BBox", "Resources"}) {
        std::vector<int> value;
        const int e = dict_entry(ap, key);
        if (e != -1)
            for (int n : value_elems(e)) value.push_back(n);
        last = append_copies(drawing, last, value);
    }
    set_form_text(drawing, without_text_objects(text));
    return build_appearance(w, f, "", nullptr, -1, drawing);
}

// Standard font objects made for fonts the form does not define, by base font name.
std::vector<std::pair<std::string, int>> g_made_fonts;

// A font object for the standard font that resource name `res` stands for.
int standard_font_object(const std::string& res) {
    static const char* const aliases[][2] = {{"Helv", "Helvetica"},
                                             {"HeBo", "Helvetica-Bold"},
                                             {"HeOb", "Helvetica-Oblique"},
                                             {"HeBO", "Helvetica-BoldOblique"},
                                             {"TiRo", "Times-Roman"},
                                             {"TiBo", "Times-Bold"},
                                             {"TiIt", "Times-Italic"},
                                             {"TiBI", "Times-BoldItalic"},
                                             {"Cour", "Courier"},
                                             {"CoBo", "Courier-Bold"},
                                             {"CoOb", "Courier-Oblique"},
                                             {"CoBO", "Courier-BoldOblique"},
                                             {"Symb", "Symbol"},
                                             {"ZaDb", "ZapfDingbats"}};
    std::string base = "Helvetica";
    for (const auto& a : aliases)
        if (res == a[0]) base = a[1];
    if (get_standard_font_no(res.c_str()) > 0) base = res;
    for (const auto& m : g_made_fonts)
        if (m.first == base) return m.second;
    int obj = new_object();
    append_elem_name(obj, 0, "Type", "Font");
    append_elem_name(obj, 0, "Subtype", "Type1");
    append_elem_name(obj, 0, "BaseFont", base.c_str());
    if (base != "Symbol" && base != "ZapfDingbats")
        append_elem_name(obj, 0, "Encoding", "WinAnsiEncoding");
    g_made_fonts.emplace_back(base, obj);
    return obj;
}

// Font of the default appearance: its resource name and size in the record, its font record
// analysed, the font entered into the appearance's resources when only the form's default
// resources name it. False (with a note) when the field cannot be filled.
bool analyse_field_font(int idx, int w, int ap, const FieldFacts& f, std::string* renamed) {
    auto rec = [idx]() -> st_field& { return g_st.p_field_strage[idx]; };
    const std::string& da = f.da;
    const std::string& name = f.full_name;
    size_t slash = da.find('/');
    if (da.find("Tf") == std::string::npos || slash == std::string::npos) return false;

    char word[256] = "", size_text[256] = "";
    std::sscanf(da.c_str() + slash + 1, "%255s %255s", word, size_text);
    std::string F = word, long_name;
    if (F.size() >= LABEL_SIZE) {
        // A name too long for the record: the font is entered in the appearance's resources
        // under the name shortened, which the record and the drawing of values use.
        char alias[LABEL_SIZE];
        copy_shortened_name(alias, F.c_str());
        long_name.swap(F);
        F = alias;
    }
    // A size of 0 asks for a size that fits the box; the record keeps 0 for the generator.
    if (!set_field_font_size(rec(), size_text))
        note("Font size too large(" + name + "), " + std::to_string(int(MAX_FIELD_FONT_SIZE)) +
             " pt used.");
    if (rec().font_size10 < 0) rec().font_size = rec().font_size10 = 0;

    // Where the appearance's font resources live (made when it has none).
    int owner = -1, after = 0;
    font_holder(ap, &owner, &after);

    // The appearance may name the font differently from the default appearance: its first
    // font, when the default appearance's is not among its fonts.
    int first_entry = *Dict{owner, after}.entries().begin();
    if (!long_name.empty()) {
        *renamed = long_name;
    } else if (first_entry > 0 && Dict{owner, after}.find(F.c_str()) == -1) {
        const st_elem& ae = g_st.p_elem_strage[first_entry];
        if (ae.f_type == ELEM_TYPE_OBJREF && ae.label[0] != 0 &&
            std::strncmp(ae.label, F.c_str(), LABEL_SIZE) != 0)
            renamed->assign(ae.label, strnlen(ae.label, LABEL_SIZE));
    }

    // The font object: in the appearance's resources, else in the form's default resources
    // (entered into the appearance's font resources so that the output names it too).
    // A long name is looked up whole; the font goes in under the shortened one as well.
    const char* key = long_name.empty() ? F.c_str() : long_name.c_str();
    int font = resource_object(resource_entry(owner, key));
    if (font != -1 && key != F.c_str()) append_elem_objref(owner, after, F.c_str(), font);
    if (font == -1) {
        font = default_resource_font(w, key);
        if (font != -1) append_elem_objref(owner, after, F.c_str(), font);
    }
    int font_no = 0;
    bool analysed = false;
    if (font == -1) {
        for (const char* prefix : {"KozGoPr", "KozMinPr"}) {
            if (F.compare(0, std::strlen(prefix), prefix) != 0) continue;
            std::string pattern = std::string(prefix) + "*";
            int e = get_elem(owner, pattern.c_str());
            int t = ref_target(e);
            if (t == -1) continue;
            font_no = analyse_font(t);
            analysed = true;
            F.assign(g_st.p_elem_strage[e].label, strnlen(g_st.p_elem_strage[e].label, LABEL_SIZE));
            break;
        }
    }
    if (font == -1 && !analysed) {
        // A font the form names nowhere: viewers show such a field in a standard font (the
        // one its name abbreviates, else Helvetica), and so does the filled field.
        font = standard_font_object(F);
        append_elem_objref(owner, after, F.c_str(), font);
    }
    if (!analysed) font_no = analyse_font(font);
    std::snprintf(rec().short_name, sizeof rec().short_name, "%s", F.c_str());
    rec().font_no = static_cast<int16_t>(font_no);
    return true;
}

// Enters the default appearance's font, as appearance `from` names it, in the resources of
// the appearance `to` built in its place.
void carry_default_font(int w, int from, int to, const FieldFacts& f) {
    size_t slash = f.da.find('/');
    if (slash == std::string::npos) return;
    char word[LABEL_SIZE + 1] = "";
    std::sscanf(f.da.c_str() + slash + 1, "%32s", word);
    if (word[0] == 0 || std::strlen(word) >= LABEL_SIZE || default_resource_font(w, word) != -1)
        return;
    int font = font_in_resources(from, word);
    if (font == -1) font = font_in_resources(ref_target(dict_entry(from, "Resources")), word);
    if (font == -1) return;
    int owner = -1, after = 0;
    font_holder(to, &owner, &after);
    append_elem_objref(owner, after, word, font);
}

// Text box of the field: inset for the border, width, first line and line feed.
void analyse_field_box(int idx, int w, int ap, const FieldFacts& f) {
    st_field& r = g_st.p_field_strage[idx];
    bool found = false;
    std::string bbox = string_value(ap, nullptr, "BBox", &found);
    const char* bp = bbox.c_str();
    while (*bp == ' ' || *bp == '[') ++bp;
    char xs[64] = "", ys[64] = "", x1s[64] = "", y1s[64] = "";
    std::sscanf(bp, "%63s %63s %63s %63s", x1s, y1s, xs, ys);
    float x2 = static_cast<float>(std::atof(xs)), y2 = static_cast<float>(std::atof(ys));
    // A box that does not start at the origin: the text goes inside it, where the form's
    // own text is drawn.
    float x1 = static_cast<float>(std::atof(x1s)), y1 = static_cast<float>(std::atof(y1s));
    if (!(x1 < x2) || !(y1 < y2)) x1 = y1 = 0;

    int border = get_elem_int(w, "Parent", "W");
    // Viewers set the text in by twice the border's width, and twice that again for a
    // beveled or inset border, whose bands take as much: that is one point more than the
    // width below for a border of 2 points, and two for one of 3. Borders of one point and
    // none keep the allowance below. A width written as a real (/W 3.0) counts as well.
    const WidgetFrame fr = read_widget_frame(w, 1);
    if (border == -1 && fr.border >= 2) border = static_cast<int>(fr.border);
    float b = static_cast<float>((border == -1 ? 1 : border) + 1);
    const float width = static_cast<float>(border == -1 ? 1 : border);
    const float bands = fr.style == 'B' || fr.style == 'I' ? 2.0f : 1.0f;
    if (width >= 1 && 2 * width * bands > b) b = 2 * width * bands;
    r.space_w = x1 + b;
    r.width = x2 - x1 - 2 * b;

    int H = 1000;
    if (r.font_no < 0) {
        int n = -r.font_no;
        H = n < FHEIGHT_COUNT ? fheight[n] : 1000;
    } else if (r.font_no < g_st.num_font_strage) {
        H = g_st.p_font_strage[r.font_no].height;
    }
    float line_feed = static_cast<float>(H) * static_cast<float>(r.font_size10) / 10000.0f;
    r.line_feed = line_feed;
    float line_start = y2 - b - line_feed;
    const bool multi = (f.field_flags & FF_MULTILINE) != 0;
    const float middle = (y1 + y2) / 2;
    if (g_cc.f_merlow && !multi) line_start = middle - line_feed / 2 + 0.2f * line_feed;
    if (g_cc.f_merlow && multi) line_start = line_start + 0.2f * line_feed;
    if (g_cc.f_merlow14 && !multi) line_start = middle - line_feed / 2;
    if (line_start < y1 + b) line_start = y1 + b;
    r.line_start = line_start;
}

// The appearance text, inflated when it is Flate-encoded. False when broken.
bool appearance_text(int ap, std::string* text) {
    bool found = false;
    int data = dict_entry(ap, LABEL_STREAM);
    if (data == -1 || g_st.p_elem_strage[data].f_type != ELEM_TYPE_STRING) return false;
    const st_elem& de = g_st.p_elem_strage[data];
    int stored = de.data.str.len;
    int length = get_elem_int(ap, nullptr, "Length");
    if (length < 0 || length > stored) length = stored;
    std::string raw(elem_bytes(de), static_cast<size_t>(length));
    std::string filter = string_value(ap, nullptr, "Filter", &found);
    if (!found) {
        const char* n = get_elem_name(ap, nullptr, "Filter");
        if (n) filter = n;
    }
    if (filter.find("FlateDecode") != std::string::npos && !raw.empty()) {
        // A stream whose end is damaged still gives the text decoded before the damage. An
        // empty stream is empty whatever its filter (some writers compress even empty ones).
        if (!inflate_data(raw.data(), raw.size(), *text) && text->empty()) return false;
    } else {
        *text = raw;
    }
    // The text ends at a NUL, as the generator reads it.
    text->resize(strnlen(text->c_str(), text->size()));
    return true;
}

// The start of the appearance that values are appended to. False when it does not fit the
// record.
bool analyse_start_text(int idx, const std::string& text, const FieldFacts& f,
                        const std::string& font, const std::string& renamed) {
    st_field& r = g_st.p_field_strage[idx];
    size_t bmc = text.find("BMC");
    if (bmc != std::string::npos)
        for (size_t k = bmc + 3; k < bmc + 7 && k < text.size(); ++k)
            if (text[k] == 'q') r.f_q_op = 1;

    std::string start = appearance_prefix(text);
    if (start == text) {
        // No text positioning to cut at. An appearance with a text object is cut after its
        // font operator; one without (an empty field's "/Tx BMC EMC") gets a text object opened
        // with the default appearance, inside its marked content, so the generator's closing
        // operators balance.
        size_t bt = text.find("BT");
        size_t et = bt == std::string::npos ? std::string::npos : text.find("ET", bt + 2);
        if (et != std::string::npos) {
            // Keep the text state up to the font operator and the operators after it (the
            // colour); what the text object shows goes.
            size_t tf = text.find("Tf", bt + 2);
            size_t end = tf != std::string::npos && tf < et ? tf + 2 : bt + 2;
            start = text.substr(0, end) + " ";
            if (tf != std::string::npos && tf < et) {
                std::string rest = text.substr(tf + 2, et - tf - 2);
                if (rest.find_first_of("()<[") == std::string::npos) start += rest + " ";
            }
        } else {
            size_t emc = text.rfind("EMC");
            if (bmc != std::string::npos && emc != std::string::npos && emc > bmc)
                start = text.substr(0, emc);
            else
                start = text + (text.empty() ? "" : "\n") + "/Tx BMC ";
            start += "BT " + f.da + " ";
            r.f_q_op = 0;
        }
    }
    if (!renamed.empty()) {
        // The name as an operand: "/" and the name, ended by a delimiter.
        const std::string operand = "/" + renamed;
        for (size_t p = start.find(operand); p != std::string::npos;
             p = start.find(operand, p + 1)) {
            size_t end = p + operand.size();
            if (end < start.size() && !std::strchr(" \t\r\n\f/[]()<>%", start[end])) continue;
            start.replace(p + 1, renamed.size(), font);
            break;
        }
    }
    if (f.value_black) start += "0 g ";
    if (start.size() >= sizeof r.start_str) return false;
    std::memcpy(r.start_str, start.c_str(), start.size() + 1);
    return true;
}

enum class Analysis { ok, failed, broken, too_long };

// Reads what filling needs from appearance `ap` into record idx.
Analysis analyse_appearance(int idx, int w, int ap, const FieldFacts& f) {
    std::string renamed;
    if (!analyse_field_font(idx, w, ap, f, &renamed)) return Analysis::failed;
    analyse_field_box(idx, w, ap, f);
    std::string text;
    if (!appearance_text(ap, &text)) return Analysis::broken;
    if (!analyse_start_text(idx, text, f, g_st.p_field_strage[idx].short_name, renamed))
        return Analysis::too_long;
    return Analysis::ok;
}

// True when the form asks viewers to build the appearances of its fields.
bool g_need_appearances = false;
// True when the form's /Fields is an array: its widgets belong to the fields it lists.
bool g_fields_listed = false;

bool is_true(int e) {
    if (e == -1) return false;
    const st_elem& el = g_st.p_elem_strage[value_of(e)];
    return el.f_type == ELEM_TYPE_STRING && el.data.str.type == STR_BARE && el.data.str.len == 4 &&
           std::memcmp(elem_bytes(el), "true", 4) == 0;
}

// The value a check box or radio button holds: the group's, for a button of a group listed
// in the form's /Fields; otherwise only its own. A viewer knows no groups in a form whose
// /Fields is no array, nor for a widget that has /Kids of its own (a field node, not a
// button of the group).
const char* button_value(int w, const FieldFacts& f) {
    const bool grouped = g_fields_listed && dict_entry(w, "Kids") == -1;
    return grouped ? f.state : name_of(dict_entry(w, "V"));
}

// A check box or radio button with appearance states but no /AS shows the state its value
// names, else its off state, as viewers choose it.
void give_missing_state(int w, const FieldFacts& f) {
    if (dict_entry(w, "AS") != -1) return;
    const Dict normal = Dict{w, 0}.sub("AP").sub("N");
    if (!normal.valid() || dict_entry(normal.obj, LABEL_STREAM) != -1) return;
    const char* value = button_value(w, f);
    const bool on = value && std::strcmp(value, "Off") != 0 && normal.find(value) != -1;
    // Copied first: appending may move the storage the name lies in.
    const std::string state = on ? value : "Off";
    append_elem_name(w, 0, "AS", state.c_str());
}

// A check box shows the state its /AS names, as every viewer does. A radio button shows its
// state only when that is also the button's value: a viewer building the appearances of the
// group draws a button on only where the two agree, so one whose /AS and the group's /V
// differ is shown off.
void set_button_state(int w, const FieldFacts& f) {
    if (f.type != FIELD_TYPE_RADIO) return;
    int as = dict_entry(w, "AS");
    const char* now = name_of(as);
    if (!now || std::strcmp(now, "Off") == 0) return;
    const char* value = button_value(w, f);
    if (value && std::strcmp(value, now) == 0) return;
    switch_off_entry(as);
    append_elem_name(w, 0, "AS", "Off");
}

// A choice value as single-byte text for the standard fonts' encoding; false when it holds a
// character that encoding lacks.
bool latin1_text(const std::string& bytes, std::string* out) {
    std::string u = text_to_utf8(bytes);
    out->clear();
    for (size_t i = 0; i < u.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(u[i]);
        if (c < 0x80) {
            if (c < 0x20) return false;
            if (c == '(' || c == ')' || c == '\\') out->push_back('\\');
            out->push_back(static_cast<char>(c));
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < u.size()) {
            out->push_back(static_cast<char>(((c & 0x03) << 6) | (u[++i] & 0x3F)));
        } else {
            return false;
        }
    }
    return true;
}

// The /Opt array text of the field (the widget or the nearest parent holding one).
bool field_options(int w, std::string* text) {
    int node = w;
    for (int depth = 0; node != -1 && depth < MAX_FIELD_DEPTH; ++depth) {
        int e = dict_entry(node, "Opt");
        if (e != -1) {
            const st_elem& el = g_st.p_elem_strage[value_of(e)];
            if (el.f_type != ELEM_TYPE_STRING || el.data.str.type != STR_ARRAY) return false;
            text->assign(elem_bytes(el), static_cast<size_t>(el.data.str.len));
            return true;
        }
        node = ref_target(dict_entry(node, "Parent"));
    }
    return false;
}

// Width in em of `text` (single-byte codes) in font number `font_no`.
double text_width(int font_no, const std::string& text) {
    const st_font* font = nullptr;
    char kind = 'T';
    if (font_no >= 0 && font_no < g_st.num_font_strage) {
        font = &g_st.p_font_strage[font_no];
        kind = font->encoding;
    }
    if (font_no >= 0 && !font) return 0.5 * static_cast<double>(text.size());
    double w = 0;
    for (char c : text)
        w += char_width(font_no, kind, static_cast<unsigned char>(c), font) / 1000.0;
    return w;
}

// A combo box's appearance showing its value where a filled text field would show it.
void build_combo_appearance(int idx, int w, int ap, const FieldFacts& f) {
    // A value that is an option's export value shows that option's text, as viewers show it.
    std::string value = f.value, opt_text;
    if (field_options(w, &opt_text)) {
        const std::vector<ChoiceItem> items = choice_items(opt_text);
        const int k = exported_item(items, text_to_utf8(value));
        if (k != -1) value = items[static_cast<size_t>(k)].shown;
    }
    std::string text;
    if (!latin1_text(value, &text) || text.empty()) return;
    const st_field& r = g_st.p_field_strage[idx];
    // A font of two-byte codes (Identity-H) cannot show the one-byte text: the value is shown
    // in Helvetica, as a filled value's letters the font lacks are.
    const st_font* ff = r.font_no >= 0 && r.font_no < g_st.num_font_strage
                            ? &g_st.p_font_strage[r.font_no]
                            : nullptr;
    const bool stand_in = ff && ff->encoding != 'T' && ff->encoding != 'N';
    const int font_no = stand_in ? -get_standard_font_no("Helvetica") : r.font_no;
    std::string shown;
    // One line, centred in the box as viewers place a choice.
    std::vector<double> box = array_numbers(dict_entry(ap, "BBox"));
    if (box.size() < 4) return;
    const double bh = std::fabs(box[3] - box[1]);
    double line_feed = r.line_feed;
    if (r.font_size10 <= 0 || stand_in) {
        // An automatic size: the default appearance's font at a size the box holds.
        size_t tf = f.da.rfind("Tf");
        size_t slash = f.da.rfind('/', tf);
        if (tf == std::string::npos || slash == std::string::npos) return;
        std::string font = f.da.substr(slash, f.da.find_first_of(" \t\r\n", slash) - slash);
        if (stand_in) font = "/KsHelv";
        // A fixed size, or as a one-line text field is filled: Acrobat's size, less where the
        // value would not fit the width.
        double size = r.font_size10 / 10.0;
        if (size <= 0) {
            size = one_line_size(bh, std::max(0.0, r.space_w - std::min(box[0], box[2])));
            const double em = text_width(font_no, text);
            if (em > 0 && r.width > 0 && r.width / em < size) size = r.width / em;
            size = std::floor(size * 100) / 100;
        }
        if (size < 1) return;
        shown = font + " ";
        append_real(shown, size);
        shown += "Tf ";
        line_feed = size * 1.15;
    }
    double y = (bh - line_feed) / 2 + 0.2 * line_feed;
    append_real(shown, r.space_w);
    append_real(shown, y > r.space_w ? y : r.space_w);
    shown += "Td (" + text + ") Tj\n";
    int built = build_appearance(w, f, shown);
    if (built != -1 && stand_in) {
        int owner = -1, after = 0;
        font_holder(built, &owner, &after);
        append_elem_objref(owner, after, "KsHelv", standard_font_object("Helv"));
    }
    if (built != -1) analyse_appearance(idx, w, built, f);
}

// The box a widget's appearance draws in: the /Rect's size, turned as /MK /R says.
struct WidgetBox {
    double w = 0, h = 0;    // turned
    double rw = 0, rh = 0;  // as on the page
    int rot = 0;
};

bool widget_box(int w, WidgetBox* b) {
    std::vector<double> rect = array_numbers(dict_entry(w, "Rect"));
    if (rect.size() < 4) return false;
    const int rot = mk_turn(w);
    const double rw = std::fabs(rect[2] - rect[0]), rh = std::fabs(rect[3] - rect[1]);
    const bool turned = rot == 90 || rot == 270;
    b->w = turned ? rh : rw;
    b->h = turned ? rw : rh;
    b->rw = rw;
    b->rh = rh;
    b->rot = rot;
    return b->w > 0.5 && b->h > 0.5;
}

// A new form XObject of the widget's box (as on the page) with empty resources; its stream
// is set by set_form_text. Viewers draw the frame in the page's orientation and turn only
// what is inside (turned()).
int new_form_object(const WidgetBox& b) {
    return new_form(b.rw, b.rh, nullptr, nullptr);
}

// Drawing `inside` in the turned box (b.w x b.h) of a widget turned by /MK /R.
std::string turned(const WidgetBox& b, const std::string& inside) {
    if (b.rot == 0 || inside.empty()) return inside;
    std::string s = "q\n";
    if (b.rot == 90) {
        s += "0 1 -1 0 ";
        append_real(s, b.rw);
        s += "0 cm\n";
    } else if (b.rot == 180) {
        s += "-1 0 0 -1 ";
        append_real(s, b.rw);
        append_real(s, b.rh);
        s += "cm\n";
    } else {
        s += "0 -1 1 0 0 ";
        append_real(s, b.rh);
        s += "cm\n";
    }
    return s + inside + "Q\n";
}

// Enters font object `font` under `name` in the font resources of appearance `ap`.
void add_font_resource(int ap, const char* name, int font) {
    int owner = -1, after = 0;
    font_holder(ap, &owner, &after);
    if (ref_target(get_elem(owner, name)) == -1) append_elem_objref(owner, after, name, font);
}

// Text as single-byte codes of the standard encodings (Latin-1); false when it holds a
// character they lack.
bool single_byte_text(const std::string& bytes, std::string* out) {
    return utf8_to_latin1(text_to_utf8(bytes), out);
}

// True when the font of field record idx shows single-byte codes (a standard font, or a
// simple font with a single-byte encoding).
bool single_byte_font(int idx) {
    const st_field& r = g_st.p_field_strage[idx];
    if (r.font_no < 0) return true;
    if (r.font_no >= g_st.num_font_strage) return false;
    char kind = g_st.p_font_strage[r.font_no].encoding;
    return kind == 'T' || kind == 'N';
}

// Enters the field's font in the resources of appearance `ap`, which a rebuilt push button
// or list box writes its text in; false (with `ap` emptied) when that font cannot show
// single-byte text.
bool caption_font(int idx, int w, int ap, const FieldFacts& f) {
    std::string renamed;
    if (analyse_field_font(idx, w, ap, f, &renamed) && single_byte_font(idx)) return true;
    empty_object(ap);
    return false;
}

// Nearest entry `key` of the field: the widget's, else its parents'.
int field_entry(int w, const char* key) {
    int node = w;
    for (int depth = 0; node != -1 && depth < MAX_FIELD_DEPTH; ++depth) {
        int e = dict_entry(node, key);
        if (e != -1) return e;
        node = ref_target(dict_entry(node, "Parent"));
    }
    return -1;
}

// Points the widget's normal appearance (the reference `entry`) at `ap`.
void repoint(int entry, int ap) {
    g_st.p_elem_strage[entry].data.obj_no = ap;
}

// True when the widget has a normal appearance dictionary of states (/AP /N << ... >>).
bool has_normal_states(int w) {
    return Dict{w, 0}.sub("AP").sub("N").valid();
}

// True when the widget has a normal appearance: a stream, or a dictionary of states.
bool has_normal_appearance(int w) {
    return has_normal_states(w) || appearance_stream(w) != -1;
}

// Gives a widget without a normal appearance an /AP whose /N stands at the widget itself
// until a rebuild points it at what it draws; drop_unbuilt_appearance takes it away again
// where nothing was drawn. True when it gave one.
bool give_normal_appearance(int w) {
    if (has_normal_appearance(w)) return false;
    point_normal_appearance(w, w);
    return true;
}

void drop_unbuilt_appearance(int w) {
    if (ref_target(entry_in(w, "AP", "N")) == w) switch_off_entry(dict_entry(w, "AP"));
}

// A check box or radio button without a normal appearance (none at all, or only a down
// appearance /D), which viewers draw from its /MK: it gets a normal appearance dictionary
// of its off state and of its on state where that is known (the state /AS or the down
// appearance names, else for a check box or a lone radio button its value or "Yes", the
// name viewers give it), each entry pointing at the widget until rebuild_button_states
// draws it. A widget without /AS shows its off state, as viewers show it.
void give_button_states(int w, const FieldFacts& f) {
    if (has_normal_states(w)) return;
    const char* as = name_of(dict_entry(w, "AS"));
    const char* value = f.state;
    std::string on;
    if (as && std::strcmp(as, "Off") != 0) on = as;
    for (int e : Dict{w, 0}.sub("AP").sub("D").entries()) {
        const char* label = g_st.p_elem_strage[e].label;
        if (on.empty() && std::strncmp(label, "Off", LABEL_SIZE) != 0)
            on.assign(label, strnlen(label, LABEL_SIZE));
    }
    // A radio button that is a field of its own (PDFKit writes each as one) has an on state
    // as a check box has: no sibling needs another name.
    const bool alone =
        f.type == FIELD_TYPE_CHECKBOX || (f.type == FIELD_TYPE_RADIO && dict_entry(w, "T") != -1);
    if (on.empty() && alone) on = value && std::strcmp(value, "Off") != 0 ? value : "Yes";
    if (on.size() >= LABEL_SIZE) on.clear();
    // What the widget has of an appearance (a down appearance) goes with the new one.
    int old = dict_entry(w, "AP");
    if (old != -1) switch_off_entry(old);
    int d = append_elem_subdic_start(w, 0, "AP");
    int last = append_elem_subdic_start(w, d, "N");
    if (!on.empty()) last = append_elem_objref(w, last, on.c_str(), w);
    last = append_elem_objref(w, last, "Off", w);
    last = append_elem_subdic_end(w, last, "N");
    append_elem_subdic_end(w, last, "AP");
    if (!as) append_elem_name(w, 0, "AS", "Off");
}

// The fill colour operator of default appearance tokens `da` (its last g, rg or k with its
// operands), black when it has none.
std::string da_fill_colour(const std::vector<std::string>& da) {
    for (size_t k = da.size(); k-- > 0;) {
        const size_t operands = da[k] == "g" ? 1 : da[k] == "rg" ? 3 : da[k] == "k" ? 4 : 0;
        if (operands == 0 || k < operands) continue;
        std::string s;
        for (size_t i = k - operands; i <= k; ++i) s += da[i] + (i < k ? " " : "\n");
        return s;
    }
    return "0 g\n";
}

// Check boxes and radio buttons: every state of the normal appearance drawn as a viewer
// builds it, the on states with the caption (/MK /CA, else a check mark) in ZapfDingbats.
// A state that cannot be drawn (an on state whose default appearance names no font size)
// goes from a dictionary that give_button_states made (`made`: the widget had none).
void rebuild_button_states(int w, const FieldFacts& f, Dict mk, const WidgetBox& b, bool made) {
    Dict normal = Dict{w, 0}.sub("AP").sub("N");
    if (!normal.valid() || normal.start == 0) return;
    // Viewers draw the off state too, where the form gives none; a state given as a
    // dictionary in place of a stream (as LaTeX forms write them) is drawn as well.
    if (normal.find("Off") == -1) append_elem_objref(w, normal.start, "Off", w);
    std::vector<int> direct;
    for (int e : normal.entries())
        if (g_st.p_elem_strage[e].f_type == ELEM_TYPE_SUBDIC_START) direct.push_back(e);
    for (int e : direct) {
        char label[LABEL_SIZE];
        std::memcpy(label, g_st.p_elem_strage[e].label, LABEL_SIZE);
        switch_off_entry(e);
        append_elem_objref(w, normal.start, label, w);
    }
    const bool radio = f.type == FIELD_TYPE_RADIO;
    std::string caption;
    const bool has_caption = bytes_of(mk.find("CA"), &caption) && !caption.empty();
    const WidgetFrame fr = read_widget_frame(w, 0);
    const std::string frame = frame_ops(fr, b.rw, b.rh, radio && !has_caption);
    // The caption's size from the default appearance (0: the largest the box holds).
    int tf = -1;
    std::vector<std::string> da = da_tokens(f.da, &tf);
    const double size = tf < 0 ? 0 : std::atof(da[static_cast<size_t>(tf) + 1].c_str());
    static const int zapf = get_standard_font_no("ZapfDingbats");
    for (int e : normal.entries()) {
        const st_elem& el = g_st.p_elem_strage[e];
        if (el.f_type != ELEM_TYPE_OBJREF || ref_target(e) == -1) continue;
        const bool on = std::strncmp(el.label, "Off", LABEL_SIZE) != 0;
        std::string text = frame;
        bool zapf_font = false;
        if (on && (has_caption || !radio)) {
            // Without a font operator in the default appearance a viewer keeps the form's own.
            if (tf < 0) {
                if (ref_target(e) == w) switch_off_entry(e);
                continue;
            }
            std::string glyphs = has_caption ? caption : "3";
            double width = 0;
            for (char c : glyphs) width += fmetric[zapf][static_cast<unsigned char>(c)] / 1000.0;
            text += turned(b, caption_ops(f.da, "/ZaDb", size, glyphs, width, b.w, b.h, fr.border));
            zapf_font = true;
        } else if (on && (!fr.bc.empty() || made)) {
            // The dot in the border colour; a radio button that came with no appearance at
            // all and no border colour (PDFKit's) has it in the default appearance's colour.
            text += (fr.bc.empty() ? da_fill_colour(da) : colour_ops(fr.bc, false)) +
                    disc_ops(0.5 * b.rw, 0.5 * b.rh, 0.2 * (b.rw < b.rh ? b.rw : b.rh));
        }
        int ap = new_form_object(b);
        if (zapf_font) add_font_resource(ap, "ZaDb", standard_font_object("ZaDb"));
        set_form_text(ap, text);
        repoint(e, ap);
    }
}

// Push buttons: frame and caption (/MK /CA) in the field's font.
void rebuild_push_button(int idx, int w, const FieldFacts& f, Dict mk, const WidgetBox& b) {
    int n = entry_in(w, "AP", "N");
    if (n == -1 || g_st.p_elem_strage[n].f_type != ELEM_TYPE_OBJREF || ref_target(n) == -1) return;
    // An icon is drawn by some viewers and not by others: the form's own appearance stays.
    if (mk.find("I") != -1) return;
    std::string caption, shown;
    const bool has_caption = bytes_of(mk.find("CA"), &caption) && !caption.empty();
    if (has_caption && !single_byte_text(caption, &shown)) return;
    const WidgetFrame fr = read_widget_frame(w, 0);
    int ap = new_form_object(b);
    std::string text = frame_ops(fr, b.rw, b.rh, false);
    if (has_caption) {
        if (!caption_font(idx, w, ap, f)) return;
        const st_field& r = g_st.p_field_strage[idx];
        text += turned(b, caption_ops(f.da, std::string("/") + r.short_name, r.font_size10 / 10.0,
                                      shown, text_width(r.font_no, shown), b.w, b.h, fr.border));
    }
    set_form_text(ap, text);
    repoint(n, ap);
}

// List boxes: the options from /TI on, the selected ones (/V, else /I) highlighted.
void rebuild_list_box(int idx, int w, const FieldFacts& f, const WidgetBox& b) {
    int n = entry_in(w, "AP", "N");
    if (n == -1 || g_st.p_elem_strage[n].f_type != ELEM_TYPE_OBJREF || ref_target(n) == -1) return;
    std::string opt_text;
    if (!field_options(w, &opt_text)) return;
    std::vector<ChoiceItem> items = choice_items(opt_text);
    std::vector<ListOption> options(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        if (single_byte_text(items[i].shown, &options[i].text)) continue;
        // Options beyond one-byte text keep the form's drawing here; the generator draws
        // them when a value is set, in the field's font, which the record learns.
        std::string renamed;
        analyse_field_font(idx, w, ref_target(n), f, &renamed);
        return;
    }
    int ap = new_form_object(b);
    if (!caption_font(idx, w, ap, f)) return;
    const st_field& r = g_st.p_field_strage[idx];
    std::vector<std::string> chosen;
    int v = field_entry(w, "V");
    std::string one;
    if (bytes_of(v, &one)) {
        chosen.push_back(one);
    } else if (v != -1) {
        const st_elem& el = g_st.p_elem_strage[value_of(v)];
        if (el.f_type == ELEM_TYPE_STRING && el.data.str.type == STR_ARRAY)
            for (const ChoiceItem& c :
                 choice_items(std::string(elem_bytes(el), static_cast<size_t>(el.data.str.len))))
                chosen.push_back(c.exported);
    }
    std::vector<double> indexes =
        chosen.empty() ? array_numbers(field_entry(w, "I")) : std::vector<double>();
    // Values match options by their text, whatever encoding each string uses.
    for (std::string& c : chosen) c = text_to_utf8(c);
    for (size_t i = 0; i < items.size(); ++i) {
        ListOption& o = options[i];
        o.width = text_width(r.font_no, o.text);
        const std::string exported = text_to_utf8(items[i].exported);
        for (const std::string& c : chosen)
            if (c == exported) o.selected = true;
        for (double k : indexes)
            if (static_cast<size_t>(k) == i) o.selected = true;
    }
    double top = 0;
    number_value(field_entry(w, "TI"), &top);
    const WidgetFrame fr = read_widget_frame(w, 0);
    std::string text = frame_ops(fr, b.rw, b.rh, false);
    text += turned(b, list_ops(f.da, std::string("/") + r.short_name, r.font_size10 / 10.0, options,
                               static_cast<int>(top), b.w, b.h, fr.border, f.q < 0 ? 0 : f.q));
    set_form_text(ap, text);
    repoint(n, ap);
}

// A non-text widget of a form that asks viewers to build its appearances gets the one such
// a viewer draws from the widget's appearance characteristics (/MK): check boxes and radio
// buttons always (without /MK, their state mark alone), push buttons with /MK; otherwise the
// form's own stays.
void rebuild_for_viewer(int idx, int w, const FieldFacts& f) {
    WidgetBox b;
    if (!widget_box(w, &b)) return;
    Dict mk = Dict{w, 0}.sub("MK");
    switch (f.type) {
        case FIELD_TYPE_CHECKBOX:
        case FIELD_TYPE_RADIO: {
            const bool made = !has_normal_states(w);
            give_button_states(w, f);
            rebuild_button_states(w, f, mk, b, made);
            break;
        }
        case FIELD_TYPE_PUSHBUTTON:
            if (mk.valid()) {
                const bool given = give_normal_appearance(w);
                rebuild_push_button(idx, w, f, mk, b);
                if (given) drop_unbuilt_appearance(w);
            }
            break;
        case FIELD_TYPE_LIST: {
            const bool given = give_normal_appearance(w);
            rebuild_list_box(idx, w, f, b);
            if (given) drop_unbuilt_appearance(w);
            break;
        }
        default:
            break;
    }
}

}  // namespace

void analyse_widget(int w) {
    FieldFacts f;
    if (!gather_field_facts(w, &f)) return;
    if (w > UINT16_MAX) {
        note("Field object number too large(" + f.full_name + ")");
        return;
    }
    const int idx = make_field_record(w, f);
    const bool button = f.type == FIELD_TYPE_CHECKBOX || f.type == FIELD_TYPE_RADIO;
    if (button) {
        inline_appearance_dictionary(w);
        give_missing_state(w, f);
    }
    if (g_need_appearances && button) set_button_state(w, f);
    // Non-text widgets are drawn as viewers build them in forms that ask for it, and in any
    // form where they lack a normal appearance, which every viewer builds then.
    const bool missing = button ? !has_normal_states(w) : !has_normal_appearance(w);
    if (!f.shows_text() && (g_need_appearances || missing)) rebuild_for_viewer(idx, w, f);
    if (f.type == FIELD_TYPE_LIST && (g_need_appearances || missing)) {
        rebuild_for_viewer(idx, w, f);
        return;
    }
    // Check boxes, radio buttons, push buttons and signatures keep the appearances they have:
    // their record only makes them known by name and type.
    if (!f.shows_text()) return;
    if (f.is_text()) inline_appearance_dictionary(w);
    int ap = own_appearance_stream(w);
    // A text field or combo box without a usable appearance (a form that leaves them to the
    // viewer, or an empty box) gets the one a viewer would draw, and so does every combo box
    // of a form that asks viewers to build them; list boxes show their value only through an
    // appearance they have.
    const bool is_combo = f.type == FIELD_TYPE_COMBO;
    bool combo = g_need_appearances && is_combo;
    if ((f.is_text() || is_combo) && (ap == -1 || !usable_box(ap) || combo)) {
        ap = build_appearance(w, f);
        combo = is_combo;
    } else if (const Inside in = f.is_text() ? inside_of(ap) : Inside{};
               in.turn != 0 || (f.is_text() && scaled_to_widget(ap, in))) {
        // Turned inside the stream, or drawn at another size: the value is laid out again in
        // a box of the widget's size, turned by /Matrix as a form that turns its field
        // through /MK /R is drawn.
        int old = ap;
        ap = build_appearance(w, f, "", nullptr, in.turn != 0 ? in.turn : -1);
        if (ap != -1) carry_default_font(w, old, ap, f);
    } else if (f.is_text() && upright_matrix(ap) && !drawn_across(w, ap) &&
               (sized_apart(w, ap) || (in.turn == 0 && turned_by_mk_only(w, ap)))) {
        // A box of another size than the widget's (a page-sized one, as LaTeX's l3pdffield
        // writes), which viewers squeeze into the widget with all it shows, or an upright
        // drawing of a field that /MK /R turns: the value is laid out as a viewer lays out a
        // typed one, in a box of the widget's size turned by /MK /R.
        int old = ap;
        ap = build_appearance(w, f);
        if (ap != -1) carry_default_font(w, old, ap, f);
    } else if (f.is_text() && (!upright_matrix(ap) || drawn_across(w, ap))) {
        // Drawn as a viewer draws a typed value, in the same font. The box keeps its size,
        // so the value is scaled as the form's own drawing is; a drawing that lays the box
        // on its side (a mirrored quarter turn) is given a quarter turn, so the value still
        // runs along the box, now readable. A box drawn across the widget is turned as its
        // page is, upright on the page as shown.
        int old = ap;
        std::vector<double> b = array_numbers(dict_entry(old, "BBox"));
        const double size[2] = {std::fabs(b[2] - b[0]), std::fabs(b[3] - b[1])};
        const int turn = drawn_across(w, old) ? page_turn(w) : lies_on_side(old) ? 90 : 0;
        ap = build_appearance(w, f, "", size, turn);
        if (ap != -1) carry_default_font(w, old, ap, f);
    }
    if (ap == -1) return;
    Analysis a = analyse_appearance(idx, w, ap, f);
    // An appearance whose drawing before the text does not fit the record, or whose stream
    // cannot be read, is replaced by the one a viewer would draw, so the field can still be
    // filled.
    if ((a == Analysis::too_long || a == Analysis::broken) && (f.is_text() || is_combo)) {
        // The form's own drawing is kept where viewers show it: not in a form that asks them
        // to build the appearances anew.
        const bool keep = a == Analysis::too_long && f.is_text() && !g_need_appearances;
        int built = keep ? build_keeping_drawing(w, ap, f) : -1;
        if (built == -1) built = build_appearance(w, f);
        if (built != -1) carry_default_font(w, ap, built, f);
        if (built != -1) a = analyse_appearance(idx, w, built, f);
    }
    if (a == Analysis::too_long) note("Field appearance too long(" + f.full_name + ")");
    if (a == Analysis::broken) note("Broken appearance stream(" + f.full_name + ")");
    if (a == Analysis::ok && combo) build_combo_appearance(idx, w, ap, f);
    // Only text fields are filled by the older value path; the others stay as they are.
    if (a == Analysis::ok) g_st.p_field_strage[idx].f_ap = f.is_text() ? 1 : 0;
}

// A form that also carries an XFA description is shown from that description's own data by
// the viewers that read it, so the values written into the widgets would not show there: the
// description goes, as fillers drop it, unless the pages are drawn from it alone
// (/NeedsRendering). Usage-rights signatures (/Perms /UR3, /UR) and the certification
// signature (/Perms /DocMDP) cover the document as written and would be reported broken by
// every filled copy, whose signature values are cleared: they go too.
namespace {
void drop_xfa_and_usage_rights(int acro) {
    const int root = get_trailer_objref("Root");
    if (!valid_xref(root)) return;
    if (valid_xref(acro) && !is_true(dict_entry(root, "NeedsRendering"))) {
        const int xfa = get_elem(acro, "XFA");
        if (xfa != -1) switch_off_entry(xfa);
    }
    const Dict perms = Dict{root}.sub("Perms");
    for (const char* key : {"UR3", "UR", "DocMDP"}) {
        const int e = perms.find(key);
        if (e != -1) switch_off_entry(e);
    }
}

// The objects an array value lists by reference, in order.
std::vector<int> listed_objects(int e) {
    std::vector<int> out;
    if (e == -1) return out;
    const st_elem& el = g_st.p_elem_strage[value_of(e)];
    if (el.f_type != ELEM_TYPE_STRING || el.data.str.type != STR_ARRAY) return out;
    for (int n : marked_refs(elem_bytes(el), static_cast<size_t>(el.data.str.len)))
        if (n > 0 && valid_xref(n)) out.push_back(n);
    return out;
}

// A widget or field listed in a field's /Kids but without the /Parent that links it back is
// given one. Viewers name such a widget by the field tree, from /Fields down; without the
// link its name, value and default appearance would be lost to it here. Returns how many
// were linked; `seen` marks the objects of the field tree.
int link_kids_to_parents(int form, std::vector<char>& seen) {
    if (!valid_xref(form)) return 0;
    std::vector<int> work = listed_objects(get_elem(form, "Fields"));
    int linked = 0;
    while (!work.empty()) {
        const int node = work.back();
        work.pop_back();
        if (seen[static_cast<size_t>(node)] || g_st.p_xref_strage[node].first_elem == 0) continue;
        seen[static_cast<size_t>(node)] = 1;
        for (int kid : listed_objects(dict_entry(node, "Kids"))) {
            if (seen[static_cast<size_t>(kid)] || g_st.p_xref_strage[kid].first_elem == 0) continue;
            const bool field_like = dict_entry(kid, "T") != -1 || dict_entry(kid, "FT") != -1 ||
                                    dict_entry(kid, "Kids") != -1 ||
                                    top_name_is(kid, "Subtype", "Widget");
            if (field_like && dict_entry(kid, "Parent") == -1) {
                append_elem_objref(kid, 0, "Parent", node);
                ++linked;
            }
            work.push_back(kid);
        }
    }
    return linked;
}

}  // namespace

void analyse_fields() {
    g_made_fonts.clear();
    g_taken_appearances.clear();
    int form = acroform_object();
    // The widgets viewers know: those of the field tree and those a page lists.
    std::vector<char> known(static_cast<size_t>(g_st.num_xref_strage), 0);
    if (int linked = link_kids_to_parents(form, known))
        note_repair("fields linked to the field whose /Kids lists them (" + std::to_string(linked) +
                    (linked == 1 ? " field)" : " fields)"));
    g_widget_pages.assign(known.size(), 0);
    for (int i = 0; i < g_st.num_xref_strage; ++i)
        if (g_st.p_xref_strage[i].first_elem != 0)
            for (int a : listed_objects(dict_entry(i, "Annots"))) {
                known[static_cast<size_t>(a)] = 1;
                if (g_widget_pages[static_cast<size_t>(a)] == 0)
                    g_widget_pages[static_cast<size_t>(a)] = i;
            }
    int unknown = 0;
    g_need_appearances = valid_xref(form) && is_true(get_elem(form, "NeedAppearances"));
    int fields = valid_xref(form) ? get_elem(form, "Fields") : -1;
    if (fields != -1) fields = value_of(fields);
    g_fields_listed = !valid_xref(form) ||
                      (fields != -1 && g_st.p_elem_strage[fields].f_type == ELEM_TYPE_STRING &&
                       g_st.p_elem_strage[fields].data.str.type == STR_ARRAY);
    for (int i = 0; i < g_st.num_xref_strage; ++i) {
        if (g_st.p_xref_strage[i].first_elem == 0) continue;
        // /Type is optional in annotation dictionaries.
        if (!top_name_is(i, "Subtype", "Widget")) continue;
        if (dict_entry(i, "Type") != -1 && !top_name_is(i, "Type", "Annot")) continue;
        // A widget that no page shows and no field holds (an editor's leftover, often marked
        // /removed) is no field to anyone: it is not offered for filling.
        if (!known[static_cast<size_t>(i)]) {
            ++unknown;
            continue;
        }
        analyse_widget(i);
    }
    if (unknown > 0)
        note_repair("widgets on no page and in no field passed by (" + std::to_string(unknown) +
                    (unknown == 1 ? " widget)" : " widgets)"));
    // Generated documents carry the appearances of their values; a viewer asked to rebuild
    // them would draw the template's stored values instead.
    int acro = acroform_object();
    if (valid_xref(acro)) {
        // The AcroForm dictionary may lie inside the catalog: its keys are then in that chain.
        int e = get_elem(acro, "NeedAppearances");
        if (e != -1) switch_off(e);
    }
    drop_xfa_and_usage_rights(acro);
}
