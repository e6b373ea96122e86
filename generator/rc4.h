// RC4 stream cipher: key scheduling and the output step, from libcrypto. Encryption and
// decryption are the same operation.
#pragma once

#include <openssl/rc4.h>

#include <cstddef>

// The permutation and its two indices.
struct Rc4 {
    RC4_KEY key;
};

// Key scheduling over len key bytes (1..256); the indices start at 0.
void rc4_init(Rc4& r, const unsigned char* key, int len);
// XORs len bytes in place with the next len bytes of the key stream.
void rc4_crypt(Rc4& r, unsigned char* data, size_t len);
