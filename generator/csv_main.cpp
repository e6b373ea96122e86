// tessaro-csv: fills one template page per row of a CSV file, through the generator's own
// operations (the same filling as a script run by tessaro).
//   tessaro-csv [--encoding NAME] [--flatten] [--password PASS] TEMPLATE.tpl DATA.csv OUT.pdf
// The first row names the fields; every further row is one page. Quoting follows RFC 4180.
#include <csv.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "generator/crypt_pdf.h"
#include "generator/doc_state.h"
#include "generator/error_log.h"
#include "generator/field_widgets.h"
#include "generator/operations.h"
#include "generator/pdf_writer.h"
#include "generator/progress.h"
#include "generator/script_interpreter.h"
#include "multibyte/text_decode.h"
#include "store/failure.h"
#include "store/template_file.h"

namespace {

constexpr char PROGRAM[] = "tessaro-csv";
// A cell holds at most as many bytes as the code-point buffer of a script value.
constexpr size_t MAX_CELL = WS_SIZE - 1;

struct Options {
    char encoding = 'U';
    bool flatten = false;
    bool encrypt = false;
    std::string password;
    std::string tpl, csv, out;
};

[[noreturn]] void usage(FILE* to, int status) {
    std::fprintf(to,
                 "usage: %s [--encoding utf-8|shift_jis|euc-jp] [--flatten] [--password PASS]\n"
                 "                   TEMPLATE.tpl DATA.csv OUT.pdf\n",
                 PROGRAM);
    std::exit(status);
}

bool encoding_code(const char* name, char* code) {
    static const struct {
        const char* name;
        char code;
    } names[] = {{"utf-8", 'U'}, {"utf8", 'U'},   {"shift_jis", 'S'}, {"shift-jis", 'S'},
                 {"sjis", 'S'},  {"euc-jp", 'E'}, {"eucjp", 'E'},     {"euc", 'E'}};
    for (const auto& n : names)
        if (strcasecmp(name, n.name) == 0) {
            *code = n.code;
            return true;
        }
    return false;
}

Options parse_options(int argc, char** argv) {
    Options o;
    std::vector<std::string> files;
    bool options_end = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        // "--name=value" or "--name value".
        auto value = [&](const char* name, std::string* out) {
            std::string n = name;
            if (a == n) {
                if (i + 1 >= argc) usage(stderr, 3);
                *out = argv[++i];
                return true;
            }
            if (a.compare(0, n.size() + 1, n + "=") == 0) {
                *out = a.substr(n.size() + 1);
                return true;
            }
            return false;
        };
        std::string v;
        if (options_end || a == "-" || a.empty() || a[0] != '-') {
            files.push_back(a);
        } else if (a == "--") {
            options_end = true;
        } else if (a == "--help" || a == "-h") {
            usage(stdout, 0);
        } else if (a.compare(0, 2, "-v") == 0 || a == "--version") {
            std::printf("%s version 1.00(%s)\n", PROGRAM, __DATE__);
            std::exit(3);
        } else if (a == "--flatten") {
            o.flatten = true;
        } else if (value("--encoding", &v)) {
            if (!encoding_code(v.c_str(), &o.encoding)) {
                std::fprintf(stderr, "%s: unknown encoding '%s' (use utf-8, shift_jis or euc-jp)\n",
                             PROGRAM, v.c_str());
                std::exit(3);
            }
        } else if (value("--password", &o.password)) {
            o.encrypt = true;
        } else {
            std::fprintf(stderr, "%s: unknown option '%s'\n", PROGRAM, a.c_str());
            usage(stderr, 3);
        }
    }
    if (files.size() != 3) usage(stderr, 3);
    o.tpl = files[0];
    o.csv = files[1];
    o.out = files[2];
    return o;
}

// The state of one run, handed to the CSV parser's callbacks. A callback never lets an
// exception pass through the C parser: it keeps the first failure and stops working.
struct Run {
    const Options* opt = nullptr;
    std::vector<std::string> cells;  // the current row's cells, reused row after row
    size_t ncells = 0;
    std::vector<std::string> columns;  // the field each column fills
    long row = 0;                      // rows completed so far; the header is row 1
    long pages = 0;                    // data rows written
    bool output_open = false;
    std::vector<int32_t> ws;  // code points of one value

    bool failed = false;
    std::string error;  // the message with its row and column
};

void fail_at(Run& r, long row, const std::string& column, const std::string& message) {
    if (r.failed) return;
    r.failed = true;
    r.error = r.opt->csv + ": row " + std::to_string(row);
    if (!column.empty()) r.error += ", column \"" + column + "\"";
    r.error += ": " + message;
}

// A column names a field when the fill operations will find it: the same lookup by name.
bool names_a_field(const std::string& name) {
    return field_record_index(name.c_str()) != -1;
}

void take_header(Run& r) {
    const long row = r.row + 1;
    if (r.ncells > 0 && r.opt->encoding == 'U' && r.cells[0].compare(0, 3, "\xEF\xBB\xBF") == 0)
        r.cells[0].erase(0, 3);  // a byte-order mark that spreadsheet programs write
    for (size_t j = 0; j < r.ncells && !r.failed; ++j) {
        const std::string& name = r.cells[j];
        const std::string col = "column " + std::to_string(j + 1);
        if (name.empty()) {
            fail_at(r, row, "", col + " has no field name");
        } else if (!names_a_field(name)) {
            fail_at(r, row, "", col + ": Undefined Field Name(" + name + ") in " + r.opt->tpl);
        } else {
            for (size_t k = 0; k < j; ++k)
                if (r.cells[k] == name)
                    fail_at(r, row, "", col + " names field " + name + " again");
        }
        r.columns.push_back(name);
    }
}

// Fills one template page with the row's cells; an empty cell leaves its field empty.
void take_data_row(Run& r) {
    const long row = r.row + 1;
    if (r.ncells > r.columns.size()) {
        fail_at(r, row, "",
                "the row has " + std::to_string(r.ncells) + " cells, the header names " +
                    std::to_string(r.columns.size()) + " fields");
        return;
    }
    size_t j = 0;
    try {
        if (!r.output_open) {
            _setPDFFileName(r.opt->out.c_str());
            r.output_open = true;
        }
        _startPage(r.opt->tpl.c_str());
        for (; j < r.ncells; ++j) {
            const std::string& v = r.cells[j];
            if (v.empty()) continue;
            if (v.size() > MAX_CELL)
                throw Failure("value longer than " + std::to_string(MAX_CELL) + " bytes");
            if (r.ws.size() < v.size() + 1) r.ws.resize(v.size() + 1);
            std::memset(r.ws.data(), 0, (v.size() + 1) * sizeof(int32_t));
            bool cut = false;
            mbs_mbstowcs(r.ws.data(), v.data(), static_cast<int>(v.size()), r.opt->encoding, &cut);
            if (cut) throw Failure("value is not in the file's encoding (see --encoding)");
            _setPageFieldData(r.columns[j].c_str(), r.ws.data());
        }
        j = r.ncells;
        _endPage();
        ++r.pages;
        progress_pages(g_doc.g_pages_count);
    } catch (const Failure& f) {
        fail_at(r, row, j < r.ncells ? r.columns[j] : std::string(), f.message);
    } catch (const std::bad_alloc&) {
        fail_at(r, row, "", "Memory allocation error.");
    }
}

void on_cell(void* data, size_t len, void* run) {
    Run& r = *static_cast<Run*>(run);
    if (r.failed) return;
    if (r.ncells == r.cells.size()) r.cells.emplace_back();
    r.cells[r.ncells++].assign(static_cast<const char*>(data), len);
}

void on_row_end(int, void* run) {
    Run& r = *static_cast<Run*>(run);
    if (!r.failed) {
        if (r.row == 0)
            take_header(r);
        else
            take_data_row(r);
    }
    ++r.row;
    r.ncells = 0;
}

// Spaces are part of a field (RFC 4180); the parser would otherwise trim them.
int no_space(unsigned char) {
    return 0;
}

// Reads the CSV file through the parser, filling a page per data row. Returns false with
// r.error set on failure.
bool fill_from_csv(Run& r) {
    FILE* in = std::fopen(r.opt->csv.c_str(), "rb");
    if (!in) {
        r.error = "cannot open " + r.opt->csv + ": " + std::strerror(errno);
        return false;
    }
    csv_parser p{};
    if (csv_init(&p, CSV_STRICT | CSV_STRICT_FINI) != 0) {
        std::fclose(in);
        r.error = "Memory allocation error.";
        return false;
    }
    csv_set_space_func(&p, no_space);
    static char buf[1 << 16];
    size_t n = 0;
    bool parse_error = false;
    while (!r.failed && (n = std::fread(buf, 1, sizeof buf, in)) > 0) {
        if (csv_parse(&p, buf, n, on_cell, on_row_end, &r) != n) parse_error = true;
        if (parse_error) break;
    }
    const bool read_error = std::ferror(in) != 0;
    std::fclose(in);
    if (!r.failed && !parse_error && csv_fini(&p, on_cell, on_row_end, &r) != 0) parse_error = true;
    if (!r.failed && parse_error)
        fail_at(r, r.row + 1, "",
                std::string(csv_strerror(csv_error(&p))) +
                    " (a quote inside an unquoted cell, text after a closing quote, or a quote "
                    "left open)");
    csv_free(&p);
    if (!r.failed && read_error) r.error = "cannot read " + r.opt->csv;
    if (!r.failed && r.error.empty() && r.row == 0) r.error = r.opt->csv + " is empty";
    if (!r.failed && r.error.empty() && r.pages == 0)
        r.error = r.opt->csv + " has a header row but no data rows";
    if (r.failed) return false;
    return r.error.empty();
}

// An incomplete output is removed, so that it is never taken for a finished one.
void discard_output(const Run& r) {
    if (!r.output_open || g_out.to_stdout) return;
    if (g_out.fp_pdfFile) std::fclose(g_out.fp_pdfFile);
    g_out.fp_pdfFile = nullptr;
    std::remove(r.opt->out.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    Options opt = parse_options(argc, argv);
    g_io.fp_stderr = stderr;
    progress_begin(STDERR_FILENO, PROGRAM);
    Run run;
    run.opt = &opt;
    try {
        _Merlow();
        _setYenSign(0);  // UTF-8 cells: a backslash is a backslash
        if (opt.encrypt) {
            // The password opens the document; as owner password too, so that no empty
            // owner password opens it instead. Printing and copying stay allowed.
            // Typed on the command line, it is read as UTF-8.
            const std::string pw = pdf_password(opt.password.c_str(), 'U');
            _setCryptMode(pw.c_str(), pw.c_str(), 1, 1, 1, 1);
        }
        if (opt.flatten) _compressField();
        // The column names are checked against the template before anything is written.
        load_template(opt.tpl.c_str());
        if (fill_from_csv(run)) {
            _finish();
            pdf_flush();
            progress_end();
            return 0;
        }
    } catch (const Failure& f) {
        run.error = f.message;
    } catch (const std::bad_alloc&) {
        run.error = "Memory allocation error.";
    }
    pdf_flush();
    progress_end();
    discard_output(run);
    std::fprintf(stderr, "%s: %s\n", PROGRAM, run.error.c_str());
    return 255;
}
