// Advance width of one character in a field's font, in thousandths of the font size.
#pragma once

#include <cstdint>

#include "multibyte/cid_tables.h"
#include "multibyte/font_metrics.h"
#include "store/records.h"

// With the yen-sign option on, a backslash is shown and measured as the yen sign U+00A5.
inline int32_t apply_yen_sign(int32_t u, int yensign) {
    return (yensign != 0 && u == 0x5C) ? 0xA5 : u;
}

// Width of code point `u` (after apply_yen_sign). A negative `font_no` names a standard Type 1
// font (`font` may then be null), whose codes are measured as WinAnsiEncoding lays them out:
// the encoding of the standard fonts of forms, where a Latin-1 letter is its own code.
// Otherwise `font` is the field's template font and `kind` its encoding kind ('T', 'S', 'P',
// 'N', 'U'). Unknown standard fonts and unencoded codes measure 0. Fractional widths of
// template fonts come back as recorded (see st_font::width_scale).
inline float char_width(int font_no, char kind, int32_t u, const st_font* font) {
    if (font_no < 0) {
        int row = -font_no;
        if (row >= FMETRIC_ROWS || u < 0) return 0;
        if (u > 0xFF) return 1000;
        return fmetric_winansi[row][u];
    }
    if (font == nullptr) return 0;
    uint32_t cid;
    if (kind == 'T' || kind == 'N') {
        cid = static_cast<uint32_t>(u);
    } else if (kind == 'S' && u >= 0 && u <= 239) {
        cid = cid_code_s[u];
    } else {
        cid = (u >= 0 && u <= 0xFFFF) ? cid_code_a[u] : 0;
    }
    const float scale = font->width_scale > 0 ? static_cast<float>(font->width_scale) : 1.0f;
    if (cid >= static_cast<uint32_t>(FONT_WIDTHS)) return font->default_width / scale;
    return font->width[cid] / scale;
}
