// Keys of the Standard security handler, revision 2 (ISO 32000-1, 7.6.3): the permission
// word, the owner value O, the user value U, the 40-bit document key and the per-object keys.
#pragma once

#include <cstdint>

#include "generator/rc4.h"

constexpr int CRYPT_KEY_LEN = 5;        // 40-bit document key
constexpr int CRYPT_PASSWORD_LEN = 32;  // padded password; longer passwords use their first 32

// Permission bits set by the arguments of setCryptMode.
constexpr uint32_t PERM_PRINT = 4;
constexpr uint32_t PERM_MODIFY = 8;
constexpr uint32_t PERM_COPY = 16;
constexpr uint32_t PERM_ANNOTATE = 32;

struct CryptState {
    int f_crypt_mode = 0;        // 1 once encryption has been requested
    uint32_t g_permissions = 0;  // the permission word P; 0 until set up
    unsigned char ownerKey[32] = {};
    unsigned char userKey[32] = {};
    unsigned char rc4mkey[CRYPT_KEY_LEN] = {};
    Rc4 rc4 = {};            // rc4state, rc4x, rc4y
    int encrypt_obj_no = 0;  // number of the encryption dictionary object; 0: none
};

extern CryptState g_crypt;

// The permission bits that the four arguments grant (a non-zero argument sets its bit).
uint32_t permission_bits(int pr_perm, int mod_perm, int cp_perm, int ed_perm);

// Completes the permission word (bits 1-2 clear, 7-32 set) and computes ownerKey, rc4mkey and
// userKey from the two passwords (NUL-terminated bytes) and the first 16 bytes of document_id.
// An empty owner password stands for the user password.
void setupAllKeys(const char* userPassword, const char* ownerPassword, uint32_t* permissions,
                  const unsigned char* document_id);

// RC4 over g_crypt.rc4.
void initRC4Key(const unsigned char* key, int len);
void encryptRC4(unsigned char* dataIn, int len);
// Sets up g_crypt.rc4 with the key of object (number, generation) (Algorithm 1).
void initRC4ObjID(int number, int generation);
