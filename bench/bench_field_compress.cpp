// Field compression: the 20-field form filled on every page, written with interactive
// read-only fields and flattened with "compressField" (pages per second, output size).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/bench_support.h"
#include "tests/support/template_builder.h"

namespace {

void form_template(const std::string& path) {
    tb::simple_template(path, {bench::field_column("Form page with twenty fields", "field", 20)});
}

void write_script(const std::string& script, const std::string& tpl, const std::string& pdf,
                  int pages, bool compress) {
    FILE* s = std::fopen(script.c_str(), "w");
    std::fprintf(s, "Tessaro\n%sstart\t%s\n", compress ? "compressField\n" : "", pdf.c_str());
    for (int i = 0; i < pages; ++i) {
        std::fprintf(s, "startPage\t%s\n", tpl.c_str());
        for (int k = 0; k < 20; ++k)
            std::fprintf(s, "setPageFieldData\tfield%d\tCustomer %d, line %d\n", k, i, k);
        std::fprintf(s, "endPage\n");
    }
    std::fprintf(s, "finish\n");
    std::fclose(s);
}

}  // namespace

// Usage: bench_field_compress [pages]
int main(int argc, char** argv) {
    int pages = argc > 1 ? std::atoi(argv[1]) : 10000;
    std::string dir = bench::temp_dir();
    std::string tpl = dir + "/form.tpl";
    form_template(tpl);
    std::string tessaro = bench::bin_dir() + "/tessaro";
    std::printf("field compression benchmark: %d pages of a 20-field form\n", pages);
    std::printf("%-12s %10s %12s %12s %8s\n", "fields", "pages/s", "output MB", "bytes/page",
                "status");
    for (bool compress : {false, true}) {
        std::string script = dir + "/script.txt", pdf = dir + "/out.pdf";
        write_script(script, tpl, pdf, pages, compress);
        bench::ChildRun r = bench::run_child(tessaro, script, dir + "/err.log");
        long long bytes = bench::file_size(pdf);
        std::printf("%-12s %10.0f %12.2f %12lld %8d\n", compress ? "flattened" : "interactive",
                    pages / r.seconds, bytes / 1e6, bytes / pages, r.status);
        std::filesystem::remove(pdf);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
