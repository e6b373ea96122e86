// PDF text strings as forms hold them (field names, default appearances): the bytes of a
// literal or hexadecimal string, and their text as UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The bytes a string element stands for: escapes of a literal string resolved, the digits of
// a hexadecimal string paired (an odd last digit counts as followed by 0). Other kinds are
// taken as they are.
std::string string_bytes(char kind, const char* text, int len);

// A text string as UTF-8: UTF-16BE after the byte order mark FE FF, UTF-8 after EF BB BF,
// PDFDocEncoding otherwise. Unpaired surrogates and undefined codes become U+FFFD.
std::string text_to_utf8(const std::string& bytes);

// The numbers in array text ("0 0 12.5 20"), in order; what is not a number is skipped.
std::vector<double> numbers_in(const char* text, size_t len);

// UTF-8 text as Latin-1 bytes (the single-byte codes the standard encodings share); false
// when it holds a character Latin-1 lacks.
bool utf8_to_latin1(const std::string& utf8, std::string* out);
