#include "store/field_extras.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "store/failure.h"
#include "store/storages.h"
#include "store/template_file.h"

namespace {

void grow_bytes(void*& p, int& alloc, long need, size_t size) {
    if (need <= alloc) return;
    long cap = alloc * 2L > need ? alloc * 2L : need;
    if (cap < 64) cap = 64;
    if (cap > 0x7fffff00L / static_cast<long>(size)) fail("Storage capacity exceeded.");
    void* q = std::realloc(p, static_cast<size_t>(cap) * size);
    if (!q) throw std::bad_alloc();
    std::memset(static_cast<char*>(q) + alloc * size, 0, static_cast<size_t>(cap - alloc) * size);
    p = q;
    alloc = static_cast<int>(cap);
}

bool covered(int i) {
    return i >= 0 && i < g_st.num_field_strage && i < g_st.num_field_extra_strage;
}

}  // namespace

const st_field_extra* field_extra(int field_index) {
    return covered(field_index) ? &g_st.p_field_extra_strage[field_index] : nullptr;
}

char field_type(int field_index) {
    const st_field_extra* x = field_extra(field_index);
    return x && x->type != FIELD_TYPE_UNKNOWN ? x->type : static_cast<char>(FIELD_TYPE_TEXT);
}

bool field_is_text(int field_index) {
    return field_type(field_index) == FIELD_TYPE_TEXT;
}

const char* field_full_name(int field_index, int* len) {
    const st_field_extra* x = field_extra(field_index);
    if (!x || x->name_pos < 0 || x->name_len <= 0) return nullptr;
    *len = x->name_len;
    return g_st.p_field_extra_text + x->name_pos;
}

namespace {

bool full_name_is(int field_index, const char* name) {
    int len = 0;
    const char* full = field_full_name(field_index, &len);
    return full && std::strlen(name) == static_cast<size_t>(len) &&
           std::memcmp(full, name, static_cast<size_t>(len)) == 0;
}

bool record_name_is(int field_index, const char* name) {
    return label_is(g_st.p_field_strage[field_index].name, name) && std::strlen(name) < LABEL_SIZE;
}

}  // namespace

bool field_name_matches(int field_index, const char* name) {
    if (field_index < 0 || field_index >= g_st.num_field_strage || !name) return false;
    const std::vector<int>& m = fields_named(name);  // in record order
    return std::binary_search(m.begin(), m.end(), field_index);
}

namespace {

// The generator's index of the records by the names that address them (full and fixed-record
// names), sorted by name and record. It is made again when the template content, the
// records' or extras' counts or places, or a record's name changed. An index made before any
// name changed since its content was loaded holds again for the same content loaded anew
// (the next page of a template run), until a name changes.
struct NameEntry {
    const char* name;
    size_t len;
    int record;
};
struct NameIndex {
    long image = -1;
    long generation = -1;
    bool as_loaded = false;  // made while the names were the loaded content's
    int records = -1, extras = -1;
    const void* record_base = nullptr;
    const void* text_base = nullptr;
    std::vector<NameEntry> entries;
    std::vector<int> matches;  // the last lookup's records
    std::string last;          // the last lookup's name (a fill looks a name up three times)
    bool last_valid = false;
};
NameIndex g_names;
long g_name_generation = 0;
long g_loaded_generation = -1;  // g_name_generation when the storages were last loaded

int compare(const char* a, size_t alen, const char* b, size_t blen) {
    int c = std::memcmp(a, b, alen < blen ? alen : blen);
    if (c != 0) return c;
    return alen < blen ? -1 : alen > blen ? 1 : 0;
}

const NameIndex& name_index() {
    NameIndex& x = g_names;
    const Storages& s = g_st;
    const bool names_hold = x.generation == g_name_generation ||
                            (x.as_loaded && g_name_generation == g_loaded_generation);
    if (x.image == loaded_image_id() && names_hold && x.records == s.num_field_strage &&
        x.extras == s.num_field_extra_strage && x.record_base == s.p_field_strage &&
        x.text_base == s.p_field_extra_text)
        return x;
    x.entries.clear();
    x.last_valid = false;
    for (int i = 0; i < s.num_field_strage; ++i) {
        int len = 0;
        if (const char* full = field_full_name(i, &len))
            x.entries.push_back({full, static_cast<size_t>(len), i});
        const char* n = s.p_field_strage[i].name;
        x.entries.push_back({n, strnlen(n, LABEL_SIZE), i});
    }
    std::sort(x.entries.begin(), x.entries.end(), [](const NameEntry& a, const NameEntry& b) {
        int c = compare(a.name, a.len, b.name, b.len);
        return c != 0 ? c < 0 : a.record < b.record;
    });
    x.image = loaded_image_id();
    x.generation = g_name_generation;
    x.as_loaded = g_name_generation == g_loaded_generation;
    x.records = s.num_field_strage;
    x.extras = s.num_field_extra_strage;
    x.record_base = s.p_field_strage;
    x.text_base = s.p_field_extra_text;
    return x;
}

bool indexed() {
    return g_st.variant == StoreVariant::generator;
}

}  // namespace

const std::vector<int>& fields_named(const char* name) {
    NameIndex& x = g_names;
    if (!name || !indexed()) {
        x.matches.clear();
        x.last_valid = false;
    }
    if (!name) return x.matches;
    if (!indexed()) {
        for (int i = 0; i < g_st.num_field_strage; ++i)
            if (full_name_is(i, name)) x.matches.push_back(i);
        if (x.matches.empty())
            for (int i = 0; i < g_st.num_field_strage; ++i)
                if (record_name_is(i, name)) x.matches.push_back(i);
        return x.matches;
    }
    const NameIndex& ix = name_index();
    const size_t len = std::strlen(name);
    if (x.last_valid && x.last.size() == len && std::memcmp(x.last.data(), name, len) == 0)
        return x.matches;
    x.matches.clear();
    auto first = std::lower_bound(
        ix.entries.begin(), ix.entries.end(), name,
        [len](const NameEntry& e, const char* n) { return compare(e.name, e.len, n, len) < 0; });
    // A field's full name wins over other fields' partial names: "name" is the top-level
    // field of that name, not also the "name" inside "person". A partial name addresses its
    // fields only where no field has it as its full name.
    bool full_match = false;
    for (auto it = first; it != ix.entries.end() && compare(it->name, it->len, name, len) == 0;
         ++it)
        full_match = full_match || it->name != g_st.p_field_strage[it->record].name;
    for (auto it = first; it != ix.entries.end() && compare(it->name, it->len, name, len) == 0;
         ++it) {
        const bool partial = it->name == g_st.p_field_strage[it->record].name;
        // A fixed-record name matches only a name that fits the record.
        if (partial && (len >= LABEL_SIZE || full_match)) continue;
        x.matches.push_back(it->record);
    }
    // A record that both of its names address is listed once, in record order.
    std::sort(x.matches.begin(), x.matches.end());
    x.matches.erase(std::unique(x.matches.begin(), x.matches.end()), x.matches.end());
    x.last.assign(name, len);
    x.last_valid = true;
    return x.matches;
}

int find_field(const char* name) {
    const std::vector<int>& m = fields_named(name);
    return m.empty() ? -1 : m.front();
}

void field_names_changed() {
    ++g_name_generation;
}

void field_extras_sync(bool create) {
    Storages& s = g_st;
    if (!create && s.num_field_extra_strage == 0) return;
    if (s.num_field_extra_strage >= s.num_field_strage) {
        s.num_field_extra_strage = s.num_field_strage;
        return;
    }
    void* p = s.p_field_extra_strage;
    grow_bytes(p, s.alloc_field_extra_strage, s.num_field_strage, sizeof(st_field_extra));
    s.p_field_extra_strage = static_cast<st_field_extra*>(p);
    for (int i = s.num_field_extra_strage; i < s.num_field_strage; ++i) {
        s.p_field_extra_strage[i] = st_field_extra{};
        s.p_field_extra_strage[i].name_pos = -1;
    }
    s.num_field_extra_strage = s.num_field_strage;
}

st_field_extra* field_extra_mut(int field_index) {
    if (field_index < 0 || field_index >= g_st.num_field_strage)
        fail("Field index out of range(%d)", field_index);
    field_extras_sync(true);
    return &g_st.p_field_extra_strage[field_index];
}

void field_extra_set_name(int field_index, const char* name, int len) {
    field_names_changed();
    st_field_extra* x = field_extra_mut(field_index);
    if (len <= 0) {
        x->name_pos = -1;
        x->name_len = 0;
        return;
    }
    Storages& s = g_st;
    void* p = s.p_field_extra_text;
    grow_bytes(p, s.alloc_field_extra_text, s.num_field_extra_text + len + 1L, 1);
    s.p_field_extra_text = static_cast<char*>(p);
    std::memcpy(s.p_field_extra_text + s.num_field_extra_text, name, len);
    s.p_field_extra_text[s.num_field_extra_text + len] = 0;
    x->name_pos = s.num_field_extra_text;
    x->name_len = len;
    s.num_field_extra_text += len + 1;
}

void field_extras_clear() {
    g_st.num_field_extra_strage = 0;
    g_st.num_field_extra_text = 0;
    // A load: the names are the new content's.
    g_loaded_generation = ++g_name_generation;
}

void field_extras_release() {
    Storages& s = g_st;
    std::free(s.p_field_extra_strage);
    std::free(s.p_field_extra_text);
    s.p_field_extra_strage = nullptr;
    s.p_field_extra_text = nullptr;
    s.num_field_extra_strage = s.alloc_field_extra_strage = 0;
    s.num_field_extra_text = s.alloc_field_extra_text = 0;
}

bool field_extras_reserve(int records, int text) {
    Storages& s = g_st;
    field_extras_clear();
    void* p = s.p_field_extra_strage;
    grow_bytes(p, s.alloc_field_extra_strage, records, sizeof(st_field_extra));
    s.p_field_extra_strage = static_cast<st_field_extra*>(p);
    p = s.p_field_extra_text;
    grow_bytes(p, s.alloc_field_extra_text, text + 1L, 1);
    s.p_field_extra_text = static_cast<char*>(p);
    return true;
}
