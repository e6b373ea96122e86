#include "tests/support/pdf_file.h"

#include <cstdio>

namespace tt {

std::string pdf_from_objects(const std::vector<std::string>& objects, const std::string& header,
                             const std::string& trailer_entries) {
    std::string out = header;
    std::vector<size_t> off(objects.size(), 0);
    for (size_t n = 1; n < objects.size(); ++n) {
        off[n] = out.size();
        out += std::to_string(n) + " 0 obj\n" + objects[n] + "\nendobj\n";
    }
    size_t xref = out.size();
    out += "xref\n0 " + std::to_string(objects.size()) + "\n0000000000 65535 f \n";
    char line[32];
    for (size_t n = 1; n < objects.size(); ++n) {
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", off[n]);
        out += line;
    }
    return out + "trailer\n<</Size " + std::to_string(objects.size()) + trailer_entries +
           ">>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
}

std::string pdf_stream(const std::string& dict, const std::string& data) {
    return "<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data +
           "\nendstream";
}

std::string form_xobject(int w, int h, const std::string& data, const std::string& rest) {
    return pdf_stream("/Type /XObject /Subtype /Form /BBox [0 0 " + std::to_string(w) + " " +
                          std::to_string(h) + "]" + rest,
                      data);
}

}  // namespace tt
