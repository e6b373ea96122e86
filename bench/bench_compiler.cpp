// Compiler throughput: carvel on a large PDF joined from the corpus (about 2,000 pages),
// beside qpdf --check on the same file. Prints size, time, MB/s, peak RSS and the ratio.
//
// usage: bench_compiler [corpus_dir] [copies]
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Run {
    double seconds = 0;
    long max_rss_kb = 0;
    int status = -1;
};

double now() {
    timeval tv;
    gettimeofday(&tv, nullptr);
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

// Runs a program with its output discarded; measures wall time and the child's peak RSS.
Run run(const std::vector<std::string>& argv) {
    Run r;
    std::fflush(stdout);
    double t0 = now();
    pid_t pid = fork();
    if (pid == 0) {
        if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr))
            _exit(127);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int st = 0;
    rusage ru{};
    wait4(pid, &st, 0, &ru);
    r.seconds = now() - t0;
    r.max_rss_kb = ru.ru_maxrss;
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

long file_size(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

Run best_of(int n, const std::vector<std::string>& argv) {
    Run best;
    for (int i = 0; i < n; ++i) {
        Run r = run(argv);
        if (i == 0 || r.seconds < best.seconds) best = r;
    }
    return best;
}

void report(const char* what, const std::string& pdf, const std::string& carvel) {
    long size = file_size(pdf);
    Run c = best_of(3, {carvel, pdf});
    Run q = best_of(3, {"qpdf", "--check", pdf});
    double mb = static_cast<double>(size) / 1e6;
    std::printf("%s: %.1f MB\n", what, mb);
    std::printf("  carvel:       %7.3f s  %7.1f MB/s  peak RSS %6.1f MB (%.1fx file)  exit %d\n",
                c.seconds, mb / c.seconds, static_cast<double>(c.max_rss_kb) / 1024.0,
                static_cast<double>(c.max_rss_kb) * 1024.0 / static_cast<double>(size), c.status);
    std::printf("  qpdf --check: %7.3f s  %7.1f MB/s  peak RSS %6.1f MB\n", q.seconds,
                mb / q.seconds, static_cast<double>(q.max_rss_kb) / 1024.0);
    std::printf("  carvel / qpdf time: %.2f\n", c.seconds / q.seconds);
}

}  // namespace

int main(int argc, char** argv) {
    std::string corpus = argc > 1 ? argv[1] : CORPUS_DIR;
    int copies = argc > 2 ? std::atoi(argv[2]) : 100;
    std::vector<std::string> files;
    if (DIR* d = opendir(corpus.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n.size() > 4 && n.substr(n.size() - 4) == ".pdf") files.push_back(corpus + "/" + n);
        }
        closedir(d);
    }
    if (files.empty()) {
        std::printf("bench_compiler: no corpus at %s, nothing measured\n", corpus.c_str());
        return 0;
    }
    std::sort(files.begin(), files.end());
    char tmpl[] = "/tmp/bench_compiler_XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    std::string dir = tmpl;
    std::string plain = dir + "/joined.pdf", packed = dir + "/joined-objstm.pdf";
    std::vector<std::string> join = {"qpdf", "--empty", "--pages"};
    for (int i = 0; i < copies; ++i) join.insert(join.end(), files.begin(), files.end());
    join.push_back("--");
    std::vector<std::string> a = join, b = join;
    a.push_back(plain);
    b.insert(b.begin() + 2, "--object-streams=generate");
    b.push_back(packed);
    if (run(a).status > 3 || run(b).status > 3) {
        std::printf("bench_compiler: qpdf could not join the corpus\n");
        return 1;
    }
    std::string carvel = CARVEL_BIN;
    report("joined corpus, plain objects", plain, carvel);
    report("joined corpus, object streams", packed, carvel);
    std::string cleanup = "rm -rf '" + dir + "'";
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
