// Code points to UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>

// Writes the UTF-8 form of code point u to out (1 to 4 bytes) and returns how many bytes it
// wrote. Values from U+10000 up take four bytes; the caller rejects those above U+10FFFF where
// they matter.
inline size_t utf8_encode(uint32_t u, char out[4]) {
    if (u < 0x80) {
        out[0] = static_cast<char>(u);
        return 1;
    }
    if (u < 0x800) {
        out[0] = static_cast<char>(0xC0 | (u >> 6));
        out[1] = static_cast<char>(0x80 | (u & 0x3F));
        return 2;
    }
    if (u < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (u >> 12));
        out[1] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (u & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (u >> 18));
    out[1] = static_cast<char>(0x80 | ((u >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (u & 0x3F));
    return 4;
}
