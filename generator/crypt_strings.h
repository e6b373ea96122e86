// PDF string syntax around encryption: a string is encrypted as its value (escapes resolved,
// hexadecimal digits decoded), and the encrypted bytes are written back in the string's own
// form, a literal string escaped or a hexadecimal string as digits.
#pragma once

#include <cstddef>
#include <string>

#include "store/pdf_string.h"

// Turns b_Length raw bytes into the body of a literal string in content (at least twice
// b_Length bytes) and stores its length in len: backspace, tab, line feed, form feed and
// carriage return become \b \t \n \f \r, and "(", ")" and "\" get a backslash before them.
void escapeString(const unsigned char* b, int b_Length, int* len, char* content);
// Writes len bytes as upper-case hexadecimal digits into out (2 * len bytes).
void hex_digits(const unsigned char* b, int len, char* out);

// Transforms a string value in place (an encryption with the right key).
using ValueCipher = void (*)(unsigned char* data, int len, void* ctx);

// Reusable buffers of the string rewrites, grown to the largest string seen.
struct StringScratch {
    std::string value;
    std::string text;
};

// Rewrites the value of a literal string body through cipher; the result (an escaped body)
// is in scratch.text.
void cipher_literal(const char* body, int len, ValueCipher cipher, void* ctx,
                    StringScratch& scratch);
// The same for a hexadecimal string body; the result is upper-case hexadecimal digits.
void cipher_hex(const char* body, int len, ValueCipher cipher, void* ctx, StringScratch& scratch);
// Rewrites an array held as text: every literal and hexadecimal string in it, at any depth of
// nested arrays and dictionaries, has its value put through cipher (one call per string) and
// keeps its form; everything else is copied unchanged. The result is in scratch.text. Returns
// the number of strings found.
int cipher_array_text(const char* text, int len, ValueCipher cipher, void* ctx,
                      StringScratch& scratch);
