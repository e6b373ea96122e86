// The storages: growable arrays of records addressed by index, each with cur_ (entry most
// recently created), num_ (entries in use) and alloc_ (capacity) counters.
//
// Both programs use the same storages; the compiler's few differences (growth sizes, label
// matching by "*" prefix, decoded names) are selected by the variant.
#pragma once

#include "store/records.h"

struct st_field_extra;

enum class StoreVariant { generator, compiler };

// Growth sizes and reserves of the generator's template load.
constexpr int ELEM_RESERVE = 1024;
constexpr int FONT_RESERVE = 128;
constexpr int FIELD_RESERVE = 128;
constexpr int CHAR_RESERVE = 4194304;
constexpr int XREF_CAPACITY = 65536;
constexpr int TRAILER_CAPACITY = 64;
constexpr int PAGES_CAPACITY = 100010;
constexpr int PXREF_CAPACITY = 1000000;

struct Storages {
    StoreVariant variant = StoreVariant::generator;

    st_elem* p_trailer_strage = nullptr;
    int cur_trailer_strage = 0, num_trailer_strage = 0, alloc_trailer_strage = 0;

    st_xref* p_xref_strage = nullptr;
    int cur_xref_strage = 0, num_xref_strage = 0, alloc_xref_strage = 0;

    st_elem* p_elem_strage = nullptr;
    int cur_elem_strage = 0, num_elem_strage = 0, alloc_elem_strage = 0;

    st_font* p_font_strage = nullptr;
    int cur_font_strage = 0, num_font_strage = 0, alloc_font_strage = 0;

    st_field* p_field_strage = nullptr;
    int cur_field_strage = 0, num_field_strage = 0, alloc_field_strage = 0;

    char* p_char_strage = nullptr;
    int cur_char_strage = 0, num_char_strage = 0, alloc_char_strage = 0;

    int* p_pages_strage = nullptr;
    int cur_pages_strage = 0, num_pages_strage = 0, alloc_pages_strage = 0;

    int64_t* p_pxref_strage = nullptr;  // 64-bit: outputs may exceed 2 GB
    int cur_pxref_strage = 0, num_pxref_strage = 0, alloc_pxref_strage = 0;

    // Field extras (store/field_extras.h): num_ is the field records' count when the template
    // has them, 0 when it has none. Their text holds the fully qualified names.
    st_field_extra* p_field_extra_strage = nullptr;
    int num_field_extra_strage = 0, alloc_field_extra_strage = 0;
    char* p_field_extra_text = nullptr;
    int num_field_extra_text = 0, alloc_field_extra_text = 0;
};

// The process-wide storages. Tests start from a fresh set with storages_reset().
extern Storages g_st;

// Frees every storage and starts again with empty ones of the given variant.
void storages_reset(StoreVariant variant = StoreVariant::generator);
// Frees every storage (the counters become 0).
void storages_release();

// Prepares the page storages for a template load of the given counts: each storage gets
// at least the counts plus its reserve, the allocations of the previous page are reused,
// and everything beyond what the load will read is zero, so nothing of the previous page
// remains. The num_ counters are set to the counts.
void storages_prepare_load(int trailers, int xrefs, int elems, int fonts, int fields, int chars);

// Allocates empty, zeroed storages with the given capacities (entries; bytes for the
// character storage), as a compile starts. Every counter becomes 0.
void storages_allocate(int trailers, int xrefs, int elems, int fonts, int fields, int chars);
// Makes the cross-reference storage hold at least `count` entries (new ones zeroed) and
// raises num_xref_strage to `count` when it is lower.
void reserve_xref_strage(int count);

// Creating entries: each leaves the new entry's index in cur_ and counts it in num_.
void new_elem_strage();
void new_font_strage();
void new_field_strage();
void new_pxref_strage();
// Makes room for `count` offsets in all, growing by the offset table's 1000-entry steps.
void reserve_pxref_strage(long count);
void new_xref_strage();
void new_pages_strage();
void new_trailer_strage();
// Reserves room for a string of len bytes and its terminator at cur_char_strage.
void new_char_strage(int len);

// Direct access by index, with the index checked against the storage's extent.
st_elem& elem_at(int i);
st_xref& xref_at(int i);
st_elem& trailer_at(int i);
inline bool valid_elem(int i) {
    return i > 0 && i < g_st.num_elem_strage;
}
inline bool valid_xref(int i) {
    return i >= 0 && i < g_st.num_xref_strage;
}

// The bytes of a string element (followed by a NUL in the character storage).
char* elem_bytes(const st_elem& e);
