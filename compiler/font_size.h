// The font size of a field's default appearance, as the field record holds it.
#pragma once

#include "store/records.h"

// The largest font size a field record holds in tenths of a point (16 bits).
constexpr double MAX_FIELD_FONT_SIZE = 3276.0;

// Stores the size text of a /DA ("12", "9.5") in the record: font_size gets its whole
// points (the integer prefix, 0 when there is none), font_size10 its tenths. A size whose
// magnitude the record cannot hold is clamped to MAX_FIELD_FONT_SIZE; returns false then.
bool set_field_font_size(st_field& field, const char* size_text);
