#include "compiler/input_prep.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "store/inflate.h"

namespace {

constexpr std::string_view EOF_MARK = "%%EOF";
constexpr std::string_view ENDSTREAM = "endstream";
// How far around an "ObjStm" name its stream dictionary is looked for.
constexpr size_t DICT_REACH = 65536;
// How long a stretch of stray text between objects may be.
constexpr size_t STRAY_REACH = 4096;

bool is_ws(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\t';
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_name_byte(char c) {
    return c != 0 && !is_ws(c) && c != '(' && c != ')' && c != '<' && c != '>' && c != '[' &&
           c != ']' && c != '/';
}

bool at(const std::string& t, size_t i, std::string_view s) {
    return i + s.size() <= t.size() && std::memcmp(t.data() + i, s.data(), s.size()) == 0;
}

size_t find(const std::string& t, std::string_view s, size_t from, size_t to) {
    if (to > t.size()) to = t.size();
    if (from >= to || to - from < s.size()) return std::string::npos;
    const void* p = memmem(t.data() + from, to - from, s.data(), s.size());
    return p ? static_cast<size_t>(static_cast<const char*>(p) - t.data()) : std::string::npos;
}

size_t rfind(const std::string& t, std::string_view s, size_t from, size_t to) {
    // Last occurrence starting in [from, to).
    if (to > t.size()) to = t.size();
    for (size_t i = to; i-- > from;)
        if (at(t, i, s)) return i;
    return std::string::npos;
}

// Reads a non-negative decimal number at i (after optional whitespace); -1 when none.
long read_number(const std::string& t, size_t& i, size_t end) {
    while (i < end && is_ws(t[i])) ++i;
    if (i >= end || !is_digit(t[i])) return -1;
    long v = 0;
    while (i < end && is_digit(t[i])) {
        if (v < 100000000) v = v * 10 + (t[i] - '0');
        ++i;
    }
    return v;
}

// The value of an integer entry /key in the dictionary text [from, to), or -1.
long dict_int(const std::string& t, std::string_view key, size_t from, size_t to) {
    for (size_t k = find(t, key, from, to); k != std::string::npos; k = find(t, key, k + 1, to)) {
        size_t i = k + key.size();
        if (i < to && is_name_byte(t[i])) continue;  // a longer name
        long v = read_number(t, i, to);
        if (v < 0) continue;
        // "/Length 12 0 R" is a reference, not a number.
        size_t j = i;
        long gen = read_number(t, j, to);
        while (j < to && is_ws(t[j])) ++j;
        if (gen >= 0 && j < to && t[j] == 'R') return -1;
        return v;
    }
    return -1;
}

// Finds the next occurrence of a pattern at or after a position, remembering the last
// answer so that a scan that moves forward searches each stretch of text only once.
struct NextFinder {
    const std::string& t;
    std::string_view pat;
    size_t pos = 0;
    bool valid = false;
    size_t next(size_t from) {
        if (!valid || (pos != std::string::npos && pos < from)) {
            pos = find(t, pat, from, t.size());
            valid = true;
        }
        return pos;
    }
};

// Scans forward for a pattern outside stream data; returns npos at the end.
size_t next_outside_streams(NextFinder& pat, NextFinder& kw, const std::string& t, size_t& i) {
    while (i < t.size()) {
        size_t p = pat.next(i);
        if (p == std::string::npos) return p;
        size_t s = kw.next(i);
        if (s != std::string::npos && s < p) {
            size_t after = skip_stream_data(t, s);
            i = after > s ? after : s + 1;
            continue;
        }
        return p;
    }
    return std::string::npos;
}

struct ObjStmInfo {
    long n = -1;
    long first = -1;
    long length = -1;
    bool flate = false;
    bool filtered = false;
};

// The number of the object whose header ends just before `after` ("N G obj"), or -1.
long object_number_before(const std::string& t, size_t after) {
    if (after < 3 || !at(t, after - 3, "obj")) return -1;
    size_t i = after - 3;
    auto back = [&](bool (*pred)(char)) {
        const size_t s = i;
        while (i > 0 && pred(t[i - 1])) --i;
        return i < s;
    };
    back(is_ws);
    if (!back(is_digit) || !back(is_ws)) return -1;
    const size_t end = i;
    back(is_digit);
    size_t k = i;
    return i < end ? read_number(t, k, end) : -1;
}

// Expands one object stream whose data is [data, data_end); appends its objects.
int expand_one(const ObjStmInfo& info, const std::string& t, size_t data, size_t data_end,
               std::string& out, ExpansionMap* map, size_t stream_pos, long stream_no) {
    std::string plain;
    if (info.filtered) {
        if (!info.flate) return 0;
        // Corrupt compressed data ends the expansion of this stream.
        if (!inflate_data(t.data() + data, data_end - data, plain)) return 0;
    } else {
        plain.assign(t, data, data_end - data);
    }
    return expand_object_stream_data(plain, info.n, info.first, out, map, stream_pos, stream_no);
}

}  // namespace

int expand_object_stream_data(const std::string& plain, long n, long first_pos, std::string& out,
                              ExpansionMap* map, size_t stream_pos, long stream_no) {
    if (n <= 0 || static_cast<size_t>(n) > plain.size()) return 0;
    std::vector<long> nums, offs;
    nums.reserve(static_cast<size_t>(n));
    offs.reserve(static_cast<size_t>(n));
    size_t i = 0, end = plain.size();
    for (long k = 0; k < n; ++k) {
        long num = read_number(plain, i, end);
        long off = read_number(plain, i, end);
        if (num < 0 || off < 0) return 0;
        nums.push_back(num);
        offs.push_back(off);
    }
    // The objects start at /First; without it, one byte after the header's last number.
    size_t first = first_pos >= 0 ? static_cast<size_t>(first_pos) : i + 1;
    if (first > end) return 0;
    int made = 0;
    char head[32];
    for (long k = 0; k < n; ++k) {
        size_t s = first + static_cast<size_t>(offs[k]);
        size_t e = k + 1 < n ? first + static_cast<size_t>(offs[k + 1]) : end;
        if (e > end) e = end;
        if (s > e) continue;
        if (map) {
            map->text_pos.push_back(out.size());
            map->source_pos.push_back(stream_pos);
            map->stream_no.push_back(stream_no);
        }
        int hl = std::snprintf(head, sizeof head, "%ld 0 obj\r", nums[k]);
        out.append(head, static_cast<size_t>(hl));
        out.append(plain, s, e - s);
        out.append("\rendobj\r");
        ++made;
    }
    return made;
}

bool read_pdf_file(const char* path, std::string& data) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    struct stat st {};
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fclose(f);
        return false;
    }
    data.clear();
    // Two spare bytes: the scanner's text ends in two NULs and is built in place when the
    // file needs no expansion.
    data.reserve(static_cast<size_t>(st.st_size) + 2);
    char buf[65536];
    size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, got);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

namespace {

// Where the data of a stream begins: after the one line end that follows its keyword.
const char* stream_data_start(const char* start, const char* end) {
    if (end - start >= 2 && start[0] == '\r' && start[1] == '\n') return start + 2;
    if (start < end && (*start == '\n' || *start == '\r')) return start + 1;
    return start;
}

// True when the keyword "stream" at i starts stream data: it follows the dictionary (or
// white space) and a line end follows it.
bool stream_keyword_at(const std::string& t, size_t i) {
    constexpr std::string_view kw = "stream";
    if (!at(t, i, kw)) return false;
    if (i > 0) {
        char p = t[i - 1];
        if (!(is_ws(p) || p == '>' || p == ']' || p == ')')) return false;
    }
    size_t j = i + kw.size();
    return j < t.size() && (t[j] == '\r' || t[j] == '\n');
}

}  // namespace

const char* stream_data_end(const char* start, const char* end, long long length,
                            const char** resume) {
    const char* data = stream_data_start(start, end);
    if (length >= 0 && length <= end - data) {
        const char* p = data + length;
        while (p < end && is_ws(*p)) ++p;
        if (static_cast<size_t>(end - p) >= ENDSTREAM.size() &&
            std::memcmp(p, ENDSTREAM.data(), ENDSTREAM.size()) == 0) {
            *resume = p + ENDSTREAM.size();
            return p;
        }
    }
    const char* stop = static_cast<const char*>(
        memmem(start, static_cast<size_t>(end - start), ENDSTREAM.data(), ENDSTREAM.size()));
    const char* limit = stop ? stop : end;
    for (const char* e = start; e < limit; e += 6) {
        e = static_cast<const char*>(memmem(e, static_cast<size_t>(limit - e), "endobj", 6));
        if (!e) break;
        const char* p = e + 6;
        while (p < limit && is_ws(*p)) ++p;
        if (object_header_end(p, limit)) {
            *resume = e;
            return e;
        }
    }
    *resume = stop ? stop + ENDSTREAM.size() : end;
    return stop;
}

size_t skip_stream_data(const std::string& t, size_t i) {
    if (!stream_keyword_at(t, i)) return i;
    const char* resume = nullptr;
    stream_data_end(t.data() + i + 6, t.data() + t.size(), -1, &resume);
    return static_cast<size_t>(resume - t.data());
}

bool cut_tail(std::string& text) {
    size_t p = rfind(text, EOF_MARK, 0, text.size());
    if (p == std::string::npos) {
        // A file without the marker (a writer that leaves it out, a download cut short) is
        // read to its end, as viewers read it.
        text.append("\r\n");
        text.append(EOF_MARK);
    } else {
        text.resize(p + EOF_MARK.size());
    }
    text.append("\r\n");
    return p != std::string::npos;
}

namespace {

// The last expanded object that starts at or before text offset p, or -1 for one of the
// file's text.
long expanded_at(const ExpansionMap& m, size_t p) {
    if (p < m.base || m.text_pos.empty()) return -1;
    const size_t rel = p - m.base;
    size_t lo = 0, hi = m.text_pos.size();
    while (hi - lo > 1) {
        size_t mid = (lo + hi) / 2;
        if (m.text_pos[mid] <= rel)
            lo = mid;
        else
            hi = mid;
    }
    return static_cast<long>(lo);
}

}  // namespace

size_t ExpansionMap::source_of(size_t p) const {
    const long k = expanded_at(*this, p);
    return k < 0 ? p : source_pos[static_cast<size_t>(k)];
}

long ExpansionMap::stream_of(size_t p) const {
    const long k = expanded_at(*this, p);
    return k < 0 || static_cast<size_t>(k) >= stream_no.size() ? -1
                                                               : stream_no[static_cast<size_t>(k)];
}

int expand_object_streams(const std::string& t, std::string& out, ExpansionMap* map) {
    constexpr std::string_view name = "/ObjStm";
    int made = 0;
    size_t i = 0;
    NextFinder names{t, name}, streams{t, "stream"};
    while (i < t.size()) {
        size_t o = next_outside_streams(names, streams, t, i);
        if (o == std::string::npos) break;
        size_t name_end = o + name.size();
        if (name_end < t.size() && is_name_byte(t[name_end])) {
            i = name_end;
            continue;
        }
        // The stream dictionary lies between the object's "obj" and its "stream".
        size_t lo = o > DICT_REACH ? o - DICT_REACH : 0;
        size_t dict_start = rfind(t, "obj", lo, o);
        dict_start = dict_start == std::string::npos ? lo : dict_start + 3;
        size_t kw = std::string::npos;
        for (size_t k = find(t, "stream", name_end, name_end + DICT_REACH); k != std::string::npos;
             k = find(t, "stream", k + 1, name_end + DICT_REACH)) {
            if (stream_keyword_at(t, k)) {
                kw = k;
                break;
            }
        }
        if (kw == std::string::npos) {
            i = name_end;
            continue;
        }
        ObjStmInfo info;
        info.n = dict_int(t, "/N", dict_start, kw);
        info.first = dict_int(t, "/First", dict_start, kw);
        info.length = dict_int(t, "/Length", dict_start, kw);
        info.filtered = find(t, "/Filter", dict_start, kw) != std::string::npos;
        info.flate = find(t, "/FlateDecode", dict_start, kw) != std::string::npos ||
                     find(t, "/Fl", dict_start, kw) != std::string::npos;
        const char* base = t.data();
        const char* after_kw = base + kw + 6;
        const char* resume = nullptr;
        const char* stop = stream_data_end(after_kw, base + t.size(), info.length, &resume);
        size_t data = static_cast<size_t>(stream_data_start(after_kw, base + t.size()) - base);
        size_t stream_end = static_cast<size_t>(resume - base);
        size_t data_end = stop ? static_cast<size_t>(stop - base) : t.size();
        if (info.length >= 0 && data + static_cast<size_t>(info.length) <= data_end)
            data_end = data + static_cast<size_t>(info.length);
        if (info.n > 0 && data <= data_end)
            made += expand_one(info, t, data, data_end, out, map, dict_start,
                               object_number_before(t, dict_start));
        i = stream_end > kw ? stream_end : kw + 1;
    }
    return made;
}

void close_text(std::string& text, const std::string& expansion) {
    text.append(expansion);
    text.append("startxref\r\n1\r\n%%EOF\r\n");
}

PrepRepairs prepare_input(const char* data, size_t len, std::string& text, ExpansionMap* map,
                          XrefChain* chain) {
    text.reserve(len + 64);
    text.assign(data, len);
    return prepare_text(text, map, chain);
}

bool drop_leading_junk(std::string& text) {
    const size_t limit = text.size() < HEADER_SEARCH ? text.size() : HEADER_SEARCH;
    const void* at = memmem(text.data(), limit, "%PDF-", 5);
    if (at && at != text.data())
        text.erase(0, static_cast<size_t>(static_cast<const char*>(at) - text.data()));
    if (at) return false;
    // No header, but an object starts a line there: a file whose writer left the header out,
    // which viewers read all the same.
    for (size_t i = 0; i < limit; ++i)
        if ((i == 0 || text[i - 1] == '\n' || text[i - 1] == '\r') &&
            object_header_end(text.data() + i, text.data() + text.size())) {
            text.insert(0, "%PDF-1.4\n");
            return true;
        }
    return false;
}

namespace {

// True when an object ("N G obj") or a file section (xref, trailer, startxref, a comment)
// starts at i.
bool section_at(const std::string& t, size_t i) {
    if (i >= t.size() || t[i] == '%' || at(t, i, "xref") || at(t, i, "trailer") ||
        at(t, i, "startxref"))
        return true;
    return object_header_end(t.data() + i, t.data() + t.size()) != nullptr;
}

// Where the object header ("N G obj", alone at the start of its line) whose keyword starts
// at p begins, or npos when the "obj" at p starts none.
size_t header_start(const std::string& t, size_t p) {
    if (p + 3 < t.size() && is_name_byte(t[p + 3])) return std::string::npos;
    size_t line = p;
    while (line > 0 && t[line - 1] != '\r' && t[line - 1] != '\n') --line;
    const char* obj_end = t.data() + p + 3;
    return object_header_end(t.data() + line, obj_end) == obj_end ? line : std::string::npos;
}

}  // namespace

const char* object_header_end(const char* p, const char* end) {
    auto skip = [&](bool (*pred)(char)) {
        const char* s = p;
        while (p < end && pred(*p)) ++p;
        return p > s;
    };
    if (!skip(is_digit) || !skip(is_ws) || !skip(is_digit)) return nullptr;
    skip(is_ws);
    return end - p >= 3 && std::memcmp(p, "obj", 3) == 0 ? p + 3 : nullptr;
}

namespace {

// Inserts `what` before each of the ascending offsets `at` of the text.
void insert_at(std::string& text, const std::vector<size_t>& at, std::string_view what) {
    if (at.empty()) return;
    std::string out;
    out.reserve(text.size() + at.size() * what.size());
    size_t from = 0;
    for (size_t p : at) {
        out.append(text, from, p - from);
        out.append(what);
        from = p;
    }
    out.append(text, from, std::string::npos);
    text.swap(out);
}

}  // namespace

size_t close_unterminated_objects(std::string& text) {
    std::vector<size_t> missing;
    // Each keyword has a stream finder of its own: a finder answers a forward scan only.
    NextFinder objs{text, "obj"}, obj_streams{text, "stream"};
    NextFinder sections[] = {{text, "xref"}, {text, "trailer"}};
    NextFinder section_streams[] = {{text, "stream"}, {text, "stream"}};
    size_t section_from[] = {0, 0};
    // The next cross-reference section or trailer at a line start, at or after i.
    auto next_section = [&](size_t i) {
        size_t best = std::string::npos;
        for (int k = 0; k < 2; ++k) {
            size_t& f = section_from[k];
            if (f < i) f = i;
            size_t s = next_outside_streams(sections[k], section_streams[k], text, f);
            while (s != std::string::npos && s > 0 && text[s - 1] != '\r' && text[s - 1] != '\n') {
                f = s + 1;
                s = next_outside_streams(sections[k], section_streams[k], text, f);
            }
            best = std::min(best, s);
        }
        return best;
    };
    bool open = false;
    size_t i = 0;
    while (i < text.size()) {
        size_t scan = i;
        const size_t p = next_outside_streams(objs, obj_streams, text, scan);
        // A cross-reference section or trailer ends an open object too.
        const size_t section = next_section(i);
        if (section < p) {
            if (open) missing.push_back(section);
            open = false;
            i = section + 4;
            continue;
        }
        if (p == std::string::npos) break;
        i = p + 3;
        if (p >= 3 && at(text, p - 3, "end")) {
            open = false;
            continue;
        }
        const size_t h = header_start(text, p);
        if (h == std::string::npos) continue;
        if (open) missing.push_back(h);
        open = true;
    }
    insert_at(text, missing, "endobj\r");
    return missing.size();
}

namespace {

// The places that `place_for` gives for the occurrences of `keyword` outside stream data
// (npos: none there), in order.
template <class PlaceFor>
std::vector<size_t> places_after(const std::string& text, std::string_view keyword,
                                 PlaceFor place_for) {
    NextFinder found{text, keyword}, streams{text, "stream"};
    std::vector<size_t> places;
    size_t i = 0;
    while (i < text.size()) {
        const size_t s = next_outside_streams(found, streams, text, i);
        if (s == std::string::npos) break;
        i = s + keyword.size();
        const size_t p = place_for(s);
        if (p == std::string::npos) continue;
        places.push_back(p);
        i = std::max(i, p);
    }
    return places;
}

}  // namespace

size_t split_glued_headers(std::string& text) {
    constexpr std::string_view end = "endobj";
    std::vector<size_t> places = places_after(text, end, [&](size_t e) {
        const size_t after = e + end.size();
        return object_header_end(text.data() + after, text.data() + text.size())
                   ? after
                   : std::string::npos;
    });
    insert_at(text, places, "\r");
    return places.size();
}

size_t end_revisions(std::string& text) {
    constexpr std::string_view kw = "startxref";
    std::vector<size_t> places = places_after(text, kw, [&](size_t s) {
        if (s > 0 && text[s - 1] != '\r' && text[s - 1] != '\n') return std::string::npos;
        size_t k = s + kw.size();
        while (k < text.size() && is_ws(text[k])) ++k;
        const size_t digits = k;
        while (k < text.size() && is_digit(text[k])) ++k;
        if (k == digits) return std::string::npos;
        const size_t after = k;
        while (k < text.size() && is_ws(text[k])) ++k;
        // The revision's marker, or the end of the file (which cut_tail closes).
        return k >= text.size() || at(text, k, EOF_MARK) ? std::string::npos : after;
    });
    insert_at(text, places, "\r%%EOF");
    return places.size();
}

size_t blank_stray_text(std::string& text) {
    constexpr std::string_view end = "endobj";
    size_t blanked = 0;
    NextFinder ends{text, end}, streams{text, "stream"};
    size_t i = 0;
    while (i < text.size()) {
        size_t e = next_outside_streams(ends, streams, text, i);
        if (e == std::string::npos) break;
        size_t from = e + end.size();
        i = from;
        size_t k = from;
        while (k < text.size() && is_ws(text[k])) ++k;
        if (section_at(text, k)) continue;
        // The stray text runs to the next line that starts an object or a section.
        size_t to = std::string::npos;
        for (size_t n = k; n < text.size() && n < k + STRAY_REACH; ++n)
            if ((text[n - 1] == '\r' || text[n - 1] == '\n') && section_at(text, n)) {
                to = n;
                break;
            }
        if (to == std::string::npos) continue;
        // Text holding an object's end or stream data is no stray text but damage the
        // parser reports.
        if (find(text, end, k, to) != std::string::npos ||
            find(text, "stream", k, to) != std::string::npos)
            continue;
        std::memset(text.data() + k, ' ', to - k);
        ++blanked;
        i = to;
    }
    return blanked;
}

PrepRepairs prepare_text(std::string& text, ExpansionMap* map, XrefChain* chain) {
    PrepRepairs repairs;
    repairs.no_header = drop_leading_junk(text);
    repairs.split = split_glued_headers(text);
    repairs.closed = close_unterminated_objects(text);
    repairs.stray = blank_stray_text(text);
    repairs.revisions = end_revisions(text);
    repairs.no_eof = !cut_tail(text);
    // The offsets of the cross-reference data hold while nothing was put into the text.
    if (chain && !repairs.no_header && repairs.split == 0 && repairs.closed == 0 &&
        repairs.revisions == 0)
        *chain = read_xref_chain(text);
    std::string expansion;
    // In an encrypted file the object streams are encrypted too: they are expanded once
    // the objects are parsed and decrypted.
    bool encrypted = memmem(text.data(), text.size(), "/Encrypt", 8) != nullptr;
    if (map) map->deferred = encrypted;
    if (!encrypted) expand_object_streams(text, expansion, map);
    if (map) map->base = text.size();
    close_text(text, expansion);
    return repairs;
}
