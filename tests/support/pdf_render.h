// Rendering PDF pages with pdftoppm and comparing the pictures.
#pragma once

#include <string>

namespace tt {

// One rendered page: `channels` bytes per pixel (1 grey, 3 RGB), rows top to bottom.
struct Pixmap {
    int w = 0, h = 0, channels = 0;
    std::string px;
};

// Renders page `page` (1-based) of `pdf` at `dpi`, in grey or in colour, with extra pdftoppm
// options (such as "-aa no"). An empty pixmap when pdftoppm fails.
Pixmap render_page(const std::string& pdf, int page, int dpi = 50, bool gray = true,
                   const std::string& extra = "");
// Share of samples that differ by more than `threshold` between two renderings (1 when the
// sizes differ or nothing was rendered).
double differing(const Pixmap& a, const Pixmap& b, int threshold = 64);
// Mean absolute difference of the samples, 0 (alike) to 1 (1 when the sizes differ or
// nothing was rendered).
double mean_difference(const Pixmap& a, const Pixmap& b);
// Samples darker than middle grey.
int dark_pixels(const Pixmap& p);

}  // namespace tt
