// The command-script interpreter: one generator operation per script line.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr int LINE_BUF_SIZE = 20000;
constexpr int WS_SIZE = 81920;

struct ScriptState {
    char line_buf[LINE_BUF_SIZE] = {};
    int32_t g_ws[WS_SIZE] = {};
    char input_encoding = 'E';
    int trace_mode = 0;
    char* cursor = nullptr;  // the tokeniser's position in line_buf
    // Where the run is, for messages that point the user at a script line: the physical
    // line number (a line longer than the buffer is read in pieces that share one
    // number) and whether the last read stopped before the line's end.
    long line_no = 0;
    bool line_continues = false;
    const char* command = nullptr;  // the running line's command name, in line_buf
    const char* name = "-";         // the script's file name, for messages
};

extern ScriptState g_script;

// The input encoding chosen from the program's own name: "SJIS"/"sjis" selects 'S', then
// "EUC"/"euc" 'E', then "UTF8"/"utf8" 'U'; a later match wins; none leaves 'E'.
char encoding_from_program_name(const char* name);

// Splits the next field off line_buf (buf non-null starts a new line). Fields end at TAB,
// CR, LF or NUL; past the end of the buffer every field is empty.
char* mytoken(char* buf);

// Argument conversions: int by atoi, float by atof narrowed to single precision (infinity
// and NaN raise "Not a finite number(%s)"), colour "-1" or a hexadecimal RRGGBB (no
// hexadecimal number gives -1).
int arg_int(const char* field);
float arg_float(const char* field);
int arg_colour(const char* field);

// Writes "tessaro: SCRIPT:LINE: COMMAND: MESSAGE" and a newline to `out` for an error raised
// while a script line ran; writes "tessaro: MESSAGE" when no line has run yet.
void write_script_error_context(FILE* out, const char* script_name, const char* message);

// Runs the script until "finish" or its end. Returns the exit status (0); a raised error
// propagates as a Failure.
int run_script(FILE* script);
