#include "multibyte/mime_words.h"

namespace {

struct Pattern {
    const char* text;  // upper case
    size_t length;
    MimeCharset charset;
    bool base64;
};

constexpr Pattern k_patterns[] = {
    {"=?EUC-JP?B?", 11, MimeCharset::euc_jp, true},
    {"=?SHIFT_JIS?B?", 14, MimeCharset::shift_jis, true},
    {"=?ISO-8859-1?Q?", 15, MimeCharset::iso_8859_1, false},
    {"=?ISO-8859-1?B?", 15, MimeCharset::iso_8859_1, true},
    {"=?ISO-2022-JP?B?", 16, MimeCharset::iso_2022_jp, true},
    {"=?ISO-2022-JP?Q?", 16, MimeCharset::iso_2022_jp, false},
    {"=?UTF-8?B?", 10, MimeCharset::utf_8, true},
    {"=?US-ASCII?Q?", 13, MimeCharset::us_ascii, false},
};

uint8_t upper(uint8_t c) {
    return (c >= 'a' && c <= 'z') ? static_cast<uint8_t>(c - 32) : c;
}

bool matches(const uint8_t* p, const uint8_t* end, const Pattern& pat) {
    if (static_cast<size_t>(end - p) < pat.length) return false;
    for (size_t i = 0; i < pat.length; ++i) {
        if (upper(p[i]) != static_cast<uint8_t>(pat.text[i])) return false;
    }
    return true;
}

bool is_base64_text(uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/' || c == '=' || c == '?';
}

int base64_value(uint8_t c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

int hex_value(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = upper(c);
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

size_t decode_base64(const uint8_t* p, const uint8_t* end, uint8_t* out) {
    size_t n = 0;
    uint32_t acc = 0;
    int bits = 0;
    for (; p < end; ++p) {
        if (*p == '=') break;  // padding ends the data
        int v = base64_value(*p);
        if (v < 0) continue;
        acc = (acc << 6) | static_cast<uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out[n++] = static_cast<uint8_t>(acc >> bits);
        }
    }
    return n;
}

// Quoted-printable as encoded words use it: "=XX" is one byte, "_" a blank, "=" at a line end
// a soft break; an "=" that starts no escape stands for itself.
size_t decode_qp(const uint8_t* p, const uint8_t* end, uint8_t* out) {
    size_t n = 0;
    while (p < end) {
        uint8_t c = *p;
        if (c == '_') {
            out[n++] = ' ';
            ++p;
        } else if (c == '=' && end - p >= 3 && hex_value(p[1]) >= 0 && hex_value(p[2]) >= 0) {
            out[n++] = static_cast<uint8_t>(hex_value(p[1]) * 16 + hex_value(p[2]));
            p += 3;
        } else if (c == '=' && end - p >= 2 && p[1] == '\n') {
            p += 2;
        } else if (c == '=' && end - p >= 3 && p[1] == '\r' && p[2] == '\n') {
            p += 3;
        } else {
            out[n++] = c;
            ++p;
        }
    }
    return n;
}

}  // namespace

bool read_mime_word(const uint8_t* p, const uint8_t* end, uint8_t* buf, MimeWord& word) {
    const Pattern* pat = nullptr;
    for (const Pattern& candidate : k_patterns) {
        if (matches(p, end, candidate)) {
            pat = &candidate;
            break;
        }
    }
    if (pat == nullptr) return false;
    const uint8_t* text = p + pat->length;
    const uint8_t* limit = end;
    if (static_cast<size_t>(limit - p) > MIME_WORD_MAX) limit = p + MIME_WORD_MAX;
    const uint8_t* q = text;
    for (;; ++q) {
        if (limit - q < 2) return false;  // no "?=" within the limit or the input
        if (q[0] == '?' && q[1] == '=') break;
        if (q[0] == 0) return false;
        if (pat->base64 && !is_base64_text(q[0])) return false;
    }
    word.charset = pat->charset;
    word.length = pat->base64 ? decode_base64(text, q, buf) : decode_qp(text, q, buf);
    const uint8_t* after = q + 2;
    while (after < end && (*after == ' ' || *after == '\t')) ++after;
    word.consumed = static_cast<size_t>(after - p);
    return true;
}
