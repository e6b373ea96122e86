// The codes of a field font of one-byte codes (a Type 1 or TrueType font) whose encoding
// lays characters out otherwise than by their own code points: an encoding dictionary with
// /Differences (iText names every code of a Cp1250 or Cp1251 font so), or StandardEncoding or
// MacRomanEncoding by name. Such a font shows a character only under the code its encoding
// gives it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

struct SimpleEncoding {
    std::vector<std::pair<uint16_t, uint8_t>> codes;  // (character, code), by character
    bool ascii_same = false;  // printable ASCII but ' and ` are their own codes

    // The code of character u, or -1 when the encoding has none.
    int code_of(int32_t u) const;
};

// The encoding of font object `font` of the loaded template when it is such a font, or
// nullptr (fonts of two-byte codes, fonts without /Encoding, WinAnsiEncoding by name). Made
// once per template content and font; valid until the next call.
const SimpleEncoding* simple_encoding(int font);

// The character a glyph name stands for (Adobe Glyph List names, "uniXXXX", "uXXXX"), or 0.
uint16_t glyph_name_char(const char* name, size_t len);
