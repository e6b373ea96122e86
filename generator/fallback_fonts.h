#pragma once

// The fonts that stand in when a field's font cannot show a character. The Latin ones come in
// the field font's face (Helvetica, Times or Courier) and are named by standin_font_name.
enum Fallback {
    FALLBACK_LATIN,           // WinAnsiEncoding
    FALLBACK_LATIN_EXTENDED,  // naming Latin Extended-A and the comma-below letters
    FALLBACK_CYRILLIC_GREEK,  // naming Cyrillic and Greek
    FALLBACK_JAPANESE,        // a Japanese CID font, UCS-2 codes
    FALLBACK_COUNT
};
// The Japanese stand-in's resource name in the appearances and pages that use it.
inline constexpr const char* JAPANESE_FALLBACK_NAME = "TsFbJpn";
