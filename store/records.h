// Fixed-layout records of the object store. They are written to and read from
// template files exactly as they lie in memory, so every size and offset is pinned.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "template files are little-endian and records are copied as they lie in memory");

enum : int32_t {
    ELEM_TYPE_SUBDIC_START = 1,
    ELEM_TYPE_SUBDIC_END = 2,
    ELEM_TYPE_ARRAY_START = 3,
    ELEM_TYPE_ARRAY_END = 4,
    ELEM_TYPE_NAME = 5,
    ELEM_TYPE_INTEGER = 6,
    ELEM_TYPE_OBJREF = 7,
    ELEM_TYPE_STRING = 8,
};

// String kinds held in st_elem::data.str.type.
constexpr char STR_LITERAL = '(';
constexpr char STR_HEX = '<';
constexpr char STR_ARRAY = '[';
constexpr char STR_STREAM = 'S';
constexpr char STR_BARE = 0;

// Special labels.
inline constexpr char LABEL_IMMEDIATE[] = "_i_m_m_e_d_i_a_t_e_";
inline constexpr char LABEL_ARRAY_DICTITEM[] = "array-dictitem";
inline constexpr char LABEL_STREAM[] = "stream";
inline constexpr char LABEL_ENTRYHEADER[] = "entryheader";

// The byte that stands before the object number of every reference inside array text.
constexpr char REF_MARKER = 0x01;

constexpr int LABEL_SIZE = 32;  // 31 bytes and the terminator

// True when the label or name `have` (LABEL_SIZE bytes at most) equals `want`. The first
// bytes are compared inline: most labels of a chain differ there, and lookups walk chains.
inline bool label_is(const char* have, const char* want) {
    return have[0] == want[0] && __builtin_strncmp(have, want, LABEL_SIZE) == 0;
}

struct st_elem_str {
    char type;
    char f_renum;
    char dummy[2];
    int32_t len;
    int32_t start_pos;
};

struct st_elem {
    char label[LABEL_SIZE];
    int32_t next_elem;
    int32_t f_type;
    union {
        char name[LABEL_SIZE];
        int32_t int_data;
        int32_t obj_no;
        st_elem_str str;
    } data;
};

static_assert(sizeof(st_elem_str) == 12);
static_assert(sizeof(st_elem) == 72);
static_assert(offsetof(st_elem, label) == 0);
static_assert(offsetof(st_elem, next_elem) == 32);
static_assert(offsetof(st_elem, f_type) == 36);
static_assert(offsetof(st_elem, data) == 40);
static_assert(offsetof(st_elem, data.name) == 40);
static_assert(offsetof(st_elem, data.int_data) == 40);
static_assert(offsetof(st_elem, data.obj_no) == 40);
static_assert(offsetof(st_elem, data.str.type) == 40);
static_assert(offsetof(st_elem, data.str.f_renum) == 41);
static_assert(offsetof(st_elem, data.str.dummy) == 42);
static_assert(offsetof(st_elem, data.str.len) == 44);
static_assert(offsetof(st_elem, data.str.start_pos) == 48);

struct st_xref {
    char f_common;
    char f_page;
    char reserved[2];
    int32_t first_elem;
    int32_t pos;
};

static_assert(sizeof(st_xref) == 12);
static_assert(offsetof(st_xref, f_common) == 0);
static_assert(offsetof(st_xref, f_page) == 1);
static_assert(offsetof(st_xref, reserved) == 2);
static_assert(offsetof(st_xref, first_elem) == 4);
static_assert(offsetof(st_xref, pos) == 8);

constexpr int FONT_WIDTHS = 4096;

// Widths are thousandths of the font size, times width_scale when that is non-zero (fonts with
// fractional widths); templates made before it was recorded hold 0 there.
struct st_font {
    char name[32];
    char encoding;
    char width_scale;
    char reserved[2];
    int16_t height;
    int16_t default_width;
    int16_t width[FONT_WIDTHS];
};

static_assert(sizeof(st_font) == 8232);
static_assert(offsetof(st_font, name) == 0);
static_assert(offsetof(st_font, encoding) == 32);
static_assert(offsetof(st_font, width_scale) == 33);
static_assert(offsetof(st_font, reserved) == 34);
static_assert(offsetof(st_font, height) == 36);
static_assert(offsetof(st_font, default_width) == 38);
static_assert(offsetof(st_font, width) == 40);

constexpr int FIELD_START_STR = 256;

struct st_field {
    char name[32];
    uint16_t obj_no;  // read unsigned: widgets up to object 65535
    int16_t font_no;
    char short_name[32];
    int16_t font_size;
    int16_t font_size10;
    char align;
    char f_q_op;
    char f_ap;
    char reserved;
    char start_str[FIELD_START_STR];
    float space_w;
    float width;
    float line_start;
    float line_feed;
};

static_assert(sizeof(float) == 4);
static_assert(sizeof(st_field) == 348);
static_assert(offsetof(st_field, name) == 0);
static_assert(offsetof(st_field, obj_no) == 32);
static_assert(offsetof(st_field, font_no) == 34);
static_assert(offsetof(st_field, short_name) == 36);
static_assert(offsetof(st_field, font_size) == 68);
static_assert(offsetof(st_field, font_size10) == 70);
static_assert(offsetof(st_field, align) == 72);
static_assert(offsetof(st_field, f_q_op) == 73);
static_assert(offsetof(st_field, f_ap) == 74);
static_assert(offsetof(st_field, reserved) == 75);
static_assert(offsetof(st_field, start_str) == 76);
static_assert(offsetof(st_field, space_w) == 332);
static_assert(offsetof(st_field, width) == 336);
static_assert(offsetof(st_field, line_start) == 340);
static_assert(offsetof(st_field, line_feed) == 344);
