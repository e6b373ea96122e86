#include "tests/support/pdf_render.h"

#include <cstdlib>
#include <sstream>

#include "tests/support/run_tools.h"

namespace tt {

Pixmap render_page(const std::string& pdf, int page, int dpi, bool gray, const std::string& extra) {
    TempDir d;
    std::string out = d.file("page");
    std::string p = std::to_string(page);
    Result r = run("pdftoppm -r " + std::to_string(dpi) + (gray ? " -gray " : " ") + extra +
                   " -f " + p + " -l " + p + " -singlefile " + sh_quote(pdf) + " " + sh_quote(out));
    if (r.status != 0) return {};
    std::string pnm = read_file(out + (gray ? ".pgm" : ".ppm"));
    std::istringstream in(pnm);
    std::string magic;
    int maxval = 0;
    Pixmap px;
    in >> magic >> px.w >> px.h >> maxval;
    in.get();
    if (magic != (gray ? "P5" : "P6") || !in || maxval != 255) return {};
    px.channels = gray ? 1 : 3;
    px.px = pnm.substr(static_cast<size_t>(in.tellg()));
    if (px.px.size() != static_cast<size_t>(px.w) * px.h * px.channels) return {};
    return px;
}

double differing(const Pixmap& a, const Pixmap& b, int threshold) {
    if (a.w != b.w || a.h != b.h || a.px.size() != b.px.size() || a.px.empty()) return 1;
    size_t n = 0;
    for (size_t i = 0; i < a.px.size(); ++i)
        if (std::abs(static_cast<unsigned char>(a.px[i]) - static_cast<unsigned char>(b.px[i])) >
            threshold)
            ++n;
    return static_cast<double>(n) / static_cast<double>(a.px.size());
}

double mean_difference(const Pixmap& a, const Pixmap& b) {
    if (a.w != b.w || a.h != b.h || a.px.size() != b.px.size() || a.px.empty()) return 1;
    double sum = 0;
    for (size_t i = 0; i < a.px.size(); ++i)
        sum += std::abs(static_cast<unsigned char>(a.px[i]) - static_cast<unsigned char>(b.px[i]));
    return sum / 255.0 / static_cast<double>(a.px.size());
}

int dark_pixels(const Pixmap& p) {
    int n = 0;
    for (char c : p.px) n += static_cast<unsigned char>(c) < 128;
    return n;
}

}  // namespace tt
