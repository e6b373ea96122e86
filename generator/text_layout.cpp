#include "generator/text_layout.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "generator/doc_state.h"
#include "generator/glyph_map.h"
#include "generator/helvetica_extended.h"
#include "generator/simple_encoding.h"
#include "generator/utf16.h"
#include "multibyte/char_width.h"
#include "multibyte/jis_tables.h"
#include "multibyte/sjis_encode.h"
#include "store/storages.h"
#include "store/widget_drawing.h"

LayoutState g_layout;

namespace {

// "\ooo" for every byte value, so writing a character is one copy.
struct OctalTable {
    char esc[256][4];
    OctalTable() {
        for (int i = 0; i < 256; ++i) {
            esc[i][0] = '\\';
            esc[i][1] = static_cast<char>('0' + ((i >> 6) & 7));
            esc[i][2] = static_cast<char>('0' + ((i >> 3) & 7));
            esc[i][3] = static_cast<char>('0' + (i & 7));
        }
    }
};
const OctalTable k_octal;

// Appends "\%3.3o" of v: a backslash and at least three octal digits.
[[gnu::always_inline]] inline void append_octal(std::string& out, uint32_t v) {
    if (v < 256) {
        out.append(k_octal.esc[v], 4);
        return;
    }
    char digits[16];
    int n = 0;
    while (v != 0) {
        digits[n++] = static_cast<char>('0' + (v & 7));
        v >>= 3;
    }
    out.push_back('\\');
    while (n > 0) out.push_back(digits[--n]);
}

// A code point as a big-endian two-byte code of a Unicode CMap; characters beyond the Basic
// Multilingual Plane as their UTF-16 surrogate pair.
inline void append_ucs2(std::string& out, int32_t cp) {
    utf16_units(cp, [&](uint32_t u) {
        append_octal(out, u >> 8);
        append_octal(out, u & 0xFF);
    });
}

void append_rgb(std::string& out, float r, float g, float b, const char* op) {
    append_real(out, r);
    out.push_back(' ');
    append_real(out, g);
    out.push_back(' ');
    append_real(out, b);
    out.push_back(' ');
    out.append(op);
}

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// Start of the n-th whitespace-separated word before `p` (never before `text`).
const char* words_back(const char* text, const char* p, int n) {
    while (n-- > 0) {
        while (p > text && is_blank(p[-1])) --p;
        while (p > text && !is_blank(p[-1])) --p;
    }
    return p;
}

// Appends the operators of [p, end) that set text state or colour, with their operands;
// font, positioning and text-showing operators are left out.
void append_state_ops(std::string& out, const char* p, const char* end);

// The part of the template text after its font operator, kept while the text is cut.
std::string g_template_rest;

// Finds the colour the template sets (used to stroke outlined text) and drops the template's
// own font operator from `text`, keeping a fill colour that directly follows it and the
// state operators after that.
void template_colour(std::string& text, std::string& stroke) {
    stroke = "0 G ";
    const char* t = text.c_str();
    float r = 0, g = 0, b = 0, grey = 0;
    if (const char* p = std::strstr(t, " rg")) {
        const char* q = words_back(t, p, 3);
        if (std::sscanf(q, "%f %f %f rg", &r, &g, &b) == 3) {
            stroke.clear();
            append_rgb(stroke, r, g, b, "RG ");
        }
    } else if (const char* p2 = std::strstr(t, " g")) {
        const char* q = words_back(t, p2, 1);
        if (std::sscanf(q, "%f g", &grey) == 1) {
            stroke.clear();
            append_rgb(stroke, grey, grey, grey, "RG ");
        }
    }

    const char* tf = std::strstr(t, "Tf");
    if (!tf) return;
    const char* after = tf + 2;
    size_t cut = std::string::npos, rest = 0;
    int used = -1;
    if (std::sscanf(after, "%f %f %f rg%n", &r, &g, &b, &used) == 3 && used > 0) {
        stroke.clear();
        append_rgb(stroke, r, g, b, "RG ");
        cut = rest = static_cast<size_t>(after + used - t);
    } else {
        used = -1;
        // The grey value counts only when its "g" operator follows; otherwise the text is
        // not cut there.
        if (std::sscanf(after, "%f g%n", &grey, &used) == 1 && used > 0) {
            stroke.clear();
            append_rgb(stroke, grey, grey, grey, "RG ");
            cut = rest = static_cast<size_t>(after + used - t);
        }
    }
    const bool kept_colour = cut != std::string::npos;
    if (!kept_colour) {
        for (const char* s = tf; s > t; --s) {
            if (s[-1] == '/') {
                cut = static_cast<size_t>(s - 1 - t);
                rest = static_cast<size_t>(after - t);
                break;
            }
        }
        if (cut == std::string::npos) return;
    }
    g_template_rest.assign(text, rest, std::string::npos);
    text.resize(cut);
    if (kept_colour) text.push_back(' ');
    append_state_ops(text, g_template_rest.data(), g_template_rest.data() + g_template_rest.size());
}

}  // namespace

void append_real(std::string& out, double v) {
    if (!std::isfinite(v)) v = 0;
    // Fast path: when v * 1e6 lies clearly away from a rounding tie, its nearest integer is
    // the six-decimal rounding "%f" makes of the exact value.
    if (v > -1e9 && v < 1e9) {
        double scaled = v * 1e6;
        double r = std::nearbyint(scaled);
        double diff = scaled - r;
        if (diff < 0.4999 && diff > -0.4999) {
            long long n = static_cast<long long>(r);
            char buf[32];
            int i = sizeof buf;
            bool neg = n < 0 || (n == 0 && std::signbit(v));
            unsigned long long u = n < 0 ? static_cast<unsigned long long>(-n) : n;
            for (int d = 0; d < 6; ++d) {
                buf[--i] = static_cast<char>('0' + u % 10);
                u /= 10;
            }
            buf[--i] = '.';
            do {
                buf[--i] = static_cast<char>('0' + u % 10);
                u /= 10;
            } while (u != 0);
            if (neg) buf[--i] = '-';
            out.append(buf + i, sizeof buf - static_cast<size_t>(i));
            return;
        }
    }
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, "%f", v);
    if (n > 0) out.append(buf, static_cast<size_t>(n < static_cast<int>(sizeof buf) ? n : 63));
}

char font_encoding_kind(int font_no) {
    if (font_no < 0 || font_no >= g_st.num_font_strage) return 'T';
    return g_st.p_font_strage[font_no].encoding;
}

int winansi_code(int32_t u) {
    if ((u >= 0x20 && u <= 0x7E) || (u >= 0xA0 && u <= 0xFF)) return u;
    switch (u) {
        case 0x20AC:
            return 0x80;
        case 0x201A:
            return 0x82;
        case 0x0192:
            return 0x83;
        case 0x201E:
            return 0x84;
        case 0x2026:
            return 0x85;
        case 0x2020:
            return 0x86;
        case 0x2021:
            return 0x87;
        case 0x02C6:
            return 0x88;
        case 0x2030:
            return 0x89;
        case 0x0160:
            return 0x8A;
        case 0x2039:
            return 0x8B;
        case 0x0152:
            return 0x8C;
        case 0x017D:
            return 0x8E;
        case 0x2018:
            return 0x91;
        case 0x2019:
            return 0x92;
        case 0x201C:
            return 0x93;
        case 0x201D:
            return 0x94;
        case 0x2022:
            return 0x95;
        case 0x2013:
            return 0x96;
        case 0x2014:
            return 0x97;
        case 0x02DC:
            return 0x98;
        case 0x2122:
            return 0x99;
        case 0x0161:
            return 0x9A;
        case 0x203A:
            return 0x9B;
        case 0x0153:
            return 0x9C;
        case 0x017E:
            return 0x9E;
        case 0x0178:
            return 0x9F;
        default:
            return 0;
    }
}

namespace {

constexpr int HELVETICA_NO = 20;

int winansi_width(int standard, int code) {
    return code >= 0 && code <= 0xFF ? fmetric_winansi[standard][code] : 0;
}

// Adobe-Japan1 widths as the fallback Japanese font declares them (/DW 1000, /W [231 632
// 500]): the half-width forms are 500, everything else full width.
int japanese_width(int32_t u) {
    uint32_t cid = (u >= 0 && u <= 0xFFFF) ? cid_code_a[u] : 0;
    return (cid >= 231 && cid <= 632) ? 500 : 1000;
}

// The codes from 0x80 at which StandardEncoding has the Latin-1 character of the same code
// (¡ ¢ £ ¥ § « » ¿): a font laid out by it shows these of a value itself.
bool standard_latin1(int32_t u) {
    switch (u) {
        case 0xA1:
        case 0xA2:
        case 0xA3:
        case 0xA5:
        case 0xA7:
        case 0xAB:
        case 0xBB:
        case 0xBF:
            return true;
        default:
            return false;
    }
}

// Which font shows a character: the field's own (PICK_FIELD) or a fallback (a Fallback).
using Pick = int;
constexpr Pick PICK_FIELD = -1;

// The field's font and what it can show.
// True when the character collection of a CJK font ('J' Adobe-Japan1, 'G' Adobe-GB1, 'C'
// Adobe-CNS1, 'K' Adobe-Korea1; 0 unknown: every character) has a glyph for u: ASCII and the
// CJK blocks in all of them; Latin-1 and the JIS X 0208 set (Greek, Cyrillic, symbols) in the
// Japanese one. Other letters come from the stand-ins, which viewers can draw.
bool collection_has(char collection, int32_t u) {
    if (collection == 0 || (u >= 0x20 && u < 0x7F)) return true;
    const bool cjk = (u >= 0x2E80 && u <= 0x9FFF) || (u >= 0xAC00 && u <= 0xD7AF) ||
                     (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFE30 && u <= 0xFE4F) ||
                     (u >= 0xFF00 && u <= 0xFFEF) || (u >= 0x1100 && u <= 0x11FF) || u > 0xFFFF;
    // Half-width katakana are in the Japanese collection only.
    if (collection != 'J' && u >= 0xFF61 && u <= 0xFF9F) return false;
    if (cjk) return true;
    if (collection != 'J') return false;
    return (u >= 0xA0 && u <= 0xFF) || (u > 0 && u <= 0xFFFF && ucs_to_jis0208[u] != 0);
}

struct FontSet {
    int font_no = 0;
    char kind = 'T';
    const st_font* font = nullptr;
    bool identity = false;
    const GlyphMap* glyphs = nullptr;     // an identity font's characters
    const SimpleEncoding* enc = nullptr;  // a one-byte font's own codes of characters
    int latin = HELVETICA_NO;             // the standard font of the Latin stand-in
    char collection = 0;       // a CJK font's character collection (FieldFacts::collection)
    bool plain_ascii = false;  // a single-byte font, whole, not keyed by glyph numbers
    bool subset = false;
    bool latin1 = true;
    bool utf16 = false;

    bool field_shows(int32_t u) const {
        // Nearly every character: printable ASCII in a single-byte font that has all of it.
        if (u >= 0x20 && u < 0x7F && u != 0x27 && u != 0x60 && plain_ascii) return true;
        if (u == 10 || u == 12 || u == 13) return true;
        if (identity) return glyphs && glyphs->find(u);
        if (enc) return encoded_shows(u);
        switch (kind) {
            case 'S':
            case 'P':
                if (subset) return false;
                // JIS Roman: 0x5C and 0x7E are the yen sign and the overline, so a
                // backslash and a tilde come from the stand-in.
                if (u == 0x5C || u == 0x7E) return false;
                if (u >= 0 && u < 0x80) return true;
                if (u == 0xA5 || u == 0x203E) return true;
                if (u >= 0xFF61 && u <= 0xFF9F) return true;
                return u > 0 && u <= 0xFFFF && ucs_to_jis0208[u] != 0;
            case 'U':
                // A UCS2 CMap has two-byte codes only: none for a character beyond the Basic
                // Multilingual Plane. The font's character collection has the rest, or not.
                return !subset && (u <= 0xFFFF || utf16) && collection_has(collection, u);
            default:  // single-byte fonts: the code point is the code
                if (u < 0 || u > 0xFF) return false;
                if (!latin1 && (u >= 0x80 || u == 0x27 || u == 0x60)) return standard_latin1(u);
                if (subset && font != nullptr && font->width[u] <= 0) return false;
                return true;
        }
    }
    Pick pick(int32_t u) const {
        if (field_shows(u)) return PICK_FIELD;
        if (winansi_code(u) != 0) return FALLBACK_LATIN;
        const ExtendedCode c = helvetica_extended_code(u);
        return c.code != 0 ? c.font : FALLBACK_JAPANESE;
    }
    [[gnu::always_inline]] int width(int32_t u, Pick p) const {
        switch (p) {
            case FALLBACK_LATIN:
                return winansi_width(latin, winansi_code(u));
            case FALLBACK_LATIN_EXTENDED:
            case FALLBACK_CYRILLIC_GREEK:
                return helvetica_extended_width(helvetica_extended_code(u),
                                                standin_face(extended_standin(latin)));
            case FALLBACK_JAPANESE:
                return japanese_width(u);
            default:
                if (glyphs) {
                    const GlyphEntry* g = glyphs->find(u);
                    return g ? static_cast<int>(g->width) : 0;
                }
                if (enc) return encoded_width(u);
                return char_width(font_no, kind, u, font);
        }
    }
    // A font with an encoding of its own: kept out of line, so that the common fonts' tests
    // stay small enough to be inlined into the layout loops.
    [[gnu::noinline]] bool encoded_shows(int32_t u) const {
        const int c = enc->code_of(u);
        if (c <= 0) return false;
        // A standard font is measured by its WinAnsi widths.
        if (font_no < 0) return winansi_code(u) != 0;
        return !subset || (font != nullptr && font->width[c] > 0);
    }
    [[gnu::noinline]] int encoded_width(int32_t u) const {
        if (font_no < 0) return winansi_width(-font_no, winansi_code(u));
        const int c = enc->code_of(u);
        return c > 0 ? static_cast<int>(char_width(font_no, 'N', c, font)) : 0;
    }
};

// Reads one content-stream token from [p, end): operators come back with *is_op set.
// Strings, names, numbers, arrays and dictionaries are operands. Returns the position
// after the token, or end.
const char* next_token(const char* p, const char* end, const char** tok, size_t* tok_len,
                       bool* is_op) {
    *is_op = false;
    *tok_len = 0;
    while (p < end) {
        char c = *p;
        if (is_blank(c) || c == 0) {
            ++p;
        } else if (c == '%') {
            while (p < end && *p != '\n' && *p != '\r') ++p;
        } else {
            break;
        }
    }
    *tok = p;
    if (p >= end) return end;
    const char c = *p;
    if (c == '(') {
        int depth = 0;
        for (; p < end; ++p) {
            if (*p == '\\') {
                ++p;
                continue;
            }
            if (*p == '(') ++depth;
            if (*p == ')' && --depth == 0) {
                ++p;
                break;
            }
        }
    } else if (c == '<' && p + 1 < end && p[1] != '<') {
        while (p < end && *p != '>') ++p;
        if (p < end) ++p;
    } else if (c == '<' || c == '>') {
        p += (p + 1 < end && p[1] == c) ? 2 : 1;
    } else if (c == '[' || c == ']' || c == '{' || c == '}' || c == ')') {
        ++p;
    } else {
        const bool name = c == '/';
        if (name) ++p;
        while (p < end && !is_blank(*p) && *p != 0 && std::strchr("()<>[]{}/%", *p) == nullptr) ++p;
        const bool number = (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.';
        *is_op = !name && !number;
    }
    *tok_len = static_cast<size_t>(p - *tok);
    return p;
}

bool token_is(const char* tok, size_t len, const char* want) {
    return std::strlen(want) == len && std::memcmp(tok, want, len) == 0;
}

// Calls fn(op, op_len, operands) for each operator of p..end until it returns false;
// `operands` is where its operands begin (the operator itself when it has none), so
// operands..op+op_len is the whole operation.
template <typename Fn>
void for_each_operation(const char* p, const char* end, Fn&& fn) {
    const char* operands = nullptr;
    while (p < end) {
        const char* tok;
        size_t n;
        bool is_op;
        p = next_token(p, end, &tok, &n, &is_op);
        if (n == 0) break;
        if (!operands) operands = tok;
        if (!is_op) continue;
        if (!fn(tok, n, operands)) break;
        operands = nullptr;
    }
}

bool is_colour_op(const char* tok, size_t len) {
    return token_is(tok, len, "g") || token_is(tok, len, "rg") || token_is(tok, len, "k") ||
           token_is(tok, len, "sc") || token_is(tok, len, "scn");
}

// True when `text` holds operator `op` (any fill-colour operator when op is "rg").
bool has_operator(std::string_view text, const char* op, size_t op_len) {
    const bool colour = is_colour_op(op, op_len);
    bool found = false;
    for_each_operation(
        text.data(), text.data() + text.size(), [&](const char* tok, size_t n, const char*) {
            found = colour ? is_colour_op(tok, n) : (n == op_len && std::memcmp(tok, op, n) == 0);
            return !found;
        });
    return found;
}

// True when an operator with these operands leaves the text state as a content stream
// starts it (black fill, no extra spacing, full horizontal scale): writing it changes nothing.
bool is_default_state(const char* op, size_t n, const char* operands, size_t len) {
    float v[4] = {0, 0, 0, 0};
    std::string_view ops(operands, len);
    char buf[96];
    size_t m = len < sizeof buf - 1 ? len : sizeof buf - 1;
    std::memcpy(buf, ops.data(), m);
    buf[m] = 0;
    int got = std::sscanf(buf, "%f %f %f %f", &v[0], &v[1], &v[2], &v[3]);
    if (token_is(op, n, "Tz")) return got == 1 && v[0] == 100;
    if (token_is(op, n, "k")) return got == 4 && v[0] == 0 && v[1] == 0 && v[2] == 0 && v[3] == 1;
    for (int i = 0; i < got; ++i)
        if (v[i] != 0) return false;
    return got >= 1;
}

bool is_state_op(const char* tok, size_t n) {
    static const char* const kept[] = {"g",  "rg", "k",  "G",  "RG", "K",  "Tc",
                                       "Tw", "Tz", "Ts", "cs", "CS", "sc", "scn"};
    for (const char* k : kept)
        if (token_is(tok, n, k)) return true;
    return false;
}

void append_state_ops(std::string& out, const char* p, const char* end) {
    for_each_operation(p, end, [&out](const char* tok, size_t n, const char* operands) {
        if (is_state_op(tok, n)) {
            out.append(operands, static_cast<size_t>(tok + n - operands));
            out.push_back(' ');
        }
        return true;
    });
}

// Appends the default appearance's operators (colour and text state; the font operator is
// the filler's own) whose kind the template text does not set itself.
// Where the last text object of `text` begins (after its BT), or npos when it has none.
size_t last_text_object(std::string_view text) {
    const char* b = text.data();
    size_t at = std::string_view::npos;
    for_each_operation(b, b + text.size(), [&](const char* tok, size_t n, const char*) {
        if (token_is(tok, n, "BT")) at = static_cast<size_t>(tok + n - b);
        return true;
    });
    return at;
}

// Appends the default appearance's operators (colour and text state; the font operator is
// the filler's own) that the template text does not set itself. The text colour counts as
// set only inside the text object: a colour set before it may be the box's background, so
// the default appearance's colour is then written even when it is black.
void append_default_ops(std::string& stream, const FieldFacts& facts) {
    if (!facts.da_ops || facts.da_ops_len <= 0) return;
    const std::string_view prefix(stream.data(), stream.size());
    const size_t bt = last_text_object(prefix);
    const std::string_view in_text =
        bt == std::string_view::npos ? std::string_view() : prefix.substr(bt);
    const bool colour_in_text = has_operator(in_text, "rg", 2);
    const bool colour_before = has_operator(prefix, "rg", 2);
    const size_t prefix_len = stream.size();
    const char* p = facts.da_ops;
    const char* end = p + facts.da_ops_len;
    for_each_operation(p, end, [&](const char* tok, size_t n, const char* operands) {
        static const char* const kept[] = {"g", "rg", "k", "Tc", "Tw", "Tz", "Ts"};
        bool keep = false;
        for (const char* k : kept) keep = keep || token_is(tok, n, k);
        const bool dflt = is_default_state(tok, n, operands, static_cast<size_t>(tok - operands));
        bool write = false;
        if (keep && is_colour_op(tok, n))
            write = !colour_in_text && (!dflt || colour_before);
        else if (keep)
            write = !dflt && !has_operator(std::string_view(stream.data(), prefix_len), tok, n);
        if (write) {
            stream.append(operands, static_cast<size_t>(tok + n - operands));
            stream.push_back(' ');
        }
        return true;
    });
}

// Layout numbers of one fill, after the field's defaults and auto size are applied.
struct Metrics {
    float size = 0;
    float leading = 0;      // distance between baselines
    float line_height = 0;  // the height one line takes (the field's line_feed)
    float first_baseline = 0;
};

// The line a value is fitted to (auto size) or centred on, in thousandths of the size: the
// font's line height, but at most 1.2 em. A font's box reaches beyond the line a viewer fits
// where the font has tall accents or symbols (DejaVu's is 1.7 em): sized by it, the value
// would come out a third smaller than viewers show it.
float font_height(const FontSet& fs) {
    int h = 0;
    if (fs.font_no < 0)
        h = -fs.font_no < FHEIGHT_COUNT ? fheight[-fs.font_no] : 0;
    else if (fs.font)
        h = fs.font->height;
    if (h < 500 || h > 2500) h = 1150;
    return static_cast<float>(std::min(h, 1200));
}

// Characters that word wrapping keeps together: printable ASCII and the letters of alphabetic
// scripts (accented Latin, Greek, Cyrillic), so that "Zürich" or "Київ" is not broken at a
// letter outside ASCII. Other characters (Japanese among them) may be broken between.
bool word_char(int32_t u) {
    if (u >= 33 && u <= 127) return true;
    if (u >= 0xC0 && u <= 0x24F) return u != 0xD7 && u != 0xF7;  // not the x and division signs
    return u >= 0x370 && u <= 0x52F;
}

// The wrapping that a multi-line field gets from the plain fill: between words, with the
// spaces at a wrap taken off both lines, as viewers wrap it.
constexpr int WRAP_WORDS = 3;

// How a field's value breaks into lines. Without a mode of the caller's (-1, the plain
// fill), a multi-line field wraps between words; Japanese text still breaks between any
// two characters. Templates that do not say which fields are multi-line keep breaking at
// any character, and a caller's mode is kept as it is.
int wrap_mode(const FillStyle& st, const FieldFacts& facts) {
    return st.line_mode == -1 && facts.flags_known && facts.multiline ? WRAP_WORDS : st.line_mode;
}

// Calls emit(line_no, code points, count, width) for each line of the value as the field's
// width breaks it; returns the number of lines. `buf` holds at least as many code points as
// the value.
template <class Emit>
int break_lines(const int32_t* value, size_t len, const FontSet& fs, float size, float limit,
                float char_space, int mode, int yen, int32_t* buf, Emit&& emit) {
    const bool words = mode == 1 || mode == WRAP_WORDS;
    const bool trim = mode == WRAP_WORDS;
    int n = 0, L = 0;
    float W = 0;
    int ws = 0;  // where the last word began in the line, and the line's width before it
    float wsw = 0;
    int spaces = 0;  // trailing spaces of the line, and their width
    float spaces_w = 0;
    size_t wpos = 0;
    int cur = 1, prev = 1;
    auto next_line = [&] {
        n = 0;
        W = 0;
        ws = spaces = 0;
        spaces_w = 0;
        cur = prev = 1;
    };
    for (size_t i = 0; i < len;) {
        int32_t u = apply_yen_sign(value[i], yen);
        float w = size * static_cast<float>(fs.width(u, fs.pick(u))) / 1000.0f + char_space;
        if (words) {
            cur = word_char(u) ? 1 : 0;
            if (cur == 1 && prev == 0) {
                ws = trim ? n - spaces : n;
                // Mode 1 takes the width before the word in whole points.
                wsw = trim ? W - spaces_w : static_cast<float>(static_cast<int>(W));
                wpos = i;
            }
            prev = cur;
        }
        const bool brk = u == 10 || u == 12 || u == 13;
        if (brk || W + w > limit) {
            if (mode == 2) {
                emit(L++, buf, n, W);
                return L;
            }
            if (trim && !brk && u == ' ') {
                // A space at the edge ends the line; it and the spaces after it go.
                emit(L++, buf, n - spaces, W - spaces_w);
                next_line();
                while (i < len && value[i] == ' ') ++i;
                prev = 0;
                continue;
            }
            if (words && cur == 1 && ws > 0) {
                emit(L++, buf, ws, wsw);
                next_line();
                i = wpos;
                continue;
            }
            emit(L++, buf, n, W);
            next_line();
            if (brk) {
                ++i;
                continue;
            }
        }
        buf[n++] = u;
        W += w;
        spaces = u == ' ' ? spaces + 1 : 0;
        spaces_w = u == ' ' ? spaces_w + w : 0;
        ++i;
    }
    if (n > 0) emit(L++, buf, n, W);
    return L;
}

size_t value_length(const int32_t* v) {
    size_t len = 0;
    while (v[len] != 0) ++len;
    return len;
}

int32_t* line_buffer(size_t len) {
    std::vector<int32_t>& line = g_layout.line;
    if (line.size() < len + 1) line.resize(len + 1);
    return line.data();
}

// True when the value has a character of a script that is written right to left (Hebrew,
// Arabic, Syriac, Thaana, N'Ko) or whose letters join or combine into other forms (the
// Indic scripts, Thai to Khmer): setting it glyph by glyph in code order would misshow it.
bool needs_shaping(const int32_t* value) {
    for (const int32_t* c = value; *c; ++c) {
        const int32_t u = *c;
        if ((u >= 0x0590 && u <= 0x0DFF) || (u >= 0x0E00 && u <= 0x109F) ||
            (u >= 0x1780 && u <= 0x17FF) || (u >= 0xFB1D && u <= 0xFDFF) ||
            (u >= 0xFE70 && u <= 0xFEFF))
            return true;
    }
    return false;
}

// A password field's value as every viewer shows it: an asterisk for each character, line
// breaks kept. The value itself is not written anywhere.
const int32_t* masked_value(const int32_t* value) {
    std::vector<int32_t>& m = g_layout.masked;
    m.assign(value, value + value_length(value) + 1);
    for (int32_t& c : m)
        if (c != 0 && c != 10 && c != 12 && c != 13) c = '*';
    return m.data();
}

// The value with each tab as a space: a font has no glyph for a tab (a tessaro-csv cell can
// hold one), and viewers show a gap where the value has one. The value itself when it has
// none.
const int32_t* tabs_as_spaces(const int32_t* value) {
    const size_t len = value_length(value);
    if (std::find(value, value + len, 9) == value + len) return value;
    std::vector<int32_t>& m = g_layout.masked;
    m.assign(value, value + len + 1);
    std::replace(m.begin(), m.end(), 9, 32);
    return m.data();
}

// The inset of the text from the box's edge (the record's text origin is the box's corner
// plus it).
float border_allowance(const st_field& f, const FieldFacts& facts) {
    float b = f.space_w - facts.box_x0;
    return b > 0 ? b : 0;
}

// The size that fits the value into the box: for one line the largest whose line fits the
// height and whose text fits the width; for several lines 12 points or less, so that all
// lines fit.
float fitting_size(const st_field& f, const int32_t* value, const FontSet& fs, const FillStyle& st,
                   const FieldFacts& facts, float H) {
    const float border = border_allowance(f, facts);
    const float avail_h = facts.box_height > 0 ? facts.box_height - 2 * border : 0;
    const size_t len = value_length(value);
    const int yen = g_doc.g_yensign;
    if (facts.multiline && facts.comb_cells == 0) {
        if (avail_h <= 0) return 12;
        int32_t* buf = line_buffer(len);
        float size = 12;
        for (; size > 2; size -= 0.5f) {
            float leading = st.leading > 0 ? st.leading : size * H / 1000;
            int lines =
                break_lines(value, len, fs, size, f.width, st.char_space, wrap_mode(st, facts), yen,
                            buf, [](int, const int32_t*, int, float) {});
            if (lines <= 1 || leading * static_cast<float>(lines - 1) + size * H / 1000 <= avail_h)
                break;
        }
        return size;
    }
    // One line: Acrobat's size. The text's inset from the box's edge is twice the border's
    // width (four times for a beveled or inset border, whose bands take the rest).
    float size = static_cast<float>(one_line_size(facts.box_height, border));
    // Width of the value at one point (comb fields: of the widest character in its cell).
    float per_point = 0, widest = 0;
    int chars = 0;
    for (size_t i = 0; i < len; ++i) {
        int32_t u = apply_yen_sign(value[i], yen);
        if (u == 10 || u == 12 || u == 13) break;
        float w = static_cast<float>(fs.width(u, fs.pick(u))) / 1000;
        per_point += w;
        if (w > widest) widest = w;
        ++chars;
    }
    if (facts.comb_cells > 0 && facts.box_width > 0 && widest > 0) {
        float cell = facts.box_width / static_cast<float>(facts.comb_cells);
        if (cell / widest < size) size = cell / widest;
    } else if (per_point > 0) {
        float room = f.width - static_cast<float>(chars) * st.char_space;
        if (room / per_point < size) size = room / per_point;
    }
    if (size < 1) size = 1;
    return std::floor(size * 100) / 100;
}

Metrics resolve_metrics(const st_field& f, const int32_t* value, const FontSet& fs,
                        const FillStyle& st, const FieldFacts& facts) {
    Metrics m;
    m.size = st.default_size ? (f.font_size10 != 0 ? static_cast<float>(f.font_size10) / 10.0f
                                                   : static_cast<float>(f.font_size))
                             : st.font_size;
    if (m.size != 0) {
        m.line_height = f.line_feed;
        m.leading = st.leading > 0 ? st.leading : f.line_feed;
        m.first_baseline = f.line_start;
        // A one-line value whose line, placed below the top of the box, reaches out of it (a
        // tight box, a large size, or a font whose box is tall: DejaVu's line is 1.7 em)
        // would have its descenders or its top cut off at the box's edge. It is centred
        // instead, on a line of at most 1.2 em (a fifth of it below the baseline), as
        // viewers place a value.
        const float h = m.size * font_height(fs) / 1000;
        // The plain fill centres it as well where the template put the line at the top of
        // the box (Carvel's own place; its merlow modes place the line themselves): viewers
        // centre a one-line value however tall its box is.
        const float border = border_allowance(f, facts);
        const float top = std::max(facts.box_y0 + facts.box_height - border - f.line_feed, border);
        const bool at_top = std::fabs(m.first_baseline - top) < 0.01f;
        if (facts.flags_known && !facts.multiline && facts.box_height > 0 &&
            ((st.viewer_place && at_top) || m.first_baseline - 0.2f * h < facts.box_y0 ||
             m.first_baseline + 0.8f * h > facts.box_y0 + facts.box_height))
            m.first_baseline = (facts.box_height - h) / 2 + 0.2f * h + facts.box_y0;
        return m;
    }
    const float H = font_height(fs);
    m.size = fitting_size(f, value, fs, st, facts, H);
    m.line_height = m.size * H / 1000;
    m.leading = st.leading > 0 ? st.leading : m.line_height;
    const float border = border_allowance(f, facts);
    if (facts.box_height <= 0) {
        m.first_baseline = border;
    } else if (facts.multiline && facts.comb_cells == 0) {
        m.first_baseline = facts.box_height - border - m.line_height;
    } else {
        // One line, centred: the descent is about a fifth of the line height.
        m.first_baseline = (facts.box_height - m.line_height) / 2 + 0.2f * m.line_height;
    }
    if (m.first_baseline < border) m.first_baseline = border;
    m.first_baseline += facts.box_y0;
    return m;
}

// The codes of n characters in a font with an encoding of its own (out of line: see
// FontSet::encoded_shows).
[[gnu::noinline]] void append_encoded_codes(std::string& stream, const SimpleEncoding& enc,
                                            const int32_t* chars, int n) {
    for (int i = 0; i < n; ++i) {
        // Line breaks have no code of their own in the encoding.
        const int c = enc.code_of(chars[i]);
        append_octal(stream, static_cast<uint32_t>(c > 0 ? c : chars[i] & 0xFF));
    }
}

// Writes the codes of n characters for the font that shows them.
void append_codes(std::string& stream, const FontSet& fs, Pick p, const int32_t* chars, int n) {
    switch (p) {
        case FALLBACK_LATIN:
            for (int i = 0; i < n; ++i)
                append_octal(stream, static_cast<uint32_t>(winansi_code(chars[i])));
            return;
        case FALLBACK_LATIN_EXTENDED:
        case FALLBACK_CYRILLIC_GREEK:
            for (int i = 0; i < n; ++i)
                append_octal(stream, static_cast<uint32_t>(helvetica_extended_code(chars[i]).code));
            return;
        case FALLBACK_JAPANESE:
            for (int i = 0; i < n; ++i) {
                // A character the Japanese collection lacks (Hangul, Vietnamese letters) is
                // the geta mark, the sign of a missing character: its own code names no glyph
                // there, and viewers drop it or take the next character's code wrong.
                const int32_t c = chars[i];
                append_ucs2(stream, c >= 0 && c <= 0xFFFF && cid_code_a[c] != 0 ? c : 0x3013);
            }
            return;
        default:
            break;
    }
    if (fs.glyphs) {
        for (int i = 0; i < n; ++i) {
            const GlyphEntry* g = fs.glyphs->find(chars[i]);
            append_ucs2(stream, g ? g->cid : 0);
        }
        return;
    }
    if (fs.enc) {
        append_encoded_codes(stream, *fs.enc, chars, n);
        return;
    }
    switch (fs.kind) {
        case 'S':
        case 'P':
        case 'N': {
            // Shift_JIS CMaps read their single bytes as JIS Roman: the yen sign and the
            // overline are 0x5C and 0x7E there. A run is converted between them.
            int from = 0;
            for (int i = 0; i <= n; ++i) {
                const int32_t c = i < n ? chars[i] : 0;
                const bool roman = fs.kind != 'N' && (c == 0xA5 || c == 0x203E);
                if (i < n && !roman) continue;
                if (i > from)
                    for (const char* p = ucs2sjis(chars + from, i - from); *p; ++p)
                        append_octal(stream, static_cast<unsigned char>(*p));
                if (roman) append_octal(stream, c == 0xA5 ? 0x5C : 0x7E);
                from = i + 1;
            }
            return;
        }
        case 'T':
            for (int i = 0; i < n; ++i) append_octal(stream, static_cast<uint32_t>(chars[i]));
            return;
        default:
            for (int i = 0; i < n; ++i) append_ucs2(stream, chars[i]);
            return;
    }
}

void append_font_op(std::string& stream, const char* name, float size) {
    stream.append(" /");
    stream.append(name);
    stream.push_back(' ');
    append_real(stream, size);
    stream.append(" Tf");
}

// Everything one fill writes its lines with.
// The fonts that set `value` in font `font_no` of a field with these facts.
void set_up_fonts(FontSet& fs, int font_no, const FieldFacts& facts, const int32_t* value) {
    fs.font_no = font_no;
    fs.kind = font_encoding_kind(font_no);
    fs.font =
        (font_no >= 0 && font_no < g_st.num_font_strage) ? &g_st.p_font_strage[font_no] : nullptr;
    fs.identity = facts.font_identity;
    fs.latin = facts.latin_standin;
    fs.collection = facts.collection;
    // An embedded font shows the characters its map names (a subset those whose glyphs it
    // kept). Not a value in a script written right to left or whose letters join or
    // combine: the glyphs would stand in the wrong order or form, where the stand-ins'
    // missing-glyph marks at least show that something is there.
    if (fs.identity && !needs_shaping(value)) fs.glyphs = identity_glyphs(facts.identity_font);
    // Only a font that has every character of the value shows it: one that has some (a
    // subset named without its tag, as pdf-lib names them) would set the value letter by
    // letter in two faces.
    for (const int32_t* c = value; fs.glyphs && *c; ++c)
        if (*c != 10 && *c != 12 && *c != 13 && !fs.glyphs->find(*c)) fs.glyphs = nullptr;
    fs.subset = facts.font_subset;
    fs.latin1 = facts.font_latin1;
    fs.utf16 = facts.font_utf16;
    if (facts.encoded_font != -1) fs.enc = simple_encoding(facts.encoded_font);
    fs.plain_ascii =
        fs.enc ? fs.enc->ascii_same && !fs.subset
               : !fs.identity && !fs.subset && fs.kind != 'S' && fs.kind != 'P' && fs.kind != 'U';
}

struct LineWriter {
    const FontSet* fs;
    float size;
    const char* sname;
    float field_width;
    int align;
    float offset_x;
    std::string* stream;
    FillResult* result;

    const char* font_name(Pick p) const {
        return p == PICK_FIELD ? sname : standin_font_name(p, fs->latin);
    }

    void note(Pick p) const {
        if (p != PICK_FIELD) result->used_fallback[p] = true;
    }

    // Shows the characters from the current position, switching fonts where the field's
    // cannot show them and returning to the field's font at the end.
    void show_runs(const int32_t* chars, int n) const {
        std::string& s = *stream;
        Pick cur = PICK_FIELD;
        for (int i = 0; i < n;) {
            Pick p = fs->pick(chars[i]);
            int j = i + 1;
            while (j < n && fs->pick(chars[j]) == p) ++j;
            if (p != cur) {
                append_font_op(s, font_name(p), size);
                note(p);
                cur = p;
            }
            s.append(" (");
            append_codes(s, *fs, p, chars + i, j - i);
            s.append(") Tj");
            i = j;
        }
        if (cur != PICK_FIELD) append_font_op(s, sname, size);
    }

    void line(int line_no, const int32_t* chars, int n, float width) const {
        // Glyph numbers, and the codes of a font with an encoding of its own, are written by
        // the font set, which knows them.
        bool mixed = fs->glyphs != nullptr || fs->enc != nullptr;
        for (int i = 0; i < n && !mixed; ++i) mixed = fs->pick(chars[i]) != PICK_FIELD;
        if (!mixed) {
            set_field_data_stream_line(line_no, chars, n, width, field_width, align, *stream,
                                       fs->kind, offset_x);
            return;
        }
        LayoutState& ls = g_layout;
        if (line_no == 0) ls.draw_point = ls.pre_point = 0;
        const int a = width > field_width && align >= 0 && align <= 2 ? 0 : align;
        ls.draw_point = a == 2   ? field_width - width + offset_x
                        : a == 1 ? (field_width - width) / 2 + offset_x
                        : a == 0 ? offset_x
                                 : ls.draw_point;
        stream->push_back(' ');
        append_real(*stream, ls.draw_point - ls.pre_point);
        stream->append(line_no == 0 ? " 0 Td" : " 0 Td T*");
        show_runs(chars, n);
        ls.pre_point = ls.draw_point;
    }
};

// The text of a comb field: one character centred in each cell of the box, on one line.
int write_comb(const LineWriter& lw, const st_field& f, const int32_t* value,
               const FieldFacts& facts) {
    const float cell = facts.box_width / static_cast<float>(facts.comb_cells);
    const int yen = g_doc.g_yensign;
    // The cells are far apart; the value as one text (UTF-16BE) lets search, copy and
    // extraction read it as the word it is.
    std::string& s = *lw.stream;
    int count = 0;
    while (count < facts.comb_cells && value[count] != 0 && value[count] != 10 &&
           value[count] != 12 && value[count] != 13)
        ++count;
    if (count > 0) {
        s.append(" /Span <</ActualText <FEFF");
        for (int k = 0; k < count; ++k) append_utf16_hex(s, apply_yen_sign(value[k], yen));
        s.append(">>> BDC");
    }
    // A value shorter than the comb starts in the cell its alignment gives: right-aligned it
    // ends in the last cell, centred it leaves the lower half of the free cells before it.
    const int free = facts.comb_cells - count;
    const int first = f.align == 2 ? free : f.align == 1 ? free / 2 : 0;
    float prev_x = 0;
    int i = 0;
    for (; i < count; ++i) {
        int32_t u = apply_yen_sign(value[i], yen);
        if (u == 10 || u == 12 || u == 13) break;
        float w = lw.size * static_cast<float>(lw.fs->width(u, lw.fs->pick(u))) / 1000;
        float x = facts.box_x0 + static_cast<float>(first + i) * cell + (cell - w) / 2 - f.space_w;
        lw.stream->push_back(' ');
        append_real(*lw.stream, x - prev_x);
        lw.stream->append(" 0 Td");
        lw.show_runs(&u, 1);
        prev_x = x;
    }
    if (count > 0) s.append(" EMC");
    return i > 0 ? 1 : 0;
}

// The template's beginning of the appearance, with its colour and the default appearance's
// state operators, ready for text-state operators inside an open text object. The stroke
// colour for outlined text goes to `stroke`, the operators that close the text to `closers`.
void begin_appearance(const st_field& f, const FieldFacts& facts, std::string& stream,
                      std::string& stroke, char* closers, size_t closers_size) {
    stream.assign(f.start_str, strnlen(f.start_str, sizeof f.start_str));
    template_colour(stream, stroke);
    bool needs_bt = false;
    appearance_closers(stream.data(), stream.size(), closers, closers_size, &needs_bt);
    if (needs_bt) {
        if (!stream.empty() && !is_blank(stream.back())) stream.push_back(' ');
        stream.append("BT ");
        // The text object is closed first.
        size_t n = std::strlen(closers);
        if (n + 3 < closers_size) {
            std::memmove(closers + 3, closers, n + 1);
            std::memcpy(closers, " ET", 3);
        }
    }
    append_default_ops(stream, facts);
}

void write_text_state(const st_field& f, const FillStyle& st, const Metrics& m, float offset_y,
                      const std::string& stroke, std::string& stream) {
    stream.push_back('/');
    stream.append(st.font_sname);
    stream.push_back(' ');
    append_real(stream, m.size);
    stream.append(" Tf ");
    if (st.char_space != 0) {
        append_real(stream, st.char_space);
        stream.append(" Tc ");
    }
    if (st.outline_width != 0) {
        if (st.has_colour)
            append_rgb(stream, st.colour[0], st.colour[1], st.colour[2], "RG ");
        else
            stream.append(stroke);
        stream.append("2 Tr ");
        append_real(stream, st.outline_width);
        stream.append(" w ");
    } else {
        stream.append("0 Tr 0 w ");
    }
    if (st.has_colour) append_rgb(stream, st.colour[0], st.colour[1], st.colour[2], "rg ");
    append_real(stream, f.space_w);
    stream.push_back(' ');
    append_real(stream, m.first_baseline - offset_y);
    stream.append(" Td ");
    append_real(stream, m.leading);
    stream.append(" TL ");
}

}  // namespace

void appearance_closers(const char* text, size_t len, char* out, size_t out_size, bool* needs_bt) {
    constexpr int DEPTH = 64;
    char open[DEPTH];
    int depth = 0, lost = 0;
    for_each_operation(text, text + len, [&](const char* tok, size_t n, const char*) {
        char push = 0, pop = 0;
        if (token_is(tok, n, "BT")) push = 'B';
        if (token_is(tok, n, "q")) push = 'q';
        if (token_is(tok, n, "BMC") || token_is(tok, n, "BDC")) push = 'M';
        if (token_is(tok, n, "ET")) pop = 'B';
        if (token_is(tok, n, "Q")) pop = 'q';
        if (token_is(tok, n, "EMC")) pop = 'M';
        if (push) {
            if (depth < DEPTH)
                open[depth++] = push;
            else
                ++lost;
        } else if (pop) {
            if (lost > 0)
                --lost;
            else if (depth > 0 && open[depth - 1] == pop)
                --depth;
        }
        return true;
    });
    *needs_bt = true;
    size_t o = 0;
    for (int i = depth - 1; i >= 0; --i) {
        const char* c = open[i] == 'B' ? " ET" : open[i] == 'q' ? " Q" : " EMC";
        if (open[i] == 'B') *needs_bt = false;
        size_t n = std::strlen(c);
        if (o + n + 1 > out_size) break;
        std::memcpy(out + o, c, n);
        o += n;
    }
    if (out_size > 0) out[o < out_size ? o : out_size - 1] = 0;
}

void begin_field_appearance(int field_no, const FieldFacts& facts, AppearanceStart& start) {
    begin_appearance(g_st.p_field_strage[field_no], facts, start.text, start.stroke, start.closers,
                     sizeof start.closers);
}

FillResult build_field_appearance(int field_no, const int32_t* field_data, const FillStyle& st,
                                  const FieldFacts& facts, std::string& stream) {
    AppearanceStart& start = g_layout.start;
    begin_field_appearance(field_no, facts, start);
    return build_field_appearance(field_no, field_data, st, facts, start, stream);
}

FillResult build_field_appearance(int field_no, const int32_t* field_data, const FillStyle& st,
                                  const FieldFacts& facts, const AppearanceStart& start,
                                  std::string& stream) {
    const st_field& f = g_st.p_field_strage[field_no];
    field_data = facts.password ? masked_value(field_data) : tabs_as_spaces(field_data);
    FillResult result;
    const std::string& stroke = start.stroke;
    const char* closers = start.closers;
    stream.assign(start.text);

    FontSet fs;
    set_up_fonts(fs, st.font_no, facts, field_data);
    const Metrics m = resolve_metrics(f, field_data, fs, st, facts);

    const size_t len = value_length(field_data);
    int32_t* buf = line_buffer(len);
    const int yen = g_doc.g_yensign;
    const bool comb = facts.comb_cells > 0 && facts.box_width > 0;
    // A one-line field keeps its value on its one line, clipped at the box as every viewer
    // shows it, however much room the box has below; only line breaks in the value start a
    // new line. Fields of templates that do not say which kind they are wrap at the width.
    const float limit = facts.flags_known && !facts.multiline ? 1e30f : f.width;
    const int mode = wrap_mode(st, facts);

    float offset_y = st.offset_y;
    if (offset_y < VCENTER_MARK) {
        // Vertical centring: the block's height decides where its first line goes.
        const float offset = offset_y - VCENTER_BASE;
        offset_y = offset;
        if (facts.box_height > 0) {
            int n = comb ? 1
                         : break_lines(field_data, len, fs, m.size, limit, st.char_space, mode, yen,
                                       buf, [](int, const int32_t*, int, float) {});
            float text_height = m.leading * static_cast<float>(n - 1) + m.line_height;
            offset_y = (facts.box_height - text_height) / 2 + offset;
        }
    }
    write_text_state(f, st, m, offset_y, stroke, stream);

    LineWriter lw{&fs, m.size, st.font_sname, f.width, f.align, st.offset_x, &stream, &result};
    if (comb) {
        result.lines = write_comb(lw, f, field_data, facts);
    } else {
        result.lines = break_lines(
            field_data, len, fs, m.size, limit, st.char_space, mode, yen, buf,
            [&lw](int L, const int32_t* chars, int n, float w) { lw.line(L, chars, n, w); });
    }
    stream.append(closers);
    return result;
}

double line_shows(const FieldFacts& facts, int font_no, const char* sname, float size,
                  const int32_t* value, std::string& out, FillResult& used) {
    FontSet fs;
    set_up_fonts(fs, font_no, facts, value);
    const int n = static_cast<int>(value_length(value));
    double width = 0;
    for (int i = 0; i < n; ++i) width += fs.width(value[i], fs.pick(value[i]));
    LineWriter lw{&fs, size, sname, 0, 0, 0, &out, &used};
    lw.show_runs(value, n);
    return width;
}

FillStyle fill_style(float leading, const char* font_sname, float font_size, int line_mode,
                     float offset_y, float offset_x, float char_space, float outline_width) {
    FillStyle st;
    st.leading = leading;
    st.font_sname = font_sname ? font_sname : "";
    st.default_size = font_size == -1.0f;
    st.font_size = font_size;
    st.line_mode = line_mode;
    st.offset_y = offset_y;
    st.offset_x = offset_x;
    st.char_space = char_space;
    st.outline_width = outline_width;
    return st;
}

void set_field_data_stream(int field_no, const int32_t* field_data, float linefeed, int font_no,
                           const char* font_sname, float font_size, float color_r, float color_g,
                           float color_b, std::string& stream, int mode_linefeed, float start_ypos,
                           float start_xpos, float char_space, float outline_width,
                           int* line_no_r) {
    FillStyle st = fill_style(linefeed, font_sname, font_size, mode_linefeed, start_ypos,
                              start_xpos, char_space, outline_width);
    st.font_no = font_no;
    st.set_colour(color_r, color_g, color_b);
    FieldFacts facts;
    FillResult r = build_field_appearance(field_no, field_data, st, facts, stream);
    if (line_no_r) *line_no_r = r.lines;
}

void set_field_data_stream_line(int line_no, const int32_t* line_data, int char_c, float line_width,
                                float field_fwidth, int field_align, std::string& stream,
                                char encoding, float start_xpos) {
    LayoutState& ls = g_layout;
    if (line_no == 0) ls.draw_point = ls.pre_point = 0;
    // A line wider than the field starts at the left, whatever the alignment, as viewers
    // show it: centred or right-aligned, its beginning would be cut off.
    if (line_width > field_fwidth && field_align >= 0 && field_align <= 2) field_align = 0;
    switch (field_align) {
        case 2:
            ls.draw_point = field_fwidth - line_width + start_xpos;
            break;
        case 1:
            ls.draw_point = (field_fwidth - line_width) / 2 + start_xpos;
            break;
        case 0:
            ls.draw_point = start_xpos;
            break;
        default:
            break;
    }
    stream.push_back(' ');
    append_real(stream, ls.draw_point - ls.pre_point);
    stream.append(" 0 Td (");
    FontSet fs;
    fs.kind = encoding;
    append_codes(stream, fs, PICK_FIELD, line_data, char_c);
    stream.append(line_no == 0 ? ") Tj" : ") '");
    ls.pre_point = ls.draw_point;
}

int latin_standin_for(const char* name, int standard) {
    if (!name) {
        if (standard >= 24 && standard <= 27) return standard - 4;  // Narrow: as Helvetica
        return standard >= HELVETICA_NO && standard <= 35 ? standard : HELVETICA_NO;
    }
    std::string n;
    for (const char* p = name; *p; ++p)
        n.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(*p))));
    auto has = [&n](std::initializer_list<const char*> words) {
        for (const char* w : words)
            if (n.find(w) != std::string::npos) return true;
        return false;
    };
    const bool bold = has({"bold", "black", "heavy", "demi"});
    const bool slanted = has({"italic", "oblique"});
    const bool mono = has({"mono", "courier", "consol", "typewriter", "fixed"});
    const bool serif = !mono && !has({"sans"}) &&
                       has({"serif", "times", "roman", "georgia", "garamond", "minion", "cambria",
                            "palatino", "bookman", "century", "baskerville", "mincho", "song"});
    const int family = mono ? 32 : serif ? 28 : HELVETICA_NO;
    return family + (bold ? 1 : 0) + (slanted ? 2 : 0);
}

int extended_standin(int standard) {
    return standard >= 32 && standard <= 35 ? HELVETICA_NO : standard;
}

const char* standin_font_name(int fallback, int standard) {
    if (fallback == FALLBACK_JAPANESE) return JAPANESE_FALLBACK_NAME;
    if (fallback != FALLBACK_LATIN) standard = extended_standin(standard);
    static const char* const faces[16] = {"Helv", "HeBo", "HeOb", "HeBO", "Helv", "HeBo",
                                          "HeOb", "HeBO", "TiRo", "TiBo", "TiIt", "TiBI",
                                          "Cour", "CoBo", "CoOb", "CoBO"};
    static const std::array<std::array<std::string, 3>, 16> names = [] {
        std::array<std::array<std::string, 3>, 16> n;
        for (int k = 0; k < 16; ++k)
            for (int f = 0; f < 3; ++f)
                n[static_cast<size_t>(k)][static_cast<size_t>(f)] = std::string("TsFb") + faces[k] +
                                                                    (f == 1   ? "X"
                                                                     : f == 2 ? "Y"
                                                                              : "");
        return n;
    }();
    const int k = standard - HELVETICA_NO;
    const size_t face = k >= 0 && k < 16 ? static_cast<size_t>(k) : 0;
    return names[face][static_cast<size_t>(fallback >= 0 && fallback < 3 ? fallback : 0)].c_str();
}
