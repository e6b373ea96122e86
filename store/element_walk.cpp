#include "store/element_walk.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "store/change_marks.h"
#include "store/element_ops.h"
#include "store/pdf_text.h"

namespace {

bool opens(int t) {
    return t == ELEM_TYPE_SUBDIC_START || t == ELEM_TYPE_ARRAY_START;
}
bool closes(int t) {
    return t == ELEM_TYPE_SUBDIC_END || t == ELEM_TYPE_ARRAY_END;
}
bool in_storage(int e) {
    return e > 0 && e < g_st.num_elem_strage;
}
int type_of(int e) {
    return g_st.p_elem_strage[e].f_type;
}

}  // namespace

ChainIter::ChainIter(int first, WalkMode mode)
    : e_(in_storage(first) ? first : 0), steps_left_(g_st.num_elem_strage - 1), mode_(mode) {
    if (g_marks_reads && e_ != 0) marks_note_read(e_);
    if (e_ != 0) {
        type_ = type_of(e_);
        if (mode_ == WalkMode::entries) settle();
    }
}

void ChainIter::settle() {
    while (e_ != 0) {
        if (closes(type_)) {
            if (depth_ == 0) {
                e_ = 0;
                return;
            }
            --depth_;
        } else if (depth_ == 0 && type_ != 0) {
            return;
        } else if (opens(type_)) {
            ++depth_;
        }
        step();
    }
}

ChainIter& ChainIter::advance() {
    switch (mode_) {
        case WalkMode::every:
            step();
            break;
        case WalkMode::entries:
            // The type seen on arrival counts, so that the loop body may switch the entry off.
            if (opens(type_)) ++depth_;
            if (step()) settle();
            break;
        case WalkMode::value:
            if (opens(type_)) ++depth_;
            if (closes(type_)) --depth_;
            if (depth_ <= 0)
                e_ = 0;
            else
                step();
            break;
    }
    return *this;
}

ChainRange obj_elems(int obj) {
    if (g_marks_reads) marks_note_object(obj);
    if (!valid_xref(obj)) return {};
    return {g_st.p_xref_strage[obj].first_elem, WalkMode::every};
}

ChainRange elems_from(int e) {
    return {e, WalkMode::every};
}

ChainRange value_elems(int e) {
    return {e, WalkMode::value};
}

int chain_last(int obj) {
    int last = 0;
    for (int e : obj_elems(obj)) last = e;
    return last;
}

int chain_stray(int obj) {
    if (!valid_xref(obj)) return 0;
    int first = g_st.p_xref_strage[obj].first_elem;
    if (first != 0 && !in_storage(first)) return first;
    for (int e : obj_elems(obj)) {
        int next = g_st.p_elem_strage[e].next_elem;
        if (next != 0 && !in_storage(next)) return next;
    }
    return 0;
}

int value_end(int e) {
    if (!in_storage(e)) return -1;
    if (!opens(type_of(e))) return e;
    int depth = 0;
    for (int n : elems_from(e)) {
        int t = type_of(n);
        if (opens(t)) ++depth;
        if (closes(t) && --depth == 0) return n;
    }
    return -1;
}

void switch_off(int e) {
    for (int n : value_elems(e)) {
        g_st.p_elem_strage[n].f_type = 0;
        mark_elem_changed(n);
    }
}

void drop_items(int e) {
    if (!in_storage(e) || !opens(type_of(e))) return;
    for (int n : value_elems(e)) {
        if (n == e) continue;
        g_st.p_elem_strage[n].f_type = 0;
        mark_elem_changed(n);
    }
}

void copy_elem_value(int dst, const st_elem& src) {
    st_elem& d = elem_at(dst);
    int next = d.next_elem;
    d = src;
    d.next_elem = next;
    mark_elem_changed(dst);
}

namespace {
// The walk of ChainIter's entries mode, written out: lookups are the store's hottest loop.
int find_entry(ChainRange entries, const char* label) {
    const st_elem* es = g_st.p_elem_strage;
    const int n = g_st.num_elem_strage;
    int e = entries.first;
    if (e <= 0 || e >= n) return -1;
    if (g_marks_reads) marks_note_read(e);
    int depth = 0;
    for (int steps = n - 1;;) {
        const st_elem& el = es[e];
        const int t = el.f_type;
        if (closes(t)) {
            if (depth == 0) return -1;
            --depth;
        } else if (depth == 0 && t != 0) {
            if (label_is(el.label, label)) return e;
            if (opens(t)) ++depth;
        } else if (opens(t)) {
            ++depth;
        }
        const int next = el.next_elem;
        if (steps-- <= 0 || next <= 0 || next >= n) return -1;
        e = next;
    }
}
}  // namespace

int dict_entry(int obj, const char* label) {
    return label ? find_entry(Dict{obj, 0}.entries(), label) : -1;
}

int subdict_entry(int start, const char* label) {
    if (!in_storage(start) || type_of(start) != ELEM_TYPE_SUBDIC_START || !label) return -1;
    return find_entry(Dict{0, start}.entries(), label);
}

int ref_target(int e) {
    if (!in_storage(e)) return -1;
    const st_elem& el = g_st.p_elem_strage[e];
    if (g_marks_reads && el.f_type == ELEM_TYPE_OBJREF) marks_note_object(el.data.obj_no);
    if (el.f_type != ELEM_TYPE_OBJREF || !valid_xref(el.data.obj_no)) return -1;
    return el.data.obj_no;
}

int dict_ref(int obj, const char* label) {
    return ref_target(dict_entry(obj, label));
}

int deref_value(int e) {
    if (!in_storage(e)) return -1;
    const st_elem& el = g_st.p_elem_strage[e];
    if (el.f_type != ELEM_TYPE_OBJREF) return e;
    return get_elem(el.data.obj_no, LABEL_IMMEDIATE);
}

bool number_value(int e, double* out) {
    const int v = deref_value(e);
    if (v == -1) return false;
    const st_elem& el = g_st.p_elem_strage[v];
    if (el.f_type == ELEM_TYPE_INTEGER) {
        *out = el.data.int_data;
        return true;
    }
    if (el.f_type != ELEM_TYPE_STRING || el.data.str.type != STR_BARE) return false;
    std::string t(elem_bytes(el), static_cast<size_t>(el.data.str.len));
    char* end = nullptr;
    double d = std::strtod(t.c_str(), &end);
    if (end == t.c_str() || !std::isfinite(d)) return false;
    // Within the range of PDF integers, so that callers may convert it to an int.
    *out = std::clamp(d, -2147483648.0, 2147483647.0);
    return true;
}

std::vector<double> array_numbers(int e) {
    const int v = deref_value(e);
    if (v == -1) return {};
    const st_elem& el = g_st.p_elem_strage[v];
    if (el.f_type != ELEM_TYPE_STRING || el.data.str.type != STR_ARRAY) return {};
    return numbers_in(elem_bytes(el), static_cast<size_t>(el.data.str.len));
}

int Dict::find(const char* label) const {
    if (!valid()) return -1;
    return start ? subdict_entry(start, label) : dict_entry(obj, label);
}

ChainRange Dict::entries() const {
    if (!valid()) return {};
    if (g_marks_reads && start == 0) marks_note_object(obj);
    if (start == 0)
        return {valid_xref(obj) ? g_st.p_xref_strage[obj].first_elem : 0, WalkMode::entries};
    if (!in_storage(start) || type_of(start) != ELEM_TYPE_SUBDIC_START) return {};
    return {g_st.p_elem_strage[start].next_elem, WalkMode::entries};
}

Dict Dict::of(int obj, int e) {
    if (!in_storage(e)) return {};
    const st_elem& el = g_st.p_elem_strage[e];
    if (el.f_type == ELEM_TYPE_SUBDIC_START) return {obj, e};
    if (g_marks_reads && el.f_type == ELEM_TYPE_OBJREF) marks_note_object(el.data.obj_no);
    if (el.f_type == ELEM_TYPE_OBJREF && valid_xref(el.data.obj_no) &&
        g_st.p_xref_strage[el.data.obj_no].first_elem > 0)
        return {el.data.obj_no, 0};
    return {};
}

Dict Dict::sub(const char* label) const {
    return valid() ? of(obj, find(label)) : Dict{};
}

int Dict::add() const {
    return append_elem(obj, start);
}

Dict Dict::add_subdict(const char* label) const {
    int s = append_elem_subdic_start(obj, start, label);
    append_elem_subdic_end(obj, s, "");
    return {obj, s};
}
