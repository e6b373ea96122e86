#include "generator/rc4.h"

void rc4_init(Rc4& r, const unsigned char* key, int len) {
    for (int k = 0; k < 256; ++k) r.state[k] = static_cast<unsigned char>(k);
    if (len > 0) {
        int j = 0;
        for (int k = 0; k < 256; ++k) {
            j = (j + r.state[k] + key[k % len]) & 0xFF;
            unsigned char t = r.state[k];
            r.state[k] = r.state[j];
            r.state[j] = t;
        }
    }
    r.x = 0;
    r.y = 0;
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
