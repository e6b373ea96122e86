// Fuzzes the template load and the page write: any bytes as a template file, loaded as a
// page and written into a document. Every outcome must be a clean page or a Failure.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "generator/operations.h"
#include "generator/pdf_writer.h"
#include "store/failure.h"
#include "tests/support/template_builder.h"

namespace {

// A valid template with fields and two leaf pages: inputs starting with 'P' are patches
// of it, so that the fuzzer reaches the page write with nearly valid records.
const std::string& valid_template() {
    static std::string bytes;
    if (bytes.empty()) {
        std::string path = "/tmp/fuzz_template_seed_" + std::to_string(getpid()) + ".tpl";
        tb::PageSpec a, b;
        a.fields.push_back({"Name"});
        b.rotate = 90;
        tb::simple_template(path, {a, b});
        FILE* f = std::fopen(path.c_str(), "rb");
        char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
        std::fclose(f);
        std::remove(path.c_str());
    }
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
    static const std::string path = "/tmp/fuzz_template_" + std::to_string(getpid()) + ".tpl";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size > 0 && data[0] == 'P') {
        std::string t = patched(data, size);
        std::fwrite(t.data(), 1, t.size(), f);
    } else {
        std::fwrite(data, 1, size, f);
    }
    std::fclose(f);
    try {
        _Merlow();
        _setPDFFileName("/dev/null");
        _startPage(path.c_str());
        _endPage();
        _startPage(path.c_str());
        _endPage();
        _finish();
    } catch (const Failure&) {
    }
    print_close();
    return 0;
}
