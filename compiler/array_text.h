// Array texts: an array kept whole as the text between its brackets. Finding where an array
// ends, normalising its text so that every indirect reference is preceded by whitespace,
// and marking those references. Strings inside the text (literal and hexadecimal) and
// comments are opaque: no bracket, digit or "R" inside them counts.
#pragma once

#include <cstddef>
#include <string>

// p points at "(": the byte after the balancing ")", or null when the text ends first.
const char* skip_literal_string(const char* p, const char* end);

// p points at "[": the matching "]", or null when the array does not close before `end`
// or before an "endobj" or "stream" keyword (a damaged array). *reached_end is set when the search
// ran to `end`, so a caller can stop trying further arrays that would fail the same way.
const char* find_array_end(const char* p, const char* end, bool* reached_end = nullptr);

// The stored form of the text between an array's brackets: a space before a leading
// number and before every reference that directly follows a delimiter, and raw marker
// bytes inside literal strings written as the escape "\001" (same string value).
void normalise_array_text(const char* body, size_t len, std::string& out);

// Replaces the whitespace byte before every indirect reference ("N G R") in an array text
// by the reference marker. Returns the number of references marked. Linear in len.
int mark_array_references(char* text, size_t len);
