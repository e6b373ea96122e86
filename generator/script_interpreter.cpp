#include "generator/script_interpreter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "generator/crypt_pdf.h"
#include "generator/doc_state.h"
#include "generator/error_log.h"
#include "generator/operations.h"
#include "generator/progress.h"
#include "multibyte/text_decode.h"

ScriptState g_script;

namespace {

char empty_field[1] = {0};

int to_int(const char* f) {
    return arg_int(f);
}
float to_float(const char* f) {
    return arg_float(f);
}
int to_colour(const char* f) {
    return arg_colour(f);
}

// Converts a value field into the shared code-point buffer.
const int32_t* to_text(const char* f) {
    size_t len = std::strlen(f);
    if (len >= WS_SIZE) len = WS_SIZE - 1;
    std::memset(g_script.g_ws, 0, (len + 1) * sizeof(int32_t));
    bool cut = false;
    int n = mbs_mbstowcs(g_script.g_ws, f, static_cast<int>(len), g_script.input_encoding, &cut);
    // The value goes on as far as it reads; the user is told where the rest was lost, on
    // standard error (a script in another encoding than the program reads, as a Latin-1
    // export given to the UTF-8 reader).
    if (cut) {
        const char e = g_script.input_encoding;
        std::fprintf(stderr,
                     "tessaro: %s:%ld: %s: the value is cut after %d characters, at bytes that "
                     "are no %s\n",
                     g_script.name, g_script.line_no, g_script.command ? g_script.command : "", n,
                     e == 'U'   ? "UTF-8"
                     : e == 'S' ? "Shift_JIS"
                                : "EUC-JP");
    }
    return g_script.g_ws;
}

// drawLine and drawBox take the same fields.
void draw(void (*op)(float, float, float, float, float, int, int, int, int), char** f) {
    op(to_float(f[0]), to_float(f[1]), to_float(f[2]), to_float(f[3]), to_float(f[4]), to_int(f[5]),
       to_int(f[6]), to_int(f[7]), to_int(f[8]));
}

void trace(const char* name) {
    if (g_script.trace_mode == 1) std::printf("%s()\n", name);
}

char* next() {
    return mytoken(nullptr);
}

// One script command: how many fields follow its name and the operation they go to. The
// fields are all read before the operation runs, so a traced run prints the command first.
constexpr int MAX_FIELDS = 11;

struct Command {
    const char* name;
    int fields;
    void (*run)(char** f);
    bool ends_run = false;
};

constexpr Command k_commands[] = {
    {"Tessaro", 0,
     [](char**) {
         _Merlow();
         // In a UTF-8 script a backslash is a backslash (the yen sign has a code of its own);
         // in Shift_JIS and EUC-JP scripts the code 0x5C prints as the yen sign by default.
         if (g_script.input_encoding == 'U') _setYenSign(0);
     }},
    {"start", 1, [](char** f) { _setPDFFileName(f[0]); }},
    {"startPage", 1, [](char** f) { _startPage(f[0]); }},
    {"endPage", 0, [](char**) { _endPage(); }},
    {"finish", 0, [](char**) { _finish(); }, true},
    {"setPageFieldScriptValue", 2, [](char** f) { _setPageFieldScriptValue(f[0], to_text(f[1])); }},
    {"setPageFieldData", 2, [](char** f) { _setPageFieldData(f[0], to_text(f[1])); }},
    // The script gives font_size before colour and font name; the operation takes the font
    // name first.
    {"setPageFieldDataWithAttribute", 11,
     [](char** f) {
         _setPageFieldDataWithAttribute(f[0], to_text(f[1]), to_float(f[2]), f[5], to_float(f[3]),
                                        to_colour(f[4]), to_int(f[6]), to_float(f[7]),
                                        to_float(f[8]), to_float(f[9]), to_float(f[10]));
     }},
    {"setPageFieldInvisible", 1, [](char** f) { _setPageFieldInvisible(f[0]); }},
    {"setImageProc", 2, [](char** f) { _setImageProc(f[0], f[1]); }},
    {"setPageImageData", 6,
     [](char** f) {
         _setPageImageData(f[0], to_float(f[1]), to_float(f[2]), to_float(f[3]), to_int(f[4]),
                           to_int(f[5]));
     }},
    {"setPageFieldImageData", 6,
     [](char** f) {
         _setPageFieldImageData(f[0], f[1], to_float(f[2]), to_int(f[3]), to_int(f[4]),
                                to_int(f[5]));
     }},
    {"setCryptMode", 6,
     [](char** f) {
         const char enc = g_script.input_encoding;
         _setCryptMode(pdf_password(f[0], enc).c_str(), pdf_password(f[1], enc).c_str(),
                       to_int(f[2]), to_int(f[3]), to_int(f[4]), to_int(f[5]));
     }},
    {"setYenSign", 1, [](char** f) { _setYenSign(to_int(f[0])); }},
    {"compressField", 0, [](char**) { _compressField(); }},
    {"makeArrayPageField", 3,
     [](char** f) { _makeArrayPageField(f[0], to_int(f[1]), to_float(f[2])); }},
    {"drawLine", 9, [](char** f) { draw(_drawLine, f); }},
    {"drawBox", 9, [](char** f) { draw(_drawBox, f); }},
    {"setLocale", 1, [](char** f) { set_locale_command(f[0]); }},
    {"setIccProfile", 1, [](char** f) { _setIccProfile(f[0]); }},
};
static_assert(std::all_of(std::begin(k_commands), std::end(k_commands),
                          [](const Command& c) { return c.fields <= MAX_FIELDS; }));

// Dispatches one line whose command name is `cmd`. Returns false when the run ends here.
bool dispatch(const char* cmd) {
    for (const Command& c : k_commands) {
        if (std::strcmp(cmd, c.name) != 0) continue;
        char* f[MAX_FIELDS];
        for (int i = 0; i < c.fields; ++i) f[i] = next();
        trace(cmd);
        c.run(f);
        return !c.ends_run;
    }
    if (cmd[0] == '#' || (cmd[0] == '/' && cmd[1] == '/') || cmd[0] == 0) {
        // comment or empty line
    } else if (std::strcmp(cmd, "trace") == 0) {
        g_script.trace_mode = 1;
    } else {
        throwf("Illegal Operation::%s", cmd);
    }
    return true;
}

}  // namespace

int arg_int(const char* f) {
    return std::atoi(f);
}
float arg_float(const char* f) {
    float v = static_cast<float>(std::atof(f));
    // Infinity and NaN (also a number too large for single precision) would be written
    // into content as "inf" or "nan", which no reader takes for a number.
    if (!std::isfinite(v)) throwf("Not a finite number(%s)", f);
    return v;
}

int arg_colour(const char* f) {
    if (std::strcmp(f, "-1") == 0) return -1;
    unsigned int v = 0;
    if (std::sscanf(f, "%x", &v) != 1) return -1;
    return static_cast<int>(v);
}

char encoding_from_program_name(const char* name) {
    char enc = 'E';
    if (std::strstr(name, "SJIS") || std::strstr(name, "sjis")) enc = 'S';
    if (std::strstr(name, "EUC") || std::strstr(name, "euc")) enc = 'E';
    if (std::strstr(name, "UTF8") || std::strstr(name, "utf8")) enc = 'U';
    return enc;
}

char* mytoken(char* buf) {
    char* const end = g_script.line_buf + LINE_BUF_SIZE;
    if (buf) g_script.cursor = buf;
    char* c = g_script.cursor;
    if (!c || c < g_script.line_buf || c >= end) return empty_field;
    char* start = c;
    // A CR ends a field where it ends the line (CR LF); inside a line it belongs to the
    // value, a line break there, which the rest of the value follows.
    for (; c < end; ++c) {
        const unsigned char b = static_cast<unsigned char>(*c);
        if (b > '\r') continue;
        if (b == '\t' || b == '\n' || b == 0) break;
        if (b == '\r' && (c + 1 >= end || c[1] == '\n' || c[1] == 0)) break;
    }
    if (c >= end) {
        // A line that fills the whole buffer: its last field ends at the buffer's end.
        end[-1] = 0;
        g_script.cursor = end;
        return start;
    }
    *c = 0;
    g_script.cursor = c + 1;
    return start;
}

void write_script_error_context(FILE* out, const char* script_name, const char* message) {
    if (g_script.line_no > 0 && g_script.command)
        std::fprintf(out, "tessaro: %s:%ld: %s: %s\n", script_name, g_script.line_no,
                     g_script.command, message);
    else
        std::fprintf(out, "tessaro: %s\n", message);
    std::fflush(out);
}

int run_script(FILE* script) {
    g_script.line_no = 0;
    g_script.line_continues = false;
    g_script.command = nullptr;
    int pages_seen = g_doc.g_pages_count;
    // Every line starts in a buffer of zeros. Only the bytes the previous line used (its
    // text and terminator) can be other than zero, so only they are cleared.
    std::memset(g_script.line_buf, 0, LINE_BUF_SIZE);
    size_t used = 0;
    for (;;) {
        if (std::feof(script)) return 0;
        g_script.command = nullptr;  // between lines no command runs
        std::memset(g_script.line_buf, 0, used);
        if (!std::fgets(g_script.line_buf, LINE_BUF_SIZE, script)) {
            // The end of the script ends the run; a script that cannot be read fails it.
            if (std::ferror(script)) throwf("Script read error(%s)", g_io.script_name);
            return 0;
        }
        if (g_script.line_buf[0] == 0) return 0;
        if (!g_script.line_continues) ++g_script.line_no;
        const size_t len = std::strlen(g_script.line_buf);
        // A line that does not end at its terminator may hold a NUL byte with more text
        // behind it: the whole buffer is cleared before the next line then.
        used = len > 0 && g_script.line_buf[len - 1] == '\n' ? len + 1 : LINE_BUF_SIZE;
        g_script.line_continues = len == LINE_BUF_SIZE - 1 && g_script.line_buf[len - 1] != '\n';
        char* line = g_script.line_buf;
        // Editors on Windows may start a UTF-8 file with a byte order mark.
        if (g_script.line_no == 1 && g_script.input_encoding == 'U' &&
            std::memcmp(line, "\xEF\xBB\xBF", 3) == 0)
            line += 3;
        // A script saved as UTF-16 ("Unicode text") reads as no command at all; the user is
        // told why on standard error, beside the error log's message.
        const auto* b = reinterpret_cast<const unsigned char*>(line);
        if (g_script.line_no == 1 &&
            ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF)))
            std::fprintf(stderr,
                         "tessaro: %s is UTF-16; save it as UTF-8 (tessaro-utf8), Shift_JIS "
                         "(tessaro-sjis) or EUC-JP\n",
                         g_script.name);
        char* cmd = mytoken(line);
        g_script.command = cmd;
        if (!dispatch(cmd)) return 0;
        // Traced runs print every command instead.
        if (g_doc.g_pages_count != pages_seen && g_script.trace_mode == 0) {
            pages_seen = g_doc.g_pages_count;
            progress_pages(pages_seen);
        }
    }
}
