// The Japanese code converter: EUC-JP or Shift_JIS bytes, with ISO-2022-JP escape sequences,
// SO/SI and MIME encoded words, to code points.
#pragma once

#include <cstdint>

#include "multibyte/code_point_sink.h"

// Decodes [p, end) as EUC-JP (`encoding` 'E') or Shift_JIS ('S') into `sink`. A character with
// no mapping, and a zero byte, end the decoded text (sink.stopped); truncated or malformed
// two-byte sequences are dropped.
void jis_decode(char encoding, const uint8_t* p, const uint8_t* end, CodePointSink& sink);
