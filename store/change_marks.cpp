#include "store/change_marks.h"

#include <vector>

#include "store/element_walk.h"
#include "store/storages.h"

namespace {

struct Marks {
    std::vector<char> changed;  // per loaded object
    std::vector<int> owner;     // per element: the object whose chain holds it, -1 none
    int loaded = 0;
    long image = -1;       // the template content the owners were worked out for
    int owners_elems = 0;  // how many elements that content brought
    long changes = 0;
};
Marks g_marks;

// Only the generator tracks changes; the compiler builds objects, it does not edit them.
bool active() {
    return g_st.variant == StoreVariant::generator;
}

}  // namespace

void marks_start_page(long image) {
    Storages& s = g_st;
    Marks& m = g_marks;
    m.loaded = s.num_xref_strage;
    m.changed.assign(static_cast<size_t>(s.num_xref_strage), 0);
    m.changes = 0;
    // The same content has the same owners: elements an earlier page appended lie beyond the
    // loaded ones and get their owner again when they are appended.
    if (image >= 0 && image == m.image && m.owners_elems == s.num_elem_strage &&
        m.owner.size() >= static_cast<size_t>(s.num_elem_strage))
        return;
    m.owner.assign(static_cast<size_t>(s.num_elem_strage), -1);
    for (int i = 0; i < s.num_xref_strage; ++i)
        for (int e : obj_elems(i)) m.owner[static_cast<size_t>(e)] = i;
    m.image = image;
    m.owners_elems = s.num_elem_strage;
}

int marks_loaded_objects() {
    return g_marks.loaded;
}

void mark_object_changed(int obj) {
    Marks& m = g_marks;
    if (obj >= 0 && static_cast<size_t>(obj) < m.changed.size() &&
        !m.changed[static_cast<size_t>(obj)]) {
        m.changed[static_cast<size_t>(obj)] = 1;
        ++m.changes;
    }
}

void mark_object_unchanged(int obj) {
    Marks& m = g_marks;
    if (obj >= 0 && static_cast<size_t>(obj) < m.changed.size())
        m.changed[static_cast<size_t>(obj)] = 0;
}

long marks_changes() {
    return g_marks.changes;
}

void mark_elem_changed(int elem) {
    Marks& m = g_marks;
    if (!active()) return;
    int owner = elem > 0 && static_cast<size_t>(elem) < m.owner.size()
                    ? m.owner[static_cast<size_t>(elem)]
                    : -1;
    if (owner >= 0) {
        mark_object_changed(owner);
    } else {
        // An element the page's load did not bring and no append recorded: nothing is known
        // of its owner, so no object of the page may be taken as unchanged.
        for (size_t i = 0; i < m.changed.size(); ++i) mark_object_changed(static_cast<int>(i));
    }
}

std::vector<int>* g_marks_reads = nullptr;

void marks_record_reads(std::vector<int>* into) {
    g_marks_reads = active() ? into : nullptr;
}

void marks_note_read(int elem) {
    const Marks& m = g_marks;
    int owner = elem > 0 && static_cast<size_t>(elem) < m.owner.size()
                    ? m.owner[static_cast<size_t>(elem)]
                    : -1;
    marks_note_object(owner);
}

void marks_note_object(int obj) {
    std::vector<int>& r = *g_marks_reads;
    // Walks of one object follow each other closely; a repeat of the last one is not kept.
    if (r.empty() || r.back() != obj) r.push_back(obj);
}

bool objects_unchanged(const std::vector<int>& objs) {
    for (int o : objs)
        if (object_changed(o)) return false;
    return true;
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
    if (opens_level(e.f_type)) drop_items(elem);
    e.f_type = ELEM_TYPE_INTEGER;
    e.data.int_data = value;
    mark_elem_changed(elem);
}

void set_elem_objref(int elem, int obj) {
    st_elem& e = elem_at(elem);
    if (opens_level(e.f_type)) drop_items(elem);
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
