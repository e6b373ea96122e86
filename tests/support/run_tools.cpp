#include "tests/support/run_tools.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tt {

Result run(const std::string& command, bool merge_err) {
    Result r;
    std::string cmd = command + (merge_err ? " 2>&1" : "");
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::string sh_quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/tessaro-test-XXXXXX";
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void write_file(const std::string& path, const std::string& data) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << data;
}

bool file_exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

std::string squeeze(const std::string& s) {
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '\n' && c != '\f') out += c;
    return out;
}

std::string tessaro() {
    return TESSARO_BIN;
}
std::string carvel() {
    return CARVEL_BIN;
}

int run_tessaro(const std::string& script_path, const std::string& errlog,
                const std::string& program) {
    std::string prog = program.empty() ? tessaro() : program;
    return run(sh_quote(prog) + " " + sh_quote(script_path) + " " + sh_quote(errlog)).status;
}

bool qpdf_check(const std::string& pdf, std::string* report) {
    Result r = run("qpdf --check " + sh_quote(pdf));
    if (report) *report = r.out;
    // Exit status 0: no errors or warnings (2 errors, 3 warnings).
    return r.status == 0 && r.out.find("WARNING") == std::string::npos;
}

std::string pdftotext(const std::string& pdf, int page, const std::string& extra) {
    std::string cmd = "pdftotext -layout " + extra + " ";
    if (page > 0) cmd += "-f " + std::to_string(page) + " -l " + std::to_string(page) + " ";
    return run(cmd + sh_quote(pdf) + " -", false).out;
}

int pdf_page_count(const std::string& pdf) {
    Result r = run("pdfinfo " + sh_quote(pdf));
    auto at = r.out.find("Pages:");
    if (at == std::string::npos) return -1;
    return std::atoi(r.out.c_str() + at + 6);
}

}  // namespace tt
