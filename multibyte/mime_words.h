// MIME encoded words ("=?charset?B?...?=" and "=?charset?Q?...?=") inside script values.
#pragma once

#include <cstddef>
#include <cstdint>

// Longest encoded word recognised, from "=?" through "?=" inclusive; a longer one is left as
// plain text. The decoded bytes of a word are never longer than the word.
constexpr size_t MIME_WORD_MAX = 1024;

enum class MimeCharset : uint8_t { euc_jp, shift_jis, iso_8859_1, iso_2022_jp, utf_8, us_ascii };

struct MimeWord {
    MimeCharset charset;
    size_t consumed;  // bytes of input taken: the word and the blanks that follow it
    size_t length;    // decoded bytes in the caller's buffer
};

// Reads an encoded word at `p` (which points at "=?"). The charset and encoding names are
// matched without regard to case: EUC-JP B, SHIFT_JIS B, ISO-8859-1 Q and B, ISO-2022-JP B and
// Q, UTF-8 B, US-ASCII Q. On success the decoded bytes are in `buf` (MIME_WORD_MAX bytes) and
// the word is described in `word`; otherwise (no pattern, no closing "?=" within the limit, a
// character that does not belong) returns false and the text is to be taken as it stands.
bool read_mime_word(const uint8_t* p, const uint8_t* end, uint8_t* buf, MimeWord& word);
