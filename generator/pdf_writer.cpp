#include "generator/pdf_writer.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>
#include <thread>
#include <vector>

#include "generator/doc_state.h"
#include "generator/error_log.h"
#include "generator/md5.h"
#include "generator/page_hooks.h"
#include "store/element_ops.h"
#include "store/failure.h"
#include "store/name_codec.h"

WriterState g_out;

namespace {

constexpr size_t OUT_BUFFER = 1 << 20;
// The cross-reference table has ten digits per offset.
constexpr long long MAX_OFFSET = 9999999999LL;

// Offsets of the objects print_obj wrote, by entry; the table may pass 2 GB, which the
// 32-bit position of the cross-reference record cannot hold.
std::vector<long long> g_obj_offsets;

// Output goes through one large buffer of the writer's own: the writer makes many small
// writes per element, and a stdio call for each costs more than the bytes themselves. The
// buffer is written with write(2), so that every failure (a full disk, a closed pipe) is seen
// at once, and so that the crash handler can still write it out. There are two: while a
// full one is written out by a thread of its own, the pages go on into the other.
char g_space[2][OUT_BUFFER];
struct OutBuffer {
    char* data = g_space[0];
    size_t used = 0;
    FILE* fp = nullptr;
};
OutBuffer g_buf;

// The one write in flight: a full buffer of the PDF file being written by its own thread.
// One at a time, so the file's bytes keep their order; every synchronous write waits for it
// first. A failure is kept and raised by the next call that waits.
struct InFlight {
    std::atomic<bool> busy{false};
    std::atomic<int> error{0};  // errno of a failed write, 0 when none failed
    bool exit_hook = false;
};
InFlight g_flight;

// True while print_obj writes plain output through the buffer, which it binds to the PDF
// for that time: its many small writes are then copied in place.
bool g_direct = false;

void pdf_write_slow(const char* s, size_t n) {
    pdf_write_bin(s, static_cast<int>(n));
}

inline void put(const char* s, size_t n) {
    if (g_direct && n <= OUT_BUFFER - g_buf.used) {
        std::memcpy(g_buf.data + g_buf.used, s, n);
        g_buf.used += n;
        g_out.sum_pos += static_cast<long long>(n);
        return;
    }
    pdf_write_slow(s, n);
}

template <size_t N>
inline void put(const char (&lit)[N]) {
    put(lit, N - 1);
}

void buffer_flush(bool background = false);

// While one lives, plain output goes straight into the buffer, bound to the PDF.
struct DirectWrites {
    DirectWrites() {
        g_direct = !g_out.g_qprint && g_out.fp_pdfFile;
        if (g_direct && g_buf.fp != g_out.fp_pdfFile) {
            buffer_flush();
            g_buf.fp = g_out.fp_pdfFile;
        }
    }
    ~DirectWrites() { g_direct = false; }
    DirectWrites(const DirectWrites&) = delete;
    DirectWrites& operator=(const DirectWrites&) = delete;
};

void write_int(long long v) {
    if (g_direct && OUT_BUFFER - g_buf.used >= 24) {
        char* o = g_buf.data + g_buf.used;
        const size_t n = static_cast<size_t>(std::to_chars(o, o + 24, v).ptr - o);
        g_buf.used += n;
        g_out.sum_pos += static_cast<long long>(n);
        return;
    }
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    put(buf, static_cast<size_t>(r.ptr - buf));
}

// The bytes a name holds as they are: ASCII letters, digits and "_".
struct PlainNameBytes {
    bool plain[256] = {};
    constexpr PlainNameBytes() {
        for (int c = 0; c < 256; ++c)
            plain[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '_';
    }
};
constexpr PlainNameBytes k_name_bytes;

inline bool plain_name_char(char c) {
    return k_name_bytes.plain[static_cast<unsigned char>(c)];
}

// Writes "/" + the encoded name + `tail` in one piece. Names of ASCII letters, digits and
// "_" (nearly all) are copied as they are, into the buffer itself when print_obj writes;
// dec_label encodes the others.
void write_name(const char* name, const char* tail, size_t tail_len) {
    if (g_direct && OUT_BUFFER - g_buf.used >= LABEL_SIZE + 8) {
        char* const start = g_buf.data + g_buf.used;
        char* o = start + 1;
        size_t len = 0;
        while (len < LABEL_SIZE - 1 && plain_name_char(name[len])) {
            o[len] = name[len];
            ++len;
        }
        if (len == LABEL_SIZE - 1 || name[len] == 0) {
            *start = '/';
            o += len;
            std::memcpy(o, tail, tail_len);
            const size_t n = static_cast<size_t>(o - start) + tail_len;
            g_buf.used += n;
            g_out.sum_pos += static_cast<long long>(n);
            return;
        }
    }
    char buf[LABEL_SIZE * 3 + 8];
    buf[0] = '/';
    size_t len = 0;
    while (len < LABEL_SIZE - 1 && plain_name_char(name[len])) {
        buf[1 + len] = name[len];
        ++len;
    }
    if (len < LABEL_SIZE - 1 && name[len] != 0) {
        const char* n = dec_label(name);
        len = strnlen(n, LABEL_SIZE * 3);
        std::memcpy(buf + 1, n, len);
    }
    std::memcpy(buf + 1 + len, tail, tail_len);
    put(buf, 1 + len + tail_len);
}

void write_key(const st_elem& e) {
    if (label_is(e.label, LABEL_IMMEDIATE)) return;
    write_name(e.label, " ", 1);
}

void write_string_body(const st_elem& e) {
    long start = e.data.str.start_pos, len = e.data.str.len;
    if (start < 0 || len <= 0 || start + len > g_st.alloc_char_strage) return;
    put(g_st.p_char_strage + start, static_cast<size_t>(len));
}

// How each kind of string element is written around its stored bytes.
struct StringForm {
    char type;
    bool keyed;  // written after its key (a stream follows its dictionary)
    std::string_view open, close;
};
constexpr StringForm k_string_forms[] = {
    {STR_LITERAL, true, "(", ") "}, {STR_HEX, true, "<", "> "},
    {STR_ARRAY, true, "[", "] "},   {STR_STREAM, false, "\rstream\r\n", "\r\nendstream"},
    {STR_BARE, true, "", " \r"},
};

// Writes one element of the page store or of the trailer.
void write_elem(const st_elem& e) {
    switch (e.f_type) {
        case ELEM_TYPE_SUBDIC_START:
            if (label_is(e.label, LABEL_ARRAY_DICTITEM)) {
                put("<< ");
            } else {
                write_name(e.label, " << ", 4);
            }
            break;
        case ELEM_TYPE_SUBDIC_END:
            put(">> ");
            break;
        case ELEM_TYPE_ARRAY_START:
            write_key(e);
            put("[ ");
            break;
        case ELEM_TYPE_ARRAY_END:
            put("] \r");
            break;
        case ELEM_TYPE_NAME:
            write_key(e);
            write_name(e.data.name, " ", 1);
            break;
        case ELEM_TYPE_INTEGER:
            write_key(e);
            write_int(e.data.int_data);
            put(" ");
            break;
        case ELEM_TYPE_OBJREF:
            write_key(e);
            write_int(e.data.obj_no);
            put(" 0 R ");
            break;
        case ELEM_TYPE_STRING:
            for (const StringForm& f : k_string_forms) {
                if (f.type != e.data.str.type) continue;
                if (f.keyed) write_key(e);
                put(f.open.data(), f.open.size());
                write_string_body(e);
                put(f.close.data(), f.close.size());
                break;
            }
            break;
        default:
            break;  // switched off by a page operation
    }
}

bool is_stream(const st_elem& e) {
    return e.f_type == ELEM_TYPE_STRING && e.data.str.type == STR_STREAM;
}

}  // namespace

namespace {

// Writes all n bytes to descriptor fd; false on the first failure (errno tells why).
bool write_all(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (w == 0) {
            errno = EIO;
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

[[noreturn]] void write_failed() {
    int err = errno;
    // The stream is dead: nothing more is written to it, not even by the error path.
    g_buf.used = 0;
    g_buf.fp = nullptr;
    // Why, on standard error, unless that is the error log itself, which holds the message
    // alone.
    if (g_io.fp_stderr != stderr)
        std::fprintf(stderr, "tessaro: writing %s: %s\n", g_out.file_name.c_str(),
                     std::strerror(err));
    throwf("PDF write error(%s)", g_out.file_name.c_str());
}

// Waits until no write is in flight and raises the failure of the last one, if any.
void flight_wait() {
    g_flight.busy.wait(true);
    if (int err = g_flight.error.exchange(0)) {
        errno = err;
        write_failed();
    }
}

void flight_wait_quietly() {
    g_flight.busy.wait(true);
}

// Hands n bytes at p to a thread that writes them to fd, once the previous write is done.
void flight_start(int fd, const char* p, size_t n) {
    flight_wait();
    if (!g_flight.exit_hook) {
        // A run that ends without closing its output still lets the last write finish.
        std::atexit(flight_wait_quietly);
        g_flight.exit_hook = true;
    }
    g_flight.busy.store(true);
    try {
        std::thread([fd, p, n] {
            if (!write_all(fd, p, n)) g_flight.error.store(errno ? errno : EIO);
            g_flight.busy.store(false);
            g_flight.busy.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: written here and now.
        g_flight.busy.store(false);
        if (!write_all(fd, p, n)) write_failed();
    }
}

// Writes n bytes straight to the stream, after the write in flight and whatever stdio holds
// for it (trace lines when the PDF goes to standard output).
void raw_write(FILE* fp, const char* p, size_t n) {
    flight_wait();
    if (std::fflush(fp) != 0 || !write_all(fileno(fp), p, n)) write_failed();
}

// Writes out the buffer: a full buffer of a PDF file in the background, into which nothing
// else writes, while the other one takes the next bytes; anything else at once.
void buffer_flush(bool background) {
    size_t n = g_buf.used;
    g_buf.used = 0;
    if (!n || !g_buf.fp) return;
    if (background && g_buf.fp == g_out.fp_pdfFile && !g_out.to_stdout) {
        flight_start(fileno(g_buf.fp), g_buf.data, n);
        g_buf.data = g_buf.data == g_space[0] ? g_space[1] : g_space[0];
        return;
    }
    raw_write(g_buf.fp, g_buf.data, n);
}

inline void buffer_put(FILE* fp, const char* p, size_t n) {
    if (g_buf.fp != fp) {
        buffer_flush();
        g_buf.fp = fp;
    }
    if (g_buf.used + n > OUT_BUFFER) {
        buffer_flush(true);
        if (n > OUT_BUFFER / 2) {
            raw_write(fp, p, n);
            return;
        }
    }
    std::memcpy(g_buf.data + g_buf.used, p, n);
    g_buf.used += n;
}

}  // namespace

void pdf_fwrite(const char* str, int len, int, FILE* fp) {
    if (len <= 0) return;
    if (!g_out.g_qprint) {
        buffer_put(fp, str, static_cast<size_t>(len));
        return;
    }
    static const char hex[] = "0123456789abcdef";
    // The line counter runs on across calls, so that no encoded line exceeds 76 bytes
    // however the writes are split.
    int& col = g_out.qp_col;
    char buf[4096 + 8];
    size_t o = 0;
    for (int i = 0; i < len; ++i) {
        unsigned char c = static_cast<unsigned char>(str[i]);
        if (c < 0x20 || c == '=' || c > 0x7e) {
            buf[o++] = '=';
            buf[o++] = hex[c >> 4];
            buf[o++] = hex[c & 15];
            col += 3;
        } else {
            buf[o++] = static_cast<char>(c);
            col += 1;
        }
        if (col > 72) {
            buf[o++] = '=';
            buf[o++] = '\r';
            buf[o++] = '\n';
            col = 0;
        }
        if (o >= 4096) {
            buffer_put(fp, buf, o);
            o = 0;
        }
    }
    if (o) buffer_put(fp, buf, o);
}

void pdf_write_bin(const char* str, int len) {
    if (len <= 0 || !g_out.fp_pdfFile) return;
    // Plain output with room in the buffer: the common case, copied inline.
    size_t n = static_cast<size_t>(len);
    if (!g_out.g_qprint && g_buf.fp == g_out.fp_pdfFile && g_buf.used + n <= OUT_BUFFER) {
        std::memcpy(g_buf.data + g_buf.used, str, n);
        g_buf.used += n;
    } else {
        pdf_fwrite(str, len, 0, g_out.fp_pdfFile);
    }
    g_out.sum_pos += len;
}

void pdf_write(const char* str) {
    pdf_write_bin(str, static_cast<int>(std::strlen(str)));
}

void pdf_flush() {
    if (g_buf.fp && g_buf.fp == g_out.fp_pdfFile) buffer_flush();
    flight_wait();
    if (g_out.fp_pdfFile) std::fflush(g_out.fp_pdfFile);
}

void pdf_flush_quietly() {
    try {
        pdf_flush();
    } catch (const Failure&) {
        // The run is ending with an error of its own already.
    }
}

void pdf_flush_on_crash() {
    // Only async-signal-safe calls: the bytes sit in the writer's own buffer. A write in
    // flight goes first; it is given two seconds (the crash may be its own thread's).
    for (int i = 0; i < 2000 && g_flight.busy.load(); ++i) {
        struct timespec ms = {0, 1000000};
        nanosleep(&ms, nullptr);
    }
    if (g_buf.used && g_buf.fp) {
        int fd = fileno(g_buf.fp);
        if (fd >= 0) write_all(fd, g_buf.data, g_buf.used);
    }
    g_buf.used = 0;
}

void print_open(const char* pdfFileName) {
    g_out.g_qprint = 0;
    g_out.qp_col = 0;
    g_out.sum_pos = 0;
    g_out.file_name = pdfFileName;
    if (std::strcmp(pdfFileName, "-") == 0 || std::strcmp(pdfFileName, "-qprint") == 0) {
        error_log_leave_stdout();
        g_out.fp_pdfFile = stdout;
        g_out.to_stdout = true;
        if (pdfFileName[1] == 'q') g_out.g_qprint = 1;
    } else {
        g_out.fp_pdfFile = std::fopen(pdfFileName, "wb");
        g_out.to_stdout = false;
        if (!g_out.fp_pdfFile) throwf("fopen::error(%s)", pdfFileName);
    }
}

void print_pdfheader() {
    if (g_st.num_trailer_strage > 0) write_string_body(g_st.p_trailer_strage[0]);
    pdf_write_bin("\n", 1);
}

void print_elem(int elem) {
    write_elem(elem_at(elem));
}

void print_obj() {
    Storages& s = g_st;
    // The page's objects go straight into the buffer, bound to the PDF for the time.
    DirectWrites direct;
    g_obj_offsets.assign(static_cast<size_t>(s.num_xref_strage), 0);
    const st_elem* es = s.p_elem_strage;
    for (int i = 0; i < s.num_xref_strage; ++i) {
        int first = s.p_xref_strage[i].first_elem;
        if (first <= 0 || first >= s.num_elem_strage) continue;
        if (g_out.sum_pos > MAX_OFFSET) _throw("PDF output too large.");
        g_obj_offsets[static_cast<size_t>(i)] = g_out.sum_pos;
        s.p_xref_strage[i].pos =
            static_cast<int>(g_out.sum_pos > INT_MAX ? INT_MAX : g_out.sum_pos);
        write_int(static_cast<long long>(i) + g_doc.base_num);
        put(" 0 obj\r");
        bool dict = std::strncmp(es[first].label, LABEL_IMMEDIATE, LABEL_SIZE) != 0;
        if (dict) put("<< \r");
        // The stream data follows the dictionary, wherever its element stands in the chain
        // (an object holds one; should it hold more, they follow in order).
        int stream = 0;
        bool more_streams = false;
        for (int e : obj_elems(i)) {
            if (is_stream(es[e])) {
                more_streams = more_streams || stream != 0;
                stream = e;
                continue;
            }
            write_elem(es[e]);
        }
        if (dict) put(">> ");
        if (more_streams) {
            for (int e : obj_elems(i))
                if (is_stream(es[e])) write_elem(es[e]);
        } else if (stream) {
            write_elem(es[stream]);
        }
        put("\rendobj\r");
    }
}

void print_xref() {
    Storages& s = g_st;
    int n = s.num_xref_strage;
    if (n <= 0) return;
    // One slot per entry: slot base_num + i is the offset of output object base_num + i.
    reserve_pxref_strage(static_cast<long>(s.num_pxref_strage) + n);
    int at = s.num_pxref_strage;
    s.p_pxref_strage[at] = 0;
    for (int i = 1; i < n; ++i)
        s.p_pxref_strage[at + i] = static_cast<size_t>(i) < g_obj_offsets.size()
                                       ? g_obj_offsets[static_cast<size_t>(i)]
                                       : 0;
    s.num_pxref_strage += n;
    s.cur_pxref_strage = s.num_pxref_strage - 1;
}

void print_xref_last() {
    Storages& s = g_st;
    int N = s.num_pxref_strage - 2;
    if (N < 1) N = 1;
    long long P = g_out.sum_pos;
    pdf_write(" xref\r");
    char line[128];
    std::snprintf(line, sizeof line, "%d %d \r", 0, N);
    pdf_write(line);
    std::snprintf(line, sizeof line, "%10.10d %5.5d f\r\n", 0, 65535);
    pdf_write(line);
    // "%10.10lld 00000 n\r\n" for a written object, ten zeros and "f" for a free entry.
    std::memcpy(line, "0000000000 00000 n\r\n", 20);
    DirectWrites direct;
    for (int k = 1; k < N; ++k) {
        long long off = s.p_pxref_strage[k];
        line[17] = off != 0 ? 'n' : 'f';
        for (int d = 9; d >= 0; --d) {
            line[d] = static_cast<char>('0' + off % 10);
            off /= 10;
        }
        put(line, 20);
    }
    pdf_write("trailer\r<<\r");
    std::snprintf(line, sizeof line, "/Root %d 0 R\r", g_doc.g_root_obj_no);
    pdf_write(line);
    std::snprintf(line, sizeof line, "/Size %d\r", N);
    pdf_write(line);
    if (encrypt_obj_no() > 0) {
        std::snprintf(line, sizeof line, "/Encrypt %d 0 R\r", encrypt_obj_no());
        pdf_write(line);
    }
    // Keys this table writes itself, and keys of the source's cross-reference sections,
    // which describe the source file and would mislead a reader of this one (templates of
    // older compilers may hold them).
    static const char* const own[] = {"Root", "ID",      "Size",  "Encrypt",
                                      "Prev", "XRefStm", "Index", "W"};
    for (int i = 1; i < s.num_trailer_strage; ++i) {
        const st_elem& e = s.p_trailer_strage[i];
        bool skip = false;
        for (const char* k : own) skip = skip || std::strncmp(e.label, k, LABEL_SIZE) == 0;
        if (skip) continue;
        write_elem(e);
        pdf_write_bin("\r", 1);
    }
    char hex[33];
    hash2hexstr(g_doc.documentID, hex);
    std::snprintf(line, sizeof line, "/ID[<%s><%s>]\r", hex, hex);
    pdf_write(line);
    std::snprintf(line, sizeof line, ">>\rstartxref\r%lld\r%%%%EOF\r", P + 1);
    pdf_write(line);
}

void print_close() {
    FILE* fp = g_out.fp_pdfFile;
    if (!fp) return;
    buffer_flush();
    flight_wait();
    g_buf.fp = nullptr;
    g_out.fp_pdfFile = nullptr;
    // The close is checked too: a file system may report a full disk only here.
    bool ok = g_out.to_stdout ? std::fflush(fp) == 0 : std::fclose(fp) == 0;
    if (!ok) write_failed();
}

void append_int(std::string& s, long long v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    s.append(buf, static_cast<size_t>(r.ptr - buf));
}
