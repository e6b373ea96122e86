#include "bench/bench_support.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

extern char** environ;

namespace bench {

ChildRun run_child(const std::string& program, const std::string& arg1, const std::string& arg2) {
    ChildRun r;
    std::vector<char*> argv = {const_cast<char*>(program.c_str()), const_cast<char*>(arg1.c_str()),
                               const_cast<char*>(arg2.c_str()), nullptr};
    auto t0 = std::chrono::steady_clock::now();
    pid_t pid;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        throw std::runtime_error("cannot start " + program);
    int st = 0;
    struct rusage ru {};
    wait4(pid, &st, 0, &ru);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    r.peak_rss_kb = ru.ru_maxrss;
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

double io_floor(const std::string& template_path, int pages, long long out_bytes,
                const std::string& out_path) {
    auto t0 = std::chrono::steady_clock::now();
    std::vector<char> buf(1 << 20);
    FILE* out = std::fopen(out_path.c_str(), "wb");
    std::setvbuf(out, nullptr, _IOFBF, 1 << 20);
    long long per_page = out_bytes / (pages ? pages : 1);
    std::vector<char> chunk(static_cast<size_t>(per_page > 0 ? per_page : 1), 'x');
    for (int p = 0; p < pages; ++p) {
        FILE* in = std::fopen(template_path.c_str(), "rb");
        while (std::fread(buf.data(), 1, buf.size(), in) > 0) {
        }
        std::fclose(in);
        std::fwrite(chunk.data(), 1, chunk.size(), out);
    }
    std::fclose(out);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double write_floor(int pages, long long out_bytes, const std::string& out_path) {
    auto t0 = std::chrono::steady_clock::now();
    FILE* out = std::fopen(out_path.c_str(), "wb");
    std::setvbuf(out, nullptr, _IOFBF, 1 << 20);
    long long per_page = out_bytes / (pages ? pages : 1);
    std::vector<char> chunk(static_cast<size_t>(per_page > 0 ? per_page : 1), 'x');
    for (int p = 0; p < pages; ++p) std::fwrite(chunk.data(), 1, chunk.size(), out);
    std::fclose(out);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

tb::PageSpec field_column(const std::string& text, const std::string& prefix, int count) {
    tb::PageSpec p;
    p.text = text;
    for (int i = 0; i < count; ++i)
        p.fields.push_back(
            {.name = prefix + std::to_string(i), .y = 700 - 30.0f * static_cast<float>(i)});
    return p;
}

long long file_size(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

std::string temp_dir() {
    const char* base = std::getenv("TMPDIR");
    std::string t = std::string(base && *base ? base : "/tmp") + "/tessaro-bench-XXXXXX";
    if (!mkdtemp(t.data())) throw std::runtime_error("mkdtemp");
    return t;
}

std::string bin_dir() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string p(buf, static_cast<size_t>(n));
    return p.substr(0, p.rfind('/'));
}

}  // namespace bench
