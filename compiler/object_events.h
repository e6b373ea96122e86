// The grammar's events and the handlers that turn them into element and trailer records.
#pragma once

#include "compiler/compiler_state.h"
#include "compiler/parse_ctx.h"
#include "store/records.h"

// Runs the handler installed for an event id; an empty slot does nothing.
void raise_event(int id, const char* label, const pdf_tok& value);

// Empties the event table and installs the object-collecting handlers.
void install_event_handlers();

// Ends the object being defined: when its number already held a newer definition, that
// one is put back. Runs at every object's end, and once more when the parse stops.
void finish_object_events();

// After a parse that stopped inside an object: closes the dictionaries and arrays left
// open in its chain, so that what was stored still makes whole objects.
void close_partial_object();

// Prints a parse error ("Carvel Compile error (%s):" and the message) on standard output
// and keeps it for the error log, with the text offset where the parse stopped when known.
void report_parse_error(const char* msg, long pos = -1);

// Stores a source token as a string element: the kind is the token's first byte ("(",
// "<", "[" or none) and the delimiters are dropped; array text gets a space before a
// leading digit and after every unescaped ")" followed by a digit.
void store_token_string(st_elem& e, const char* text, int len);

// Index of the trailer record with this label, appended when there is none yet.
int trailer_find_or_append(const char* label);
// The trailer record with this label (appended when there is none yet), its value cleared
// and its type set to `type`; null when no record can be added.
st_elem* trailer_value(const char* label, int type);
