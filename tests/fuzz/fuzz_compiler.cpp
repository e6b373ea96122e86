// Fuzzes the whole compile in memory: preparation, scanning, parsing, post-processing and
// the template write; the template is then loaded and printed by the generator. A compiled
// template must always load; every other outcome must be a report, never a crash or hang.
//
// The first byte picks how the rest is used: as a whole file, as the body of a dictionary,
// as the objects of a compressed object stream, or as text between objects of a valid file.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "compiler/compile.h"
#include "generator/doc_state.h"
#include "generator/operations.h"
#include "generator/pdf_writer.h"
#include "store/failure.h"
#include "store/storages.h"
#include "store/template_file.h"
#include "tests/fuzz/print_pages.h"

namespace {

const char* const HEAD = "%PDF-1.5\n%\xe2\xe3\xcf\xd3\n";
const char* const TAIL =
    "1 0 obj <</Type/Catalog/Pages 2 0 R>> endobj\n"
    "2 0 obj <</Type/Pages/Kids[3 0 R]/Count 1/MediaBox[0 0 200 200]>> endobj\n"
    "3 0 obj <</Type/Page/Parent 2 0 R/Contents 4 0 R>> endobj\n"
    "4 0 obj <</Length 8>>\nstream\n0 0 m S\n\nendstream\nendobj\n"
    "trailer <</Size 9/Root 1 0 R>>\nstartxref\n0\n%%EOF\n";

std::string build_input(const uint8_t* data, size_t size) {
    if (size == 0) return std::string();
    std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 4) {
        case 0:
            return rest;
        case 1:
            return std::string(HEAD) + "5 0 obj <<" + rest + ">> endobj\n" + TAIL;
        case 2: {
            uLongf n = compressBound(rest.size());
            std::string z(n, '\0');
            compress(reinterpret_cast<Bytef*>(z.data()), &n,
                     reinterpret_cast<const Bytef*>(rest.data()), rest.size());
            z.resize(n);
            return std::string(HEAD) +
                   "6 0 obj <</Type/ObjStm/N 3/First 12/Filter/FlateDecode/Length " +
                   std::to_string(n) + ">>\r\nstream\r\n" + z + "\r\nendstream\r\nendobj\r\n" +
                   TAIL;
        }
        default:
            return std::string(HEAD) + TAIL + rest + "\n" + TAIL;
    }
}

// The compiled storages as template file bytes.
std::string template_bytes() {
    char* buf = nullptr;
    size_t len = 0;
    FILE* f = open_memstream(&buf, &len);
    if (!f) std::abort();
    bool ok = write_template_to(f);
    std::fclose(f);
    std::string out(buf, len);
    std::free(buf);
    if (!ok) std::abort();
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Parse errors go to standard output; keep the fuzzer's own output readable.
    if (!std::freopen("/dev/null", "w", stdout)) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input = build_input(data, size);
    std::string tpl;
    try {
        compile_begin("carvel", "fuzz.pdf", input.size());
        compile_pdf_memory(input.data(), input.size());
        tpl = template_bytes();
    } catch (const Failure&) {
        return 0;
    }
    // Loading sizes the generator's page storages (megabytes, zeroed), slow next to a
    // compile; every eighth template is loaded back, and every 32nd is also printed.
    static unsigned count = 0;
    if (++count % 8 != 0) return 0;
    storages_reset(StoreVariant::generator);
    try {
        load_template_memory("fuzz.pdf.tpl", tpl.data(), tpl.size());
    } catch (const Failure& f) {
        std::fprintf(stderr, "compiled template does not load: %s\n", f.message.c_str());
        std::abort();
    }
    if (count % 32 == 0) print_pages("fuzz.pdf.tpl", tpl.data(), tpl.size(), 1);
    return 0;
}
