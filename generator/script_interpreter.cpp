#include "generator/script_interpreter.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

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
    mbs_mbstowcs(g_script.g_ws, f, static_cast<int>(len), g_script.input_encoding);
    return g_script.g_ws;
}

void trace(const char* name) {
    if (g_script.trace_mode == 1) std::printf("%s()\n", name);
}

char* next() {
    return mytoken(nullptr);
}

// Dispatches one line whose command name is `cmd`. Returns false when the run ends here.
bool dispatch(const char* cmd) {
    auto is = [cmd](const char* name) { return std::strcmp(cmd, name) == 0; };
    if (is("Tessaro")) {
        trace(cmd);
        _Merlow();
    } else if (is("start")) {
        char* file = next();
        trace(cmd);
        _setPDFFileName(file);
    } else if (is("startPage")) {
        char* file = next();
        trace(cmd);
        _startPage(file);
    } else if (is("endPage")) {
        trace(cmd);
        _endPage();
    } else if (is("finish")) {
        trace(cmd);
        _finish();
        return false;
    } else if (is("setPageFieldScriptValue")) {
        char* name = next();
        char* value = next();
        trace(cmd);
        _setPageFieldScriptValue(name, to_text(value));
    } else if (is("setPageFieldData")) {
        char* name = next();
        char* value = next();
        trace(cmd);
        _setPageFieldData(name, to_text(value));
    } else if (is("setPageFieldDataWithAttribute")) {
        char* f[11];
        for (char*& x : f) x = next();
        trace(cmd);
        // The script gives font_size before colour and font name; the operation takes the
        // font name first.
        _setPageFieldDataWithAttribute(f[0], to_text(f[1]), to_float(f[2]), f[5], to_float(f[3]),
                                       to_colour(f[4]), to_int(f[6]), to_float(f[7]),
                                       to_float(f[8]), to_float(f[9]), to_float(f[10]));
    } else if (is("setPageFieldInvisible")) {
        char* name = next();
        trace(cmd);
        _setPageFieldInvisible(name);
    } else if (is("setImageProc")) {
        char* conv = next();
        char* ident = next();
        trace(cmd);
        _setImageProc(conv, ident);
    } else if (is("setPageImageData")) {
        char* f[6];
        for (char*& x : f) x = next();
        trace(cmd);
        _setPageImageData(f[0], to_float(f[1]), to_float(f[2]), to_float(f[3]), to_int(f[4]),
                          to_int(f[5]));
    } else if (is("setPageFieldImageData")) {
        char* f[6];
        for (char*& x : f) x = next();
        trace(cmd);
        _setPageFieldImageData(f[0], f[1], to_float(f[2]), to_int(f[3]), to_int(f[4]),
                               to_int(f[5]));
    } else if (is("setCryptMode")) {
        char* f[6];
        for (char*& x : f) x = next();
        trace(cmd);
        _setCryptMode(f[0], f[1], to_int(f[2]), to_int(f[3]), to_int(f[4]), to_int(f[5]));
    } else if (is("setYenSign")) {
        char* mode = next();
        trace(cmd);
        _setYenSign(to_int(mode));
    } else if (is("compressField")) {
        trace(cmd);
        _compressField();
    } else if (is("makeArrayPageField")) {
        char* f[3];
        for (char*& x : f) x = next();
        trace(cmd);
        _makeArrayPageField(f[0], to_int(f[1]), to_float(f[2]));
    } else if (is("drawLine") || is("drawBox")) {
        char* f[9];
        for (char*& x : f) x = next();
        trace(cmd);
        auto op = is("drawLine") ? _drawLine : _drawBox;
        op(to_float(f[0]), to_float(f[1]), to_float(f[2]), to_float(f[3]), to_float(f[4]),
           to_int(f[5]), to_int(f[6]), to_int(f[7]), to_int(f[8]));
    } else if (is("setLocale")) {
        char* name = next();
        trace(cmd);
        set_locale_command(name);
    } else if (is("setIccProfile")) {
        char* file = next();
        trace(cmd);
        _setIccProfile(file);
    } else if (cmd[0] == '#' || (cmd[0] == '/' && cmd[1] == '/') || cmd[0] == 0) {
        // comment or empty line
    } else if (is("trace")) {
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
    while (c < end && *c != '\t' && *c != '\r' && *c != '\n' && *c != 0) ++c;
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
        char* cmd = mytoken(g_script.line_buf);
        g_script.command = cmd;
        if (!dispatch(cmd)) return 0;
        // Traced runs print every command instead.
        if (g_doc.g_pages_count != pages_seen && g_script.trace_mode == 0) {
            pages_seen = g_doc.g_pages_count;
            progress_pages(pages_seen);
        }
    }
}
