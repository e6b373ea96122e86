// Any bytes as a literal string body, a hexadecimal string body or an array text: the
// rewrites stay within their buffers, and a literal string's rewritten body reads back as
// the value the cipher produced.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "generator/crypt_strings.h"

namespace {
std::string g_last;
void invert(unsigned char* data, int len, void*) {
    for (int i = 0; i < len; ++i) data[i] = static_cast<unsigned char>(~data[i]);
    g_last.assign(reinterpret_cast<char*>(data), static_cast<size_t>(len));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    int len = static_cast<int>(size);
    StringScratch s;
    cipher_literal(text, len, invert, nullptr, s);
    std::string back(s.text.size(), '\0');
    int n = literal_value(s.text.data(), static_cast<int>(s.text.size()),
                          reinterpret_cast<unsigned char*>(back.data()));
    back.resize(static_cast<size_t>(n));
    if (back != g_last) std::abort();
    cipher_hex(text, len, invert, nullptr, s);
    if (s.text.size() != g_last.size() * 2) std::abort();
    cipher_array_text(text, len, invert, nullptr, s);
    return 0;
}
