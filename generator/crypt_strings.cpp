#include "generator/crypt_strings.h"

#include <cstring>

namespace {

// Appends n bytes of room to s and returns where they start.
char* grow(std::string& s, size_t n) {
    size_t at = s.size();
    s.resize(at + n);
    return s.data() + at;
}

// Appends the escaped form of value v (n bytes) to out.
void append_escaped(std::string& out, const unsigned char* v, int n) {
    char* dst = grow(out, static_cast<size_t>(n) * 2);
    int written = 0;
    escapeString(v, n, &written, dst);
    out.resize(out.size() - static_cast<size_t>(n) * 2 + static_cast<size_t>(written));
}

void append_hex(std::string& out, const unsigned char* v, int n) {
    hex_digits(v, n, grow(out, static_cast<size_t>(n) * 2));
}

unsigned char* value_room(StringScratch& s, int len) {
    if (s.value.size() < static_cast<size_t>(len) + 1) s.value.resize(static_cast<size_t>(len) + 1);
    return reinterpret_cast<unsigned char*>(s.value.data());
}

// End of the literal string whose body starts at text[i] (just after its "("): the index of
// the closing ")", or -1 when the string is not closed.
int literal_end(const char* text, int i, int len) {
    int depth = 1;
    for (; i < len; ++i) {
        char c = text[i];
        if (c == '\\') {
            ++i;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth == 0) return i;
        }
    }
    return -1;
}

// End of the hexadecimal string whose body starts at text[i]: the index of its ">", or -1.
int hex_end(const char* text, int i, int len) {
    const void* gt = std::memchr(text + i, '>', static_cast<size_t>(len - i));
    return gt ? static_cast<int>(static_cast<const char*>(gt) - text) : -1;
}

}  // namespace

void escapeString(const unsigned char* b, int b_Length, int* len, char* content) {
    int o = 0;
    for (int i = 0; i < b_Length; ++i) {
        unsigned char c = b[i];
        char e = 0;
        switch (c) {
            case '\b':
                e = 'b';
                break;
            case '\t':
                e = 't';
                break;
            case '\n':
                e = 'n';
                break;
            case '\f':
                e = 'f';
                break;
            case '\r':
                e = 'r';
                break;
            case '(':
            case ')':
            case '\\':
                e = static_cast<char>(c);
                break;
            default:
                break;
        }
        if (e) {
            content[o++] = '\\';
            content[o++] = e;
        } else {
            content[o++] = static_cast<char>(c);
        }
    }
    *len = o;
}

void hex_digits(const unsigned char* b, int len, char* out) {
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < len; ++i) {
        out[i * 2] = digits[b[i] >> 4];
        out[i * 2 + 1] = digits[b[i] & 15];
    }
}

void cipher_literal(const char* body, int len, ValueCipher cipher, void* ctx,
                    StringScratch& scratch) {
    unsigned char* v = value_room(scratch, len);
    int n = literal_value(body, len, v);
    cipher(v, n, ctx);
    scratch.text.clear();
    append_escaped(scratch.text, v, n);
}

void cipher_hex(const char* body, int len, ValueCipher cipher, void* ctx, StringScratch& scratch) {
    unsigned char* v = value_room(scratch, (len + 1) / 2);
    int n = hex_value(body, len, v);
    cipher(v, n, ctx);
    scratch.text.clear();
    append_hex(scratch.text, v, n);
}

int cipher_array_text(const char* text, int len, ValueCipher cipher, void* ctx,
                      StringScratch& scratch) {
    std::string& out = scratch.text;
    out.clear();
    out.reserve(static_cast<size_t>(len) * 2 + 16);
    int strings = 0;
    int i = 0, copied = 0;  // text[copied, i) is still to be copied unchanged
    auto flush = [&](int upto) {
        if (upto > copied) out.append(text + copied, static_cast<size_t>(upto - copied));
        copied = upto;
    };
    while (i < len) {
        char c = text[i];
        if (c == '%') {
            // A comment runs to the end of its line; parentheses in it are not strings.
            while (i < len && text[i] != '\r' && text[i] != '\n') ++i;
        } else if (c == '<' && i + 1 < len && text[i + 1] == '<') {
            i += 2;
        } else if (c == '(' || c == '<') {
            const bool literal = c == '(';
            int end = literal ? literal_end(text, i + 1, len) : hex_end(text, i + 1, len);
            if (end < 0) break;  // not closed: the rest is copied as it is
            flush(i + 1);
            const char* body = text + i + 1;
            const int body_len = end - i - 1;
            unsigned char* v = value_room(scratch, body_len);
            int n = literal ? literal_value(body, body_len, v) : hex_value(body, body_len, v);
            cipher(v, n, ctx);
            if (literal)
                append_escaped(out, v, n);
            else
                append_hex(out, v, n);
            ++strings;
            copied = i = end;  // the closing ")" or ">" is copied with what follows
        } else {
            ++i;
        }
    }
    flush(len);
    return strings;
}
