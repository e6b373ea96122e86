// Walking an object's element chain, and the dictionary view on top of it.
//
// Every walk here is bounded: it ends at index 0, at an index outside the element storage,
// and after as many steps as the storage holds elements, so a damaged chain that loops or
// points outside the storage ends instead of hanging or reading out of range. Iterators hold
// indexes only and read the storage afresh at every step, so the body of a loop may append
// elements (which can move the storage) as long as it does not relink the elements ahead.
//
// Nesting: a SUBDIC_START or ARRAY_START opens a level and the next SUBDIC_END or
// ARRAY_END at the same level closes it. An element switched off by a page operation has
// type 0; the writer leaves it out, and so do the dictionary lookups here.
#pragma once

#include <vector>

#include "store/storages.h"

// What a walk yields.
enum class WalkMode : unsigned char {
    every,    // every element to the end of the chain, whatever its level or type
    entries,  // the direct entries of one level: elements at that level that are not switched
              // off and do not close a level; ends where the level is closed
    value,    // the element the walk starts at and, when it opens a level, everything up to
              // and including the element that closes it
};

class ChainIter {
  public:
    ChainIter() = default;  // the end
    ChainIter(int first, WalkMode mode);

    int operator*() const { return e_; }
    ChainIter& operator++() {
        if (mode_ == WalkMode::every) {
            step();
            return *this;
        }
        return advance();
    }
    bool operator==(const ChainIter& o) const { return e_ == o.e_; }

  private:
    // Moves to the next element of the chain; false at its end.
    bool step() {
        const int next = g_st.p_elem_strage[e_].next_elem;
        if (steps_left_ <= 0 || next <= 0 || next >= g_st.num_elem_strage) {
            e_ = 0;
            return false;
        }
        --steps_left_;
        e_ = next;
        type_ = g_st.p_elem_strage[e_].f_type;
        return true;
    }
    ChainIter& advance();  // the entries and value modes
    void settle();         // in entries mode, moves on to the next direct entry
    int e_ = 0;
    int type_ = 0;  // e_'s type when the walk reached it
    int depth_ = 0;
    int steps_left_ = 0;
    WalkMode mode_ = WalkMode::every;
};

struct ChainRange {
    int first = 0;
    WalkMode mode = WalkMode::every;
    ChainIter begin() const { return ChainIter(first, mode); }
    ChainIter end() const { return ChainIter(); }
};

// Every element of object obj's chain (nothing for an object number out of range).
ChainRange obj_elems(int obj);
// Every element from element e to the end of its chain.
ChainRange elems_from(int e);
// Element e, and when it opens a dictionary or array, all of its items and its closing
// element; to the end of the chain when the closing element is missing.
ChainRange value_elems(int e);

// The last element of object obj's chain, or 0 when it is empty.
int chain_last(int obj);
// The first index on object obj's chain that lies outside the element storage, or 0 when
// the chain stays inside it.
int chain_stray(int obj);
// The element that closes the dictionary or array that element e opens; e itself for any
// other element; -1 when the closing element is missing.
int value_end(int e);
// Switches element e off so that the writer leaves it out; a dictionary or array value goes
// with all of its items.
void switch_off(int e);
// Before element e takes a plain value: when it opens a dictionary or array, its items and
// closing element are switched off, so that they do not stay behind as entries of e's level.
void drop_items(int e);
// Whether an element of this type opens a dictionary or array (drop_items has work to do).
inline bool opens_level(int type) {
    return type == ELEM_TYPE_SUBDIC_START || type == ELEM_TYPE_ARRAY_START;
}
// Copies element src's key, type and value into element dst, leaving dst's place in its
// chain as it is. The string bytes are shared, not copied.
void copy_elem_value(int dst, const st_elem& src);

// The top-level entry `label` of dictionary object obj: not an item of one of its
// sub-dictionaries or arrays, and not switched off. -1 when there is none.
int dict_entry(int obj, const char* label);
// The entry `label` directly inside the sub-dictionary that element start opens, with the
// same rules; -1 when there is none or start opens no dictionary.
int subdict_entry(int start, const char* label);

// The object that reference element e refers to, or -1 when e is not a reference to an
// object of the store.
int ref_target(int e);
// The object that top-level entry `label` of obj refers to, or -1.
int dict_ref(int obj, const char* label);
// The value element e stands for: e itself, or when e is a reference, the direct value of
// the object it refers to (an array or a number held without a dictionary); -1 when that
// object holds no direct value.
int deref_value(int e);
// The number element e stands for (an integer, or a real kept as bare text), through a
// reference, clamped to the range of PDF integers; false when it is none.
bool number_value(int e, double* out);
// The numbers of the array element e stands for (through a reference); none for any other
// value.
std::vector<double> array_numbers(int e);

// A dictionary in the store: the top level of object obj (start 0), or the sub-dictionary
// that element start of object obj opens. obj -1: none; every lookup on it finds nothing.
struct Dict {
    int obj = -1;
    int start = 0;

    bool valid() const { return obj >= 0; }
    // The direct entry `label`, or -1 (the rules of dict_entry).
    int find(const char* label) const;
    // The direct entries, in order.
    ChainRange entries() const;
    // The dictionary that entry `label` holds: a sub-dictionary, or the object it refers to.
    Dict sub(const char* label) const;
    // Adds an element: right after the opening element, or at the end of the object when the
    // dictionary is an object of its own. Returns its index.
    int add() const;
    // Adds an empty sub-dictionary `label` and returns it.
    Dict add_subdict(const char* label) const;

    // The dictionary that element e of object obj holds: its sub-dictionary, or the
    // (non-empty) object it refers to; none otherwise.
    static Dict of(int obj, int e);
};
