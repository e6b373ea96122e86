// Text-field filling: a one-page form of 20 single-line Helvetica fields, every field set
// with a distinct value on every page. Prints pages per second and peak RSS of tessaro for
// 200 and 10,000 pages, plain and encrypted, beside the I/O floor of the same output bytes,
// and the speed-up over the peer pipelines of bench/peers at 200 pages (the Debian packages
// pdftk-java and python3-pypdf, for the system python3).
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"

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
        int y = 740 - 34 * i;
        objs[w] = "<</Type/Annot/Subtype/Widget/FT/Tx/T (F" + std::to_string(i) + ")/Rect [150 " +
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
    std::string out = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n";
    std::vector<size_t> off(objs.size(), 0);
    for (size_t n = 1; n < objs.size(); ++n) {
        off[n] = out.size();
        out += std::to_string(n) + " 0 obj\n" + objs[n] + "\nendobj\n";
    }
    size_t xref = out.size();
    out += "xref\n0 " + std::to_string(objs.size()) + "\n0000000000 65535 f \n";
    char line[32];
    for (size_t n = 1; n < objs.size(); ++n) {
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", off[n]);
        out += line;
    }
    out += "trailer\n<</Size " + std::to_string(objs.size()) +
           "/Root 1 0 R/Info 7 0 R>>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return out;
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
            std::fprintf(s, "setPageFieldData\tF%d\tValue %d-%d\n", f, p, f);
        std::fprintf(s, "endPage\n");
    }
    std::fprintf(s, "finish\n");
    std::fclose(s);
}

// Runs a shell command line; returns seconds, or -1 when it failed.
double time_shell(const std::string& cmd) {
    auto t0 = std::chrono::steady_clock::now();
    int st = std::system(cmd.c_str());
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return (st == 0) ? s : -1;
}

long children_peak_rss_kb() {
    struct rusage ru {};
    getrusage(RUSAGE_CHILDREN, &ru);
    return ru.ru_maxrss;
}

}  // namespace

// Usage: bench_textfields [pages...]   (default 200 10000)
int main(int argc, char** argv) {
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
    if (counts.empty()) counts = {200, 10000};
    std::string dir = bench::temp_dir();
    std::string form = dir + "/form.pdf";
    {
        FILE* f = std::fopen(form.c_str(), "wb");
        std::string pdf = form_pdf();
        std::fwrite(pdf.data(), 1, pdf.size(), f);
        std::fclose(f);
    }
    std::string bin = bench::bin_dir();
    if (std::system(("'" + bin + "/carvel' '" + form + "' >/dev/null").c_str()) != 0) {
        std::fprintf(stderr, "bench_textfields: carvel failed\n");
        return 1;
    }
    std::string tpl = form + ".tpl";
    std::printf(
        "text-field benchmark: %d single-line Helvetica fields per page, every field "
        "set\n",
        FIELDS);
    std::printf("%8s %-9s %10s %9s %12s %8s %7s\n", "pages", "run", "pages/s", "peakRSS",
                "floor pg/s", "ratio", "status");
    double tessaro_200 = -1;
    for (int pages : counts) {
        for (bool encrypted : {false, true}) {
            std::string script = dir + "/script.txt", pdf = dir + "/out.pdf";
            write_script(script, tpl, pdf, pages, encrypted);
            bench::ChildRun r = bench::run_child(bin + "/tessaro", script, dir + "/err.log");
            long long bytes = bench::file_size(pdf);
            double floor = bench::io_floor(tpl, pages, bytes, dir + "/floor.bin");
            std::printf("%8d %-9s %10.0f %7ldMB %12.0f %7.2fx %7d\n", pages,
                        encrypted ? "encrypted" : "plain", pages / r.seconds, r.peak_rss_kb / 1024,
                        pages / floor, r.seconds / floor, r.status);
            if (pages == 200 && !encrypted) tessaro_200 = r.seconds;
            std::filesystem::remove(pdf);
            std::filesystem::remove(dir + "/floor.bin");
        }
    }

    // Peers, on the same work at 200 pages.
    const int peer_pages = 200;
    if (tessaro_200 < 0) {
        std::string script = dir + "/script.txt";
        write_script(script, tpl, dir + "/out.pdf", peer_pages, false);
        tessaro_200 = bench::run_child(bin + "/tessaro", script, dir + "/err.log").seconds;
    }
    std::string peers = std::string(PEERS_DIR);
    struct Peer {
        const char* name;
        const char* check;
        std::string cmd;
    };
    std::string args = " " + form + " " + std::to_string(peer_pages) + " " +
                       std::to_string(FIELDS) + " " + dir + "/peer.pdf >/dev/null 2>&1";
    std::vector<Peer> list = {
        {"pdftk-java", "command -v pdftk >/dev/null 2>&1", peers + "/pdftk_fill.sh" + args},
        {"pypdf", "/usr/bin/python3 -c 'import pypdf' >/dev/null 2>&1",
         "/usr/bin/python3 " + peers + "/pypdf_fill.py" + args},
    };
    for (const Peer& p : list) {
        if (std::system(p.check) != 0) {
            std::printf("peer %-10s not installed (scripts/install-bench-deps.sh)\n", p.name);
            continue;
        }
        // Peak RSS of the peer: the children's maximum, so the peers run after tessaro.
        double s = time_shell(p.cmd);
        if (s < 0) {
            std::printf("peer %-10s failed\n", p.name);
            continue;
        }
        std::printf(
            "peer %-10s %4d pages %8.1f pages/s  peak RSS of any child so far %ldMB  "
            "tessaro is %.0fx faster\n",
            p.name, peer_pages, peer_pages / s, children_peak_rss_kb() / 1024, s / tessaro_200);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
