// Cost of encryption: the same document generated plain and encrypted by the tessaro
// program (pages per second, output megabytes per second), and the raw RC4 rate.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "generator/rc4.h"
#include "tests/support/run_tools.h"
#include "tests/support/template_builder.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Best of `tries` runs of the script; returns seconds.
double time_run(const tt::TempDir& d, const std::string& script, int tries) {
    double best = 1e30;
    for (int i = 0; i < tries; ++i) {
        auto t0 = Clock::now();
        int st = tt::run_tessaro(script, d.file("err.log"));
        double s = seconds_since(t0);
        if (st != 0) {
            std::fprintf(stderr, "tessaro failed: %s\n", tt::read_file(d.file("err.log")).c_str());
            return -1;
        }
        if (s < best) best = s;
    }
    return best;
}

}  // namespace

// With a directory argument the template and both scripts are also left there, for
// profiling the program on them.
int main(int argc, char** argv) {
    tt::TempDir d;
    std::string tpl = d.file("bench.tpl");
    tb::simple_template(tpl, {bench::field_column("Benchmark page with fields", "field", 20)});

    const int pages = 2000;
    std::string body = "start\t" + d.file("out.pdf") + "\n";
    for (int i = 0; i < pages; ++i) {
        body += "startPage\t" + tpl + "\n";
        for (int k = 0; k < 20; ++k)
            body += "setPageFieldData\tfield" + std::to_string(k) + "\tValue " + std::to_string(i) +
                    "-" + std::to_string(k) + "\n";
        body += "endPage\n";
    }
    body += "finish\n";
    // Field filling may not be built into every configuration; without it the field lines
    // are left out and both variants write the template's own field appearances.
    std::string probe = "Tessaro\nstart\t" + d.file("probe.pdf") + "\nstartPage\t" + tpl +
                        "\nsetPageFieldData\tfield0\tx\nendPage\nfinish\n";
    tt::write_file(d.file("probe.txt"), probe);
    bool fields = tt::run_tessaro(d.file("probe.txt"), d.file("err.log")) == 0;
    if (!fields) {
        std::string kept;
        size_t at = 0;
        while (at < body.size()) {
            size_t nl = body.find('\n', at);
            std::string line = body.substr(at, nl - at + 1);
            if (line.rfind("setPageFieldData", 0) != 0) kept += line;
            at = nl + 1;
        }
        body = kept;
    }
    tt::write_file(d.file("plain.txt"), "Tessaro\n" + body);
    tt::write_file(d.file("crypt.txt"), "Tessaro\nsetCryptMode\tuser\towner\t1\t0\t0\t0\n" + body);

    if (argc > 1) {
        std::string keep = argv[1];
        tt::run("cp " + tt::sh_quote(tpl) + " " + tt::sh_quote(d.file("plain.txt")) + " " +
                tt::sh_quote(d.file("crypt.txt")) + " " + tt::sh_quote(keep));
    }
    double plain = time_run(d, d.file("plain.txt"), 3);
    double plain_mb = static_cast<double>(tt::read_file(d.file("out.pdf")).size()) / 1e6;
    double crypt = time_run(d, d.file("crypt.txt"), 3);
    double crypt_mb = static_cast<double>(tt::read_file(d.file("out.pdf")).size()) / 1e6;
    if (plain < 0 || crypt < 0) return 1;
    std::printf("bench_crypt: %d pages, 20 fields each%s\n", pages,
                fields ? ", filled" : " (field filling not built: fields unfilled)");
    std::printf("  plain      %8.0f pages/s  %7.1f MB/s  (%.1f MB)\n", pages / plain,
                plain_mb / plain, plain_mb);
    std::printf("  encrypted  %8.0f pages/s  %7.1f MB/s  (%.1f MB)  %+.1f%% time\n", pages / crypt,
                crypt_mb / crypt, crypt_mb, (crypt / plain - 1) * 100);

    std::vector<unsigned char> buf(64 << 20, 0x5A);
    Rc4 r;
    const unsigned char key[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    rc4_init(r, key, 10);
    auto t0 = Clock::now();
    rc4_crypt(r, buf.data(), buf.size());
    double s = seconds_since(t0);
    std::printf("  RC4        %8.1f MB/s (check byte %02X)\n", buf.size() / 1e6 / s, buf[12345]);
    return 0;
}
