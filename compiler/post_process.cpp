#include "compiler/post_process.h"

#include <regex.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "compiler/field_analysis.h"
#include "compiler/object_events.h"
#include "store/element_ops.h"
#include "store/storages.h"

namespace {

// Parent chains and nested page trees deeper than this are taken as loops.
constexpr int MAX_TREE_DEPTH = 256;

bool name_is(int obj, const char* label, const char* value) {
    const char* n = get_elem_name(obj, nullptr, label);
    return n && std::strcmp(n, value) == 0;
}

bool is_array_string(const st_elem& e) {
    return e.f_type == ELEM_TYPE_STRING && e.data.str.type == STR_ARRAY;
}

// The element found for a key when it is an array string (possibly through a reference).
int array_elem(int obj, const char* label) {
    int e = get_elem_absolute(obj, label);
    if (e < 0 || !is_array_string(g_st.p_elem_strage[e])) return -1;
    return e;
}

void copy_array_string(int to_obj, const char* label, int from_elem) {
    // The source text lies in the character storage, which the append may move.
    const st_elem& src = g_st.p_elem_strage[from_elem];
    std::string text(elem_bytes(src), static_cast<size_t>(src.data.str.len));
    char renum = src.data.str.f_renum;
    int n =
        append_elem_str(to_obj, 0, label, STR_ARRAY, text.data(), static_cast<int>(text.size()));
    g_st.p_elem_strage[n].data.str.f_renum = renum;
}

// Appends the page objects listed in a Kids text to `out`, descending into Pages nodes.
void collect_pages(const std::string& kids, std::string& out, std::vector<char>& visiting,
                   int depth) {
    if (depth > MAX_TREE_DEPTH) return;
    char buf[48];
    for (size_t i = 0; i < kids.size(); ++i) {
        if (kids[i] != REF_MARKER) continue;
        long n = std::strtol(kids.c_str() + i + 1, nullptr, 10);
        if (n < 0 || n >= g_st.num_xref_strage) continue;
        int obj = static_cast<int>(n);
        if (name_is(obj, "Type", "Pages")) {
            if (visiting[obj]) continue;  // a node that contains itself
            int k = array_elem(obj, "Kids");
            if (k < 0) continue;
            const st_elem& ke = g_st.p_elem_strage[k];
            std::string sub(elem_bytes(ke), static_cast<size_t>(ke.data.str.len));
            visiting[obj] = 1;
            collect_pages(sub, out, visiting, depth + 1);
            visiting[obj] = 0;
        } else {
            int len = std::snprintf(buf, sizeof buf, " %c%d 0 R", REF_MARKER, obj);
            out.append(buf, static_cast<size_t>(len));
        }
    }
}

}  // namespace

void restore_array_strings() {
    for (int i = 1; i < g_st.num_elem_strage; ++i) {
        st_elem& e = g_st.p_elem_strage[i];
        if (e.f_type != ELEM_TYPE_STRING) continue;
        if (e.data.str.type == STR_LITERAL && std::strcmp(e.label, "W") == 0) {
            e.data.str.type = STR_ARRAY;
        } else if (e.data.str.type == STR_ARRAY && std::strcmp(e.label, LABEL_IMMEDIATE) == 0) {
            char* s = elem_bytes(e);
            for (int k = 0; k < e.data.str.len; ++k) {
                if (s[k] == 2)
                    s[k] = '[';
                else if (s[k] == 3)
                    s[k] = ']';
            }
        }
    }
}

void mark_references() {
    regex_t re;
    if (regcomp(&re, "([\r\n ][0-9]+ [0-9]+ R)", REG_EXTENDED | REG_NEWLINE) != 0) return;
    for (int i = 1; i < g_st.num_elem_strage; ++i) {
        st_elem& e = g_st.p_elem_strage[i];
        if (!is_array_string(e)) continue;
        char* s = elem_bytes(e);
        char* end = s + e.data.str.len;
        char* p = s;
        regmatch_t m[1];
        // The text is NUL-terminated; a NUL inside it ends the search, as in a C string.
        while (p < end && regexec(&re, p, 1, m, p == s ? 0 : REG_NOTBOL) == 0) {
            p[m[0].rm_so] = REF_MARKER;
            e.data.str.f_renum = 1;
            p += m[0].rm_eo;
        }
    }
    regfree(&re);
}

void flag_objects() {
    static const char* const shared[] = {"Encoding", "Metadata",       "FontDescriptor",
                                         "Catalog",  "StructTreeRoot", "Font"};
    for (int i = 0; i < g_st.num_xref_strage; ++i) {
        if (g_st.p_xref_strage[i].first_elem == 0) continue;
        const char* type = get_elem_name(i, nullptr, "Type");
        if (!type) continue;
        bool common = false;
        for (const char* s : shared) common = common || std::strcmp(type, s) == 0;
        if (std::strcmp(type, "XObject") == 0 && !name_is(i, "Subtype", "Form")) common = true;
        if (common) g_st.p_xref_strage[i].f_common = 1;
    }
    for (int i = 0; i < g_st.num_xref_strage; ++i)
        if (g_st.p_xref_strage[i].first_elem != 0 && name_is(i, "Type", "Page"))
            g_st.p_xref_strage[i].f_page = 1;
}

void inherit_page_attributes() {
    for (int i = 0; i < g_st.num_xref_strage; ++i) {
        if (g_st.p_xref_strage[i].first_elem == 0) continue;
        const char* type = get_elem_name(i, nullptr, "Type");
        if (type && std::strcmp(type, "Page") != 0) continue;
        if (get_elem(i, "MediaBox") != -1) continue;
        if (get_elem(i, "Parent") == -1) continue;
        int node = i;
        int from = -1;
        for (int depth = 0; depth < MAX_TREE_DEPTH; ++depth) {
            int pe = get_elem(node, "Parent");
            if (pe < 0 || g_st.p_elem_strage[pe].f_type != ELEM_TYPE_OBJREF) break;
            int parent = g_st.p_elem_strage[pe].data.obj_no;
            if (!valid_xref(parent) || parent == node) break;
            node = parent;
            if (array_elem(node, "MediaBox") >= 0) {
                from = node;
                break;
            }
        }
        if (from < 0) continue;
        copy_array_string(i, "MediaBox", array_elem(from, "MediaBox"));
        int crop = array_elem(from, "CropBox");
        if (crop >= 0) copy_array_string(i, "CropBox", crop);
        int rot = get_elem_absolute(from, "Rotate");
        if (rot >= 0 && g_st.p_elem_strage[rot].f_type == ELEM_TYPE_INTEGER)
            append_elem_int(i, 0, "Rotate", g_st.p_elem_strage[rot].data.int_data);
    }
}

void copy_xref_stream_trailers() {
    for (int i = 0; i < g_st.num_xref_strage; ++i) {
        if (g_st.p_xref_strage[i].first_elem == 0) continue;
        if (!name_is(i, "Type", "XRef") && !name_is(i, "Type", "XRefStm")) continue;
        auto set_ref = [&](const char* key) {
            int e = get_elem(i, key);
            if (e < 0 || g_st.p_elem_strage[e].f_type != ELEM_TYPE_OBJREF) return;
            int obj = g_st.p_elem_strage[e].data.obj_no;
            if (obj <= 0) return;
            int t = trailer_find_or_append(key);
            if (t < 0) return;
            st_elem& r = g_st.p_trailer_strage[t];
            std::memset(&r.data, 0, sizeof r.data);
            r.f_type = ELEM_TYPE_OBJREF;
            r.data.obj_no = obj;
        };
        auto set_int = [&](const char* key) {
            int e = get_elem_absolute(i, key);
            if (e < 0 || g_st.p_elem_strage[e].f_type != ELEM_TYPE_INTEGER) return;
            int v = g_st.p_elem_strage[e].data.int_data;
            if (v <= 0) return;
            int t = trailer_find_or_append(key);
            if (t < 0) return;
            st_elem& r = g_st.p_trailer_strage[t];
            std::memset(&r.data, 0, sizeof r.data);
            r.f_type = ELEM_TYPE_INTEGER;
            r.data.int_data = v;
        };
        set_ref("Root");
        int id = array_elem(i, "ID");
        if (id >= 0) {
            const st_elem& ie = g_st.p_elem_strage[id];
            std::string text(elem_bytes(ie), static_cast<size_t>(ie.data.str.len));
            int t = trailer_find_or_append("ID");
            if (t >= 0) {
                st_elem& r = g_st.p_trailer_strage[t];
                std::memset(&r.data, 0, sizeof r.data);
                set_elem_str2(&r, STR_ARRAY, text.data(), static_cast<int>(text.size()));
            }
        }
        set_int("Size");
        set_ref("Encrypt");
        set_int("Prev");
    }
}

void flatten_page_tree() {
    int root = get_trailer_objref("Root");
    if (!valid_xref(root)) return;
    int pages = get_xref_absolute(root, "Pages");
    if (!valid_xref(pages) || pages == root) return;
    int kids_elem = get_elem(pages, "Kids");
    int kids = array_elem(pages, "Kids");
    if (kids_elem < 0 || kids < 0) return;
    const st_elem& ke = g_st.p_elem_strage[kids];
    std::string text(elem_bytes(ke), static_cast<size_t>(ke.data.str.len));
    std::string list;
    std::vector<char> visiting(static_cast<size_t>(g_st.num_xref_strage), 0);
    visiting[pages] = 1;
    collect_pages(text, list, visiting, 0);
    st_elem& k = g_st.p_elem_strage[kids_elem];
    set_elem_str2(&k, STR_ARRAY, list.data(), static_cast<int>(list.size()));
    k.data.str.f_renum = list.empty() ? 0 : 1;
}

void post_process() {
    mark_references();
    // The field analysis finds the AcroForm through the trailer's /Root, which a file with a
    // cross-reference stream holds only there.
    copy_xref_stream_trailers();
    analyse_fields();
    flag_objects();
    inherit_page_attributes();
    flatten_page_tree();
}
