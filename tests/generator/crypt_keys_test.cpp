// Key algorithms of the Standard security handler, RC4 and MD5 against independently
// computed values (RFC 1321 test suite, published RC4 vectors, and O/U/key values computed
// with Python's hashlib and a separate RC4 for a fixed document identifier).
#include "generator/crypt_keys.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "generator/md5.h"
#include "generator/rc4.h"

namespace {

std::string md5_hex(const std::string& s) {
    char hex[33];
    hash2hexstr(md5ComputeHash(s.data(), static_cast<int>(s.size())), hex);
    return hex;
}

std::string rc4_hex(const std::string& key, const std::string& text) {
    Rc4 r;
    rc4_init(r, reinterpret_cast<const unsigned char*>(key.data()), static_cast<int>(key.size()));
    std::string buf = text;
    rc4_crypt(r, reinterpret_cast<unsigned char*>(buf.data()), buf.size());
    char hex[3];
    std::string out;
    for (unsigned char c : buf) {
        std::snprintf(hex, sizeof hex, "%02x", c);
        out += hex;
    }
    return out;
}

TEST(Md5, PaddingBoundaries) {
    // Lengths around the padding boundary (55, 56, 64 bytes) against Python's hashlib.
    EXPECT_EQ(md5_hex(std::string(55, 'x')), "04364420E25C512FD958A70738AA8F72");
    EXPECT_EQ(md5_hex(std::string(56, 'x')), "668A72D5BA17F08E62DABCAFAD6DB14B");
    EXPECT_EQ(md5_hex(std::string(64, 'x')), "C1BB4F81D892B2D57947682AEB252456");
}

TEST(Rc4, PublishedVectors) {
    EXPECT_EQ(rc4_hex("Key", "Plaintext"), "bbf316e8d940af0ad3");
    EXPECT_EQ(rc4_hex("Wiki", "pedia"), "1021bf0420");
    EXPECT_EQ(rc4_hex("Secret", "Attack at dawn"), "45a01f645fc35b383552544b9bf5");
}

TEST(Rc4, DecryptionIsEncryption) {
    std::string once = rc4_hex("k3y", "some text");
    Rc4 r;
    rc4_init(r, reinterpret_cast<const unsigned char*>("k3y"), 3);
    unsigned char buf[9];
    for (int i = 0; i < 9; ++i)
        buf[i] = static_cast<unsigned char>(std::stoi(once.substr(i * 2, 2), nullptr, 16));
    rc4_crypt(r, buf, sizeof buf);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 9), "some text");
}

const unsigned char kId[16] = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,
                               0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F};

struct KeysCase {
    const char* user;
    const char* owner;
    uint32_t bits;
    int32_t p;
    unsigned char o[32], u[32], key[5];
};

// Expected values computed independently (Python hashlib and a separate RC4).
const KeysCase kCases[] = {
    {"user",
     "owner",
     PERM_PRINT | PERM_MODIFY | PERM_COPY | PERM_ANNOTATE,
     -4,
     {0x94, 0xE8, 0x09, 0x44, 0x19, 0x66, 0x2A, 0x77, 0x44, 0x42, 0xFB,
      0x07, 0x2E, 0x3D, 0x9F, 0x19, 0xE9, 0xD1, 0x30, 0xEC, 0x09, 0xA4,
      0xD0, 0x06, 0x1E, 0x78, 0xFE, 0x92, 0x0F, 0x7A, 0xB6, 0x2F},
     {0x9D, 0x1D, 0x41, 0xAA, 0xB1, 0x83, 0x34, 0x26, 0x63, 0x9F, 0x81,
      0x8A, 0xEA, 0x50, 0xF6, 0x6E, 0x8B, 0x98, 0xBE, 0x28, 0x7E, 0x8A,
      0xE2, 0xA4, 0x10, 0x31, 0x8B, 0x49, 0x52, 0x5F, 0x84, 0x3E},
     {0xAD, 0x5C, 0x97, 0x30, 0xF0}},
    {"",
     "",
     0,
     -64,
     {0x20, 0x55, 0xC7, 0x56, 0xC7, 0x2E, 0x1A, 0xD7, 0x02, 0x60, 0x8E,
      0x81, 0x96, 0xAC, 0xAD, 0x44, 0x7A, 0xD3, 0x2D, 0x17, 0xCF, 0xF5,
      0x83, 0x23, 0x5F, 0x6D, 0xD1, 0x5F, 0xED, 0x7D, 0xAB, 0x67},
     {0xCC, 0xBF, 0x32, 0xAC, 0xE2, 0xF0, 0xB6, 0x87, 0xDB, 0x7E, 0x50,
      0x07, 0xB5, 0xEF, 0x2E, 0xBF, 0x0C, 0xF7, 0x32, 0x2F, 0xA6, 0xD2,
      0x35, 0xDB, 0x92, 0x2D, 0xE9, 0x1E, 0x36, 0x57, 0xC6, 0x23},
     {0x2D, 0x6F, 0x0D, 0xB2, 0x27}},
    // A 36-byte user password: only its first 32 bytes count.
    {"0123456789abcdefghijklmnopqrstuvwxyz",
     "o",
     PERM_PRINT,
     -60,
     {0xC0, 0x26, 0x63, 0x42, 0x0F, 0x2B, 0xBF, 0x86, 0xBB, 0x4F, 0x18,
      0x52, 0x9B, 0x42, 0x03, 0xAE, 0xD1, 0x15, 0x73, 0x1F, 0x5E, 0x1B,
      0x3D, 0xB2, 0xB0, 0x80, 0xCC, 0xFF, 0xA6, 0xE9, 0x15, 0x79},
     {0x08, 0xCE, 0xD2, 0x73, 0x51, 0x66, 0x17, 0x27, 0x72, 0x47, 0x1F,
      0xFC, 0x62, 0x31, 0x3A, 0x90, 0x94, 0x9C, 0xEC, 0x2F, 0x86, 0xF8,
      0xE1, 0x89, 0x72, 0x1D, 0x96, 0x1E, 0x1B, 0x35, 0x94, 0x18},
     {0x6B, 0xFB, 0xD1, 0x9A, 0x38}},
};

TEST(CryptKeys, MatchPublishedAlgorithmsForFixedInputs) {
    for (const KeysCase& c : kCases) {
        SCOPED_TRACE(c.user);
        g_crypt = CryptState{};
        uint32_t p = c.bits;
        setupAllKeys(c.user, c.owner, &p, kId);
        EXPECT_EQ(static_cast<int32_t>(p), c.p);
        EXPECT_EQ(0, std::memcmp(g_crypt.ownerKey, c.o, 32));
        EXPECT_EQ(0, std::memcmp(g_crypt.userKey, c.u, 32));
        EXPECT_EQ(0, std::memcmp(g_crypt.rc4mkey, c.key, 5));
    }
}

TEST(CryptKeys, PasswordsBeyond32BytesAreCut) {
    uint32_t p = 0;
    setupAllKeys("0123456789abcdefghijklmnopqrstuvwxyz", "o", &p, kId);
    CryptState longer = g_crypt;
    p = 0;
    setupAllKeys("0123456789abcdefghijklmnopqrstuv", "o", &p, kId);
    EXPECT_EQ(0, std::memcmp(longer.ownerKey, g_crypt.ownerKey, 32));
    EXPECT_EQ(0, std::memcmp(longer.rc4mkey, g_crypt.rc4mkey, 5));
}

TEST(CryptKeys, EmptyOwnerPasswordIsTheUserPassword) {
    uint32_t p = 0;
    setupAllKeys("user", "user", &p, kId);
    CryptState same = g_crypt;
    p = 0;
    setupAllKeys("user", "", &p, kId);
    EXPECT_EQ(0, std::memcmp(same.ownerKey, g_crypt.ownerKey, 32));
    EXPECT_EQ(0, std::memcmp(same.rc4mkey, g_crypt.rc4mkey, 5));
}

TEST(CryptKeys, PermissionWord) {
    EXPECT_EQ(permission_bits(1, 1, 1, 1), 60u);
    EXPECT_EQ(permission_bits(0, 0, 0, 0), 0u);
    EXPECT_EQ(permission_bits(7, 0, -1, 0), PERM_PRINT | PERM_COPY);
    uint32_t p = 0xFFFFFFFF;  // stray low bits are cleared
    setupAllKeys("", "", &p, kId);
    EXPECT_EQ(static_cast<int32_t>(p), -4);
}

TEST(CryptKeys, ObjectKeyMatchesAlgorithm1) {
    uint32_t p = 60;
    setupAllKeys("user", "owner", &p, kId);
    initRC4ObjID(7, 0);
    unsigned char text[] = "Hello (world)\n";
    encryptRC4(text, 14);
    const unsigned char want[] = {0x5A, 0x5F, 0x41, 0x1A, 0xA9, 0x9B, 0xFD,
                                  0xC4, 0x18, 0x8D, 0xF2, 0x96, 0x91, 0x29};
    EXPECT_EQ(0, std::memcmp(text, want, 14));
}

}  // namespace
