#include "generator/simple_encoding.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "generator/font_cache.h"
#include "generator/generated/glyph_names.h"
#include "store/element_ops.h"
#include "store/name_codec.h"

namespace {

uint16_t hex_char(std::string_view h) {
    if (h.size() < 4 || h.size() > 6) return 0;
    unsigned v = 0;
    for (char c : h) {
        const bool digit = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
        if (!digit) return 0;
        v = v * 16 + static_cast<unsigned>(formatChar2Byte(c));
    }
    return v <= 0xFFFF && (v < 0xD800 || v > 0xDFFF) ? static_cast<uint16_t>(v) : 0;
}

const uint16_t* named_table(const char* name) {
    if (!name) return nullptr;
    if (std::strcmp(name, "StandardEncoding") == 0) return kStandardEncoding;
    if (std::strcmp(name, "MacRomanEncoding") == 0) return kMacRomanEncoding;
    if (std::strcmp(name, "WinAnsiEncoding") == 0) return kWinAnsiEncoding;
    return nullptr;
}

// Applies a /Differences array text: a number sets the next code, each name takes the code
// and moves on by one.
void apply_differences(const char* p, const char* end, uint16_t* chars) {
    int code = -1;
    while (p < end) {
        if (*p == '/') {
            const char* s = ++p;
            while (p < end && std::strchr(" \t\r\n/[]<>()%", *p) == nullptr) ++p;
            if (code >= 0 && code < 256) {
                // Names are kept as the form writes them: "#xx" escapes are decoded here.
                char buf[64];
                size_t n = 0;
                for (const char* q = s; q < p && n + 1 < sizeof buf; ++q) {
                    if (*q == '#' && q + 2 < p) {
                        buf[n++] =
                            static_cast<char>(formatChar2Byte(q[1]) * 16 + formatChar2Byte(q[2]));
                        q += 2;
                    } else {
                        buf[n++] = *q;
                    }
                }
                chars[code] = glyph_name_char(buf, n);
            }
            if (code >= 0) ++code;
        } else if (*p >= '0' && *p <= '9') {
            int v = 0;
            while (p < end && *p >= '0' && *p <= '9') {
                if (v < 1000) v = v * 10 + (*p - '0');
                ++p;
            }
            code = v;
        } else {
            ++p;
        }
    }
}

// A font of one-byte codes: not a Type 0 font (its codes are CIDs) and not a Type 3 font.
bool one_byte_font(int font) {
    const char* subtype = get_elem_name(font, nullptr, "Subtype");
    return subtype && (std::strcmp(subtype, "TrueType") == 0 ||
                       std::strcmp(subtype, "Type1") == 0 || std::strcmp(subtype, "MMType1") == 0);
}

bool build(int font, SimpleEncoding& enc) {
    uint16_t chars[256] = {};  // the character of each code; 0: none
    if (!valid_xref(font) || !one_byte_font(font)) return false;
    const int entry = dict_entry(font, "Encoding");
    if (entry == -1) return false;
    const uint16_t* base = nullptr;
    if (const char* name = get_elem_name(font, nullptr, "Encoding")) {
        // WinAnsiEncoding lays out Latin-1 as its code points: the fill's own rule.
        if (std::strcmp(name, "WinAnsiEncoding") == 0) return false;
        base = named_table(name);
        if (!base) return false;
        std::copy(base, base + 256, chars);
    } else {
        const Dict d = Dict{font, 0}.sub("Encoding");
        if (!d.valid()) return false;
        const char* base_name = nullptr;
        if (int b = d.find("BaseEncoding");
            b != -1 && g_st.p_elem_strage[b].f_type == ELEM_TYPE_NAME)
            base_name = g_st.p_elem_strage[b].data.name;
        // Without a base encoding, a font's own encoding is its base: StandardEncoding for the
        // text fonts that forms use.
        base = named_table(base_name ? base_name : "StandardEncoding");
        if (base) std::copy(base, base + 256, chars);
        const int diff = deref_value(d.find("Differences"));
        if (diff != -1) {
            const st_elem& e = g_st.p_elem_strage[diff];
            if (e.f_type == ELEM_TYPE_STRING && e.data.str.type == STR_ARRAY) {
                const char* t = elem_bytes(e);
                apply_differences(t, t + e.data.str.len, chars);
            }
        }
    }
    chars[0] = 0;
    for (int c = 0; c < 256; ++c)
        if (chars[c] != 0) enc.codes.emplace_back(chars[c], static_cast<uint8_t>(c));
    // The lowest code of a character wins where the encoding gives it several.
    std::stable_sort(enc.codes.begin(), enc.codes.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    enc.ascii_same = true;
    for (int c = 0x20; c < 0x7F; ++c)
        if (c != 0x27 && c != 0x60 && chars[c] != c) enc.ascii_same = false;
    return true;
}

FontCache<SimpleEncoding> g_cache;

}  // namespace

int SimpleEncoding::code_of(int32_t u) const {
    if (u <= 0 || u > 0xFFFF) return -1;
    auto it = std::lower_bound(codes.begin(), codes.end(), static_cast<uint16_t>(u),
                               [](const auto& e, uint16_t v) { return e.first < v; });
    return it != codes.end() && it->first == u ? it->second : -1;
}

uint16_t glyph_name_char(const char* name, size_t len) {
    std::string_view n(name, len);
    // "a.sc" is a form of "a"; "f_i" a ligature of several characters, none of the value's.
    if (size_t dot = n.find('.'); dot != std::string_view::npos) n = n.substr(0, dot);
    if (n.empty() || n.find('_') != std::string_view::npos) return 0;
    auto it = std::lower_bound(std::begin(kGlyphNames), std::end(kGlyphNames), n,
                               [](const GlyphName& g, std::string_view v) { return g.name < v; });
    if (it != std::end(kGlyphNames) && it->name == n) return it->u;
    if (n.size() == 7 && n.substr(0, 3) == "uni") return hex_char(n.substr(3));
    if (n.size() >= 5 && n[0] == 'u') return hex_char(n.substr(1));
    return 0;
}

const SimpleEncoding* simple_encoding(int font) {
    return g_cache.get(font, build);
}
