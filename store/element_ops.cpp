#include "store/element_ops.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "store/change_marks.h"
#include "store/element_walk.h"
#include "store/failure.h"
#include "store/name_codec.h"

namespace {

bool compiler() {
    return g_st.variant == StoreVariant::compiler;
}

// Reference walks follow objects whose direct value is an array text with a reference;
// a cycle of such objects would never end, so the walk is bounded.
constexpr int MAX_REF_HOPS = 64;
bool label_matches(const char* have, const char* want) {
    if (compiler()) {
        const char* star = std::strchr(want, '*');
        if (star && star != want) {
            size_t n = static_cast<size_t>(star - want);
            if (std::strncmp(have, want, n) == 0) return true;
        }
    }
    return label_is(have, want);
}

// The byte of a name at src[*i], "#xx" escapes decoded in the compiler's variant; *i moves
// past it.
char name_byte(const char* src, int* i) {
    const int k = *i;
    if (compiler() && src[k] == '#' && src[k + 1] && src[k + 2]) {
        *i += 3;
        return static_cast<char>(formatChar2Byte(src[k + 1]) * 16 + formatChar2Byte(src[k + 2]));
    }
    *i += 1;
    return src[k];
}

}  // namespace

void copy_label(char* dst, const char* src) {
    std::memset(dst, 0, LABEL_SIZE);
    if (!src) return;
    for (int i = 0, o = 0; src[i] && o < LABEL_SIZE - 1;) dst[o++] = name_byte(src, &i);
}

void copy_shortened_name(char* dst, const char* src) {
    // One pass: the first bytes into the slot, the length and the hash of the whole name.
    std::memset(dst, 0, LABEL_SIZE);
    uint32_t h = 2166136261u;  // FNV-1a
    size_t n = 0;
    for (int i = 0; src && src[i]; ++n) {
        const char c = name_byte(src, &i);
        if (n < LABEL_SIZE - 1) dst[n] = c;
        h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    if (n < LABEL_SIZE) return;
    constexpr size_t keep = LABEL_SIZE - 10;
    std::snprintf(dst + keep, LABEL_SIZE - keep, "~%08x", h);
}

void set_elem_str2(st_elem* elem, char type, const char* tmp, int len) {
    // The source may lie in the character storage itself, which the reservation can move.
    long src_off = -1;
    const char* base = g_st.p_char_strage;
    if (base && tmp >= base && tmp < base + g_st.alloc_char_strage) src_off = tmp - base;
    int copy = len;
    if (compiler() && type == STR_STREAM) copy = len + 1;
    new_char_strage(len);
    if (src_off >= 0) tmp = g_st.p_char_strage + src_off;
    char* dst = g_st.p_char_strage + g_st.cur_char_strage;
    if (copy > 0 && tmp) std::memmove(dst, tmp, static_cast<size_t>(copy));
    dst[copy] = 0;
    elem->f_type = ELEM_TYPE_STRING;
    elem->data.str.type = type;
    elem->data.str.len = len;
    elem->data.str.start_pos = g_st.cur_char_strage;
    mark_elem_changed(static_cast<const void*>(elem));
}

void set_elem_str(int elem_no, char type, const char* tmp, int len) {
    // Reserving string room grows only the character storage, so the reference stays valid.
    st_elem& e = elem_at(elem_no);
    if (opens_level(e.f_type)) drop_items(elem_no);
    set_elem_str2(&e, type, tmp, len);
}

int append_elem(int obj_no, int append_elem_no) {
    if (!valid_xref(obj_no)) fail("Object number out of range(%d)", obj_no);
    if (append_elem_no != 0 && !valid_elem(append_elem_no))
        fail("Element index out of range(%d)", append_elem_no);
    new_elem_strage();
    int n = g_st.cur_elem_strage;
    st_elem* es = g_st.p_elem_strage;
    marks_set_owner(n, obj_no);
    if (append_elem_no != 0) {
        es[n].next_elem = es[append_elem_no].next_elem;
        es[append_elem_no].next_elem = n;
        return n;
    }
    int last = chain_last(obj_no);
    if (last == 0)
        g_st.p_xref_strage[obj_no].first_elem = n;
    else
        es[last].next_elem = n;
    return n;
}

void drop_filter(int obj) {
    for (const char* key : {"Filter", "DecodeParms"}) {
        int e = dict_entry(obj, key);
        if (e != -1) switch_off(e);
    }
}

void set_plain_stream(int obj, int stream, const char* data, int len) {
    // One walk finds the three entries: the first of each, as dict_entry would.
    int filter = -1, parms = -1, length = -1;
    for (int e : Dict{obj, 0}.entries()) {
        const char* l = g_st.p_elem_strage[e].label;
        if (filter == -1 && label_is(l, "Filter")) filter = e;
        if (parms == -1 && label_is(l, "DecodeParms")) parms = e;
        if (length == -1 && label_is(l, "Length")) length = e;
    }
    if (filter != -1) switch_off(filter);
    if (parms != -1) switch_off(parms);
    if (length == -1) {
        append_elem_int(obj, 0, "Length", len);
    } else {
        set_elem_int(length, len);
    }
    set_elem_str(stream, STR_STREAM, data, len);
}

namespace {
int append_typed(int obj_no, int append_elem_no, const char* label, int type) {
    int n = append_elem(obj_no, append_elem_no);
    st_elem& e = g_st.p_elem_strage[n];
    e.f_type = type;
    copy_label(e.label, label);
    return n;
}
}  // namespace

int append_elem_str(int obj_no, int append_elem_no, const char* label, char type, const char* str,
                    int len) {
    int n = append_typed(obj_no, append_elem_no, label, ELEM_TYPE_STRING);
    set_elem_str(n, type, str, len);
    return n;
}

int append_elem_name(int obj_no, int append_elem_no, const char* label, const char* name) {
    int n = append_typed(obj_no, append_elem_no, label, ELEM_TYPE_NAME);
    copy_label(g_st.p_elem_strage[n].data.name, name);
    return n;
}

int append_elem_objref(int obj_no, int append_elem_no, const char* label, int refobj_no) {
    int n = append_typed(obj_no, append_elem_no, label, ELEM_TYPE_OBJREF);
    g_st.p_elem_strage[n].data.obj_no = refobj_no;
    return n;
}

int append_elem_int(int obj_no, int append_elem_no, const char* label, int data) {
    int n = append_typed(obj_no, append_elem_no, label, ELEM_TYPE_INTEGER);
    g_st.p_elem_strage[n].data.int_data = data;
    return n;
}

int append_elem_subdic_start(int obj_no, int append_elem_no, const char* label) {
    return append_typed(obj_no, append_elem_no, label, ELEM_TYPE_SUBDIC_START);
}
int append_elem_subdic_end(int obj_no, int append_elem_no, const char* label) {
    return append_typed(obj_no, append_elem_no, label, ELEM_TYPE_SUBDIC_END);
}
int append_elem_array_start(int obj_no, int append_elem_no, const char* label) {
    return append_typed(obj_no, append_elem_no, label, ELEM_TYPE_ARRAY_START);
}
int append_elem_array_end(int obj_no, int append_elem_no, const char* label) {
    return append_typed(obj_no, append_elem_no, label, ELEM_TYPE_ARRAY_END);
}

int get_elem(int xref_no, const char* label) {
    if (!label) return -1;
    for (int e : obj_elems(xref_no))
        if (label_matches(g_st.p_elem_strage[e].label, label)) return e;
    return -1;
}

bool has_ref_marker(const st_elem& e) {
    if (e.f_type != ELEM_TYPE_STRING || e.data.str.type != STR_ARRAY) return false;
    return std::memchr(elem_bytes(e), REF_MARKER, static_cast<size_t>(e.data.str.len)) != nullptr;
}

int first_marked_ref(const st_elem& e) {
    if (e.f_type != ELEM_TYPE_STRING || e.data.str.type != STR_ARRAY) return -1;
    const char* s = elem_bytes(e);
    const char* m =
        static_cast<const char*>(std::memchr(s, REF_MARKER, static_cast<size_t>(e.data.str.len)));
    if (!m) return -1;
    return std::atoi(m + 1);
}

int name_holder(int widget) {
    if (dict_entry(widget, "T") != -1) return widget;
    const int p = dict_ref(widget, "Parent");
    return p == -1 || p == widget ? widget : p;
}

int listed_object(int obj, const char* label) {
    int e = get_elem_absolute(obj, label);
    if (e == -1) return -1;
    const st_elem& el = g_st.p_elem_strage[e];
    int n = el.f_type == ELEM_TYPE_OBJREF   ? el.data.obj_no
            : el.f_type == ELEM_TYPE_STRING ? first_marked_ref(el)
                                            : -1;
    return valid_xref(n) ? n : -1;
}

std::vector<int> marked_refs(const char* text, size_t len) {
    std::vector<int> out;
    if (!text) return out;
    const char* const end = text + len;
    const char* m = text;
    while (
        (m = static_cast<const char*>(std::memchr(m, REF_MARKER, static_cast<size_t>(end - m))))) {
        int n = 0;
        auto r = std::from_chars(++m, end, n);
        out.push_back(r.ec == std::errc() ? n : 0);
    }
    return out;
}

namespace {

// Where a reference to object n leads: through objects whose whole value is an array
// holding a reference (at most MAX_REF_HOPS of them) to the object reached and its whole
// value, an element without a reference (-1 when it has none or the hops ran out).
struct RefTarget {
    int obj;
    int value;
};
RefTarget follow_ref(int n) {
    for (int hops = 0; hops < MAX_REF_HOPS; ++hops) {
        int d = get_elem(n, LABEL_IMMEDIATE);
        if (d == -1 || !has_ref_marker(g_st.p_elem_strage[d])) return {n, d};
        n = first_marked_ref(g_st.p_elem_strage[d]);
    }
    return {n, -1};
}

}  // namespace

int get_elem_absolute(int xref_no, const char* label) {
    int e = get_elem(xref_no, label);
    if (e == -1) return -1;
    if (g_st.p_elem_strage[e].f_type != ELEM_TYPE_OBJREF) return e;
    int value = follow_ref(g_st.p_elem_strage[e].data.obj_no).value;
    return value == -1 ? e : value;
}

int get_xref_absolute(int xref_no, const char* label) {
    int e = get_elem(xref_no, label);
    if (e == -1) return -1;
    if (g_st.p_elem_strage[e].f_type != ELEM_TYPE_OBJREF) return xref_no;
    return follow_ref(g_st.p_elem_strage[e].data.obj_no).obj;
}

int get_elem_force(int xref_no, const char* parent, const char* label) {
    int e = get_elem_absolute(xref_no, label);
    if (e != -1 || !parent || !*parent) return e;
    int p = get_xref_absolute(xref_no, parent);
    if (p == -1) return -1;
    return get_elem_absolute(p, label);
}

namespace {
// Depth of the "reference to a dictionary holding the same label" lookups.
thread_local int lookup_depth = 0;
struct DepthGuard {
    bool ok;
    DepthGuard() : ok(++lookup_depth <= MAX_REF_HOPS) {}
    ~DepthGuard() { --lookup_depth; }
};

// The string an element holds, or for a reference the string under the same label in the
// object it refers to.
char* string_of(const st_elem& el, const char* label, int* plen) {
    if (el.f_type == ELEM_TYPE_STRING) {
        if (plen) *plen = el.data.str.len;
        return elem_bytes(el);
    }
    if (el.f_type == ELEM_TYPE_OBJREF) return get_elem_string(el.data.obj_no, nullptr, label, plen);
    return nullptr;
}
}  // namespace

char* get_elem_string(int xref_no, const char* parent, const char* label, int* plen) {
    DepthGuard g;
    if (!g.ok) return nullptr;
    int e = get_elem_force(xref_no, parent, label);
    return e == -1 ? nullptr : string_of(g_st.p_elem_strage[e], label, plen);
}

char* get_elem_name(int xref_no, const char* parent, const char* label) {
    DepthGuard g;
    if (!g.ok) return nullptr;
    int e = get_elem_force(xref_no, parent, label);
    if (e == -1) return nullptr;
    st_elem& el = g_st.p_elem_strage[e];
    if (el.f_type == ELEM_TYPE_NAME) return el.data.name;
    if (el.f_type == ELEM_TYPE_OBJREF) return get_elem_name(el.data.obj_no, nullptr, label);
    return nullptr;
}

int get_elem_int(int xref_no, const char* parent, const char* label) {
    DepthGuard g;
    if (!g.ok) return -1;
    int e = get_elem_force(xref_no, parent, label);
    if (e == -1) return -1;
    const st_elem& el = g_st.p_elem_strage[e];
    if (el.f_type == ELEM_TYPE_INTEGER) return el.data.int_data;
    if (el.f_type == ELEM_TYPE_OBJREF) return get_elem_int(el.data.obj_no, nullptr, label);
    return -1;
}

int get_elem_objref(int xref_no, const char* parent, const char* label) {
    if (get_elem_absolute(xref_no, label) != -1) return get_xref_absolute(xref_no, label);
    if (!parent || !*parent) return -1;
    int p = get_xref_absolute(xref_no, parent);
    if (p == -1 || get_elem_absolute(p, label) == -1) return -1;
    return get_xref_absolute(p, label);
}

int get_trailer(const char* label) {
    for (int i = 0; i < g_st.num_trailer_strage; ++i)
        if (std::strncmp(g_st.p_trailer_strage[i].label, label, LABEL_SIZE) == 0) return i;
    return -1;
}

int get_trailer_objref(const char* label) {
    int t = get_trailer(label);
    if (t == -1 || g_st.p_trailer_strage[t].f_type != ELEM_TYPE_OBJREF) return -1;
    return g_st.p_trailer_strage[t].data.obj_no;
}

char* get_trailer_string(const char* label, int* plen) {
    int t = get_trailer(label);
    return t == -1 ? nullptr : string_of(g_st.p_trailer_strage[t], label, plen);
}
