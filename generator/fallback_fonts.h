#pragma once

// The fonts that stand in when a field's font cannot show a character, and their resource
// names in the appearances and pages that use them.
enum Fallback {
    FALLBACK_LATIN,           // Helvetica, WinAnsiEncoding
    FALLBACK_LATIN_EXTENDED,  // Helvetica naming Latin Extended-A and the comma-below letters
    FALLBACK_CYRILLIC_GREEK,  // Helvetica naming Cyrillic and Greek
    FALLBACK_JAPANESE,        // a Japanese CID font, UCS-2 codes
    FALLBACK_COUNT
};
inline constexpr const char* FALLBACK_NAMES[FALLBACK_COUNT] = {"TsFbHelv", "TsFbHelvX", "TsFbHelvY",
                                                               "TsFbJpn"};
