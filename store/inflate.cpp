#include "store/inflate.h"

#include <zlib.h>

#include <cstring>

namespace {
constexpr size_t INFLATE_WINDOW = 65536;
}  // namespace

bool inflate_data(const char* data, size_t len, std::string& out, size_t limit) {
    out.clear();
    z_stream z;
    std::memset(&z, 0, sizeof z);
    if (inflateInit(&z) != Z_OK) return false;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    bool ok = false;
    size_t remaining = len;
    for (;;) {
        // zlib counts input in uInt; feed very large inputs piecewise.
        if (z.avail_in == 0 && remaining > 0) {
            uInt chunk = remaining > 0x40000000u ? 0x40000000u : static_cast<uInt>(remaining);
            z.avail_in = chunk;
            remaining -= chunk;
        }
        size_t have = out.size();
        if (have >= limit) break;
        out.resize(have + INFLATE_WINDOW);
        z.next_out = reinterpret_cast<Bytef*>(&out[have]);
        z.avail_out = static_cast<uInt>(INFLATE_WINDOW);
        int r = inflate(&z, Z_NO_FLUSH);
        out.resize(have + (INFLATE_WINDOW - z.avail_out));
        if (r == Z_STREAM_END) {
            ok = true;
            break;
        }
        // An error ends the decoding; so does input that runs out before the end.
        if (r != Z_OK) break;
        if (z.avail_in == 0 && remaining == 0 && z.avail_out != 0) break;
    }
    inflateEnd(&z);
    return ok;
}
