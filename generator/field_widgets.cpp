#include "generator/field_widgets.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "generator/script_interpreter.h"
#include "multibyte/text_decode.h"
#include "store/element_ops.h"
#include "store/field_extras.h"

namespace {

bool label_is(const st_elem& e, const char* label) {
    return std::strncmp(e.label, label, LABEL_SIZE) == 0;
}

// Walks the elements from `e` on, keeping track of nesting, and returns the first element at
// nesting level 0 labelled `label`; the walk ends where level 0 is closed.
int find_at_level0(int e, const char* label) {
    const Storages& s = g_st;
    int depth = 0, limit = s.num_elem_strage;
    while (e > 0 && e < s.num_elem_strage && limit-- > 0) {
        const st_elem& el = s.p_elem_strage[e];
        switch (el.f_type) {
            case ELEM_TYPE_SUBDIC_END:
            case ELEM_TYPE_ARRAY_END:
                if (--depth < 0) return -1;
                break;
            case ELEM_TYPE_SUBDIC_START:
            case ELEM_TYPE_ARRAY_START:
                if (depth == 0 && label_is(el, label)) return e;
                ++depth;
                break;
            case 0:
                break;  // switched off
            default:
                if (depth == 0 && label_is(el, label)) return e;
                break;
        }
        e = el.next_elem;
    }
    return -1;
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
        uint32_t u = static_cast<uint32_t>(points[static_cast<size_t>(i)]);
        if (u < 0x80) {
            utf8.push_back(static_cast<char>(u));
        } else if (u < 0x800) {
            utf8.push_back(static_cast<char>(0xC0 | (u >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        } else if (u < 0x10000) {
            utf8.push_back(static_cast<char>(0xE0 | (u >> 12)));
            utf8.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        } else {
            utf8.push_back(static_cast<char>(0xF0 | (u >> 18)));
            utf8.push_back(static_cast<char>(0x80 | ((u >> 12) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        }
    }
    return find_field(utf8.c_str()) != -1 ? utf8.c_str() : name;
}

int field_record_index(const char* name) {
    if (!name) return -1;
    return find_field(resolve_field_name(name));
}

int dict_entry(int obj, const char* label) {
    if (!valid_xref(obj)) return -1;
    return find_at_level0(g_st.p_xref_strage[obj].first_elem, label);
}

int subdict_entry(int start, const char* label) {
    if (!valid_elem(start)) return -1;
    const st_elem& s = g_st.p_elem_strage[start];
    if (s.f_type != ELEM_TYPE_SUBDIC_START) return -1;
    return find_at_level0(s.next_elem, label);
}

int subdict_end(int start) {
    if (!valid_elem(start) || g_st.p_elem_strage[start].f_type != ELEM_TYPE_SUBDIC_START) return -1;
    const Storages& s = g_st;
    int depth = 0, limit = s.num_elem_strage;
    for (int e = s.p_elem_strage[start].next_elem; e > 0 && e < s.num_elem_strage && limit-- > 0;
         e = s.p_elem_strage[e].next_elem) {
        int t = s.p_elem_strage[e].f_type;
        if (t == ELEM_TYPE_SUBDIC_START || t == ELEM_TYPE_ARRAY_START) ++depth;
        if (t == ELEM_TYPE_SUBDIC_END || t == ELEM_TYPE_ARRAY_END) {
            if (depth == 0) return e;
            --depth;
        }
    }
    return -1;
}

int last_elem(int obj) {
    if (!valid_xref(obj)) return 0;
    const Storages& s = g_st;
    int e = s.p_xref_strage[obj].first_elem, last = 0, limit = s.num_elem_strage;
    while (e > 0 && e < s.num_elem_strage && limit-- > 0) {
        last = e;
        e = s.p_elem_strage[e].next_elem;
    }
    return last;
}

int dict_ref(int obj, const char* label) {
    int e = dict_entry(obj, label);
    if (e == -1 || g_st.p_elem_strage[e].f_type != ELEM_TYPE_OBJREF) return -1;
    int n = g_st.p_elem_strage[e].data.obj_no;
    return valid_xref(n) ? n : -1;
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

int widget_appearance_elem(int widget) {
    int ap = dict_entry(widget, "AP");
    if (ap == -1) return -1;
    const st_elem& a = g_st.p_elem_strage[ap];
    int n = -1;
    if (a.f_type == ELEM_TYPE_SUBDIC_START)
        n = subdict_entry(ap, "N");
    else if (a.f_type == ELEM_TYPE_OBJREF)
        n = dict_entry(a.data.obj_no, "N");  // the appearance dictionary is its own object
    if (n == -1 || g_st.p_elem_strage[n].f_type != ELEM_TYPE_OBJREF) return -1;
    return valid_xref(g_st.p_elem_strage[n].data.obj_no) ? n : -1;
}

int widget_appearance(int widget) {
    int n = widget_appearance_elem(widget);
    return n == -1 ? -1 : g_st.p_elem_strage[n].data.obj_no;
}

int page_annots_elem(int page) {
    int e = dict_entry(page, "Annots");
    if (e == -1) return -1;
    const st_elem& a = g_st.p_elem_strage[e];
    if (a.f_type == ELEM_TYPE_STRING && a.data.str.type == STR_ARRAY) return e;
    if (a.f_type != ELEM_TYPE_OBJREF) return -1;
    int d = get_elem(a.data.obj_no, LABEL_IMMEDIATE);
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
    int e = dict_entry(obj, label);
    if (e == -1) return nullptr;
    const st_elem* el = &g_st.p_elem_strage[e];
    if (el->f_type == ELEM_TYPE_OBJREF) {
        int d = get_elem(el->data.obj_no, LABEL_IMMEDIATE);
        if (d == -1) return nullptr;
        el = &g_st.p_elem_strage[d];
    }
    if (el->f_type != ELEM_TYPE_STRING || el->data.str.type != STR_ARRAY) return nullptr;
    *len = el->data.str.len;
    return elem_bytes(*el);
}

bool widget_rect(int widget, float rect[4]) {
    int len = 0;
    const char* s = dict_array_text(widget, "Rect", &len);
    return s && read_numbers(s, len, rect, 4);
}
