#include "generator/rc4.h"

#include <cstring>

namespace {

struct Identity {
    unsigned char bytes[256];
    constexpr Identity() : bytes() {
        for (int k = 0; k < 256; ++k) bytes[k] = static_cast<unsigned char>(k);
    }
};
constexpr Identity kIdentity;

}  // namespace

void rc4_init(Rc4& r, const unsigned char* key, int len) {
    std::memcpy(r.state, kIdentity.bytes, 256);
    r.x = 0;
    r.y = 0;
    if (len <= 0) return;
    if (len > 256) len = 256;
    // The key repeated over 256 bytes, so that the schedule itself needs no division.
    unsigned char k256[256];
    std::memcpy(k256, key, static_cast<size_t>(len));
    for (int have = len; have < 256; have *= 2)
        std::memcpy(k256 + have, k256, static_cast<size_t>(have < 256 - have ? have : 256 - have));
    unsigned char* s = r.state;
    unsigned j = 0;
    for (int k = 0; k < 256; ++k) {
        unsigned char t = s[k];
        j = (j + t + k256[k]) & 0xFF;
        s[k] = s[j];
        s[j] = t;
    }
}

void rc4_crypt(Rc4& r, unsigned char* data, size_t len) {
    unsigned char* s = r.state;
    unsigned x = static_cast<unsigned>(r.x), y = static_cast<unsigned>(r.y);
    for (size_t i = 0; i < len; ++i) {
        x = (x + 1) & 0xFF;
        unsigned char sx = s[x];
        y = (y + sx) & 0xFF;
        unsigned char sy = s[y];
        s[x] = sy;
        s[y] = sx;
        data[i] ^= s[(sx + sy) & 0xFF];
    }
    r.x = static_cast<int>(x);
    r.y = static_cast<int>(y);
}
