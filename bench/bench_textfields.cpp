// Text-field filling: a one-page form of 20 single-line Helvetica fields f01..f20, every
// field set on every page with "Row k field NN value", all pages in one PDF. Prints, in one
// run: tessaro's pages per second, bytes per page and peak RSS for 200 and 10,000 pages, plain
// and encrypted, beside the write floor (the same bytes written through a 1 MB buffer, as
// tessaro writes them, without any other work); the same job cut in 2 parts run
// on 2 cores with GNU parallel; and the peer pipelines of ../shared/peers (pikepdf, pypdf,
// pdf-lib, pdftk-java) on the same values, with a summary against the goals.
// Usage: bench_textfields [pages...]   (default 200 10000); PEER_PAGES (default 200).
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "tests/support/pdf_file.h"

namespace {

constexpr int FIELDS = 20;

// The form as a PDF: widgets with empty appearances naming Helvetica, as form editors
// write them.
std::string form_pdf() {
    std::vector<std::string> objs(8 + 2 * FIELDS);
    std::string fields, annots;
    for (int i = 0; i < FIELDS; ++i) {
        int w = 8 + 2 * i, ap = w + 1;
        fields += std::to_string(w) + " 0 R ";
        char fname[8];
        std::snprintf(fname, sizeof fname, "f%02d", i + 1);
        int y = 740 - 34 * i;
        objs[w] = "<</Type/Annot/Subtype/Widget/FT/Tx/T (" + std::string(fname) + ")/Rect [150 " +
                  std::to_string(y) + " 450 " + std::to_string(y + 22) +
                  "]/F 4/P 3 0 R/DA (/Helv 11 Tf 0 g)/AP <</N " + std::to_string(ap) + " 0 R>>>>";
        std::string data = "/Tx BMC\nEMC";
        objs[ap] =
            "<</Type/XObject/Subtype/Form/BBox [0 0 300 22]/Resources <</Font <</Helv 5 "
            "0 R>>>>/Length " +
            std::to_string(data.size()) + ">>\nstream\n" + data + "\nendstream";
    }
    objs[1] = "<</Type/Catalog/Pages 2 0 R/AcroForm 4 0 R>>";
    objs[2] = "<</Type/Pages/Kids [3 0 R]/Count 1>>";
    objs[3] =
        "<</Type/Page/Parent 2 0 R/MediaBox [0 0 595 842]/Resources <</Font <</F1 5 0 "
        "R>>>>/Contents 6 0 R/Annots [" +
        fields + "]>>";
    objs[4] = "<</Fields [" + fields + "]/DR <</Font <</Helv 5 0 R>>>>/DA (/Helv 0 Tf 0 g)>>";
    objs[5] = "<</Type/Font/Subtype/Type1/BaseFont/Helvetica/Encoding/WinAnsiEncoding>>";
    std::string content;
    for (int i = 0; i < FIELDS; ++i)
        content += "BT /F1 10 Tf 50 " + std::to_string(746 - 34 * i) + " Td (Field " +
                   std::to_string(i) + ") Tj ET\n";
    objs[6] =
        "<</Length " + std::to_string(content.size()) + ">>\nstream\n" + content + "\nendstream";
    objs[7] = "<</Producer (bench_textfields)>>";
    return tt::pdf_from_objects(objs, "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n", "/Root 1 0 R/Info 7 0 R");
}

void write_script(const std::string& path, const std::string& tpl, const std::string& pdf,
                  int pages, bool encrypted) {
    FILE* s = std::fopen(path.c_str(), "w");
    std::fprintf(s, "Tessaro\n");
    if (encrypted) std::fprintf(s, "setCryptMode\tuser\towner\t1\t0\t0\t0\n");
    std::fprintf(s, "start\t%s\n", pdf.c_str());
    for (int p = 0; p < pages; ++p) {
        std::fprintf(s, "startPage\t%s\n", tpl.c_str());
        for (int f = 0; f < FIELDS; ++f)
            std::fprintf(s, "setPageFieldData\tf%02d\tRow %d field %02d value\n", f + 1, p + 1,
                         f + 1);
        std::fprintf(s, "endPage\n");
    }
    std::fprintf(s, "finish\n");
    std::fclose(s);
}

struct Timed {
    double seconds = -1;  // -1: the command failed
    long peak_rss_kb = 0;
};

// Runs a shell command line, timing it and reading the peak RSS of its processes.
Timed time_shell(const std::string& cmd) {
    Timed t;
    auto t0 = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int st = 0;
    struct rusage ru {};
    if (pid < 0 || wait4(pid, &st, 0, &ru) < 0) return t;
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    t.peak_rss_kb = ru.ru_maxrss;
    if (WIFEXITED(st) && WEXITSTATUS(st) == 0) t.seconds = s;
    return t;
}

bool have(const std::string& check) {
    return std::system((check + " >/dev/null 2>&1").c_str()) == 0;
}

std::string q(const std::string& s) {
    return "'" + s + "'";
}

struct Figures {
    double pages_per_s = -1;
    double bytes_per_page = -1;
    long peak_mb = -1;
    double xfloor = -1;  // time against the write floor's
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
    if (counts.empty()) counts = {200, 10000};
    const char* pp = std::getenv("PEER_PAGES");
    const int peer_pages = pp && std::atoi(pp) > 0 ? std::atoi(pp) : 200;
    std::string dir = bench::temp_dir();
    std::string form = dir + "/form.pdf";
    {
        FILE* f = std::fopen(form.c_str(), "wb");
        std::string pdf = form_pdf();
        std::fwrite(pdf.data(), 1, pdf.size(), f);
        std::fclose(f);
    }
    std::string bin = bench::bin_dir();
    if (std::system((q(bin + "/carvel") + " " + q(form) + " >/dev/null").c_str()) != 0) {
        std::fprintf(stderr, "bench_textfields: carvel failed\n");
        return 1;
    }
    std::string tpl = form + ".tpl";
    std::printf("text-field benchmark: %d single-line Helvetica fields per page, every field set\n",
                FIELDS);
    std::printf("%8s %-9s %10s %10s %8s %12s %8s %7s\n", "pages", "run", "pages/s", "bytes/pg",
                "peakRSS", "floor pg/s", "xfloor", "status");
    Figures goal;  // plain run at the largest count
    int goal_pages = 0;
    double one_run_seconds = -1;
    for (int pages : counts) {
        for (bool encrypted : {false, true}) {
            std::string script = dir + "/script.txt", pdf = dir + "/out.pdf";
            write_script(script, tpl, pdf, pages, encrypted);
            // Tessaro and the floor (the same bytes written the same way, nothing else) run
            // three times each, alternating; each keeps its best time, so that a machine
            // busy with other work spoils neither figure.
            bench::ChildRun r;
            double floor = 1e30;
            long long bytes = 0;
            for (int k = 0; k < 3; ++k) {
                // Each run writes a new file, as the floor does: truncating the last run's
                // output would charge Tessaro for freeing its pages.
                std::filesystem::remove(pdf);
                bench::ChildRun t = bench::run_child(bin + "/tessaro", script, dir + "/err.log");
                if (k == 0 || t.status != 0 || (r.status == 0 && t.seconds < r.seconds)) {
                    long peak = std::max(r.peak_rss_kb, t.peak_rss_kb);
                    r = t;
                    r.peak_rss_kb = peak;
                }
                bytes = bench::file_size(pdf);
                floor = std::min(floor, bench::write_floor(pages, bytes, dir + "/floor.bin"));
                std::filesystem::remove(dir + "/floor.bin");
            }
            std::printf("%8d %-9s %10.0f %10.0f %6ldMB %12.0f %7.2fx %7d\n", pages,
                        encrypted ? "encrypted" : "plain", pages / r.seconds,
                        static_cast<double>(bytes) / pages, r.peak_rss_kb / 1024, pages / floor,
                        r.seconds / floor, r.status);
            if (!encrypted && pages >= goal_pages) {
                goal_pages = pages;
                goal = {pages / r.seconds, static_cast<double>(bytes) / pages, r.peak_rss_kb / 1024,
                        r.seconds / floor};
                one_run_seconds = r.seconds;
            }
            std::filesystem::remove(pdf);
            std::filesystem::remove(dir + "/floor.bin");
        }
    }

    // The largest plain job again, cut in 2 parts run on 2 cores.
    std::string split = std::string(SOURCE_DIR) + "/tools/split-script";
    if (!have("command -v parallel")) {
        std::printf(
            "split    2 parts: GNU parallel not installed (scripts/install-bench-deps.sh)\n");
    } else {
        std::string script = dir + "/script.txt";
        write_script(script, tpl, dir + "/out.pdf", goal_pages, false);
        Timed t = time_shell(q(split) + " 2 " + q(script) + " " + q(dir + "/parts") +
                             " | parallel -j2 " + q(bin + "/tessaro") + " {} {.}.err");
        if (t.seconds < 0)
            std::printf("split    2 parts: failed\n");
        else
            std::printf(
                "%8d %-9s %10.0f  2 parts on 2 cores with GNU parallel (one run: %.0f "
                "pages/s, %.2fx)\n",
                goal_pages, "split", goal_pages / t.seconds, goal_pages / one_run_seconds,
                one_run_seconds / t.seconds);
        std::filesystem::remove_all(dir + "/parts");
        std::filesystem::remove(dir + "/out-001.pdf");
        std::filesystem::remove(dir + "/out-002.pdf");
    }

    // The unfilled print of a real two-page form of the corpus, 1,000 times in one PDF,
    // against 1,000 single prints: a print that stands alone writes every object of the
    // form, later prints of a run only what is their own.
    const std::string real = std::string(CORPUS_DIR) + "/pdfjs-prefilled_f1040.pdf";
    if (have("test -f " + q(real))) {
        std::string rform = dir + "/real.pdf";
        std::filesystem::copy_file(real, rform);
        std::string rtpl = rform + ".tpl", rout = dir + "/real-out.pdf";
        auto prints = [&](int n) {
            FILE* s = std::fopen((dir + "/real.txt").c_str(), "w");
            std::fprintf(s, "Tessaro\nstart\t%s\n", rout.c_str());
            for (int p = 0; p < n; ++p) std::fprintf(s, "startPage\t%s\nendPage\n", rtpl.c_str());
            std::fprintf(s, "finish\n");
            std::fclose(s);
            bench::ChildRun r =
                bench::run_child(bin + "/tessaro", dir + "/real.txt", dir + "/err.log");
            return std::make_pair(r, bench::file_size(rout));
        };
        if (std::system((q(bin + "/carvel") + " " + q(rform) + " >/dev/null").c_str()) == 0) {
            auto [one_run, one] = prints(1);
            auto [run, many] = prints(1000);
            if (one_run.status == 0 && run.status == 0 && one > 0)
                std::printf(
                    "corpus   f1040, 2 pages, unfilled x1000: %.0f bytes/print, %.2f of 1,000 "
                    "single prints (<= 0.33), %.0f prints/s\n",
                    many / 1000.0, many / (1000.0 * one), 1000 / run.seconds);
        }
        std::filesystem::remove(rout);
    } else {
        std::printf("corpus   %s absent: the real-form line is left out\n", real.c_str());
    }

    // Peers, on the same values.
    std::string peers = PEERS_DIR;
    std::string py = "/usr/bin/python3";
    if (!have("test -d " + q(peers)) || !have(py + " -c 'import reportlab'")) {
        std::printf("peers: %s or reportlab missing (scripts/install-bench-deps.sh)\n",
                    peers.c_str());
        std::filesystem::remove_all(dir);
        return 0;
    }
    std::string pform = dir + "/peer-form.pdf", vals = dir + "/values";
    if (!have(py + " " + q(peers + "/make_form.py") + " " + q(pform)) ||
        !have(py + " " + q(peers + "/gen_values.py") + " " + std::to_string(peer_pages) + " " +
              q(vals))) {
        std::printf("peers: cannot make the peers' form or values\n");
        std::filesystem::remove_all(dir);
        return 0;
    }
    const char* nd = std::getenv("TESSARO_BENCH_NODE");
    const char* home = std::getenv("HOME");
    std::string node_dir = nd && *nd ? nd : std::string(home ? home : "") + "/.cache/tessaro-bench";
    std::string out = dir + "/peer.pdf", tsv = vals + "/values.tsv";
    struct Peer {
        const char* name;
        std::string check, cmd;
        int pages;
    };
    std::vector<Peer> list = {
        {"pikepdf", py + " -c 'import pikepdf'",
         py + " " + q(peers + "/pikepdf_fill.py") + " " + q(pform) + " " + q(tsv) + " " + q(out),
         peer_pages},
        {"pypdf", py + " -c 'import pypdf'",
         py + " " + q(peers + "/pypdf_fill.py") + " " + q(pform) + " " + q(tsv) + " " + q(out),
         peer_pages},
        {"pdf-lib", "test -d " + q(node_dir + "/node_modules/pdf-lib") + " && command -v node",
         "NODE_PATH=" + q(node_dir + "/node_modules") + " node " + q(peers + "/pdflib_fill.js") +
             " " + q(pform) + " " + q(tsv) + " " + q(out),
         peer_pages},
    };
    Figures pike;
    for (const Peer& p : list) {
        if (!have(p.check)) {
            std::printf("peer %-10s not installed (scripts/install-bench-deps.sh)\n", p.name);
            continue;
        }
        Timed t = time_shell(p.cmd + " >/dev/null 2>&1");
        if (t.seconds < 0) {
            std::printf("peer %-10s failed\n", p.name);
            continue;
        }
        long long bytes = bench::file_size(out);
        Figures f{p.pages / t.seconds, static_cast<double>(bytes) / p.pages, t.peak_rss_kb / 1024};
        std::printf("peer %-10s %6d pages %8.1f pages/s %8.0f bytes/pg %5ldMB peak\n", p.name,
                    p.pages, f.pages_per_s, f.bytes_per_page, f.peak_mb);
        if (std::string(p.name) == "pikepdf") pike = f;
        std::filesystem::remove(out);
    }
    if (pike.pages_per_s > 0 && goal.pages_per_s > 0)
        std::printf(
            "goals at %d pages: %.0fx pikepdf's pages/s (>= 100x), %.2fx the write floor (<= "
            "2x), %.0f bytes/pg vs pikepdf's %.0f (<=), peak %ldMB (< 32MB)\n",
            goal_pages, goal.pages_per_s / pike.pages_per_s, goal.xfloor, goal.bytes_per_page,
            pike.bytes_per_page, goal.peak_mb);
    std::filesystem::remove_all(dir);
    return 0;
}
