#include "multibyte/jis_converter.h"

#include "multibyte/jis_tables.h"
#include "multibyte/mime_words.h"
#include "multibyte/utf8_decode.h"

namespace {

constexpr uint8_t ESC = 0x1B;
constexpr uint8_t SO = 0x0E;
constexpr uint8_t SI = 0x0F;

// Which set the 7-bit bytes select (ISO-2022-JP designations).
enum class Mode : uint8_t { ascii, kanji, kana };

struct Converter {
    bool sjis;
    Mode mode = Mode::ascii;
    bool shift_out = false;  // SO: 7-bit bytes are half-width katakana until SI
    bool mime;               // recognise encoded words
};

// Code point of JIS X 0208 code j1 j2, 0 when unmapped.
inline int32_t jis_lookup(unsigned j1, unsigned j2) {
    unsigned r = j1 - 0x21, c = j2 - 0x21;  // wraps for bytes below 0x21
    if (r >= 94 || c >= 94) return 0;
    return jis0208_to_ucs[r * 94 + c];
}

// Shift_JIS arithmetic by table, without branches on the byte values.
// k_sjis_lead[b1]: row index (0-based) of the first of the two JIS rows that lead byte b1
// covers, 0xFF for bytes that are no lead byte.
// k_sjis_trail[b2]: bit 8 set when b2 selects the second of the two rows, low byte the cell
// index (0-based); 0xFFFF for bytes that are no trail byte.
constexpr auto k_sjis_lead = [] {
    struct {
        uint8_t v[256];
    } t{};
    for (int b = 0; b < 256; ++b) {
        int lead = b >= 0xE0 ? b - 0xC1 : b - 0x81;
        t.v[b] = (b >= 0x81 && b <= 0xFC && !(b >= 0xA0 && b <= 0xDF) && 2 * lead < 94)
                     ? static_cast<uint8_t>(2 * lead)
                     : 0xFF;
    }
    return t;
}();

constexpr auto k_sjis_trail = [] {
    struct {
        uint16_t v[256];
    } t{};
    for (int b = 0; b < 256; ++b) {
        if (b < 0x40 || b == 0x7F || b > 0xFC) {
            t.v[b] = 0xFFFF;
        } else if (b >= 0x9F) {
            t.v[b] = static_cast<uint16_t>(0x100 | (b - 0x9F));
        } else {
            t.v[b] = static_cast<uint16_t>(b - (b >= 0x80 ? 0x41 : 0x40));
        }
    }
    return t;
}();

// Code point of the Shift_JIS pair b1 b2, 0 when unmapped.
inline int32_t sjis_lookup(unsigned b1, unsigned b2) {
    unsigned lead = k_sjis_lead.v[b1 & 0xFF];
    unsigned trail = k_sjis_trail.v[b2 & 0xFF];
    if (lead == 0xFF || trail == 0xFFFF) return 0;
    unsigned row = lead + (trail >> 8);
    if (row >= 94) return 0;
    return jis0208_to_ucs[row * 94 + (trail & 0xFF)];
}

// Length of the escape sequence at p (p[0] == ESC) when it is one the converter honours,
// with the mode it selects; 0 otherwise.
int read_escape(const uint8_t* p, const uint8_t* end, Mode& mode) {
    long left = end - p;
    if (left >= 3 && p[1] == '$' && (p[2] == '@' || p[2] == 'B')) {
        mode = Mode::kanji;
        return 3;
    }
    if (left >= 4 && p[1] == '$' && p[2] == '(' && (p[3] == '@' || p[3] == 'B')) {
        mode = Mode::kanji;
        return 4;
    }
    if (left >= 3 && p[1] == '(') {
        if (p[2] == 'B' || p[2] == 'J' || p[2] == 'H') {
            mode = Mode::ascii;
            return 3;
        }
        if (p[2] == 'I') {
            mode = Mode::kana;
            return 3;
        }
    }
    return 0;
}

void convert(Converter& cv, const uint8_t* p, const uint8_t* end, CodePointSink& sink);

// Decodes the bytes of an encoded word by the character set it names. The word's own escape
// state does not carry over into the surrounding text.
void convert_word(const uint8_t* p, const uint8_t* end, MimeCharset cs, bool outer_sjis,
                  CodePointSink& sink) {
    switch (cs) {
        case MimeCharset::utf_8:
            utf8_decode(p, end, sink);
            return;
        case MimeCharset::iso_8859_1:
            for (; p < end; ++p) {
                if (*p == 0) {
                    sink.stop();
                    return;
                }
                if (!sink.put(*p)) return;
            }
            return;
        default:
            break;
    }
    Converter inner;
    inner.sjis = cs == MimeCharset::shift_jis || (cs == MimeCharset::us_ascii && outer_sjis);
    inner.mime = false;
    convert(inner, p, end, sink);
}

// Stands for a character that has no mapping (the geta mark): the value goes on after it,
// so nothing after an unmappable character is lost.
constexpr int32_t NO_MAPPING = 0x3013;

// Puts the code point of the two-byte character at p (the geta mark for a code without a
// mapping, 0) and returns where the next character starts.
const uint8_t* put_pair(CodePointSink& sink, int32_t u, const uint8_t* p) {
    sink.put(u != 0 ? u : NO_MAPPING);
    return p + 2;
}

// Decodes the character or control sequence at p (p < end) and returns where the next one
// starts. Sets sink.stopped when the value ends here.
const uint8_t* convert_rare(Converter& cv, const uint8_t* p, const uint8_t* end,
                            CodePointSink& sink) {
    unsigned b = *p;
    if (b < 0x80) {
        if (b == 0) {
            sink.stop();
            return p;
        }
        if (b == ESC) {
            int n = read_escape(p, end, cv.mode);
            return p + (n > 0 ? n : 1);  // an escape that is not honoured is dropped
        }
        if (b == SO || b == SI) {
            cv.shift_out = b == SO;
            return p + 1;
        }
        if (cv.shift_out || cv.mode == Mode::kana) {
            if (b >= 0x21 && b <= 0x5F) {
                sink.put(static_cast<int32_t>(0xFF61 + (b - 0x21)));
            } else if (b >= 0x60) {
                sink.put(NO_MAPPING);  // not a JIS X 0201 katakana
            } else {
                sink.put(static_cast<int32_t>(b));
            }
            return p + 1;
        }
        if (cv.mode == Mode::kanji && b >= 0x21 && b <= 0x7E) {
            if (end - p < 2) return end;  // cut off by the end of the input
            unsigned b2 = p[1];
            if (b2 < 0x21 || b2 > 0x7E) return p + 1;  // a lone byte of a two-byte character
            return put_pair(sink, jis_lookup(b, b2), p);
        }
        if (b == '=' && cv.mime && end - p >= 2 && p[1] == '?') {
            uint8_t buf[MIME_WORD_MAX];
            MimeWord word;
            if (read_mime_word(p, end, buf, word)) {
                convert_word(buf, buf + word.length, word.charset, cv.sjis, sink);
                return p + word.consumed;
            }
        }
        sink.put(static_cast<int32_t>(b));
        return p + 1;
    }

    if (cv.sjis) {
        if (b >= 0xA0 && b <= 0xDF) {
            if (b == 0xA0) {
                sink.put(NO_MAPPING);
                return p + 1;
            }
            sink.put(static_cast<int32_t>(0xFF61 + (b - 0xA1)));
            return p + 1;
        }
        if (end - p < 2) return end;  // a lead byte at the end is dropped
        unsigned b2 = p[1];
        if (b2 < 0x40) return p + 2;  // dropped with its lead byte
        if (b >= 0xFA && b <= 0xFC) {
            if (b2 > 0xFC) return p + 2;
            unsigned nec = cp932_ibm_to_nec[b - 0xFA][b2 - 0x40];
            if (nec == 0) {  // an IBM extension without an equivalent
                sink.put(NO_MAPPING);
                return p + 2;
            }
            b = nec >> 8;
            b2 = nec & 0xFF;
        }
        return put_pair(sink, sjis_lookup(b, b2), p);
    }

    // EUC-JP
    if (b == 0x8F) {
        // A three-byte JIS X 0212 character (or an eucJP-ms extension), which has no mapping.
        if (end - p < 3) return end;  // cut off by the end of the input
        sink.put(NO_MAPPING);
        return p + 3;
    }
    if (end - p < 2) return end;  // a lead byte at the end is dropped
    unsigned b2 = p[1];
    if (b == 0x8E) {
        if (b2 >= 0xA1 && b2 <= 0xDF) sink.put(static_cast<int32_t>(0xFF61 + (b2 - 0xA1)));
        return p + 2;  // any other byte is dropped with 0x8E
    }
    if (b2 < 0x40) return p + 2;  // dropped with its lead byte
    return put_pair(sink, jis_lookup(b & 0x7F, b2 & 0x7F), p);
}

// The common characters (ASCII outside escape modes, two-byte EUC-JP and Shift_JIS kanji
// and kana) are decoded in this loop; everything else goes through convert_rare().
void convert(Converter& cv, const uint8_t* p, const uint8_t* end, CodePointSink& sink) {
    // Every input byte yields at most one code point; an input longer than the room left is
    // cut to that room, so the loop needs no check of its own.
    if (end - p > sink.end - sink.out) end = p + (sink.end - sink.out);
    int32_t* o = sink.out;
    while (p < end) {
        unsigned b = *p;
        if (b < 0x80) {
            if (b >= 0x20 && b != '=' && !cv.shift_out && cv.mode == Mode::ascii) {
                *o++ = static_cast<int32_t>(b);
                ++p;
                continue;
            }
        } else if (end - p >= 2) {
            unsigned b2 = p[1];
            if (!cv.sjis) {
                if (b >= 0xA1 && b <= 0xFE && b2 >= 0xA1 && b2 <= 0xFE) {
                    int32_t u = jis0208_to_ucs[(b - 0xA1) * 94 + (b2 - 0xA1)];
                    if (u != 0) {
                        *o++ = u;
                        p += 2;
                        continue;
                    }
                }
            } else if (b <= 0x9F || (b >= 0xE0 && b <= 0xEF)) {
                int32_t u = sjis_lookup(b, b2);
                if (u != 0) {
                    *o++ = u;
                    p += 2;
                    continue;
                }
            }
        }
        sink.out = o;
        p = convert_rare(cv, p, end, sink);
        if (sink.stopped) return;
        o = sink.out;
    }
    sink.out = o;
    if (p < end) sink.stop();
}

}  // namespace

void jis_decode(char encoding, const uint8_t* p, const uint8_t* end, CodePointSink& sink) {
    Converter cv;
    cv.sjis = encoding == 'S';
    cv.mime = true;
    convert(cv, p, end, sink);
}
