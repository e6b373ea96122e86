// Tessaro: fills template pages from a command script into one PDF.
#include <execinfo.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "generator/error_log.h"
#include "generator/pdf_writer.h"
#include "generator/script_interpreter.h"
#include "store/failure.h"

namespace {

void crash_handler(int) {
    void* frames[1024];
    int n = backtrace(frames, 1024);
    backtrace_symbols_fd(frames, n, 2);
    _exit(255);
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
    g_script.input_encoding = encoding_from_program_name(argv[0] ? argv[0] : "");

    if (argc == 1) {
        g_io.fp_stdin = stdin;
        g_io.fp_stderr = stdout;
    } else if (argc == 3) {
        g_io.fp_stdin = std::fopen(argv[1], "rb");
        if (!g_io.fp_stdin) usage();
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
        pdf_flush();
        std::fflush(stdout);
        error_log_write(f.message.c_str());
        std::exit(255);
    } catch (const std::bad_alloc&) {
        pdf_flush();
        error_log_write("Memory allocation error.");
        std::exit(255);
    } catch (const std::exception& e) {
        // Not one of the program's own failures: the run ends as after any error.
        pdf_flush();
        std::fflush(stdout);
        std::fprintf(stderr, "Tessaro: unexpected exception: %s\n", e.what());
        error_log_write(("Internal error(" + std::string(e.what()) + ")").c_str());
        std::exit(255);
    }
}
