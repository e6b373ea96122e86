// The file's own cross-reference data, newest first: from the last "startxref" through each
// section's /Prev (and a hybrid file's /XRefStm), where each object's live definition is.
// Files edited in place often hold several definitions of an object, and an update may point
// an object back at an earlier one; viewers show the one the newest cross-reference names.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct LiveObject {
    enum Kind : char {
        unknown = 0,     // not listed, free, or listed at a place that holds no such object
        direct = 'o',    // defined in the file's text; obj_pos is its "obj" keyword's offset
        in_stream = 's'  // held by object stream `stream`
    };
    Kind kind = unknown;
    size_t obj_pos = 0;
    long stream = -1;
};

struct XrefChain {
    bool valid = false;               // the newest section could be read
    std::vector<LiveObject> objects;  // by object number
    // The live definition of object n, or nullptr when the chain does not tell.
    const LiveObject* find(long n) const {
        if (n < 0 || static_cast<size_t>(n) >= objects.size()) return nullptr;
        const LiveObject& o = objects[static_cast<size_t>(n)];
        return o.kind == LiveObject::unknown ? nullptr : &o;
    }
};

// Reads the chain of a file's text, whose offsets are the file's own. A file whose newest
// section cannot be read gives a chain that is not valid (and tells nothing).
XrefChain read_xref_chain(const std::string& text);
