#include "multibyte/utf8_decode.h"

#include <bit>

void utf8_decode(const uint8_t* p, const uint8_t* end, CodePointSink& sink) {
    // Every input byte yields at most one code point; an input longer than the room left is
    // cut to that room, so the loop needs no check of its own.
    if (end - p > sink.end - sink.out) end = p + (sink.end - sink.out);
    int32_t* o = sink.out;
    while (p < end) {
        unsigned b = *p;
        if (b < 0x80) {
            if (b == 0) {
                sink.stopped = true;
                break;
            }
            *o++ = static_cast<int32_t>(b);
            ++p;
            continue;
        }
        // Three-byte characters (all of Japanese) first.
        if ((b & 0xF0) == 0xE0 && end - p >= 3) {
            unsigned c1 = p[1], c2 = p[2];
            uint32_t v = ((b & 0x0F) << 12) | ((c1 & 0x3F) << 6) | (c2 & 0x3F);
            if ((((c1 ^ 0x80) | (c2 ^ 0x80)) & 0xC0) == 0 && v != 0 && v - 0xD800 >= 0x800 &&
                v < 0xFFFE) {
                *o++ = static_cast<int32_t>(v);
                p += 3;
                continue;
            }
        }
        // The lead byte's high one bits count the bytes of the character (2 to 6); the bits
        // below them start its value. One bit is a continuation byte; seven or eight are
        // 0xFE and 0xFF.
        const int ones = std::countl_one(static_cast<uint8_t>(b));
        if (ones < 2 || ones > 6) {
            sink.stopped = true;  // a continuation byte, 0xFE or 0xFF where a character starts
            break;
        }
        const int n = ones - 1;
        uint32_t v = b & (0x7Fu >> ones);
        if (end - p <= n) {
            sink.stopped = true;  // cut off by the end of the input
            break;
        }
        bool ok = true;
        for (int i = 1; i <= n; ++i) {
            uint8_t c = p[i];
            if ((c & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            v = (v << 6) | (c & 0x3F);
        }
        if (!ok || v == 0 || v == 0xFFFE || v == 0xFFFF || (v >= 0xD800 && v <= 0xDFFF) ||
            v > 0x10FFFF) {
            sink.stopped = true;
            break;
        }
        *o++ = static_cast<int32_t>(v);
        p += n + 1;
    }
    sink.out = o;
}
