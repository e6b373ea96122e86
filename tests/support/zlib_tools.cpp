#include "tests/support/zlib_tools.h"

#include <zlib.h>

namespace tt {

std::optional<std::string> inflate(const void* data, size_t len) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return std::nullopt;
    z.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    z.avail_in = static_cast<uInt>(len);
    std::string out;
    char buf[65536];
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buf);
        z.avail_out = sizeof buf;
        rc = ::inflate(&z, Z_NO_FLUSH);
        out.append(buf, sizeof buf - z.avail_out);
    }
    inflateEnd(&z);
    if (rc != Z_STREAM_END) return std::nullopt;
    return out;
}

}  // namespace tt
