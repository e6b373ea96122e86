// Bounded output of decoded code points shared by the decoders.
#pragma once

#include <cstdint>

struct CodePointSink {
    int32_t* out;
    int32_t* end;
    // Set when decoding must end: an unmappable or invalid character, a zero byte, or a full
    // output. Everything after that point is dropped.
    bool stopped = false;

    bool put(int32_t u) {
        if (out == end) {
            stopped = true;
            return false;
        }
        *out++ = u;
        return true;
    }
    void stop() { stopped = true; }
};
