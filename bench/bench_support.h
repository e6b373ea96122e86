// Shared pieces of the benchmarks: timing a child program and the I/O floor of a run.
#pragma once

#include <string>

#include "tests/support/template_builder.h"

namespace bench {

struct ChildRun {
    double seconds = 0;
    long peak_rss_kb = 0;
    int status = -1;
};

// Runs argv[0] with the given arguments (no shell), timing it and reading its peak RSS.
ChildRun run_child(const std::string& program, const std::string& arg1, const std::string& arg2);

// The I/O floor of `pages` pages: reading `template_path` once per page and writing
// `out_bytes` through a buffered stream to `out_path`. Returns seconds.
double io_floor(const std::string& template_path, int pages, long long out_bytes,
                const std::string& out_path);

// The write floor of a run: writing `out_bytes` to `out_path` one page's share at a time
// through a 1 MB buffer, as tessaro writes its output, and nothing else. Returns seconds.
double write_floor(int pages, long long out_bytes, const std::string& out_path);

// A page showing `text` with `count` text fields named prefix0, prefix1, ... in a column,
// the first at y = 700 and each next one 30 points lower.
tb::PageSpec field_column(const std::string& text, const std::string& prefix, int count);

long long file_size(const std::string& path);
std::string temp_dir();
// The directory of the running benchmark (build/bin), where the programs are.
std::string bin_dir();

}  // namespace bench
