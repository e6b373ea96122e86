// Numbering of the standard Type 1 fonts. The number is the row of fmetric and fheight; a
// field that uses such a font stores the negated number as its font number.
#pragma once

// Bytes a buffer needs for the longest standard font name and its terminator.
constexpr int STANDARD_FONT_NAME_SIZE = 29;
// Numbers 1..STANDARD_FONT_MAX are assigned, except 18 and 19.
constexpr int STANDARD_FONT_MAX = 43;
// The two symbol fonts, whose codes their own built-in encodings lay out.
constexpr int ZAPF_NO = 17;
constexpr int SYMBOL_NO = 40;

// The standard font number of `fname` (exact, case-sensitive match), or 0.
int get_standard_font_no(const char* fname);

// Copies the name of standard font `fno` into `fname` (STANDARD_FONT_NAME_SIZE bytes); leaves
// the buffer unchanged when `fno` is not assigned.
void get_standard_font_name(int fno, char* fname);

// The name of standard font `fno`, or nullptr when the number is not assigned.
const char* standard_font_name(int fno);
