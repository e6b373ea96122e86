// Fuzzes the readers of a form's font data: a /ToUnicode CMap's mappings and a CID font's
// /W widths, as any bytes. Every mapping must have a code and character in range.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "generator/glyph_map.h"
#include "store/width_arrays.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    for (auto [code, u] : to_unicode_pairs(text, size))
        if (code > 0xFFFF || u <= 0 || u > 0x10FFFF) std::abort();
    std::vector<double> slots(4096, -1);
    read_cid_widths(text, static_cast<int>(size), slots.data(), static_cast<int>(slots.size()));
    read_simple_widths(text, static_cast<int>(size), slots.data(), static_cast<int>(slots.size()),
                       static_cast<int>(size % 300));
    return 0;
}
