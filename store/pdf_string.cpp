#include "store/pdf_string.h"

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

// The one-letter escapes and the bytes they stand for, position by position.
constexpr char k_escape_letters[] = "nrtbf";
constexpr char k_escape_bytes[] = "\n\r\t\b\f";

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
        if (const char* l = c ? std::strchr(k_escape_letters, c) : nullptr) {
            out[o++] = static_cast<unsigned char>(k_escape_bytes[l - k_escape_letters]);
        } else if (c == '\r' || c == '\n') {
            // Backslash and end of line: the line continues, nothing is added.
            if (c == '\r' && i + 1 < len && body[i + 1] == '\n') ++i;
        } else if (is_octal(c)) {
            int v = c - '0';
            for (int k = 0; k < 2 && i + 1 < len && is_octal(body[i + 1]); ++k)
                v = v * 8 + (body[++i] - '0');
            out[o++] = static_cast<unsigned char>(v & 0xFF);
        } else {
            // "\(", "\)", "\\" and any other escaped byte stand for the byte itself.
            out[o++] = static_cast<unsigned char>(c);
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
