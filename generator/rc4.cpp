// The PDF security handler is written in terms of RC4's own key schedule and output step,
// which libcrypto keeps as its low-level calls.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "generator/rc4.h"

void rc4_init(Rc4& r, const unsigned char* key, int len) {
    if (len <= 0) {
        // No key bytes: the identity permutation, as a schedule over nothing leaves it.
        for (int k = 0; k < 256; ++k) r.key.data[k] = static_cast<RC4_INT>(k);
        r.key.x = r.key.y = 0;
        return;
    }
    RC4_set_key(&r.key, len < 256 ? len : 256, key);
}

void rc4_crypt(Rc4& r, unsigned char* data, size_t len) {
    RC4(&r.key, len, data, data);
}
