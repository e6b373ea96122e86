// glibc iconv as an independent converter to compare the decoders with.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Code points of `bytes` in character set `charset`, or nothing when iconv refuses them.
std::optional<std::vector<int32_t>> iconv_decode(const char* charset, const std::string& bytes);

// `utf8` converted by iconv into `charset` (a test failure when iconv refuses it).
std::string iconv_encode(const char* charset, const std::string& utf8);

// The decoders under test, returning the code points they wrote.
std::vector<int32_t> decode(const std::string& bytes, char encoding);

// Shift_JIS bytes of JIS X 0208 code j1 j2 (each 0x21..0x7E).
std::string jis_to_sjis(int j1, int j2);
