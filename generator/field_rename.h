// Field script values, invisibility and the renaming that every page's ordinary fields get
// before they are written.
#pragma once

#include <cstdint>
#include <string>

// Fields renamed so far in this document; names are "K_E_S_Trel%d_" of the counter, so they
// are unique across all pages. Reset by fields_reset() at _Merlow.
extern int global_annot_no;

// Writes the value (a code-point string) as the field's /V, a UTF-16BE string with a
// byte-order mark, and marks the field as set. Returns the field record's index.
int set_field_script_value(const char* field_name, const int32_t* field_data);
// Makes the field's widget invisible, not viewable and not printable, and marks the field
// as set. Returns the field record's index.
int set_field_invisible(const char* field_name);

// The body of a literal PDF string holding the code points as UTF-16BE with a byte-order
// mark: characters beyond U+FFFF become surrogate pairs, and the bytes "(", ")", "\" and
// carriage return are escaped so that the string reads back as exactly those bytes.
void utf16_literal(const int32_t* text, std::string& out);
