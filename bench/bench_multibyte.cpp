// Decoding speed of script values: 10 MB of mixed Japanese text in EUC-JP, Shift_JIS and
// UTF-8, decoded by mbs_mbstowcs and, for comparison, by glibc iconv() into UTF-32 in the same
// run. Also the Shift_JIS encoder. Figures are MB/s of input text.
#include <iconv.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "multibyte/jis_tables.h"
#include "multibyte/sjis_encode.h"
#include "multibyte/text_decode.h"

namespace {

constexpr size_t k_target = 10u << 20;

// Lines of 20 to 120 characters: ASCII words and digits, hiragana, katakana, level-1 kanji,
// some half-width katakana.
std::vector<std::u32string> make_lines() {
    std::mt19937 rng(12345);
    std::vector<char32_t> kanji;
    for (int row = 16; row <= 47; ++row) {
        for (int cell = 1; cell <= 94; ++cell) {
            uint16_t u = jis0208_to_ucs[(row - 1) * 94 + (cell - 1)];
            if (u) kanji.push_back(u);
        }
    }
    std::vector<std::u32string> lines;
    size_t utf8_bytes = 0;
    // UTF-8 takes the most bytes for this mix; enough lines for 10 MB in the others too.
    while (utf8_bytes < k_target * 3 / 2) {
        std::u32string line;
        int n = 20 + static_cast<int>(rng() % 100);
        for (int i = 0; i < n; ++i) {
            unsigned pick = rng() % 100;
            char32_t c;
            if (pick < 25) {
                c = pick % 5 == 0 ? U' ' : static_cast<char32_t>('a' + rng() % 26);
            } else if (pick < 30) {
                c = static_cast<char32_t>('0' + rng() % 10);
            } else if (pick < 55) {
                c = 0x3041 + rng() % 83;
            } else if (pick < 65) {
                c = 0x30A1 + rng() % 86;
            } else if (pick < 68) {
                c = 0xFF71 + rng() % 45;
            } else {
                c = kanji[rng() % kanji.size()];
            }
            line += c;
            utf8_bytes += c < 0x80 ? 1 : 3;
        }
        lines.push_back(line);
    }
    return lines;
}

std::string convert(const char* to, const std::u32string& line) {
    iconv_t cd = iconv_open(to, "UTF-32LE");
    std::string out(line.size() * 4 + 16, '\0');
    char* in = reinterpret_cast<char*>(const_cast<char32_t*>(line.data()));
    size_t inleft = line.size() * 4, outleft = out.size();
    char* op = out.data();
    iconv(cd, &in, &inleft, &op, &outleft);
    iconv_close(cd);
    out.resize(out.size() - outleft);
    return out;
}

struct Corpus {
    std::string bytes;            // all lines back to back
    std::vector<size_t> offsets;  // start of each line, and the end
};

Corpus encode_all(const char* charset, const std::vector<std::u32string>& lines) {
    Corpus c;
    for (const auto& l : lines) {
        if (c.bytes.size() >= k_target) break;
        c.offsets.push_back(c.bytes.size());
        c.bytes += convert(charset, l);
    }
    c.offsets.push_back(c.bytes.size());
    return c;
}

// CPU time of this thread: other work on the machine disturbs it less than wall time.
double cpu_seconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

template <class F>
double best_of_5(F&& run) {
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        double t0 = cpu_seconds();
        run();
        double s = cpu_seconds() - t0;
        if (s < best) best = s;
    }
    return best;
}

volatile long g_sink;

void bench_decode(const char* name, char enc, const char* charset, const Corpus& c) {
    std::vector<int32_t> dest(c.bytes.size() + 1);
    double mb = static_cast<double>(c.bytes.size()) / 1e6;
    size_t lines = c.offsets.size() - 1;

    double ours = best_of_5([&] {
        long total = 0;
        for (size_t i = 0; i < lines; ++i) {
            size_t len = c.offsets[i + 1] - c.offsets[i];
            total += mbs_mbstowcs(dest.data(), c.bytes.data() + c.offsets[i], static_cast<int>(len),
                                  enc);
        }
        g_sink = total;
    });
    iconv_t cd = iconv_open("UTF-32LE", charset);
    double theirs = best_of_5([&] {
        long total = 0;
        for (size_t i = 0; i < lines; ++i) {
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            char* in = const_cast<char*>(c.bytes.data() + c.offsets[i]);
            size_t inleft = c.offsets[i + 1] - c.offsets[i];
            char* op = reinterpret_cast<char*>(dest.data());
            size_t outleft = dest.size() * 4;
            iconv(cd, &in, &inleft, &op, &outleft);
            total += static_cast<long>(dest.size() * 4 - outleft);
        }
        g_sink = total;
    });
    iconv_close(cd);
    std::printf(
        "decode %-9s %6.1f MB in %zu lines: mbs_mbstowcs %8.1f MB/s  iconv %8.1f MB/s  "
        "ratio %5.2f\n",
        name, mb, lines, mb / ours, mb / theirs, theirs / ours);
}

void bench_encode(const std::vector<std::u32string>& lines) {
    std::vector<std::vector<int32_t>> cps;
    size_t count = 0;
    for (const auto& l : lines) {
        cps.emplace_back(l.begin(), l.end());
        count += l.size();
    }
    double t = best_of_5([&] {
        long total = 0;
        for (const auto& v : cps) total += mbs_ucs2sjis(v.data(), static_cast<int>(v.size()))[0];
        g_sink = total;
    });
    std::printf("encode Shift_JIS %zu code points: %.1f M code points/s\n", count,
                static_cast<double>(count) / t / 1e6);
}

}  // namespace

int main() {
    std::vector<std::u32string> lines = make_lines();
    bench_decode("EUC-JP", 'E', "EUC-JP", encode_all("EUC-JP", lines));
    bench_decode("Shift_JIS", 'S', "SHIFT_JIS", encode_all("SHIFT_JIS", lines));
    bench_decode("UTF-8", 'U', "UTF-8", encode_all("UTF-8", lines));
    bench_encode(lines);
    return 0;
}
