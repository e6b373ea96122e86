#include "generator/flate.h"

#include <zlib.h>

#include <cstdlib>

#include "generator/doc_state.h"

unsigned char* unzip_buf = nullptr;
int unzip_buf_len = 0;

void do_compress(const void* inbuf, int inbuf_len) {
    unzip_buf = nullptr;
    unzip_buf_len = 0;
    if (inbuf_len < 0) inbuf_len = 0;
    z_stream zs{};
    if (deflateInit(&zs, Z_DEFAULT_COMPRESSION) != Z_OK) _throw("deflateInit::error");
    // The output is sized once from deflate's own bound, so one call finishes the stream.
    uLong bound = deflateBound(&zs, static_cast<uLong>(inbuf_len));
    auto* out = static_cast<unsigned char*>(std::malloc(bound ? bound : 1));
    if (!out) {
        deflateEnd(&zs);
        _throw("Memory allocation error.");
    }
    zs.next_in = static_cast<Bytef*>(const_cast<void*>(inbuf));
    zs.avail_in = static_cast<uInt>(inbuf_len);
    zs.next_out = out;
    zs.avail_out = static_cast<uInt>(bound);
    int rc = deflate(&zs, Z_FINISH);
    deflateEnd(&zs);
    if (rc != Z_STREAM_END) {
        std::free(out);
        _throw("deflate::error");
    }
    unzip_buf = out;
    unzip_buf_len = static_cast<int>(zs.total_out);
}
