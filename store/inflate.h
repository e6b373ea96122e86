// Flate (zlib format) decoding of object streams and appearance streams.
#pragma once

#include <cstddef>
#include <string>

// Inflates `len` bytes of zlib data into `out` (replacing its content). Returns true when
// the data reached its end; false for corrupt or truncated data, in which case `out` holds
// what was decoded before the fault.
bool inflate_data(const char* data, size_t len, std::string& out);
