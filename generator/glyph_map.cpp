#include "generator/glyph_map.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "generator/font_cache.h"
#include "store/element_ops.h"
#include "store/element_walk.h"
#include "store/inflate.h"
#include "store/storages.h"
#include "store/width_arrays.h"

namespace {

// Bounds against damaged maps: a range maps at most this many codes, a map at most as many
// pairs as two-byte codes exist.
constexpr uint32_t MAX_RANGE = 0x10000;
constexpr size_t MAX_PAIRS = 0x10000;
// A map's text is a few hundred kilobytes at most.
constexpr size_t MAX_MAP_TEXT = size_t{16} << 20;

bool is_space(char c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == 0;
}

bool is_delimiter(char c) {
    return is_space(c) || c == '<' || c == '>' || c == '[' || c == ']' || c == '(' || c == ')' ||
           c == '/' || c == '%' || c == '{' || c == '}';
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The CMap text as tokens: hex strings (their bytes), brackets and words.
struct CMapReader {
    const char* p = nullptr;
    const char* end = nullptr;
    enum Kind { hex, open, close, word, done } kind = done;
    std::string bytes;  // a hex string's bytes
    const char* tok = nullptr;
    size_t tok_len = 0;

    Kind next() {
        for (;;) {
            while (p < end && is_space(*p)) ++p;
            if (p < end && *p == '%') {
                while (p < end && *p != '\n' && *p != '\r') ++p;
                continue;
            }
            break;
        }
        if (p >= end) return kind = done;
        const char c = *p;
        if (c == '<' && p + 1 < end && p[1] == '<') {
            p += 2;
            return kind = word;
        }
        if (c == '<') {
            bytes.clear();
            int high = -1;
            for (++p; p < end && *p != '>'; ++p) {
                int d = hex_digit(*p);
                if (d < 0) continue;
                if (high < 0) {
                    high = d;
                } else {
                    bytes.push_back(static_cast<char>(high * 16 + d));
                    high = -1;
                }
            }
            if (high >= 0) bytes.push_back(static_cast<char>(high * 16));
            if (p < end) ++p;
            return kind = hex;
        }
        if (c == '[' || c == ']') {
            ++p;
            return kind = c == '[' ? open : close;
        }
        if (c == '(') {
            int depth = 0;
            for (; p < end; ++p) {
                if (*p == '\\' && p + 1 < end) {
                    ++p;
                    continue;
                }
                if (*p == '(') ++depth;
                if (*p == ')' && --depth == 0) break;
            }
            if (p < end) ++p;
            return kind = word;
        }
        tok = p;
        ++p;
        while (p < end && !is_delimiter(*p)) ++p;
        tok_len = static_cast<size_t>(p - tok);
        return kind = word;
    }

    bool is(const char* w) const {
        return kind == word && tok_len == std::strlen(w) && std::memcmp(tok, w, tok_len) == 0;
    }
};

// A code of one or two bytes, or -1.
long code_of(const std::string& b) {
    if (b.empty() || b.size() > 2) return -1;
    long v = 0;
    for (char c : b) v = v * 256 + static_cast<unsigned char>(c);
    return v;
}

// The one character of UTF-16BE bytes, or -1 (none, or several: a ligature).
int32_t char_of(const std::string& b) {
    auto unit = [&](size_t i) {
        return static_cast<int32_t>(static_cast<unsigned char>(b[i]) * 256 +
                                    static_cast<unsigned char>(b[i + 1]));
    };
    if (b.size() == 2) {
        int32_t u = unit(0);
        return u >= 0xD800 && u <= 0xDFFF ? -1 : u;
    }
    if (b.size() == 4) {
        int32_t hi = unit(0), lo = unit(2);
        if (hi >= 0xD800 && hi <= 0xDBFF && lo >= 0xDC00 && lo <= 0xDFFF)
            return 0x10000 + ((hi - 0xD800) << 10) + (lo - 0xDC00);
    }
    return -1;
}

FontCache<GlyphMap> g_cache;

// The text of stream object `obj`, inflated when Flate-encoded; false for other filters.
bool stream_text(int obj, std::string& out) {
    int data = dict_entry(obj, LABEL_STREAM);
    if (data == -1) return false;
    const st_elem& e = g_st.p_elem_strage[data];
    if (e.f_type != ELEM_TYPE_STRING || e.data.str.type != STR_STREAM) return false;
    const char* bytes = elem_bytes(e);
    const size_t len = static_cast<size_t>(e.data.str.len);
    if (dict_entry(obj, "Filter") == -1) {
        out.assign(bytes, len);
        return true;
    }
    const char* filter = get_elem_name(obj, nullptr, "Filter");
    if (!filter || std::strcmp(filter, "FlateDecode") != 0 || dict_entry(obj, "DecodeParms") != -1)
        return false;
    return inflate_data(bytes, len, out, MAX_MAP_TEXT) ||
           (!out.empty() && out.size() < MAX_MAP_TEXT);
}

// The glyphs a TrueType font program has an outline for, by glyph number: empty when the
// program cannot be read.
std::vector<bool> glyphs_drawn(const std::string& f) {
    auto u16 = [&f](size_t at) -> uint32_t {
        return at + 2 <= f.size() ? (static_cast<unsigned char>(f[at]) << 8) |
                                        static_cast<unsigned char>(f[at + 1])
                                  : 0;
    };
    auto u32 = [&](size_t at) { return (u16(at) << 16) | u16(at + 2); };
    size_t head = 0, maxp = 0, loca = 0, loca_len = 0;
    const uint32_t tables = u16(4);
    for (uint32_t i = 0; i < tables; ++i) {
        const size_t rec = 12 + 16 * static_cast<size_t>(i);
        if (rec + 16 > f.size()) return {};
        const std::string tag = f.substr(rec, 4);
        const size_t at = u32(rec + 8), len = u32(rec + 12);
        if (at > f.size() || len > f.size() - at) return {};
        if (tag == "head") head = at;
        if (tag == "maxp") maxp = at;
        if (tag == "loca") loca = at, loca_len = len;
    }
    if (head == 0 || maxp == 0 || loca == 0) return {};
    const bool long_offsets = u16(head + 50) == 1;
    const size_t glyphs = u16(maxp + 4);
    if ((glyphs + 1) * (long_offsets ? 4 : 2) > loca_len) return {};
    std::vector<bool> drawn(glyphs, false);
    for (size_t g = 0; g < glyphs; ++g) {
        const uint32_t from = long_offsets ? u32(loca + 4 * g) : 2 * u16(loca + 2 * g);
        const uint32_t to = long_offsets ? u32(loca + 4 * g + 4) : 2 * u16(loca + 2 * g + 2);
        drawn[g] = to > from;
    }
    return drawn;
}

bool is_blank(int32_t u) {
    return u == 0x20 || u == 0xA0 || u == 0x3000 || (u >= 0x2000 && u <= 0x200B);
}

// A subset keeps the outlines of the glyphs it was made for: only the characters whose glyph
// its font program draws (or that need none, as a space) stay in its map. False when the
// program is no TrueType that can be read, so that nothing of the subset is taken.
bool keep_drawn_glyphs(int desc, std::vector<GlyphEntry>& entries) {
    const int fd = desc == -1 ? -1 : get_xref_absolute(desc, "FontDescriptor");
    const int file = valid_xref(fd) && fd != desc && dict_entry(fd, "FontFile2") != -1
                         ? get_xref_absolute(fd, "FontFile2")
                         : -1;
    std::string program;
    if (!valid_xref(file) || file == fd || !stream_text(file, program)) return false;
    const std::vector<bool> drawn = glyphs_drawn(program);
    if (drawn.empty()) return false;
    // The glyph of a code: the code itself, or as /CIDToGIDMap's stream gives it.
    std::string gids;
    const int map =
        dict_entry(desc, "CIDToGIDMap") == -1 ? -1 : get_xref_absolute(desc, "CIDToGIDMap");
    const bool mapped = valid_xref(map) && map != desc && stream_text(map, gids);
    std::erase_if(entries, [&](const GlyphEntry& e) {
        size_t g = e.cid;
        if (mapped) {
            if (2 * g + 2 > gids.size()) return true;
            g = (static_cast<unsigned char>(gids[2 * g]) << 8) |
                static_cast<unsigned char>(gids[2 * g + 1]);
        }
        return !is_blank(e.u) && (g == 0 || g >= drawn.size() || !drawn[g]);
    });
    return true;
}

bool build(int font, GlyphMap& map) {
    int tu = dict_entry(font, "ToUnicode") == -1 ? -1 : get_xref_absolute(font, "ToUnicode");
    std::string text;
    if (!valid_xref(tu) || tu == font || !stream_text(tu, text)) return false;
    const auto pairs = to_unicode_pairs(text.data(), text.size());
    if (pairs.empty()) return false;
    const int desc = listed_object(font, "DescendantFonts");
    double dw = 1000;
    std::vector<double> widths;
    if (desc != -1) {
        int v = get_elem_int(desc, nullptr, "DW");
        if (v >= 0) dw = v;
        widths.assign(MAX_RANGE, dw);
        int len = 0;
        const char* w = get_elem_string(desc, nullptr, "W", &len);
        if (w) read_cid_widths(w, len, widths.data(), static_cast<int>(widths.size()));
    }
    std::vector<GlyphEntry>& out = map.entries;
    for (auto [code, u] : pairs) {
        if (code >= MAX_RANGE || u < 0x20) continue;
        const double w = widths.empty() ? dw : widths[code];
        out.push_back({u, static_cast<uint16_t>(code), static_cast<float>(w)});
    }
    const char* base = get_elem_name(font, nullptr, "BaseFont");
    if (base && subset_name(base) && !keep_drawn_glyphs(desc, out)) out.clear();
    // One code per character: the lowest, where several glyphs show it.
    std::sort(out.begin(), out.end(), [](const GlyphEntry& a, const GlyphEntry& b) {
        return a.u != b.u ? a.u < b.u : a.cid < b.cid;
    });
    out.erase(std::unique(out.begin(), out.end(),
                          [](const GlyphEntry& a, const GlyphEntry& b) { return a.u == b.u; }),
              out.end());
    return !out.empty();
}

}  // namespace

bool subset_name(const char* name) {
    for (int i = 0; i < 6; ++i)
        if (name[i] < 'A' || name[i] > 'Z') return false;
    return name[6] == '+';
}

const GlyphEntry* GlyphMap::find(int32_t u) const {
    auto it = std::lower_bound(entries.begin(), entries.end(), u,
                               [](const GlyphEntry& e, int32_t v) { return e.u < v; });
    return it != entries.end() && it->u == u ? &*it : nullptr;
}

std::vector<std::pair<uint32_t, int32_t>> to_unicode_pairs(const char* text, size_t len) {
    std::vector<std::pair<uint32_t, int32_t>> pairs;
    CMapReader r;
    r.p = text;
    r.end = text + len;
    enum { none, chars, ranges } mode = none;
    auto add = [&](long code, int32_t u) {
        if (code >= 0 && u > 0 && u <= 0x10FFFF && pairs.size() < MAX_PAIRS)
            pairs.emplace_back(static_cast<uint32_t>(code), u);
    };
    // A section's keywords count wherever they stand, also where an entry is cut short.
    auto keyword = [&] {
        if (r.is("beginbfchar")) mode = chars;
        if (r.is("beginbfrange")) mode = ranges;
        if (r.is("endbfchar") || r.is("endbfrange")) mode = none;
    };
    while (r.next() != CMapReader::done) {
        keyword();
        if (r.kind != CMapReader::hex || mode == none) continue;
        const long lo = code_of(r.bytes);
        if (r.next() != CMapReader::hex) {
            keyword();
            continue;
        }
        if (mode == chars) {
            add(lo, char_of(r.bytes));
            continue;
        }
        const long hi = code_of(r.bytes);
        const bool ok = lo >= 0 && hi >= lo && static_cast<uint32_t>(hi - lo) < MAX_RANGE;
        r.next();
        keyword();
        if (r.kind == CMapReader::hex) {
            const int32_t first = char_of(r.bytes);
            // A range may start at U+0000 (an identity map): its later codes are characters.
            if (ok && first >= 0)
                for (long c = lo; c <= hi; ++c) add(c, first + static_cast<int32_t>(c - lo));
        } else if (r.kind == CMapReader::open) {
            for (long c = lo; r.next() == CMapReader::hex; ++c)
                if (ok && c <= hi) add(c, char_of(r.bytes));
        }
    }
    return pairs;
}

const GlyphMap* identity_glyphs(int font) {
    return g_cache.get(font, build);
}
