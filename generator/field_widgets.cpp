#include "generator/field_widgets.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "generator/script_interpreter.h"
#include "multibyte/text_decode.h"
#include "multibyte/utf8_encode.h"
#include "store/element_ops.h"
#include "store/field_extras.h"
#include "store/pdf_text.h"

namespace {

// The character code page 932 gives a JIS X 0208 cell for which the JIS mapping gives `u`,
// else `u`.
int32_t cp932_twin(int32_t u) {
    switch (u) {
        case 0x301C:
            return 0xFF5E;  // wave dash
        case 0x2016:
            return 0x2225;  // double vertical line
        case 0x2212:
            return 0xFF0D;  // minus sign
        case 0x00A2:
            return 0xFFE0;  // cent sign
        case 0x00A3:
            return 0xFFE1;  // pound sign
        case 0x00AC:
            return 0xFFE2;  // not sign
        default:
            return u;
    }
}

}  // namespace

const char* resolve_field_name(const char* name) {
    if (!name) return "";
    bool ascii = true;
    for (const char* p = name; *p && ascii; ++p) ascii = static_cast<unsigned char>(*p) < 0x80;
    if (ascii || find_field(name) != -1) return name;
    static std::vector<int32_t> points;
    static std::string utf8;
    size_t len = std::strlen(name);
    points.assign(len + 1, 0);
    int n = mbs_mbstowcs(points.data(), name, static_cast<int>(len), g_script.input_encoding);
    utf8.clear();
    for (int i = 0; i < n; ++i) {
        char bytes[4];
        utf8.append(bytes,
                    utf8_encode(static_cast<uint32_t>(points[static_cast<size_t>(i)]), bytes));
    }
    if (find_field(utf8.c_str()) != -1) return utf8.c_str();
    // Windows writes six characters of a Shift_JIS name as code page 932 maps them (a wave
    // dash as U+FF5E, not U+301C): the name with those is tried too.
    static std::string twin;
    twin.clear();
    bool twins = false;
    for (int i = 0; i < n; ++i) {
        int32_t u = points[static_cast<size_t>(i)];
        const int32_t t = cp932_twin(u);
        twins = twins || t != u;
        char bytes[4];
        twin.append(bytes, utf8_encode(static_cast<uint32_t>(t), bytes));
    }
    if (twins && find_field(twin.c_str()) != -1) return twin.c_str();
    // A form whose writer put UTF-8 bytes into a name without marking them as such (TCPDF
    // does) has them read as PDFDocEncoding, as viewers read them: the UTF-8 bytes of the
    // script's name, read the same way, name such a field too.
    static std::string as_read;
    as_read = text_to_utf8(utf8);
    if (find_field(as_read.c_str()) != -1) return as_read.c_str();
    // So does a name in the script's own encoding (Shift_JIS or EUC-JP bytes, as older
    // Japanese producers and pLaTeX write names): its bytes as they stand, read the same way.
    as_read = text_to_utf8(name);
    if (find_field(as_read.c_str()) != -1) return as_read.c_str();
    // LibreOffice writes the bytes of such a name as #XX escapes ("pr#C3#A9nom"), which
    // viewers show as they stand: the script's name, escaped the same way, names it too.
    as_read.clear();
    for (unsigned char c : utf8) {
        if (c < 0x80) {
            as_read.push_back(static_cast<char>(c));
            continue;
        }
        char hex[4];
        std::snprintf(hex, sizeof hex, "#%02X", c);
        as_read += hex;
    }
    return find_field(as_read.c_str()) != -1 ? as_read.c_str() : name;
}

int field_record_index(const char* name) {
    if (!name) return -1;
    return find_field(resolve_field_name(name));
}

int widget_parent(int widget) {
    int p = dict_ref(widget, "Parent");
    return p == widget ? -1 : p;
}

int widget_or_parent_entry(int widget, const char* label, int* owner) {
    int e = dict_entry(widget, label);
    if (e != -1) {
        if (owner) *owner = widget;
        return e;
    }
    int p = widget_parent(widget);
    if (p == -1) return -1;
    e = dict_entry(p, label);
    if (e != -1 && owner) *owner = p;
    return e;
}

int widget_normal_entry(int widget) {
    int ap = dict_entry(widget, "AP");
    if (ap == -1) return -1;
    const st_elem& a = g_st.p_elem_strage[ap];
    if (a.f_type == ELEM_TYPE_SUBDIC_START) return subdict_entry(ap, "N");
    if (a.f_type == ELEM_TYPE_OBJREF && valid_xref(a.data.obj_no))
        return dict_entry(a.data.obj_no, "N");  // the appearance dictionary is its own object
    return -1;
}

int widget_appearance_elem(int widget) {
    int n = widget_normal_entry(widget);
    if (n == -1 || g_st.p_elem_strage[n].f_type != ELEM_TYPE_OBJREF) return -1;
    return valid_xref(g_st.p_elem_strage[n].data.obj_no) ? n : -1;
}

int widget_appearance(int widget) {
    int n = widget_appearance_elem(widget);
    return n == -1 ? -1 : g_st.p_elem_strage[n].data.obj_no;
}

int page_annots_elem(int page) {
    int d = deref_value(dict_entry(page, "Annots"));
    if (d == -1) return -1;
    const st_elem& de = g_st.p_elem_strage[d];
    return de.f_type == ELEM_TYPE_STRING && de.data.str.type == STR_ARRAY ? d : -1;
}

int widget_page(int widget) {
    int p = dict_ref(widget, "P");
    if (p != -1) return p;
    int parent = widget_parent(widget);
    if (parent != -1 && (p = dict_ref(parent, "P")) != -1) return p;
    for (int i = 0; i < g_st.num_xref_strage; ++i) {
        if (g_st.p_xref_strage[i].f_page != 1) continue;
        int a = page_annots_elem(i);
        if (a == -1) continue;
        const st_elem& e = g_st.p_elem_strage[a];
        if (array_refers(elem_bytes(e), e.data.str.len, widget)) return i;
    }
    return -1;
}

namespace {
// Finds the next marked reference to obj in [s, end): its marker, and the byte after its R.
const char* find_ref(const char* s, const char* end, int obj, const char** after_r) {
    while (s < end) {
        const char* m = static_cast<const char*>(std::memchr(s, REF_MARKER, end - s));
        if (!m) return nullptr;
        int n = -1;
        auto r = std::from_chars(m + 1, end, n);
        const char* rr =
            static_cast<const char*>(std::memchr(r.ptr, 'R', static_cast<size_t>(end - r.ptr)));
        if (r.ec == std::errc() && n == obj && rr) {
            *after_r = rr + 1;
            return m;
        }
        s = m + 1;
    }
    return nullptr;
}
}  // namespace

bool array_refers(const char* s, int len, int obj) {
    const char* after;
    return s && len > 0 && find_ref(s, s + len, obj, &after) != nullptr;
}

bool blank_array_ref(char* s, int len, int obj) {
    if (!s || len <= 0) return false;
    const char* after;
    const char* m = find_ref(s, s + len, obj, &after);
    if (!m) return false;
    std::memset(s + (m - s), ' ', static_cast<size_t>(after - m));
    return true;
}

bool read_numbers(const char* s, int len, float* out, int n) {
    if (!s || len <= 0 || n > 8) return false;
    char buf[256];
    int m = len < static_cast<int>(sizeof buf) - 1 ? len : static_cast<int>(sizeof buf) - 1;
    std::memcpy(buf, s, static_cast<size_t>(m));
    buf[m] = 0;
    char* p = buf;
    for (int i = 0; i < n; ++i) {
        while (*p == ' ' || *p == '[' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
        char* q;
        out[i] = std::strtof(p, &q);
        if (q == p || !std::isfinite(out[i])) return false;
        p = q;
    }
    return true;
}

const char* dict_array_text(int obj, const char* label, int* len) {
    int d = deref_value(dict_entry(obj, label));
    if (d == -1) return nullptr;
    const st_elem* el = &g_st.p_elem_strage[d];
    if (el->f_type != ELEM_TYPE_STRING || el->data.str.type != STR_ARRAY) return nullptr;
    *len = el->data.str.len;
    return elem_bytes(*el);
}

bool widget_rect(int widget, float rect[4]) {
    int len = 0;
    const char* s = dict_array_text(widget, "Rect", &len);
    return s && read_numbers(s, len, rect, 4);
}
