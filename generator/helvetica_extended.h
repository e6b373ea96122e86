#pragma once

#include <cstdint>
#include <string>

#include "generator/fallback_fonts.h"

// Letters that WinAnsiEncoding lacks but that Helvetica has: Latin Extended-A and the Romanian
// comma-below letters (Polish, Czech, Hungarian, Romanian, Turkish, Baltic names), Cyrillic and
// Greek. They are shown through further non-embedded Helvetica fonts whose /Differences name
// their glyphs, so that they print in the same face and at their own widths rather than in
// the Japanese fallback font.

// A code of one of these fonts (FALLBACK_LATIN_EXTENDED or FALLBACK_CYRILLIC_GREEK); code 0
// for a character neither shows.
struct ExtendedCode {
    Fallback font;
    int code;
};

// The font and code that show code point `u`.
ExtendedCode helvetica_extended_code(int32_t u);
// The face (0-7: Helvetica, -Bold, -Oblique, -BoldOblique, then the four Times faces) of
// standard font number `standard`; 0 for any other, Courier's among them.
int standin_face(int standard);
// The advance width of a code in thousandths of the font size (0 for an unused code), in
// face `face` of the stand-in.
int helvetica_extended_width(ExtendedCode c, int face = 0);
// The /Differences array of `font`, without its brackets.
const std::string& helvetica_extended_differences(Fallback font);
// Its /Widths array, without brackets, from *first_code to *last_code. Viewers' own Helvetica
// metrics lack many of these glyphs, so the widths are always given.
const std::string& helvetica_extended_widths(Fallback font, int* first_code, int* last_code,
                                             int face = 0);
