// Generator throughput: pages per second, output MB/s and peak RSS of tessaro writing
// 10,000 and 100,000 pages from a realistic synthetic one-page template, beside the I/O
// floor of the same work (reading the template once per page, writing the same bytes).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "tests/support/template_builder.h"

namespace {

// About 60 objects and 40 KB of stream data, like a scanned-in office form.
void realistic_template(const std::string& path) {
    tb::simple_template(path, {bench::field_column("Realistic form page", "Field", 20)});
    // Drawing content of about 40 KB and some extra resource objects.
    std::string drawing;
    for (int i = 0; drawing.size() < 40000; ++i)
        drawing += std::to_string(i % 500) + " " + std::to_string((i * 7) % 700) + " m " +
                   std::to_string((i * 3) % 500) + " 700 l S\n";
    int extra = tb::add_object();
    tb::name(extra, "Type", "XObject");
    tb::name(extra, "Subtype", "Form");
    tb::array(extra, "BBox", "0 0 612 792");
    tb::stream(extra, drawing);
    for (int i = 0; i < 15; ++i) {
        int o = tb::add_object();
        tb::name(o, "Type", "ExtGState");
        tb::integer(o, "LW", i);
    }
    tb::write(path);
}

}  // namespace

// Usage: bench_generator [pages...] | --template PATH (writes the template and exits)
int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--template") {
        realistic_template(argv[2]);
        return 0;
    }
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
    if (counts.empty()) counts = {10000, 100000};
    std::string dir = bench::temp_dir();
    std::string tpl = dir + "/form.tpl";
    realistic_template(tpl);
    std::string tessaro = bench::bin_dir() + "/tessaro";
    std::printf("generator benchmark: template %lld bytes\n", bench::file_size(tpl));
    std::printf("%8s %10s %10s %10s %12s %10s %8s\n", "pages", "pages/s", "MB/s", "peakRSS",
                "floor pg/s", "ratio", "status");
    for (int pages : counts) {
        std::string script = dir + "/script.txt", pdf = dir + "/out.pdf";
        FILE* s = std::fopen(script.c_str(), "w");
        std::fprintf(s, "Tessaro\nstart\t%s\n", pdf.c_str());
        for (int i = 0; i < pages; ++i) std::fprintf(s, "startPage\t%s\nendPage\n", tpl.c_str());
        std::fprintf(s, "finish\n");
        std::fclose(s);
        bench::ChildRun r = bench::run_child(tessaro, script, dir + "/err.log");
        long long bytes = bench::file_size(pdf);
        double floor = bench::io_floor(tpl, pages, bytes, dir + "/floor.bin");
        std::printf("%8d %10.0f %10.1f %8ldMB %12.0f %9.2fx %8d\n", pages, pages / r.seconds,
                    bytes / r.seconds / 1e6, r.peak_rss_kb / 1024, pages / floor, r.seconds / floor,
                    r.status);
        std::filesystem::remove(pdf);
        std::filesystem::remove(dir + "/floor.bin");
    }
    std::filesystem::remove_all(dir);
    return 0;
}
