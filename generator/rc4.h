// RC4 stream cipher: key scheduling and the output step. Encryption and decryption are the
// same operation.
#pragma once

#include <cstddef>

struct Rc4 {
    unsigned char state[256];
    int x, y;
};

// Key scheduling over len key bytes (1..256); x and y start at 0.
void rc4_init(Rc4& r, const unsigned char* key, int len);
// XORs len bytes in place with the next len bytes of the key stream.
void rc4_crypt(Rc4& r, unsigned char* data, size_t len);
