#include "compiler/xref_chain.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string_view>

#include "compiler/compiler_state.h"
#include "compiler/input_prep.h"
#include "store/inflate.h"

namespace {

// How many sections a chain may have, and how far a section's dictionary may reach.
constexpr int MAX_SECTIONS = 4096;
constexpr size_t DICT_REACH = 65536;

bool is_ws(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\f' || c == 0;
}

struct Reader {
    const std::string& t;
    XrefChain& chain;
    std::vector<char> decided;  // by object number: the newest section that lists it spoke

    void skip_ws(size_t& i) const {
        while (i < t.size() && is_ws(t[i])) ++i;
    }

    // A non-negative decimal number at i (after white space); -1 when none.
    long long number(size_t& i) const {
        skip_ws(i);
        if (i >= t.size() || t[i] < '0' || t[i] > '9') return -1;
        long long v = 0;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
            if (v < (1LL << 40)) v = v * 10 + (t[i] - '0');
            ++i;
        }
        return v;
    }

    bool at(size_t i, std::string_view s) const {
        return i + s.size() <= t.size() && t.compare(i, s.size(), s) == 0;
    }

    size_t find(std::string_view s, size_t from, size_t to) const {
        to = std::min(to, t.size());
        if (from >= to || to - from < s.size()) return std::string::npos;
        const void* p = memmem(t.data() + from, to - from, s.data(), s.size());
        return p ? static_cast<size_t>(static_cast<const char*>(p) - t.data()) : std::string::npos;
    }

    // The integer value of /key in the dictionary text [from, to), or -1 (a reference, or
    // none).
    long long dict_int(std::string_view key, size_t from, size_t to) const {
        for (size_t k = find(key, from, to); k != std::string::npos; k = find(key, k + 1, to)) {
            size_t i = k + key.size();
            if (i < to && !is_ws(t[i]) && !std::strchr("/[<(", t[i])) continue;  // longer name
            long long v = number(i);
            if (v < 0) continue;
            size_t j = i;
            const long long gen = number(j);
            skip_ws(j);
            if (gen >= 0 && j < t.size() && t[j] == 'R') return -1;
            return v;
        }
        return -1;
    }

    // The numbers of array /key in [from, to).
    std::vector<long long> dict_array(std::string_view key, size_t from, size_t to) const {
        std::vector<long long> v;
        size_t k = find(key, from, to);
        if (k == std::string::npos) return v;
        size_t i = k + key.size();
        skip_ws(i);
        if (i >= to || t[i] != '[') return v;
        ++i;
        for (long long n = number(i); n >= 0 && i < to; n = number(i)) v.push_back(n);
        return v;
    }

    // Records object n's live definition, unless a newer section already did. Numbers
    // beyond what the file could define are passed by.
    void put(long long n, LiveObject o) {
        if (n < 0 || n > MAX_OBJ_NO || static_cast<size_t>(n) > t.size() / 4 + 1024) return;
        const size_t k = static_cast<size_t>(n);
        if (k >= decided.size()) {
            decided.resize(k + 1, 0);
            chain.objects.resize(k + 1);
        }
        if (decided[k]) return;
        decided[k] = 1;
        chain.objects[k] = o;
    }

    // A definition at file offset `off`: its "obj" keyword, when the header there is object
    // n's.
    LiveObject direct(long long n, long long off) const {
        LiveObject o;
        if (off < 0 || static_cast<size_t>(off) >= t.size()) return o;
        size_t i = static_cast<size_t>(off);
        skip_ws(i);
        size_t j = i;
        const char* end = object_header_end(t.data() + i, t.data() + t.size());
        if (!end || number(j) != n) return o;
        o.kind = LiveObject::direct;
        o.obj_pos = static_cast<size_t>(end - t.data()) - 3;
        return o;
    }

    // A classic table at i (after "xref"); the offset of its trailer dictionary, or npos.
    // Its free entries go to `frees`: a hybrid file's stream may list those objects.
    size_t table(size_t i, std::vector<long long>& frees) {
        for (int subsections = 0; subsections < 1 << 20; ++subsections) {
            skip_ws(i);
            if (at(i, "trailer")) return i + 7;
            const long long first = number(i), count = number(i);
            if (first < 0 || count < 0 || count > static_cast<long long>(t.size() / 18))
                return std::string::npos;
            for (long long k = 0; k < count; ++k) {
                const long long off = number(i), gen = number(i);
                skip_ws(i);
                if (off < 0 || gen < 0 || i >= t.size() || (t[i] != 'n' && t[i] != 'f'))
                    return std::string::npos;
                if (t[i] == 'n')
                    put(first + k, direct(first + k, off));
                else
                    frees.push_back(first + k);
                ++i;
            }
        }
        return std::string::npos;
    }

    // A cross-reference stream whose object starts at i; false when it cannot be read.
    bool stream(size_t i, long long* prev) {
        const char* h = object_header_end(t.data() + i, t.data() + t.size());
        if (!h) return false;
        const size_t dict = static_cast<size_t>(h - t.data());
        const size_t kw = find("stream", dict, dict + DICT_REACH);
        if (kw == std::string::npos || find("/XRef", dict, kw) == std::string::npos) return false;
        const std::vector<long long> w = dict_array("/W", dict, kw);
        if (w.size() < 3 || w[0] > 8 || w[1] > 8 || w[2] > 8) return false;
        std::vector<long long> index = dict_array("/Index", dict, kw);
        if (index.empty()) index = {0, dict_int("/Size", dict, kw)};
        *prev = dict_int("/Prev", dict, kw);
        // The data: after the keyword's line end, /Length bytes or up to "endstream".
        size_t d = kw + 6;
        if (d < t.size() && t[d] == '\r') ++d;
        if (d < t.size() && t[d] == '\n') ++d;
        long long len = dict_int("/Length", dict, kw);
        if (len < 0 || static_cast<size_t>(len) > t.size() - d) {
            const size_t e = find("endstream", d, t.size());
            if (e == std::string::npos) return false;
            len = static_cast<long long>(e - d);
        }
        std::string data;
        if (find("/Filter", dict, kw) != std::string::npos) {
            if (find("/FlateDecode", dict, kw) == std::string::npos ||
                !inflate_data(t.data() + d, static_cast<size_t>(len), data, size_t{1} << 28))
                return false;
        } else {
            data.assign(t, d, static_cast<size_t>(len));
        }
        const size_t entry = static_cast<size_t>(w[0] + w[1] + w[2]);
        if (entry == 0) return false;
        const long long predictor = dict_int("/Predictor", dict, kw);
        if (predictor >= 10 && !unpredict(data, entry, dict_int("/Columns", dict, kw)))
            return false;
        else if (predictor > 1 && predictor < 10)
            return false;
        size_t p = 0;
        auto field = [&](long long width, long long absent) {
            if (width == 0) return absent;
            long long v = 0;
            for (long long b = 0; b < width; ++b)
                v = (v << 8) | static_cast<unsigned char>(data[p++]);
            return v;
        };
        for (size_t s = 0; s + 1 < index.size(); s += 2) {
            for (long long k = 0; k < index[s + 1]; ++k) {
                if (p + entry > data.size()) return true;
                const long long type = field(w[0], 1), a = field(w[1], 0), b = field(w[2], 0);
                (void)b;
                LiveObject o;
                if (type == 1) o = direct(index[s] + k, a);
                if (type == 2) o.kind = LiveObject::in_stream, o.stream = a;
                if (type == 0 || type == 1 || type == 2) put(index[s] + k, o);
            }
        }
        return true;
    }

    // Undoes the PNG row predictors of cross-reference stream data (rows of `columns`
    // bytes, each led by its filter type).
    static bool unpredict(std::string& data, size_t entry, long long columns) {
        const size_t cols = columns > 0 ? static_cast<size_t>(columns) : entry;
        const size_t row = cols + 1;
        std::string out;
        out.reserve(data.size());
        std::string prior(cols, '\0');
        for (size_t r = 0; r + row <= data.size(); r += row) {
            const unsigned char type = static_cast<unsigned char>(data[r]);
            std::string cur = data.substr(r + 1, cols);
            for (size_t c = 0; c < cols; ++c) {
                const int left = c ? static_cast<unsigned char>(cur[c - 1]) : 0;
                const int up = static_cast<unsigned char>(prior[c]);
                const int upleft = c ? static_cast<unsigned char>(prior[c - 1]) : 0;
                int add = 0;
                switch (type) {
                    case 0:
                        break;
                    case 1:
                        add = left;
                        break;
                    case 2:
                        add = up;
                        break;
                    case 3:
                        add = (left + up) / 2;
                        break;
                    case 4: {
                        const int pa = std::abs(up - upleft), pb = std::abs(left - upleft),
                                  pc = std::abs(left + up - 2 * upleft);
                        add = pa <= pb && pa <= pc ? left : pb <= pc ? up : upleft;
                        break;
                    }
                    default:
                        return false;
                }
                cur[c] = static_cast<char>(static_cast<unsigned char>(cur[c]) + add);
            }
            out += cur;
            prior = cur;
        }
        data.swap(out);
        return true;
    }
};

}  // namespace

XrefChain read_xref_chain(const std::string& text) {
    XrefChain chain;
    Reader r{text, chain, {}};
    // The last "startxref" and its offset.
    size_t s = std::string::npos;
    for (size_t k = text.size(); k-- > 0 && text.size() - k < (size_t{1} << 20);)
        if (r.at(k, "startxref")) {
            s = k + 9;
            break;
        }
    if (s == std::string::npos) return chain;
    long long off = r.number(s);
    std::set<long long> seen;
    for (int sections = 0; off >= 0 && sections < MAX_SECTIONS; ++sections) {
        if (static_cast<size_t>(off) >= text.size() || !seen.insert(off).second) break;
        size_t i = static_cast<size_t>(off);
        r.skip_ws(i);
        long long prev = -1;
        if (r.at(i, "xref")) {
            std::vector<long long> frees;
            const size_t trailer = r.table(i + 4, frees);
            if (trailer == std::string::npos) break;
            const size_t end = std::min(r.find("startxref", trailer, text.size()),
                                        std::min(text.size(), trailer + DICT_REACH));
            prev = r.dict_int("/Prev", trailer, end);
            // A hybrid file's stream lists what its table leaves out, before older sections.
            const long long stm = r.dict_int("/XRefStm", trailer, end);
            long long ignored = -1;
            if (stm >= 0 && static_cast<size_t>(stm) < text.size())
                r.stream(static_cast<size_t>(stm), &ignored);
            for (long long n : frees) r.put(n, LiveObject{});
        } else if (!r.stream(i, &prev)) {
            break;
        }
        chain.valid = true;
        off = prev;
    }
    return chain;
}
