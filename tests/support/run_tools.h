// Running the programs and the PDF tools that serve as oracles in end-to-end tests.
#pragma once

#include <string>

namespace tt {

struct Result {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string out;  // standard output (and standard error when merged)
};

// Runs a shell command line; captures standard output (standard error too with merge_err).
Result run(const std::string& command, bool merge_err = true);
// Quotes a string for the shell.
std::string sh_quote(const std::string& s);

// A fresh temporary directory, removed with its contents at destruction.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir();
    std::string file(const std::string& name) const { return path + "/" + name; }
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& data);
bool file_exists(const std::string& path);
// Text without spaces, line ends and form feeds: extracted texts compare regardless of layout.
std::string squeeze(const std::string& s);
// Whether `part` occurs in `text`.
inline bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The built programs (paths fixed at configure time).
std::string tessaro();
std::string carvel();

// Runs Tessaro on a script file with the error log in `errlog`; returns its exit status.
int run_tessaro(const std::string& script_path, const std::string& errlog,
                const std::string& program = "");

// qpdf --check: true when the file is clean (no errors and no warnings).
bool qpdf_check(const std::string& pdf, std::string* report = nullptr);
// pdftotext of the whole document (layout kept), or of one page (1-based).
std::string pdftotext(const std::string& pdf, int page = 0, const std::string& extra = "");
// Number of pages as pdfinfo reports it.
int pdf_page_count(const std::string& pdf);

}  // namespace tt
