// Places one JPEG of about 1 MB and one PNG of 1 megapixel on each of N pages (default
// 1000) and prints pages per second, with the time of PNG decoding and of Flate compression
// measured on their own.
//
//   bench_images [pages]
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "generator/flate.h"
#include "generator/operations.h"
#include "generator/pdf_writer.h"
#include "generator/png_decode.h"
#include "store/failure.h"
#include "tests/support/run_tools.h"
#include "tests/support/template_builder.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

bool make(const std::string& args) {
    return tt::run("/usr/bin/convert " + args).status == 0;
}

long size_of(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

}  // namespace

int main(int argc, char** argv) {
    int pages = argc > 1 ? std::atoi(argv[1]) : 1000;
    if (pages < 1) pages = 1;
    if (access("/usr/bin/convert", X_OK) != 0) {
        std::printf("bench_images: /usr/bin/convert is missing, nothing measured\n");
        return 0;
    }
    tt::TempDir d;
    std::string jpg = d.file("photo.jpg"), png = d.file("scan.png"), tpl = d.file("page.tpl");
    // The JPEG is fractal noise, a stand-in for a photograph; the PNG is smoothed and reduced
    // to few levels, like a scanned form or a chart.
    if (!make("-seed 11 -size 1500x1100 plasma:fractal -quality 95 " + tt::sh_quote(jpg)) ||
        !make("-seed 12 -size 1000x1000 plasma:fractal -blur 0x3 -posterize 16 -depth 8 PNG24:" +
              tt::sh_quote(png))) {
        std::printf("bench_images: could not make the fixtures\n");
        return 1;
    }
    tb::simple_template(tpl);

    // PNG decoding and Flate compression of the decoded samples, on their own.
    const int reps = 20;
    double t_decode = 0, t_flate = 0;
    long compressed = 0;
    for (int i = 0; i < reps; ++i) {
        FILE* f = std::fopen(png.c_str(), "rb");
        convertbuf_struct cb;
        int len = 0, w = 0, h = 0;
        auto t0 = Clock::now();
        unsigned char* samples = png2rgb(&cb, &len, &w, &h, f);
        t_decode += seconds_since(t0);
        std::fclose(f);
        if (!samples) {
            std::printf("bench_images: %s\n", cb.error);
            return 1;
        }
        t0 = Clock::now();
        do_compress(samples, len);
        t_flate += seconds_since(t0);
        compressed = unzip_buf_len;
        std::free(unzip_buf);
        unzip_buf = nullptr;
        std::free(samples);
    }

    // The whole document.
    // The output goes to /dev/null: the figure is the generator's, not the disk's.
    std::string out = "/dev/null";
    auto t0 = Clock::now();
    try {
        _Merlow();
        _setPDFFileName(out.c_str());
        for (int p = 0; p < pages; ++p) {
            _startPage(tpl.c_str());
            _setPageImageData(jpg.c_str(), 36, 36, 0.25f, 0, 0);
            _setPageImageData(png.c_str(), 36, 400, 0.3f, 0, 0);
            _endPage();
        }
        _finish();
    } catch (const Failure& f) {
        std::printf("bench_images: %s\n", f.what());
        return 1;
    }
    double total = seconds_since(t0);

    std::printf("bench_images: %d pages, JPEG %.2f MB, PNG 1000x1000 (%.2f MB file)\n", pages,
                size_of(jpg) / 1048576.0, size_of(png) / 1048576.0);
    std::printf("  document:        %8.1f pages/s  (%.2f s, output %.1f MB)\n", pages / total,
                total, static_cast<double>(g_out.sum_pos) / 1048576.0);
    std::printf("  PNG decoding:    %8.2f ms per image\n", 1000 * t_decode / reps);
    std::printf("  Flate of samples:%8.2f ms per image (3.00 MB to %.2f MB)\n",
                1000 * t_flate / reps, compressed / 1048576.0);
    std::printf("  share of a page: decoding %.0f%%, compression %.0f%%\n",
                100 * (t_decode / reps) / (total / pages),
                100 * (t_flate / reps) / (total / pages));
    return 0;
}
