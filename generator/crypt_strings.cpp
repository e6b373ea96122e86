#include "generator/crypt_strings.h"

#include <cstring>

namespace {

bool is_octal(char c) {
    return c >= '0' && c <= '7';
}

int hex_nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

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

}  // namespace

int literal_value(const char* body, int len, unsigned char* out) {
    int o = 0;
    for (int i = 0; i < len; ++i) {
        char c = body[i];
        if (c == '\r') {
            // An end of line inside a string (CR, CR LF or LF) reads as one line feed.
            if (i + 1 < len && body[i + 1] == '\n') ++i;
            out[o++] = '\n';
            continue;
        }
        if (c != '\\') {
            out[o++] = static_cast<unsigned char>(c);
            continue;
        }
        if (++i >= len) break;  // a lone backslash at the end is ignored
        c = body[i];
        switch (c) {
            case 'n':
                out[o++] = '\n';
                break;
            case 'r':
                out[o++] = '\r';
                break;
            case 't':
                out[o++] = '\t';
                break;
            case 'b':
                out[o++] = '\b';
                break;
            case 'f':
                out[o++] = '\f';
                break;
            case '\r':  // backslash and end of line: the line continues, nothing is added
                if (i + 1 < len && body[i + 1] == '\n') ++i;
                break;
            case '\n':
                break;
            default:
                if (is_octal(c)) {
                    int v = c - '0';
                    for (int k = 0; k < 2 && i + 1 < len && is_octal(body[i + 1]); ++k)
                        v = v * 8 + (body[++i] - '0');
                    out[o++] = static_cast<unsigned char>(v & 0xFF);
                } else {
                    // "\(", "\)", "\\" and any other escaped byte stand for the byte itself.
                    out[o++] = static_cast<unsigned char>(c);
                }
        }
    }
    return o;
}

int hex_value(const char* body, int len, unsigned char* out) {
    int o = 0, high = -1;
    for (int i = 0; i < len; ++i) {
        int v = hex_nibble(body[i]);
        if (v < 0) continue;
        if (high < 0) {
            high = v;
        } else {
            out[o++] = static_cast<unsigned char>(high * 16 + v);
            high = -1;
        }
    }
    if (high >= 0) out[o++] = static_cast<unsigned char>(high * 16);
    return o;
}

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
        } else if (c == '(') {
            int end = literal_end(text, i + 1, len);
            if (end < 0) break;  // not closed: the rest is copied as it is
            flush(i + 1);
            unsigned char* v = value_room(scratch, end - i - 1);
            int n = literal_value(text + i + 1, end - i - 1, v);
            cipher(v, n, ctx);
            append_escaped(out, v, n);
            ++strings;
            copied = i = end;  // the ")" is copied with what follows
        } else if (c == '<' && i + 1 < len && text[i + 1] == '<') {
            i += 2;
        } else if (c == '<') {
            const void* gt = std::memchr(text + i + 1, '>', static_cast<size_t>(len - i - 1));
            if (!gt) break;
            int end = static_cast<int>(static_cast<const char*>(gt) - text);
            flush(i + 1);
            unsigned char* v = value_room(scratch, (end - i) / 2 + 1);
            int n = hex_value(text + i + 1, end - i - 1, v);
            cipher(v, n, ctx);
            append_hex(out, v, n);
            ++strings;
            copied = i = end;
        } else {
            ++i;
        }
    }
    flush(len);
    return strings;
}
