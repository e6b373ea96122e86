#include "compiler/font_size.h"

#include <cmath>
#include <cstdlib>

bool set_field_font_size(st_field& field, const char* size_text) {
    double v = std::strtod(size_text, nullptr);
    // The whole points are the integer prefix of the text: "12.5" gives 12, ".5" gives 0.
    const char* p = size_text;
    if (*p == '+' || *p == '-') ++p;
    bool has_int = *p >= '0' && *p <= '9';
    bool in_range = std::isfinite(v) && std::fabs(v) <= MAX_FIELD_FONT_SIZE + 0.9;
    if (std::isnan(v)) v = 0;
    if (!in_range) v = v < 0 ? -MAX_FIELD_FONT_SIZE : MAX_FIELD_FONT_SIZE;
    field.font_size = static_cast<int16_t>(has_int ? std::trunc(v) : 0);
    field.font_size10 = static_cast<int16_t>(v * 10);
    return in_range;
}
