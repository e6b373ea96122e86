#pragma once

#include <cstdint>
#include <string>

// The Latin letters that WinAnsiEncoding lacks (Polish, Czech, Hungarian, Romanian, Turkish,
// Baltic...), shown through a second Helvetica whose /Differences names their glyphs, so that
// they print as letters of the same face rather than in a Japanese font or not at all.

// The code of code point `u` in that font, or 0 when it has none.
int latin_extended_code(int32_t u);
// The advance width of `code` in thousandths of the font size (0 for an unused code).
int latin_extended_width(int code);
// The font's /Differences array, without its brackets.
const std::string& latin_extended_differences();
