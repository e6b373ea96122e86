// Hexadecimal digits and PDF name syntax: the generator encodes names with "#xx" escapes
// when writing, the compiler decodes them when storing labels and names.
#pragma once

// 0..15 to "0".."9", "A".."F".
char formatByte2Char(int data);
// "1".."9" give 1..9, "A".."F" and "a".."f" give 10..15, every other byte gives 0.
int formatChar2Byte(char data);
// The name in PDF name syntax, in a static buffer overwritten by the next call.
const char* dec_label(const char* label);
