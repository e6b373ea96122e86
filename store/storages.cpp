#include "store/storages.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "store/failure.h"
#include "store/field_extras.h"

Storages g_st;

namespace {

// Grows an array of records to `count` entries, zeroing the new ones.
template <typename T>
void grow_zeroed(T*& p, int& alloc, long count) {
    if (count <= alloc) return;
    if (count > 0x7fffff00L / static_cast<long>(sizeof(T))) fail("Storage capacity exceeded.");
    // A first allocation comes zeroed from calloc, which leaves a large block's pages
    // untouched until they are used, so a big reserve costs nothing up front.
    void* q = p ? std::realloc(p, static_cast<size_t>(count) * sizeof(T))
                : std::calloc(static_cast<size_t>(count), sizeof(T));
    if (!q) throw std::bad_alloc();
    if (p)
        std::memset(static_cast<T*>(q) + alloc, 0, static_cast<size_t>(count - alloc) * sizeof(T));
    p = static_cast<T*>(q);
    alloc = static_cast<int>(count);
}

// Makes the next record of a storage current, growing it by `step` records when it is full.
template <typename T>
void append_record(T*& p, int& cur, int& num, int& alloc, long step) {
    if (num >= alloc) grow_zeroed(p, alloc, static_cast<long>(alloc) + step);
    cur = num++;
}

template <typename T>
void release(T*& p, int& cur, int& num, int& alloc) {
    std::free(p);
    p = nullptr;
    cur = num = alloc = 0;
}

bool compiler() {
    return g_st.variant == StoreVariant::compiler;
}

}  // namespace

void storages_release() {
    release(g_st.p_trailer_strage, g_st.cur_trailer_strage, g_st.num_trailer_strage,
            g_st.alloc_trailer_strage);
    release(g_st.p_xref_strage, g_st.cur_xref_strage, g_st.num_xref_strage, g_st.alloc_xref_strage);
    release(g_st.p_elem_strage, g_st.cur_elem_strage, g_st.num_elem_strage, g_st.alloc_elem_strage);
    release(g_st.p_font_strage, g_st.cur_font_strage, g_st.num_font_strage, g_st.alloc_font_strage);
    release(g_st.p_field_strage, g_st.cur_field_strage, g_st.num_field_strage,
            g_st.alloc_field_strage);
    release(g_st.p_char_strage, g_st.cur_char_strage, g_st.num_char_strage, g_st.alloc_char_strage);
    release(g_st.p_pages_strage, g_st.cur_pages_strage, g_st.num_pages_strage,
            g_st.alloc_pages_strage);
    release(g_st.p_pxref_strage, g_st.cur_pxref_strage, g_st.num_pxref_strage,
            g_st.alloc_pxref_strage);
    field_extras_release();
}

void storages_reset(StoreVariant variant) {
    storages_release();
    g_st.variant = variant;
}

namespace {

// Reuses a storage for `count` fresh entries with room for `capacity`. The load overwrites
// the first `count` entries whole; every other write into a storage lies below its num_
// counter, so zeroing from `count` up to the old num_ clears what the previous page left,
// and the rest of the allocation is still zero from its own allocation.
template <typename T>
void reload(T*& p, int& cur, int& num, int& alloc, int count, long capacity) {
    int used = num < alloc ? num : alloc;
    if (p && used > count) std::memset(p + count, 0, static_cast<size_t>(used - count) * sizeof(T));
    grow_zeroed(p, alloc, capacity);
    cur = 0;
    num = count;
}

}  // namespace

void storages_prepare_load(int trailers, int xrefs, int elems, int fonts, int fields, int chars) {
    field_extras_clear();
    reload(g_st.p_trailer_strage, g_st.cur_trailer_strage, g_st.num_trailer_strage,
           g_st.alloc_trailer_strage, trailers,
           trailers + 0L > TRAILER_CAPACITY ? trailers + 0L : TRAILER_CAPACITY);
    reload(g_st.p_xref_strage, g_st.cur_xref_strage, g_st.num_xref_strage, g_st.alloc_xref_strage,
           xrefs, xrefs + 0L > XREF_CAPACITY ? xrefs + 4096L : XREF_CAPACITY);
    reload(g_st.p_elem_strage, g_st.cur_elem_strage, g_st.num_elem_strage, g_st.alloc_elem_strage,
           elems, elems + 0L + ELEM_RESERVE);
    reload(g_st.p_font_strage, g_st.cur_font_strage, g_st.num_font_strage, g_st.alloc_font_strage,
           fonts, fonts + 0L + FONT_RESERVE);
    reload(g_st.p_field_strage, g_st.cur_field_strage, g_st.num_field_strage,
           g_st.alloc_field_strage, fields, fields + 0L + FIELD_RESERVE);
    reload(g_st.p_char_strage, g_st.cur_char_strage, g_st.num_char_strage, g_st.alloc_char_strage,
           chars, chars + 0L + CHAR_RESERVE);
}

void storages_allocate(int trailers, int xrefs, int elems, int fonts, int fields, int chars) {
    storages_reset(g_st.variant);
    grow_zeroed(g_st.p_trailer_strage, g_st.alloc_trailer_strage, trailers);
    grow_zeroed(g_st.p_xref_strage, g_st.alloc_xref_strage, xrefs);
    grow_zeroed(g_st.p_elem_strage, g_st.alloc_elem_strage, elems);
    grow_zeroed(g_st.p_font_strage, g_st.alloc_font_strage, fonts);
    grow_zeroed(g_st.p_field_strage, g_st.alloc_field_strage, fields);
    grow_zeroed(g_st.p_char_strage, g_st.alloc_char_strage, chars);
}

void reserve_xref_strage(int count) {
    if (count > g_st.alloc_xref_strage) {
        long grown = static_cast<long>(g_st.alloc_xref_strage) * 2;
        grow_zeroed(g_st.p_xref_strage, g_st.alloc_xref_strage, count > grown ? count : grown);
    }
    if (g_st.num_xref_strage < count) g_st.num_xref_strage = count;
}

void new_elem_strage() {
    // The compiler grows by at least 128 records and by half of what it holds, so that a
    // large PDF's elements are not copied over and over as the storage fills.
    long alloc = g_st.alloc_elem_strage;
    long step = compiler() ? (alloc / 2 > 128 ? alloc / 2 : 128) : 4096;
    append_record(g_st.p_elem_strage, g_st.cur_elem_strage, g_st.num_elem_strage,
                  g_st.alloc_elem_strage, step);
}

void new_font_strage() {
    append_record(g_st.p_font_strage, g_st.cur_font_strage, g_st.num_font_strage,
                  g_st.alloc_font_strage, 1);
}

void new_field_strage() {
    append_record(g_st.p_field_strage, g_st.cur_field_strage, g_st.num_field_strage,
                  g_st.alloc_field_strage, 64);
    // Extras that covered every record keep doing so.
    if (g_st.num_field_extra_strage == g_st.cur_field_strage) field_extras_sync(true);
}

void new_pxref_strage() {
    append_record(g_st.p_pxref_strage, g_st.cur_pxref_strage, g_st.num_pxref_strage,
                  g_st.alloc_pxref_strage, 1000);
}

void reserve_pxref_strage(long count) {
    if (count <= g_st.alloc_pxref_strage) return;
    long steps = (count - g_st.alloc_pxref_strage + 999) / 1000;
    grow_zeroed(g_st.p_pxref_strage, g_st.alloc_pxref_strage,
                static_cast<long>(g_st.alloc_pxref_strage) + steps * 1000);
}

// The cross-reference storage holds 65536 entries on load; page operations that add
// objects beyond that grow it rather than write past its end.
void new_xref_strage() {
    append_record(g_st.p_xref_strage, g_st.cur_xref_strage, g_st.num_xref_strage,
                  g_st.alloc_xref_strage, 4096);
}

// The page list is bounded by its callers ("Page Resource Full."); growing here only keeps
// an unbounded caller from writing past the allocation.
void new_pages_strage() {
    append_record(g_st.p_pages_strage, g_st.cur_pages_strage, g_st.num_pages_strage,
                  g_st.alloc_pages_strage, 1024);
}

void new_trailer_strage() {
    append_record(g_st.p_trailer_strage, g_st.cur_trailer_strage, g_st.num_trailer_strage,
                  g_st.alloc_trailer_strage, TRAILER_CAPACITY);
}

void new_char_strage(int len) {
    if (len < 0 || len > 0x3fffffff) fail("String too long.");
    long used = g_st.num_char_strage;
    if (compiler()) {
        // The compiler reserves len + 4 bytes and keeps at least 1024 bytes free beyond them.
        long need = used + len + 4 + 1024;
        if (need > g_st.alloc_char_strage) {
            long grown = static_cast<long>(g_st.alloc_char_strage) * 3 / 2;
            grow_zeroed(g_st.p_char_strage, g_st.alloc_char_strage, need > grown ? need : grown);
        }
        g_st.cur_char_strage = g_st.num_char_strage;
        g_st.num_char_strage += len + 4;
        return;
    }
    long r = len & ~3L;
    if (g_st.alloc_char_strage < used + r + 2097152)
        grow_zeroed(g_st.p_char_strage, g_st.alloc_char_strage,
                    static_cast<long>(g_st.alloc_char_strage) + r + 2097152);
    g_st.cur_char_strage = g_st.num_char_strage;
    g_st.num_char_strage += static_cast<int>(r + 4);
}

st_elem& elem_at(int i) {
    if (i < 0 || i >= g_st.num_elem_strage) fail("Element index out of range(%d)", i);
    return g_st.p_elem_strage[i];
}

st_xref& xref_at(int i) {
    if (i < 0 || i >= g_st.num_xref_strage) fail("Object number out of range(%d)", i);
    return g_st.p_xref_strage[i];
}

st_elem& trailer_at(int i) {
    if (i < 0 || i >= g_st.num_trailer_strage) fail("Trailer index out of range(%d)", i);
    return g_st.p_trailer_strage[i];
}

char* elem_bytes(const st_elem& e) {
    return g_st.p_char_strage + e.data.str.start_pos;
}
