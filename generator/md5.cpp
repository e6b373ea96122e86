// The digest comes from libcrypto; its one-shot call is the one the document identifier and
// the key algorithms need.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "generator/md5.h"

#include <openssl/md5.h>

#include <cstring>

#include "store/name_codec.h"

namespace {

unsigned char g_digest[33];

}  // namespace

const unsigned char* md5ComputeHash(const void* string, int len) {
    std::memset(g_digest, 0, sizeof g_digest);
    MD5(static_cast<const unsigned char*>(string), len > 0 ? static_cast<size_t>(len) : 0,
        g_digest);
    return g_digest;
}

void hash2hexstr(const unsigned char* hash, char* hexstr) {
    for (int i = 0; i < 16; ++i) {
        hexstr[i * 2] = formatByte2Char(hash[i] >> 4);
        hexstr[i * 2 + 1] = formatByte2Char(hash[i] & 0x0f);
    }
    hexstr[32] = 0;
}
