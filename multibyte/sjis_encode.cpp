#include "multibyte/sjis_encode.h"

#include <cstddef>
#include <vector>

#include "multibyte/jis_tables.h"

namespace {

// Encoder output; sized for one command-script line at first and grown for longer ones.
std::vector<char>& output_buffer(size_t need) {
    static std::vector<char> buf(30000);
    if (buf.size() < need) buf.resize(need > 2 * buf.size() ? need : 2 * buf.size());
    return buf;
}

}  // namespace

const char* mbs_ucs2sjis(const int32_t* inbuf, int isize) {
    if (inbuf == nullptr || isize < 0) isize = 0;
    // Every code point gives at most two bytes.
    std::vector<char>& buf = output_buffer(2 * static_cast<size_t>(isize) + 4);
    auto* o = reinterpret_cast<unsigned char*>(buf.data());
    for (int i = 0; i < isize; ++i) {
        int32_t u = inbuf[i];
        if (u <= 0 || u > 0xFFFF) break;
        if (u < 0x80) {
            *o++ = static_cast<unsigned char>(u);
            continue;
        }
        if (u >= 0xFF61 && u <= 0xFF9F) {
            *o++ = static_cast<unsigned char>(u - 0xFF61 + 0xA1);
            continue;
        }
        unsigned jis = ucs_to_jis0208[u];
        if (jis == 0) {
            *o++ = static_cast<unsigned char>(u & 0xFF);
            continue;
        }
        unsigned j1 = jis >> 8, j2 = jis & 0xFF;
        if (j1 < 0x20 || j1 > 0x7E || j2 < 0x20 || j2 > 0x7E) continue;
        *o++ = static_cast<unsigned char>(((j1 - 1) >> 1) + (j1 < 0x5F ? 0x71 : 0xB1));
        if (j1 & 1) {
            *o++ = static_cast<unsigned char>(j2 + (j2 < 0x60 ? 0x1F : 0x20));
        } else {
            *o++ = static_cast<unsigned char>(j2 + 0x7E);
        }
    }
    for (int k = 0; k < 4; ++k) *o++ = 0;
    return buf.data();
}

const char* ucs2sjis(const int32_t* inbuf, int isize) {
    return mbs_ucs2sjis(inbuf, isize);
}
