// Compiler throughput: carvel on a generated 10 MB file whose one array holds 1.7 million
// references, and on a large PDF joined from the corpus (about 2,000 pages), each beside
// qpdf --check on the same file. Prints size, time, MB/s, peak RSS and the ratio.
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

// A valid one-page PDF whose catalog names an object holding one array of `refs`
// references (to the page), with a correct cross-reference table.
bool write_big_array_pdf(const std::string& path, long refs) {
    std::string pdf = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n";
    std::vector<size_t> offs;
    auto obj = [&](const std::string& body) {
        offs.push_back(pdf.size());
        pdf += std::to_string(offs.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    obj("<</Type/Catalog/Pages 2 0 R/Big 4 0 R>>");
    obj("<</Type/Pages/Kids [3 0 R]/Count 1>>");
    obj("<</Type/Page/Parent 2 0 R/MediaBox [0 0 200 200]>>");
    std::string arr = "[";
    arr.reserve(static_cast<size_t>(refs) * 6 + 2);
    for (long i = 0; i < refs; ++i) arr += i % 16 == 15 ? "3 0 R\n" : "3 0 R ";
    arr += "]";
    obj(arr);
    size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(offs.size() + 1) + "\n0000000000 65535 f \n";
    char line[32];
    for (size_t o : offs) {
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", o);
        pdf += line;
    }
    pdf += "trailer\n<</Size " + std::to_string(offs.size() + 1) + "/Root 1 0 R>>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(pdf.data(), 1, pdf.size(), f) == pdf.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    std::string corpus = argc > 1 ? argv[1] : CORPUS_DIR;
    int copies = argc > 2 ? std::atoi(argv[2]) : 100;
    {
        char big_tmpl[] = "/tmp/bench_compiler_XXXXXX";
        if (!mkdtemp(big_tmpl)) return 1;
        std::string big_dir = big_tmpl, big = big_dir + "/big-array.pdf";
        if (!write_big_array_pdf(big, 1700000)) return 1;
        report("one array of 1.7 million references", big, CARVEL_BIN);
        std::string cleanup = "rm -rf '" + big_dir + "'";
        if (std::system(cleanup.c_str()) != 0) return 1;
    }
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
