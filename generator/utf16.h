// Characters as UTF-16 units, for text strings (field values, /ActualText) and for the
// two-byte codes of Unicode CMaps.
#pragma once

#include <cstdint>
#include <string>

// Calls fn(unit) for the UTF-16 units of character c: one, or the surrogate pair of a
// character beyond the Basic Multilingual Plane. A value that is no code point is U+FFFD;
// values below 0x10000 are passed as they are (a font's codes may be anything there).
template <typename Fn>
inline void utf16_units(int32_t c, Fn&& fn) {
    if (c < 0 || c > 0x10FFFF) c = 0xFFFD;
    if (c <= 0xFFFF) {
        fn(static_cast<uint32_t>(c));
        return;
    }
    const uint32_t v = static_cast<uint32_t>(c) - 0x10000;
    fn(0xD800 + (v >> 10));
    fn(0xDC00 + (v & 0x3FF));
}

// Appends character c as the hexadecimal digits of its UTF-16 units.
inline void append_utf16_hex(std::string& out, int32_t c) {
    static const char hex[] = "0123456789ABCDEF";
    utf16_units(c, [&](uint32_t u) {
        for (int shift = 12; shift >= 0; shift -= 4) out.push_back(hex[(u >> shift) & 15]);
    });
}
