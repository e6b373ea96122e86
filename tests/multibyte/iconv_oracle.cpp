#include "iconv_oracle.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>

#include "multibyte/text_decode.h"

std::optional<std::vector<int32_t>> iconv_decode(const char* charset, const std::string& bytes) {
    iconv_t cd = iconv_open("UTF-32LE", charset);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out(bytes.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    size_t inleft = bytes.size();
    char* op = out.data();
    size_t outleft = out.size();
    size_t r = iconv(cd, &in, &inleft, &op, &outleft);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1) || inleft != 0) return std::nullopt;
    std::vector<int32_t> cps((out.size() - outleft) / 4);
    std::memcpy(cps.data(), out.data(), cps.size() * 4);
    return cps;
}

std::vector<int32_t> decode(const std::string& bytes, char encoding) {
    std::vector<int32_t> dest(bytes.size() + 1, 0);
    int n = mbs_mbstowcs(dest.data(), bytes.data(), static_cast<int>(bytes.size()), encoding);
    dest.resize(static_cast<size_t>(n));
    return dest;
}

std::string jis_to_sjis(int j1, int j2) {
    int s1 = ((j1 - 1) >> 1) + (j1 < 0x5F ? 0x71 : 0xB1);
    int s2 = (j1 & 1) ? j2 + (j2 < 0x60 ? 0x1F : 0x20) : j2 + 0x7E;
    return std::string{static_cast<char>(s1), static_cast<char>(s2)};
}

std::string iconv_encode(const char* charset, const std::string& utf8) {
    iconv_t cd = iconv_open(charset, "UTF-8");
    std::string out(utf8.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inleft = utf8.size(), outleft = out.size();
    char* op = out.data();
    size_t r = iconv(cd, &in, &inleft, &op, &outleft);
    iconv_close(cd);
    EXPECT_NE(r, static_cast<size_t>(-1)) << charset;
    return out.substr(0, out.size() - outleft);
}
