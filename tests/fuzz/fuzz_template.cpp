// Fuzzes the template load and the page write: any bytes as a template file, loaded as a
// page and written into a document. Every outcome must be a clean page or a Failure.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "generator/operations.h"
#include "generator/pdf_writer.h"
#include "store/failure.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/fuzz_template_" + std::to_string(getpid()) + ".tpl";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
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
