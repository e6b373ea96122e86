// Ids of the events the grammar raises while it recognises a PDF file; the handler table
// in the compile state is indexed by them.
#pragma once

enum EventId : int {
    EV_OPEN = 0,            // the source path, before the parse (no handler)
    EV_VERSION = 1,         // after the version line (no handler)
    EV_HEADER = 2,          // the header text: trailer record "entryheader"
    EV_BEGIN_OBJECT = 3,    // "N G obj": the object being defined
    EV_END_OBJECT = 4,      // "endobj"
    EV_STRING = 5,          // string (or real) record
    EV_NAME = 6,            // name record
    EV_ARRAY_START = 7,     // array start record
    EV_ARRAY_ITEM = 8,      // scalar array item (not stored)
    EV_ARRAY_END = 9,       // array end record
    EV_OBJREF = 10,         // reference record
    EV_SUBDICT_START = 11,  // sub-dictionary start record
    EV_SUBDICT_END = 12,    // sub-dictionary end record
    EV_INTEGER = 13,        // integer record
    EV_STREAM = 14,         // stream data record
    EV_IMMEDIATE_INT = 15,  // an object that is a bare integer
    EV_XREF_START = 16,     // cross-reference section (no handler)
    EV_XREF_ENTRY = 17,     // cross-reference entry (no handler)
    EV_XREF_END = 18,       // end of the entries (no handler)
    EV_TRAILER = 19,        // "trailer": keys go to the trailer records
    EV_STARTXREF = 20,      // "startxref" offset (no handler)
    EV_SECTION_END = 21,    // "%%EOF" or a trailer that the next section follows: an update
                            // section ends at the value's offset
    EV_DICT_END = 22,       // the object's own dictionary closed
};
