// Tessaro: fills template pages from a command script into one PDF.
#include <execinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "generator/doc_state.h"
#include "generator/error_log.h"
#include "generator/pdf_writer.h"
#include "generator/progress.h"
#include "generator/script_interpreter.h"
#include "store/failure.h"

namespace {

// Writes "tessaro: crashed at SCRIPT:LINE: COMMAND" with async-signal-safe calls only.
void write_crash_line() {
    auto put = [](const char* s) {
        size_t n = 0;
        while (s[n]) ++n;
        if (write(2, s, n) < 0) return;
    };
    char digits[24];
    int i = sizeof digits - 1;
    digits[i] = 0;
    long v = g_script.line_no;
    do {
        digits[--i] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v > 0 && i > 0);
    put("tessaro: crashed at ");
    put(g_script.name);
    put(":");
    put(digits + i);
    if (g_script.command && g_script.command[0]) {
        put(": ");
        put(g_script.command);
    }
    put("\n");
}

// What the run wrote stays written: the writer's buffer goes out before the trace.
void crash_handler(int) {
    pdf_flush_on_crash();
    write_crash_line();
    void* frames[1024];
    int n = backtrace(frames, 1024);
    backtrace_symbols_fd(frames, n, 2);
    _exit(255);
}

// Ends a failed run: the error log gets the message alone, as callers read it; standard
// error gets it again with the script line and command that raised it.
[[noreturn]] void fail_run(const char* script_name, const char* message) {
    pdf_flush_quietly();
    std::fflush(stdout);
    progress_end();
    // When the error log is standard error itself (the PDF went to standard output), what
    // callers read there stays the message alone.
    const bool log_is_stderr = g_io.fp_stderr == nullptr || g_io.fp_stderr == stderr;
    error_log_write(message);
    if (!log_is_stderr) write_script_error_context(stderr, script_name, message);
    std::exit(255);
}

[[noreturn]] void usage() {
    std::printf("usage: Tessaro < data_file > errlog_file\n   or  Tessaro data_file errlog_file\n");
    std::exit(3);
}

// Opens the script for reading; a directory is a script that cannot be opened.
FILE* open_script(const char* name) {
    FILE* f = std::fopen(name, "rb");
    if (!f) return nullptr;
    struct stat st {};
    if (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode)) {
        std::fclose(f);
        errno = EISDIR;
        return nullptr;
    }
    return f;
}

[[noreturn]] void cannot_open(const char* path) {
    std::fprintf(stderr, "tessaro: cannot open %s: %s\n", path, std::strerror(errno));
    usage();
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

    const char* script_name = argc == 3 ? argv[1] : "-";
    g_script.name = script_name;
    if (argc == 1) {
        g_io.fp_stdin = stdin;
        g_io.fp_stderr = stdout;
    } else if (argc == 3) {
        // The usage text stays as it is on standard output; standard error says why.
        g_io.fp_stdin = open_script(argv[1]);
        if (!g_io.fp_stdin) cannot_open(argv[1]);
        g_io.script_name = argv[1];
        g_io.fp_stderr = std::fopen(argv[2], "w");
        if (!g_io.fp_stderr) cannot_open(argv[2]);
    } else {
        usage();
    }
    // The script is read in large pieces: a script of many pages is megabytes of short lines.
    std::setvbuf(g_io.fp_stdin, nullptr, _IOFBF, 1 << 18);

    progress_begin(STDERR_FILENO, "tessaro");
    try {
        int status = run_script(g_io.fp_stdin);
        pdf_flush();
        std::fflush(stdout);
        progress_end();
        // The run ends with status 0 as a script without "finish" always has, but a batch
        // that lost its last lines should hear that its PDF cannot be opened.
        if (g_doc.opened && (g_doc.seq == SEQ_STARTED || g_doc.seq == SEQ_IN_PAGE))
            std::fprintf(stderr,
                         "tessaro: %s ended without \"finish\": the PDF has no cross-reference "
                         "table or trailer and is incomplete\n",
                         script_name);
        return status;
    } catch (const Failure& f) {
        fail_run(script_name, f.message.c_str());
    } catch (const std::bad_alloc&) {
        fail_run(script_name, "Memory allocation error.");
    } catch (const std::exception& e) {
        // Not one of the program's own failures: the run ends as after any error.
        std::fprintf(stderr, "tessaro: unexpected exception: %s\n", e.what());
        fail_run(script_name, ("Internal error(" + std::string(e.what()) + ")").c_str());
    }
}
