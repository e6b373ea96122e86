#include "generator/crypt_keys.h"

#include <cstring>

#include "generator/md5.h"

CryptState g_crypt;

namespace {

// Password padding string (ISO 32000-1, 7.6.3.3, Algorithm 2 step a).
constexpr unsigned char pad[32] = {0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E,
                                   0x56, 0xFF, 0xFA, 0x01, 0x08, 0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68,
                                   0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

// The password's first 32 bytes, followed by as much of the padding string as fills 32.
void pad_password(const char* password, unsigned char out[32]) {
    size_t n = password ? strnlen(password, CRYPT_PASSWORD_LEN) : 0;
    if (n) std::memcpy(out, password, n);
    std::memcpy(out + n, pad, CRYPT_PASSWORD_LEN - n);
}

}  // namespace

uint32_t permission_bits(int pr_perm, int mod_perm, int cp_perm, int ed_perm) {
    uint32_t p = 0;
    if (pr_perm) p |= PERM_PRINT;
    if (mod_perm) p |= PERM_MODIFY;
    if (cp_perm) p |= PERM_COPY;
    if (ed_perm) p |= PERM_ANNOTATE;
    return p;
}

void setupAllKeys(const char* userPassword, const char* ownerPassword, uint32_t* permissions,
                  const unsigned char* document_id) {
    *permissions = (*permissions | 0xFFFFFFC0u) & 0xFFFFFFFCu;

    unsigned char user[32], owner[32];
    pad_password(userPassword, user);
    // Without an owner password the user password keys O (ISO 32000-1, Algorithm 3 step a):
    // keyed with the bare padding instead, O would let anyone recover the user password.
    bool no_owner = !ownerPassword || ownerPassword[0] == 0;
    pad_password(no_owner ? userPassword : ownerPassword, owner);

    // O (Algorithm 3, revision 2): the padded user password under the owner password's key.
    const unsigned char* digest = md5ComputeHash(owner, 32);
    Rc4 r;
    rc4_init(r, digest, CRYPT_KEY_LEN);
    std::memcpy(g_crypt.ownerKey, user, 32);
    rc4_crypt(r, g_crypt.ownerKey, 32);

    // Document key (Algorithm 2): padded user password, O, P (lowest byte first), ID.
    unsigned char in[84];
    std::memcpy(in, user, 32);
    std::memcpy(in + 32, g_crypt.ownerKey, 32);
    for (int i = 0; i < 4; ++i) in[64 + i] = static_cast<unsigned char>(*permissions >> (8 * i));
    std::memcpy(in + 68, document_id, 16);
    digest = md5ComputeHash(in, sizeof in);
    std::memcpy(g_crypt.rc4mkey, digest, CRYPT_KEY_LEN);

    // U (Algorithm 4): the padding string under the document key.
    rc4_init(r, g_crypt.rc4mkey, CRYPT_KEY_LEN);
    std::memcpy(g_crypt.userKey, pad, 32);
    rc4_crypt(r, g_crypt.userKey, 32);
}

void initRC4Key(const unsigned char* key, int len) {
    rc4_init(g_crypt.rc4, key, len);
}

void encryptRC4(unsigned char* dataIn, int len) {
    if (len > 0) rc4_crypt(g_crypt.rc4, dataIn, static_cast<size_t>(len));
}

void initRC4ObjID(int number, int generation) {
    unsigned char in[CRYPT_KEY_LEN + 5];
    std::memcpy(in, g_crypt.rc4mkey, CRYPT_KEY_LEN);
    in[5] = static_cast<unsigned char>(number);
    in[6] = static_cast<unsigned char>(number >> 8);
    in[7] = static_cast<unsigned char>(number >> 16);
    in[8] = static_cast<unsigned char>(generation);
    in[9] = static_cast<unsigned char>(generation >> 8);
    initRC4Key(md5ComputeHash(in, sizeof in), CRYPT_KEY_LEN + 5);
}
