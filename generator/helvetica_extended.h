#pragma once

#include <cstdint>
#include <string>

// Letters that WinAnsiEncoding lacks but that Helvetica has: Latin Extended-A and the Romanian
// comma-below letters (Polish, Czech, Hungarian, Romanian, Turkish, Baltic names), Cyrillic and
// Greek. They are shown through further non-embedded Helvetica fonts whose /Differences name
// their glyphs, so that they print in the same face and at their own widths rather than in
// the Japanese fallback font.

enum ExtendedFont { EXT_NONE = 0, EXT_LATIN = 1, EXT_CYRILLIC_GREEK = 2, EXT_FONTS = 3 };

struct ExtendedCode {
    ExtendedFont font;
    int code;
};

// The font and code that show code point `u`; font EXT_NONE when none does.
ExtendedCode helvetica_extended_code(int32_t u);
// The advance width of a code in thousandths of the font size (0 for an unused code).
int helvetica_extended_width(ExtendedCode c);
// The /Differences array of `font` (EXT_LATIN or EXT_CYRILLIC_GREEK), without its brackets.
const std::string& helvetica_extended_differences(ExtendedFont font);
// Its /Widths array, without brackets, from *first_code to *last_code. Viewers' own Helvetica
// metrics lack many of these glyphs, so the widths are always given.
const std::string& helvetica_extended_widths(ExtendedFont font, int* first_code, int* last_code);
