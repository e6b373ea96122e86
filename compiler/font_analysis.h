// Font analysis: turns a font object that a field uses into the field's font number, either
// the negated number of a standard Type 1 font or the index of a font record holding the
// font's name, encoding kind, line height and widths.
#pragma once

#include <cstdint>

#include "store/records.h"

// Analyses font object `font_obj` and returns the font number for the field record. A font
// met before (same /BaseFont) returns its existing record. Unicode CMap names are rewritten
// to the horizontal UCS-2 or UTF-16 one that the JIS X 0213 switch selects.
int analyse_font(int font_obj);

// The encoding kind of an /Encoding name: 'T', 'S', 'P' or 'U' (a name that matches none
// of them counts as 'S').
char encoding_kind_of(const char* encoding_name);

// Stores widths in a font record: whole thousandths, or sixteenths of them when some width
// is fractional and every width fits that scale.
void store_widths(st_font& f, const double* widths, double default_width);
