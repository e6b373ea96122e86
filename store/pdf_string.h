// The values of PDF string bodies, shared by the compiler (field names, appearances,
// encryption dictionaries) and the generator (encrypting strings).
#pragma once

// Resolves the escapes and line ends of a literal string body (the bytes between its
// parentheses, ISO 32000-1, 7.3.4.2) into out, which must hold len bytes; returns the value's
// length. A lone backslash at the end is ignored.
int literal_value(const char* body, int len, unsigned char* out);
// Decodes the digits of a hexadecimal string body into out, which must hold (len + 1) / 2
// bytes; white space and other bytes are skipped, an odd last digit is followed by 0. Returns
// the value's length.
int hex_value(const char* body, int len, unsigned char* out);
