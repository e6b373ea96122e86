// Field facts beyond the fixed 348-byte field record: the fully qualified name (whole, UTF-8,
// any length), the field type, field and widget flags and /MaxLen. One extra per field record,
// at the same index; a template made before these were recorded has none, and every query
// then answers as such a template always behaved (text field, name in the fixed record).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Field type, from /FT and /Ff of the field (inherited from parents).
enum : char {
    FIELD_TYPE_UNKNOWN = 0,  // template made before field types were recorded: treat as text
    FIELD_TYPE_TEXT = 'T',
    FIELD_TYPE_CHECKBOX = 'C',
    FIELD_TYPE_RADIO = 'R',
    FIELD_TYPE_PUSHBUTTON = 'P',
    FIELD_TYPE_COMBO = 'O',
    FIELD_TYPE_LIST = 'L',
    FIELD_TYPE_SIGNATURE = 'S',
};

// Field flag bits (/Ff) used by both programs.
constexpr uint32_t FF_READONLY = 1u << 0;
constexpr uint32_t FF_MULTILINE = 1u << 12;
constexpr uint32_t FF_PASSWORD = 1u << 13;
constexpr uint32_t FF_NOTOGGLETOOFF = 1u << 14;
constexpr uint32_t FF_RADIO = 1u << 15;
constexpr uint32_t FF_PUSHBUTTON = 1u << 16;
constexpr uint32_t FF_COMBO = 1u << 17;
constexpr uint32_t FF_DONOTSCROLL = 1u << 23;
constexpr uint32_t FF_COMB = 1u << 24;
// Widget annotation flag bits (/F).
constexpr uint32_t AF_INVISIBLE = 1u << 0;
constexpr uint32_t AF_HIDDEN = 1u << 1;
constexpr uint32_t AF_PRINT = 1u << 2;
constexpr uint32_t AF_NOVIEW = 1u << 5;

// One per field record, same index as p_field_strage. Fixed layout, 32 bytes.
struct st_field_extra {
    int32_t name_pos;  // fully qualified name, UTF-8, in the extras text; -1 when none
    int32_t name_len;
    char type;  // FIELD_TYPE_*
    char reserved[3];
    uint32_t field_flags;  // /Ff (inherited)
    uint32_t annot_flags;  // the widget's /F
    int32_t max_len;       // /MaxLen (inherited), 0 when none
    int32_t reserved2[2];
};

static_assert(sizeof(st_field_extra) == 32);
static_assert(offsetof(st_field_extra, name_pos) == 0);
static_assert(offsetof(st_field_extra, name_len) == 4);
static_assert(offsetof(st_field_extra, type) == 8);
static_assert(offsetof(st_field_extra, reserved) == 9);
static_assert(offsetof(st_field_extra, field_flags) == 12);
static_assert(offsetof(st_field_extra, annot_flags) == 16);
static_assert(offsetof(st_field_extra, max_len) == 20);
static_assert(offsetof(st_field_extra, reserved2) == 24);

// Template file section holding the extras, after the character data.
inline constexpr char FIELD_EXTRA_TAG[4] = {'F', 'E', 'X', 'T'};
constexpr uint32_t FIELD_EXTRA_VERSION = 1;

// nullptr for a template without the section (or an index outside the records).
const st_field_extra* field_extra(int field_index);
// FIELD_TYPE_TEXT when unknown.
char field_type(int field_index);
bool field_is_text(int field_index);
// The fully qualified name of record I (UTF-8, not terminated) and its length; nullptr when
// the record has none recorded.
const char* field_full_name(int field_index, int* len);
// True when NAME addresses field record I: its fully qualified name (whole, any length, UTF-8)
// or, as before, the name held in the fixed record, unless NAME is some field's fully
// qualified name (then only the fields of that name are addressed).
bool field_name_matches(int field_index, const char* name);
// First field record that NAME addresses, or -1.
int find_field(const char* name);
// Every field record that NAME addresses, in record order (valid until the next call).
const std::vector<int>& fields_named(const char* name);
// Says that a record's name changed in place (the name lookups index the records).
void field_names_changed();

// Writers (the compiler, and the generator when it copies or renames records).
// Makes the extras cover every field record (new ones zeroed, no name), so that a record
// added after a load keeps the extras' count equal to the records'. Does nothing when the
// loaded template has no extras and `create` is false.
void field_extras_sync(bool create);
// Sets the fully qualified name of record I (copied into the extras text).
void field_extra_set_name(int field_index, const char* name, int len);
// Mutable extra of record I, creating the extras for all records first; never nullptr for a
// valid index.
st_field_extra* field_extra_mut(int field_index);
// Drops every extra and the extras text (a new template load starts from none); the
// allocations stay for the next page.
void field_extras_clear();
// Frees the extras' allocations.
void field_extras_release();
// Clears the extras and makes room for `records` extras and `text` bytes of names (the
// template load reads them in place).
bool field_extras_reserve(int records, int text);
