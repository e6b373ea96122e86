#include "generator/progress.h"

#include <unistd.h>

#include <ctime>

namespace {

bool g_enabled = false;
ProgressLine g_line;

double now_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace

bool ProgressLine::update(FILE* out, int pages, double now) {
    const double since = last < 0 ? start : last;
    if (now - since < interval) return false;
    last = now;
    const double rate = now > start ? pages / (now - start) : 0.0;
    char text[96];
    int n = std::snprintf(text, sizeof text, "%.20s: %d pages written, %.0f pages/s", program,
                          pages, rate);
    if (n < 0) return false;
    if (n >= static_cast<int>(sizeof text)) n = sizeof text - 1;
    // Pad over a longer earlier line so nothing of it stays visible.
    std::fprintf(out, "\r%s%*s", text, shown > n ? shown - n : 0, "");
    std::fflush(out);
    if (n > shown) shown = n;  // the terminal columns the line has covered
    return true;
}

void ProgressLine::clear(FILE* out) {
    if (shown == 0) return;
    std::fprintf(out, "\r%*s\r", shown, "");
    std::fflush(out);
    shown = 0;
}

void progress_begin(int fd, const char* program) {
    g_enabled = isatty(fd) == 1;
    g_line = ProgressLine{};
    g_line.start = now_seconds();
    g_line.program = program;
}

void progress_pages(int pages) {
    if (g_enabled) g_line.update(stderr, pages, now_seconds());
}

void progress_end() {
    if (g_enabled) g_line.clear(stderr);
}
