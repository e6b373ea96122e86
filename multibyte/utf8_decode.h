// UTF-8 to code points, with the stop rules of script values.
#pragma once

#include <cstdint>

#include "multibyte/code_point_sink.h"

// Decodes the bytes [p, end) into `sink`. Sequences of 1 to 6 bytes are accepted without a test
// for overlong forms. Decoding stops (sink.stopped) at a byte that cannot start a sequence, a
// missing continuation byte, a sequence cut off by the end of the input, or a value of 0,
// U+FFFE, U+FFFF, a surrogate or above U+10FFFF; what was decoded before is kept.
void utf8_decode(const uint8_t* p, const uint8_t* end, CodePointSink& sink);
