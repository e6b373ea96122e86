#include "store/pdf_text.h"

#include <cstdint>
#include <cstdlib>

#include "multibyte/utf8_encode.h"
#include "store/pdf_string.h"
#include "store/records.h"

namespace {

void put_utf8(std::string& out, uint32_t u) {
    char bytes[4];
    out.append(bytes, utf8_encode(u, bytes));
}

// PDFDocEncoding where it differs from Latin-1: 0x18..0x1F and 0x80..0xA0.
constexpr uint16_t k_doc_low[8] = {0x02D8, 0x02C7, 0x02C6, 0x02D9, 0x02DD, 0x02DB, 0x02DA, 0x02DC};
constexpr uint16_t k_doc_high[33] = {
    0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044, 0x2039, 0x203A, 0x2212,
    0x2030, 0x201E, 0x201C, 0x201D, 0x2018, 0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02, 0x0141,
    0x0152, 0x0160, 0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E, 0xFFFD, 0x20AC};

}  // namespace

std::string string_bytes(char kind, const char* text, int len) {
    std::string out;
    if (!text || len <= 0) return out;
    if (kind != STR_LITERAL && kind != STR_HEX) return std::string(text, static_cast<size_t>(len));
    // A value is never longer than its body.
    out.resize(static_cast<size_t>(len));
    auto* v = reinterpret_cast<unsigned char*>(out.data());
    out.resize(static_cast<size_t>(kind == STR_HEX ? hex_value(text, len, v)
                                                   : literal_value(text, len, v)));
    return out;
}

std::string text_to_utf8(const std::string& b) {
    std::string out;
    const size_t n = b.size();
    auto byte = [&](size_t i) { return static_cast<unsigned char>(b[i]); };
    if (n >= 2 && byte(0) == 0xFE && byte(1) == 0xFF) {
        for (size_t i = 2; i + 1 < n; i += 2) {
            uint32_t u = byte(i) << 8 | byte(i + 1);
            if (u >= 0xD800 && u < 0xDC00 && i + 3 < n) {
                uint32_t lo = byte(i + 2) << 8 | byte(i + 3);
                if (lo >= 0xDC00 && lo < 0xE000) {
                    put_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                    i += 2;
                    continue;
                }
            }
            put_utf8(out, u >= 0xD800 && u < 0xE000 ? 0xFFFD : u);
        }
        return out;
    }
    if (n >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) return b.substr(3);
    for (size_t i = 0; i < n; ++i) {
        uint32_t c = byte(i);
        if (c >= 0x18 && c <= 0x1F)
            put_utf8(out, k_doc_low[c - 0x18]);
        else if (c >= 0x80 && c <= 0xA0)
            put_utf8(out, k_doc_high[c - 0x80]);
        else if (c == 0xAD)
            put_utf8(out, 0xFFFD);
        else
            put_utf8(out, c);
    }
    return out;
}

std::vector<double> numbers_in(const char* text, size_t len) {
    std::vector<double> v;
    std::string t(text ? text : "", text ? len : 0);
    const char* p = t.c_str();
    while (*p) {
        char* end = nullptr;
        double d = std::strtod(p, &end);
        if (end == p) {
            ++p;
            continue;
        }
        v.push_back(d);
        p = end;
    }
    return v;
}

bool utf8_to_latin1(const std::string& utf8, std::string* out) {
    out->clear();
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80)
            out->push_back(static_cast<char>(c));
        else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size())
            out->push_back(static_cast<char>(((c & 0x03) << 6) | (utf8[++i] & 0x3F)));
        else
            return false;
    }
    return true;
}
