// Fuzzes the three script-value decoders, the Shift_JIS encoder and the width lookup.
// Destinations are allocated to exactly the size callers provide, so AddressSanitizer sees any
// write past them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "multibyte/char_width.h"
#include "multibyte/sjis_encode.h"
#include "multibyte/text_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 40000) return 0;
    const int len = static_cast<int>(size);
    const char* src = reinterpret_cast<const char*>(data);
    for (char enc : {'E', 'S', 'U'}) {
        std::vector<int32_t> dest(size + 1, 0);
        int n = mbs_mbstowcs(dest.data(), src, len, enc);
        if (n < 0 || n > len || dest[n] != 0) std::abort();
        for (int i = 0; i < n; ++i) {
            if (dest[i] <= 0 || dest[i] > 0x10FFFF) std::abort();
        }
        const char* sj = mbs_ucs2sjis(dest.data(), n);
        if (std::strlen(sj) > 2 * static_cast<size_t>(n)) std::abort();
        // What the encoder writes decodes again without trouble.
        size_t sl = std::strlen(sj);
        std::vector<int32_t> again(sl + 1, 0);
        if (mbs_mbstowcs(again.data(), sj, static_cast<int>(sl), 'S') > static_cast<int>(sl)) {
            std::abort();
        }
    }
    // Arbitrary code points, negative and beyond Unicode included.
    std::vector<int32_t> cps(size / 4);
    if (!cps.empty()) std::memcpy(cps.data(), data, cps.size() * 4);
    const char* sj = ucs2sjis(cps.data(), static_cast<int>(cps.size()));
    if (std::strlen(sj) > 2 * cps.size()) std::abort();
    static st_font font;
    long sum = 0;
    for (int32_t u : cps) {
        for (char kind : {'T', 'S', 'P', 'N', 'U', 'x'}) sum += char_width(0, kind, u, &font);
        sum += char_width(-static_cast<int>(static_cast<uint8_t>(u)), 'T', u >> 8, nullptr);
    }
    return sum == -1 ? 1 : 0;
}
