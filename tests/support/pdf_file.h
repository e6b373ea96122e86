// Small PDF files written out from their object texts, for tests and benchmarks.
#pragma once

#include <string>
#include <vector>

namespace tt {

// A PDF file of objects[1..] (objects[0] is not written: an index is the object's number)
// with a correct cross-reference table. `trailer_entries` is the trailer's text after /Size.
std::string pdf_from_objects(const std::vector<std::string>& objects, const std::string& header,
                             const std::string& trailer_entries = "/Root 1 0 R");

// An object's text for a stream: the dictionary entries `dict` with /Length added, then the
// data.
std::string pdf_stream(const std::string& dict, const std::string& data);

// A form XObject of w by h points drawing `data`; `rest` adds entries (/Resources, /Matrix).
std::string form_xobject(int w, int h, const std::string& data, const std::string& rest = "");

}  // namespace tt
