// The script and error-log streams of a run.
#pragma once

#include <cstdio>

struct IoState {
    FILE* fp_stdin = nullptr;       // the command script
    FILE* fp_stderr = nullptr;      // the error log
    const char* script_name = "-";  // for messages: the script file, "-" for standard input
};

extern IoState g_io;

// When the PDF goes to standard output and the error log is standard output too, the
// error log moves to standard error.
void error_log_leave_stdout();
// Writes the message and a newline to the error log, then flushes and closes it.
void error_log_write(const char* message);
