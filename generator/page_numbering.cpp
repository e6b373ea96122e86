#include "generator/page_numbering.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string>

#include "generator/doc_state.h"
#include "store/element_ops.h"

namespace {

// Reused between pages so that renumbering allocates nothing per element.
std::string g_renum_text;

int output_number(int n) {
    if (n == PAGES_OBJ_PLACEHOLDER) return g_doc.g_pages_obj_no;
    bool common = valid_xref(n) && g_st.p_xref_strage[n].f_common == 1;
    return n + (common ? g_doc.template_base_num : g_doc.base_num);
}

// Parses the decimal object number after a reference marker.
int number_after(const char* p, const char* end, const char** next) {
    int n = 0;
    auto r = std::from_chars(p, end, n);
    *next = r.ptr;
    return r.ec == std::errc() ? n : 0;
}

void append_int(std::string& s, int v) {
    char buf[16];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    s.append(buf, static_cast<size_t>(r.ptr - buf));
}

}  // namespace

void renum_elem(int elem) {
    st_elem& e = g_st.p_elem_strage[elem];
    if (e.f_type == ELEM_TYPE_OBJREF) {
        e.data.obj_no = output_number(e.data.obj_no);
    } else if (e.f_type == ELEM_TYPE_STRING && e.data.str.type == STR_ARRAY && e.data.str.f_renum) {
        renum_elem_str(elem);
    }
}

namespace {
// Rewrites an array text: every marked reference gets its output number, the markers go.
void renum_str(st_elem& e) {
    const char* s = elem_bytes(e);
    const char* end = s + e.data.str.len;
    while (s < end && *s == ' ') ++s;
    const char* marker = static_cast<const char*>(std::memchr(s, REF_MARKER, end - s));
    if (!marker && s < end) return;
    std::string& out = g_renum_text;
    out.clear();
    while (marker) {
        out.append(s, marker);
        const char* after;
        int n = number_after(marker + 1, end, &after);
        out.append(" ");
        append_int(out, output_number(n));
        out.append(" 0 R");
        const char* r = static_cast<const char*>(std::memchr(after, 'R', end - after));
        s = r ? r + 1 : end;
        marker = static_cast<const char*>(std::memchr(s, REF_MARKER, end - s));
    }
    out.append(s, end);
    out.append(" ");
    set_elem_str2(&e, STR_ARRAY, out.data(), static_cast<int>(out.size()));
    e.data.str.f_renum = 0;
}
}  // namespace

void renum_elem_str(int elem) {
    renum_str(g_st.p_elem_strage[elem]);
}

void renum_obj() {
    Storages& s = g_st;
    bool drop_common = g_doc.g_compress_field == 1 && g_doc.g_continue_template == 1;
    for (int i = 0; i < s.num_xref_strage; ++i) {
        st_xref& x = s.p_xref_strage[i];
        if (drop_common && x.f_common == 1) {
            x.first_elem = 0;
            continue;
        }
        for (int e : obj_elems(i)) renum_elem(e);
    }
    for (int t = 0; t < s.num_trailer_strage; ++t) {
        st_elem& e = s.p_trailer_strage[t];
        if (e.f_type == ELEM_TYPE_OBJREF)
            e.data.obj_no = output_number(e.data.obj_no);
        else if (e.f_type == ELEM_TYPE_STRING && e.data.str.type == STR_ARRAY && e.data.str.f_renum)
            renum_str(e);
    }
}

void get_pagerefs() {
    Storages& s = g_st;
    int root = get_trailer_objref("Root");
    int len = 0;
    const char* kids = root >= 0 ? get_elem_string(root, "Pages", "Kids", &len) : nullptr;
    if (!kids) throwf("Template without page tree(%s)", g_doc.g_templateFileName);
    const char* end = kids + len;
    const char* m = static_cast<const char*>(std::memchr(kids, REF_MARKER, len));
    while (m) {
        const char* after;
        int n = number_after(m + 1, end, &after);
        if (s.num_pages_strage > MAX_PAGE_INDEX) _throw("Page Resource Full.");
        new_pages_strage();
        s.p_pages_strage[s.cur_pages_strage] = g_doc.base_num + n;
        ++g_doc.g_pages_count;
        const char* r = static_cast<const char*>(std::memchr(after, 'R', end - after));
        if (!r) break;
        m = static_cast<const char*>(std::memchr(r, REF_MARKER, end - r));
    }
    int pages_ref = get_elem(root, "Pages");
    if (!g_doc.f_2nd_page) {
        g_doc.g_root_obj_no = root;
        if (pages_ref > 0 && s.p_elem_strage[pages_ref].f_type == ELEM_TYPE_OBJREF)
            g_doc.g_pages_obj_no = s.p_elem_strage[pages_ref].data.obj_no;
    } else if (pages_ref > 0 && s.p_elem_strage[pages_ref].f_type == ELEM_TYPE_OBJREF) {
        // This catalog is not the document's root; it points at the one page tree.
        s.p_elem_strage[pages_ref].data.obj_no = PAGES_OBJ_PLACEHOLDER;
    }
    for (int i = 0; i < s.num_xref_strage; ++i) {
        if (s.p_xref_strage[i].f_page != 1) continue;
        int p = get_elem(i, "Parent");
        if (p > 0 && s.p_elem_strage[p].f_type == ELEM_TYPE_OBJREF)
            s.p_elem_strage[p].data.obj_no = PAGES_OBJ_PLACEHOLDER;
    }
}

void set_pagerefs() {
    Storages& s = g_st;
    new_xref_strage();
    new_xref_strage();
    append_elem_name(1, 0, "Type", "Pages");
    std::string kids = " ";
    kids.reserve(static_cast<size_t>(s.num_pages_strage) * 12 + 2);
    for (int i = 0; i < s.num_pages_strage; ++i) {
        append_int(kids, s.p_pages_strage[i]);
        kids.append(" 0 R ");
    }
    append_elem_str(1, 0, "Kids", STR_ARRAY, kids.data(), static_cast<int>(kids.size()));
    append_elem_int(1, 0, "Count", g_doc.g_pages_count);
}

int dup_obj(int i) {
    Storages& s = g_st;
    if (!valid_xref(i)) throwf("Object number out of range(%d)", i);
    new_xref_strage();
    int n = s.cur_xref_strage;
    int last = 0;
    for (int e : obj_elems(i)) {
        int c = append_elem(n, last);
        copy_elem_value(c, s.p_elem_strage[e]);  // after append_elem: the storage may have moved
        last = c;
    }
    return n;
}
