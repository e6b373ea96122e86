// Tessaro: fills template pages from a command script into one PDF.
#include <execinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "generator/error_log.h"
#include "generator/pdf_writer.h"
#include "generator/script_interpreter.h"
#include "store/failure.h"

namespace {

// What the run wrote stays written: the writer's buffer goes out before the trace.
void crash_handler(int) {
    pdf_flush_on_crash();
    void* frames[1024];
    int n = backtrace(frames, 1024);
    backtrace_symbols_fd(frames, n, 2);
    _exit(255);
}

// Opens the script for reading; a directory is a script that cannot be opened.
FILE* open_script(const char* name) {
    FILE* f = std::fopen(name, "rb");
    if (!f) return nullptr;
    struct stat st {};
    if (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode)) {
        std::fclose(f);
        return nullptr;
    }
    return f;
}

[[noreturn]] void usage() {
    std::printf("usage: Tessaro < data_file > errlog_file\n   or  Tessaro data_file errlog_file\n");
    std::exit(3);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strncmp(argv[1], "-v", 2) == 0) {
        std::printf("Tessaro version 1.00(%s)\n", __DATE__);
        std::printf("Bulk PDF form filling from template files\n");
        return 3;
    }
    std::signal(SIGSEGV, crash_handler);
    // A closed pipe on standard output must be a write error (EPIPE), reported like any
    // other, not a silent death by signal.
    std::signal(SIGPIPE, SIG_IGN);
    g_script.input_encoding = encoding_from_program_name(argv[0] ? argv[0] : "");

    if (argc == 1) {
        g_io.fp_stdin = stdin;
        g_io.fp_stderr = stdout;
    } else if (argc == 3) {
        g_io.fp_stdin = open_script(argv[1]);
        if (!g_io.fp_stdin) usage();
        g_io.script_name = argv[1];
        g_io.fp_stderr = std::fopen(argv[2], "w");
        if (!g_io.fp_stderr) usage();
    } else {
        usage();
    }

    try {
        int status = run_script(g_io.fp_stdin);
        pdf_flush();
        std::fflush(stdout);
        return status;
    } catch (const Failure& f) {
        pdf_flush_quietly();
        std::fflush(stdout);
        error_log_write(f.message.c_str());
        std::exit(255);
    } catch (const std::bad_alloc&) {
        pdf_flush_quietly();
        error_log_write("Memory allocation error.");
        std::exit(255);
    }
}
