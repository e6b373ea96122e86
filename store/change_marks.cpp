#include "store/change_marks.h"

#include <vector>

#include "store/element_walk.h"
#include "store/storages.h"

namespace {

struct Marks {
    std::vector<char> changed;  // per loaded object
    std::vector<int> owner;     // per element: the object whose chain holds it
    int loaded = 0;
};
Marks g_marks;

// Only the generator tracks changes; the compiler builds objects, it does not edit them.
bool active() {
    return g_st.variant == StoreVariant::generator;
}

}  // namespace

void marks_start_page() {
    Storages& s = g_st;
    Marks& m = g_marks;
    m.loaded = s.num_xref_strage;
    m.changed.assign(static_cast<size_t>(s.num_xref_strage), 0);
    m.owner.assign(static_cast<size_t>(s.num_elem_strage), 0);
    for (int i = 0; i < s.num_xref_strage; ++i)
        for (int e : obj_elems(i)) m.owner[static_cast<size_t>(e)] = i;
}

int marks_loaded_objects() {
    return g_marks.loaded;
}

void mark_object_changed(int obj) {
    Marks& m = g_marks;
    if (obj >= 0 && static_cast<size_t>(obj) < m.changed.size())
        m.changed[static_cast<size_t>(obj)] = 1;
}

void mark_elem_changed(int elem) {
    Marks& m = g_marks;
    if (!active()) return;
    if (elem > 0 && static_cast<size_t>(elem) < m.owner.size())
        mark_object_changed(m.owner[static_cast<size_t>(elem)]);
    else
        // An element the page's load did not bring and no append recorded: nothing is known
        // of its owner, so no object of the page may be taken as unchanged.
        m.changed.assign(m.changed.size(), 1);
}

void mark_elem_changed(const void* elem) {
    const st_elem* base = g_st.p_elem_strage;
    const st_elem* p = static_cast<const st_elem*>(elem);
    if (base && p >= base && p < base + g_st.num_elem_strage)
        mark_elem_changed(static_cast<int>(p - base));
}

bool object_changed(int obj) {
    const Marks& m = g_marks;
    return obj < 0 || static_cast<size_t>(obj) >= m.changed.size() ||
           m.changed[static_cast<size_t>(obj)] != 0;
}

void marks_set_owner(int elem, int obj) {
    Marks& m = g_marks;
    if (!active() || elem <= 0) return;
    if (static_cast<size_t>(elem) >= m.owner.size()) {
        size_t want = static_cast<size_t>(elem) + 1;
        if (want < m.owner.size() * 2) want = m.owner.size() * 2;
        m.owner.resize(want, 0);
    }
    m.owner[static_cast<size_t>(elem)] = obj;
    mark_object_changed(obj);
}

void set_elem_int(int elem, int value) {
    st_elem& e = elem_at(elem);
    e.f_type = ELEM_TYPE_INTEGER;
    e.data.int_data = value;
    mark_elem_changed(elem);
}

void set_elem_objref(int elem, int obj) {
    st_elem& e = elem_at(elem);
    e.f_type = ELEM_TYPE_OBJREF;
    e.data.obj_no = obj;
    mark_elem_changed(elem);
}

void switch_off_elem(int elem) {
    elem_at(elem).f_type = 0;
    mark_elem_changed(elem);
}

void empty_object(int obj) {
    xref_at(obj).first_elem = 0;
    mark_object_changed(obj);
}
