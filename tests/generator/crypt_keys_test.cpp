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

// Bytes as lower-case hexadecimal digits.
std::string hex_of(const unsigned char* b, size_t n) {
    std::string out;
    char hex[3];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(hex, sizeof hex, "%02x", b[i]);
        out += hex;
    }
    return out;
}

std::string rc4_hex(const std::string& key, const std::string& text) {
    Rc4 r;
    rc4_init(r, reinterpret_cast<const unsigned char*>(key.data()), static_cast<int>(key.size()));
    std::string buf = text;
    rc4_crypt(r, reinterpret_cast<unsigned char*>(buf.data()), buf.size());
    return hex_of(reinterpret_cast<const unsigned char*>(buf.data()), buf.size());
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
    const char* o;  // the owner value, the user value and the key in hexadecimal
    const char* u;
    const char* key;
};

// Expected values computed independently (Python hashlib and a separate RC4).
const KeysCase kCases[] = {
    {"user", "owner", PERM_PRINT | PERM_MODIFY | PERM_COPY | PERM_ANNOTATE, -4,
     "94e8094419662a774442fb072e3d9f19e9d130ec09a4d0061e78fe920f7ab62f",
     "9d1d41aab1833426639f818aea50f66e8b98be287e8ae2a410318b49525f843e", "ad5c9730f0"},
    {"", "", 0, -64, "2055c756c72e1ad702608e8196acad447ad32d17cff583235f6dd15fed7dab67",
     "ccbf32ace2f0b687db7e5007b5ef2ebf0cf7322fa6d235db922de91e3657c623", "2d6f0db227"},
    // A 36-byte user password: only its first 32 bytes count.
    {"0123456789abcdefghijklmnopqrstuvwxyz", "o", PERM_PRINT, -60,
     "c02663420f2bbf86bb4f18529b4203aed115731f5e1b3db2b080ccffa6e91579",
     "08ced2735166172772471ffc62313a90949cec2f86f8e189721d961e1b359418", "6bfbd19a38"},
};

TEST(CryptKeys, MatchPublishedAlgorithmsForFixedInputs) {
    for (const KeysCase& c : kCases) {
        SCOPED_TRACE(c.user);
        g_crypt = CryptState{};
        uint32_t p = c.bits;
        setupAllKeys(c.user, c.owner, &p, kId);
        EXPECT_EQ(static_cast<int32_t>(p), c.p);
        EXPECT_EQ(hex_of(g_crypt.ownerKey, 32), c.o);
        EXPECT_EQ(hex_of(g_crypt.userKey, 32), c.u);
        EXPECT_EQ(hex_of(g_crypt.rc4mkey, 5), c.key);
    }
}

// Sets up the keys from two password pairs in turn: both give the same owner value and key.
void expect_same_keys(const char* user_a, const char* owner_a, const char* user_b,
                      const char* owner_b) {
    uint32_t p = 0;
    setupAllKeys(user_a, owner_a, &p, kId);
    CryptState first = g_crypt;
    p = 0;
    setupAllKeys(user_b, owner_b, &p, kId);
    EXPECT_EQ(0, std::memcmp(first.ownerKey, g_crypt.ownerKey, 32));
    EXPECT_EQ(0, std::memcmp(first.rc4mkey, g_crypt.rc4mkey, 5));
}

TEST(CryptKeys, PasswordsBeyond32BytesAreCut) {
    expect_same_keys("0123456789abcdefghijklmnopqrstuvwxyz", "o",
                     "0123456789abcdefghijklmnopqrstuv", "o");
}

TEST(CryptKeys, EmptyOwnerPasswordIsTheUserPassword) {
    expect_same_keys("user", "user", "user", "");
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
