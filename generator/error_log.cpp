#include "generator/error_log.h"

IoState g_io;

void error_log_leave_stdout() {
    if (g_io.fp_stderr == stdout) g_io.fp_stderr = stderr;
}

void error_log_write(const char* message) {
    FILE* f = g_io.fp_stderr ? g_io.fp_stderr : stderr;
    std::fputs(message, f);
    std::fputs("\n", f);
    std::fflush(f);
    if (f != stdout && f != stderr) std::fclose(f);
    g_io.fp_stderr = nullptr;
}
