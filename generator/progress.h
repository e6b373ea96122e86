// A progress line on standard error (pages written, pages per second) for runs that a
// person watches: shown only when standard error is a terminal, redrawn at most a few
// times a second, and cleared before anything else is written there.
#pragma once

#include <cstdio>

// Turns the line on when `fd` is a terminal (the programs pass standard error's); the line
// starts with `program`.
void progress_begin(int fd, const char* program);
// Reports the number of pages written so far; redraws the line when it is due.
void progress_pages(int pages);
// Clears the line, if one is shown. Safe to call at any time, also more than once.
void progress_end();

// The rate limiter and formatter behind the line, apart from the clock and the terminal.
struct ProgressLine {
    static constexpr double interval = 0.25;  // seconds between redraws
    double start = 0;
    double last = -1;  // time of the last redraw, -1 for none yet
    int shown = 0;     // characters of the line on the terminal now
    const char* program = "tessaro";

    // Writes the line for `pages` at time `now` to `out` when a redraw is due (the first
    // one `interval` after the start, so short runs show nothing); returns whether it did.
    bool update(FILE* out, int pages, double now);
    // Blanks the shown line and returns the cursor to the line's start.
    void clear(FILE* out);
};
