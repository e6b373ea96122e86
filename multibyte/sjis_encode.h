// Code-point lines to Shift_JIS for fonts with a Shift_JIS CMap or without an encoding.
#pragma once

#include <cstdint>

// Encodes `isize` code points (fewer when a 0 or a code point above U+FFFF comes first, which
// ends the line) as Shift_JIS: ASCII as itself, U+FF61-U+FF9F as single bytes 0xA1-0xDF, JIS
// X 0208 characters as two bytes, and any other character as the low eight bits of its code
// point. The result ends with four zero bytes; it lives in a buffer of this module that grows
// as needed and stays valid until the next call.
const char* mbs_ucs2sjis(const int32_t* inbuf, int isize);

// The generator's entry to the encoder; forwards to mbs_ucs2sjis.
const char* ucs2sjis(const int32_t* inbuf, int isize);
