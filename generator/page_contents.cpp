#include "generator/page_contents.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "generator/doc_state.h"
#include "generator/field_widgets.h"
#include "store/element_ops.h"

namespace {

// Page trees are shallow; a Parent chain longer than this is taken to loop.
constexpr int MAX_PARENT_HOPS = 32;

// The element of object `obj` that precedes `target` in its chain, 0 when `target` is first.
int chain_predecessor(int obj, int target) {
    int prev = 0;
    for (int e : obj_elems(obj)) {
        if (e == target) return prev;
        prev = e;
    }
    return -1;
}

// The parent page-tree node of `obj`, or -1.
int parent_of(int obj) {
    return ref_target(get_elem(obj, "Parent"));
}

// Reads the four numbers of a rectangle held as array text.
bool parse_box(int elem, float v[4]) {
    if (elem == -1) return false;
    const st_elem& e = elem_at(elem);
    if (e.f_type != ELEM_TYPE_STRING) return false;
    std::string text(elem_bytes(e), static_cast<size_t>(e.data.str.len));
    const char* s = text.c_str();
    while (*s == ' ' || *s == '\r' || *s == '\n' || *s == '\t') ++s;
    if (*s == '[') ++s;
    for (int i = 0; i < 4; ++i) {
        char* end = nullptr;
        double d = std::strtod(s, &end);
        if (end == s) return false;
        v[i] = static_cast<float>(d);
        s = end;
    }
    return true;
}

}  // namespace

const char* page_tree_kids(int root, int* len) {
    if (root < 0) return nullptr;
    const int tree = dict_ref(root, "Pages");
    const char* kids = tree != -1 ? dict_array_text(tree, "Kids", len) : nullptr;
    return kids ? kids : get_elem_string(root, "Pages", "Kids", len);
}

int find_page_obj() {
    // The template's first page as its page tree orders them, where that is a page; objects
    // need not be numbered in page order (a form's second page may come first).
    int len = 0;
    const char* kids = page_tree_kids(get_trailer_objref("Root"), &len);
    if (kids) {
        const std::vector<int> pages = marked_refs(kids, static_cast<size_t>(len));
        if (!pages.empty() && valid_xref(pages[0]) && g_st.p_xref_strage[pages[0]].f_page == 1)
            return pages[0];
    }
    for (int i = 0; i < g_st.num_xref_strage; ++i)
        if (g_st.p_xref_strage[i].f_page == 1) return i;
    _throw("Page Object Not Found.");
}

PageGeometry read_page_geometry(int page_obj) {
    PageGeometry g;
    float box[4];
    bool have_box = false, have_rotate = false;
    int obj = page_obj;
    for (int hops = 0; obj != -1 && hops < MAX_PARENT_HOPS && !(have_box && have_rotate); ++hops) {
        if (!have_box) {
            int m = get_elem_force(obj, nullptr, "MediaBox");
            if (m != -1) {
                if (!parse_box(m, box)) throwf("Illegal MediaBox(%d)", page_obj);
                have_box = true;
                // The output's page tree is built anew and does not carry the template's
                // inherited attributes, so the page takes over what it inherits.
                if (obj != page_obj) {
                    const st_elem& me = elem_at(m);
                    std::string text(elem_bytes(me), static_cast<size_t>(me.data.str.len));
                    append_elem_str(page_obj, 0, "MediaBox", STR_ARRAY, text.data(),
                                    static_cast<int>(text.size()));
                }
            }
        }
        if (!have_rotate && get_elem_force(obj, nullptr, "Rotate") != -1) {
            // Viewers take the turn modulo a full turn (-90 is 270, 450 is 90).
            g.rotate = ((get_elem_int(obj, nullptr, "Rotate") % 360) + 360) % 360;
            have_rotate = true;
            if (obj != page_obj) append_elem_int(page_obj, 0, "Rotate", g.rotate);
        }
        obj = parent_of(obj);
    }
    if (!have_box) throwf("Illegal MediaBox(%d)", page_obj);
    g.x0 = box[0];
    g.y0 = box[1];
    g.xx = box[2];
    g.yy = box[3];
    return g;
}

int add_content_stream(const char* text, int len) {
    new_xref_strage();
    int obj = g_st.cur_xref_strage;
    append_elem_int(obj, 0, "Length", len);
    append_elem_str(obj, 0, LABEL_STREAM, STR_STREAM, text, len);
    return obj;
}

void link_page_contents(int page_obj, int obj_no, bool first) {
    int c = dict_entry(page_obj, "Contents");
    if (c != -1 && elem_at(c).f_type == ELEM_TYPE_OBJREF && valid_xref(elem_at(c).data.obj_no)) {
        // A reference to an array object: the array is extended where it is.
        int d = deref_value(c);
        if (d != -1) {
            const st_elem& de = elem_at(d);
            if ((de.f_type == ELEM_TYPE_STRING && de.data.str.type == STR_ARRAY) ||
                de.f_type == ELEM_TYPE_ARRAY_START)
                c = d;
        }
    }
    if (c == -1) {
        append_elem_objref(page_obj, 0, "Contents", obj_no);
        return;
    }
    const st_elem& e = elem_at(c);
    char ref[32];
    std::snprintf(ref, sizeof ref, "%c%d 0 R ", REF_MARKER, obj_no);
    std::string text;
    if (e.f_type == ELEM_TYPE_OBJREF) {
        char old[32];
        std::snprintf(old, sizeof old, "%c%d 0 R ", REF_MARKER, e.data.obj_no);
        text = first ? std::string(ref) + old : std::string(old) + ref;
    } else if (e.f_type == ELEM_TYPE_STRING && e.data.str.type == STR_ARRAY) {
        std::string old(elem_bytes(e), static_cast<size_t>(e.data.str.len));
        text = first ? std::string(ref) + old + " " : old + " " + ref;
    } else if (e.f_type == ELEM_TYPE_ARRAY_START) {
        // An array held as elements: the reference becomes its first or its last item.
        int end = value_end(c);
        if (end == -1) throwf("Illegal Page Contents(%d)", page_obj);
        int owner = -1;
        for (int i = 0; i < g_st.num_xref_strage && owner == -1; ++i)
            if (chain_predecessor(i, end) >= 0) owner = i;
        int after = first ? c : chain_predecessor(owner, end);
        append_elem_objref(owner, after, LABEL_IMMEDIATE, obj_no);
        return;
    } else {
        throwf("Illegal Page Contents(%d)", page_obj);
    }
    set_elem_str(c, STR_ARRAY, text.data(), static_cast<int>(text.size()));
    elem_at(c).data.str.f_renum = 1;
}

int ensure_own_resources(int page_obj) {
    int r = dict_entry(page_obj, "Resources");
    if (r != -1) return r;
    int obj = parent_of(page_obj);
    for (int hops = 0; obj != -1 && hops < MAX_PARENT_HOPS; ++hops, obj = parent_of(obj)) {
        int pr = dict_entry(obj, "Resources");
        if (pr == -1) continue;
        st_elem src = elem_at(pr);
        if (src.f_type == ELEM_TYPE_OBJREF)
            return append_elem_objref(page_obj, 0, "Resources", src.data.obj_no);
        if (src.f_type != ELEM_TYPE_SUBDIC_START) break;
        // An inline dictionary of the page tree: the page gets its own copy, which shares
        // the string bytes of the original.
        int end = value_end(pr);
        if (end == -1) break;
        int first = 0, last = 0;
        for (int e : value_elems(pr)) {
            int n = append_elem(page_obj, last);
            copy_elem_value(n, elem_at(e));
            if (!first) first = n;
            last = n;
        }
        return first;
    }
    int s = append_elem_subdic_start(page_obj, 0, "Resources");
    append_elem_subdic_end(page_obj, s, "Resources");
    return s;
}

void enter_resource(int owner, const char* category, const char* name, int obj_no) {
    int r = dict_entry(owner, "Resources");
    if (r == -1) throwf("Undefined Resources(%d)", owner);
    int holder = owner, x = -1;
    st_elem re = elem_at(r);
    if (re.f_type == ELEM_TYPE_OBJREF) {
        holder = re.data.obj_no;
        if (!valid_xref(holder)) throwf("Undefined Resources(%d)", owner);
        x = dict_entry(holder, category);
    } else if (re.f_type == ELEM_TYPE_SUBDIC_START) {
        x = subdict_entry(r, category);
    } else {
        throwf("Undefined Resources(%d)", owner);
    }
    if (x != -1) {
        // A name the dictionary holds already (resources that a page and its widgets' appearances
        // share get an image entered for each) is pointed at the object, not given twice.
        st_elem xe = elem_at(x);
        if (xe.f_type == ELEM_TYPE_SUBDIC_START) {
            const int have = subdict_entry(x, name);
            if (have != -1)
                set_elem_objref(have, obj_no);
            else
                append_elem_objref(holder, x, name, obj_no);
            return;
        }
        if (xe.f_type == ELEM_TYPE_OBJREF && valid_xref(xe.data.obj_no)) {
            // The category's dictionary is an object of its own: the entry goes into it.
            const int have = dict_entry(xe.data.obj_no, name);
            if (have != -1)
                set_elem_objref(have, obj_no);
            else
                append_elem_objref(xe.data.obj_no, 0, name, obj_no);
            return;
        }
        throwf("Illegal %s Resources(%d)", category, owner);
    }
    int s, ref;
    if (re.f_type == ELEM_TYPE_OBJREF) {
        s = append_elem_subdic_start(holder, 0, category);
        ref = append_elem_objref(holder, s, name, obj_no);
    } else {
        s = append_elem_subdic_start(holder, r, category);
        ref = append_elem_objref(holder, s, name, obj_no);
    }
    append_elem_subdic_end(holder, ref, category);
}

void enter_xobject_resource(int owner, const char* name, int xobj_no) {
    enter_resource(owner, "XObject", name, xobj_no);
}
