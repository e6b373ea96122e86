// Arbitrary bytes as JPEG headers and as PNG streams: the scan and the decoder must stop
// cleanly, with a status or a message, on everything.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "generator/jpeg_scan.h"
#include "generator/png_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    is_jpeg_signature(data, size);
    JpegInfo info = jpeg_scan(data, size);
    if (info.status == JpegScan::ok && (info.width <= 0 || info.height <= 0)) std::abort();

    // PNG decoding, with the signature put in front so that libpng reaches the chunks.
    static const unsigned char sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    unsigned char* buf = static_cast<unsigned char*>(std::malloc(size + 8));
    if (!buf) return 0;
    for (int i = 0; i < 8; ++i) buf[i] = sig[i];
    for (size_t i = 0; i < size; ++i) buf[8 + i] = data[i];
    FILE* f = fmemopen(buf, size + 8, "rb");
    if (f) {
        convertbuf_struct cb;
        int len = 0, w = 0, h = 0;
        unsigned char* rgb = png2rgb(&cb, &len, &w, &h, f);
        if (rgb && len != w * h * 3) std::abort();
        std::free(rgb);
        std::fclose(f);
    }
    std::free(buf);
    return 0;
}
