// Script values to code-point strings.
#pragma once

#include <cstdint>

// Decodes `len` bytes at `src` in input encoding `encoding` ('E' EUC-JP, the default for any
// other value; 'S' Shift_JIS; 'U' UTF-8) into code points at `dest` and returns how many were
// written. `dest` must hold len + 1 code points (4 * len + 4 bytes); at most `len` are written,
// followed by a terminating 0. Input of any length is decoded without intermediate buffers.
// Malformed or unmappable input ends the value there, keeping what was decoded before it;
// `*cut`, when given, tells whether it did.
int mbs_mbstowcs(int32_t* dest, const char* src, int len, char encoding, bool* cut = nullptr);
