// The characters of a field font whose codes are glyph numbers (an Identity-H Type 0 font,
// as form editors embed a font of their own): which characters it has, their codes and
// their widths, read from the font's /ToUnicode map and its descendant's /W.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

struct GlyphEntry {
    int32_t u = 0;     // the character
    uint16_t cid = 0;  // its code in the font
    float width = 0;   // in thousandths of the font size
};

struct GlyphMap {
    std::vector<GlyphEntry> entries;  // by character

    // The entry of character u, or nullptr when the font has no glyph for it.
    const GlyphEntry* find(int32_t u) const;
};

// The map of Type 0 font object `font` of the loaded template, or nullptr when the font has
// no /ToUnicode map that names characters of its codes. A subset's map holds only the
// characters whose glyphs its TrueType program draws (none when the program is of another
// kind). Made once per template content and
// font; valid until the next call.
const GlyphMap* identity_glyphs(int font);

// True when a font name is that of an embedded subset ("ABCDEF+Name").
bool subset_name(const char* name);

// The one-character mappings of a /ToUnicode CMap's text, as (code, character) pairs:
// codes of one or two bytes, characters of one UTF-16 unit or a surrogate pair.
std::vector<std::pair<uint32_t, int32_t>> to_unicode_pairs(const char* text, size_t len);
