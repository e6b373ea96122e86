#include "multibyte/text_decode.h"

#include "multibyte/code_point_sink.h"
#include "multibyte/jis_converter.h"
#include "multibyte/utf8_decode.h"

int mbs_mbstowcs(int32_t* dest, const char* src, int len, char encoding, bool* cut) {
    if (cut) *cut = false;
    if (dest == nullptr || len < 0) return 0;
    if (src == nullptr || len == 0) {
        dest[0] = 0;
        return 0;
    }
    CodePointSink sink{dest, dest + len};
    const auto* p = reinterpret_cast<const uint8_t*>(src);
    const uint8_t* end = p + len;
    if (encoding == 'U') {
        utf8_decode(p, end, sink);
    } else {
        jis_decode(encoding == 'S' ? 'S' : 'E', p, end, sink);
    }
    *sink.out = 0;
    if (cut) *cut = sink.stopped;
    return static_cast<int>(sink.out - dest);
}
