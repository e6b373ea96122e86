// Field lookups by the names scripts give.
#pragma once

// The name a script's field-name argument addresses fields by: the argument itself when it
// names a field as it is (ASCII, UTF-8, or the bytes an older template recorded), else its
// text converted from the script's input encoding to UTF-8 (the encoding of recorded full
// names). The result stays valid until the next call.
const char* resolve_field_name(const char* name);
// Index of the first field record that `name` (a script's argument) addresses by its fully
// qualified or its partial name, or -1.
int field_record_index(const char* name);
