// Fuzzes the template load and the page write: any bytes as a template, loaded from memory
// as a page and written into a document. Every outcome must be a clean page or a Failure.
#include <cstdint>
#include <cstring>
#include <string>

#include "generator/doc_state.h"
#include "generator/operations.h"
#include "generator/pdf_writer.h"
#include "store/failure.h"
#include "tests/fuzz/print_pages.h"
#include "tests/support/template_builder.h"

namespace {

// A valid template with fields and two leaf pages: inputs starting with 'P' are patches
// of it, so that the fuzzer reaches the page write with nearly valid records.
const std::string& valid_template() {
    static const std::string bytes = [] {
        tb::PageSpec a, b;
        a.fields.push_back({"Name"});
        b.rotate = 90;
        return tb::simple_template_bytes({a, b});
    }();
    return bytes;
}

// 'P', then a 4-byte length to cut at, then (4-byte offset, 1 byte) patches.
std::string patched(const uint8_t* data, size_t size) {
    std::string t = valid_template();
    size_t at = 1;
    if (size >= 5) {
        uint32_t cut;
        std::memcpy(&cut, data + 1, 4);
        if (cut < t.size()) t.resize(cut);
        at = 5;
    }
    for (; at + 5 <= size && !t.empty(); at += 5) {
        uint32_t off;
        std::memcpy(&off, data + at, 4);
        t[off % t.size()] = static_cast<char>(data[at + 4]);
    }
    return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes = size > 0 && data[0] == 'P'
                            ? patched(data, size)
                            : std::string(reinterpret_cast<const char*>(data), size);
    print_pages("fuzz.tpl", bytes.data(), bytes.size(), 2);
    return 0;
}
