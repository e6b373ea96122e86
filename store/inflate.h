// Flate (zlib format) decoding of object streams and appearance streams.
#pragma once

#include <cstddef>
#include <string>

// Inflates `len` bytes of zlib data into `out` (replacing its content). Returns true when
// the data reached its end; false for corrupt or truncated data, in which case `out` holds
// what was decoded before the fault. Output beyond `limit` bytes is refused (a few bytes of
// input must not claim the whole memory of the machine): the result is then false.
bool inflate_data(const char* data, size_t len, std::string& out, size_t limit = size_t{1} << 30);
