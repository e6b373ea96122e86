// Decompressing zlib streams that the programs wrote.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace tt {

// The inflated bytes of a zlib stream, or nothing when it is not a complete valid stream.
std::optional<std::string> inflate(const void* data, size_t len);
inline std::optional<std::string> inflate(const std::string& z) {
    return inflate(z.data(), z.size());
}

}  // namespace tt
