#include "generator/helvetica_extended.h"

#include "generator/generated/standin_widths.h"

namespace {

struct Glyph {
    const char* name;  // nullptr: no character at this code point
    int width;         // Helvetica's advance width, thousandths of the font size
};

// Widths are the Helvetica metrics that viewers lay the non-embedded font out with (URW Nimbus
// Sans, metric-compatible); names are the Adobe Glyph List's, or uniXXXX where the font has
// no other.

// Latin Extended-A, U+0100 to U+017F: the letters of Central and Eastern European, Baltic and
// Turkish names.
constexpr Glyph kLatinExtendedA[] = {
    {"Amacron", 667},       {"amacron", 556},       {"Abreve", 667},       {"abreve", 556},
    {"Aogonek", 667},       {"aogonek", 556},       {"Cacute", 722},       {"cacute", 500},
    {"Ccircumflex", 722},   {"ccircumflex", 500},   {"Cdotaccent", 722},   {"cdotaccent", 500},
    {"Ccaron", 722},        {"ccaron", 500},        {"Dcaron", 722},       {"dcaron", 643},
    {"Dcroat", 722},        {"dcroat", 556},        {"Emacron", 667},      {"emacron", 556},
    {"Ebreve", 667},        {"ebreve", 556},        {"Edotaccent", 667},   {"edotaccent", 556},
    {"Eogonek", 667},       {"eogonek", 556},       {"Ecaron", 667},       {"ecaron", 556},
    {"Gcircumflex", 778},   {"gcircumflex", 556},   {"Gbreve", 778},       {"gbreve", 556},
    {"Gdotaccent", 778},    {"gdotaccent", 556},    {"Gcommaaccent", 778}, {"gcommaaccent", 556},
    {"Hcircumflex", 722},   {"hcircumflex", 556},   {"Hbar", 722},         {"hbar", 556},
    {"Itilde", 278},        {"itilde", 278},        {"Imacron", 278},      {"imacron", 278},
    {"Ibreve", 278},        {"ibreve", 278},        {"Iogonek", 278},      {"iogonek", 222},
    {"Idotaccent", 278},    {"dotlessi", 278},      {"IJ", 735},           {"ij", 444},
    {"Jcircumflex", 500},   {"jcircumflex", 222},   {"Kcommaaccent", 667}, {"kcommaaccent", 500},
    {"kgreenlandic", 500},  {"Lacute", 556},        {"lacute", 222},       {"Lcommaaccent", 556},
    {"lcommaaccent", 222},  {"Lcaron", 556},        {"lcaron", 299},       {"Ldot", 556},
    {"ldot", 334},          {"Lslash", 556},        {"lslash", 222},       {"Nacute", 722},
    {"nacute", 556},        {"Ncommaaccent", 722},  {"ncommaaccent", 556}, {"Ncaron", 722},
    {"ncaron", 556},        {"napostrophe", 604},   {"Eng", 723},          {"eng", 556},
    {"Omacron", 778},       {"omacron", 556},       {"Obreve", 778},       {"obreve", 556},
    {"Ohungarumlaut", 778}, {"ohungarumlaut", 556}, {"OE", 1000},          {"oe", 944},
    {"Racute", 722},        {"racute", 333},        {"Rcommaaccent", 722}, {"rcommaaccent", 333},
    {"Rcaron", 722},        {"rcaron", 333},        {"Sacute", 667},       {"sacute", 500},
    {"Scircumflex", 667},   {"scircumflex", 500},   {"Scedilla", 667},     {"scedilla", 500},
    {"Scaron", 667},        {"scaron", 500},        {"Tcommaaccent", 611}, {"tcommaaccent", 278},
    {"Tcaron", 611},        {"tcaron", 317},        {"Tbar", 611},         {"tbar", 278},
    {"Utilde", 722},        {"utilde", 556},        {"Umacron", 722},      {"umacron", 556},
    {"Ubreve", 722},        {"ubreve", 556},        {"Uring", 722},        {"uring", 556},
    {"Uhungarumlaut", 722}, {"uhungarumlaut", 556}, {"Uogonek", 722},      {"uogonek", 556},
    {"Wcircumflex", 944},   {"wcircumflex", 722},   {"Ycircumflex", 667},  {"ycircumflex", 500},
    {"Ydieresis", 667},     {"Zacute", 611},        {"zacute", 500},       {"Zdotaccent", 611},
    {"zdotaccent", 500},    {"Zcaron", 611},        {"zcaron", 500},       {"longs", 222},
};
// Romanian S and T with comma below, U+0218 to U+021B.
constexpr Glyph kCommaBelow[] = {
    {"Scommaaccent", 667}, {"scommaaccent", 500}, {"uni021A", 611}, {"uni021B", 278}};
// Cyrillic, U+0400 to U+045F.
constexpr Glyph kCyrillic[] = {
    {"uni0400", 667},   {"afii10023", 667},  {"afii10051", 865},  {"afii10052", 542},
    {"afii10053", 719}, {"afii10054", 667},  {"afii10055", 278},  {"afii10056", 278},
    {"afii10057", 500}, {"afii10058", 1057}, {"afii10059", 1010}, {"afii10060", 854},
    {"afii10061", 583}, {"uni040D", 719},    {"afii10062", 635},  {"afii10145", 719},
    {"afii10017", 667}, {"afii10018", 656},  {"afii10019", 667},  {"afii10020", 542},
    {"afii10021", 677}, {"afii10022", 667},  {"afii10024", 923},  {"afii10025", 604},
    {"afii10026", 719}, {"afii10027", 719},  {"afii10028", 583},  {"afii10029", 656},
    {"afii10030", 833}, {"afii10031", 722},  {"afii10032", 778},  {"afii10033", 719},
    {"afii10034", 667}, {"afii10035", 722},  {"afii10036", 611},  {"afii10037", 635},
    {"afii10038", 760}, {"afii10039", 667},  {"afii10040", 740},  {"afii10041", 667},
    {"afii10042", 917}, {"afii10043", 938},  {"afii10044", 792},  {"afii10045", 885},
    {"afii10046", 656}, {"afii10047", 719},  {"afii10048", 1010}, {"afii10049", 722},
    {"afii10065", 556}, {"afii10066", 573},  {"afii10067", 531},  {"afii10068", 365},
    {"afii10069", 583}, {"afii10070", 556},  {"afii10072", 669},  {"afii10073", 458},
    {"afii10074", 559}, {"afii10075", 559},  {"afii10076", 438},  {"afii10077", 583},
    {"afii10078", 688}, {"afii10079", 552},  {"afii10080", 556},  {"afii10081", 542},
    {"afii10082", 556}, {"afii10083", 500},  {"afii10084", 458},  {"afii10085", 500},
    {"afii10086", 823}, {"afii10087", 500},  {"afii10088", 573},  {"afii10089", 521},
    {"afii10090", 802}, {"afii10091", 823},  {"afii10092", 625},  {"afii10093", 719},
    {"afii10094", 521}, {"afii10095", 510},  {"afii10096", 750},  {"afii10097", 542},
    {"uni0450", 556},   {"afii10071", 556},  {"afii10099", 556},  {"afii10100", 365},
    {"afii10101", 510}, {"afii10102", 500},  {"afii10103", 222},  {"afii10104", 278},
    {"afii10105", 222}, {"afii10106", 906},  {"afii10107", 813},  {"afii10108", 556},
    {"afii10109", 438}, {"uni045D", 559},    {"afii10110", 500},  {"afii10193", 552},
};
// Ukrainian Ghe with upturn, U+0490 and U+0491.
constexpr Glyph kGheUpturn[] = {
    {"afii10050", 489},
    {"afii10098", 411},
};
// Greek, U+0384 to U+03CE.
constexpr Glyph kGreek[] = {
    {"tonos", 333},
    {"dieresistonos", 333},
    {"Alphatonos", 667},
    {"uni0387", 278},
    {"Epsilontonos", 784},
    {"Etatonos", 838},
    {"Iotatonos", 384},
    {nullptr, 0},
    {"Omicrontonos", 774},
    {nullptr, 0},
    {"Upsilontonos", 855},
    {"Omegatonos", 752},
    {"iotadieresistonos", 222},
    {"Alpha", 667},
    {"Beta", 667},
    {"Gamma", 551},
    {"uni0394", 668},
    {"Epsilon", 667},
    {"Zeta", 611},
    {"Eta", 722},
    {"Theta", 778},
    {"Iota", 278},
    {"Kappa", 667},
    {"Lambda", 668},
    {"Mu", 833},
    {"Nu", 722},
    {"Xi", 650},
    {"Omicron", 778},
    {"Pi", 722},
    {"Rho", 667},
    {nullptr, 0},
    {"Sigma", 618},
    {"Tau", 611},
    {"Upsilon", 667},
    {"Phi", 798},
    {"Chi", 667},
    {"Psi", 835},
    {"uni03A9", 748},
    {"Iotadieresis", 278},
    {"Upsilondieresis", 667},
    {"alphatonos", 578},
    {"epsilontonos", 446},
    {"etatonos", 556},
    {"iotatonos", 222},
    {"upsilondieresistonos", 547},
    {"alpha", 578},
    {"beta", 575},
    {"gamma", 500},
    {"delta", 557},
    {"epsilon", 446},
    {"zeta", 441},
    {"eta", 556},
    {"theta", 556},
    {"iota", 222},
    {"kappa", 500},
    {"lambda", 500},
    {"uni03BC", 576},
    {"nu", 500},
    {"xi", 448},
    {"omicron", 556},
    {"pi", 690},
    {"rho", 569},
    {"uni03C2", 482},
    {"sigma", 617},
    {"tau", 395},
    {"upsilon", 547},
    {"phi", 648},
    {"chi", 525},
    {"psi", 713},
    {"omega", 781},
    {"iotadieresis", 222},
    {"upsilondieresis", 547},
    {"omicrontonos", 556},
    {"upsilontonos", 547},
    {"omegatonos", 781},
};

// A run of consecutive code points at consecutive codes of one font.
struct Block {
    Fallback font;
    int32_t first_char;
    int first_code;
    const Glyph* glyphs;
    int count;
};

template <int N>
constexpr Block block(Fallback font, int32_t first_char, int first_code, const Glyph (&glyphs)[N]) {
    return {font, first_char, first_code, glyphs, N};
}

constexpr Block kBlocks[] = {
    block(FALLBACK_LATIN_EXTENDED, 0x100, 128, kLatinExtendedA),
    block(FALLBACK_LATIN_EXTENDED, 0x218, 1, kCommaBelow),
    block(FALLBACK_CYRILLIC_GREEK, 0x400, 32, kCyrillic),
    block(FALLBACK_CYRILLIC_GREEK, 0x490, 1, kGheUpturn),
    block(FALLBACK_CYRILLIC_GREEK, 0x384, 128, kGreek),
};

}  // namespace

ExtendedCode helvetica_extended_code(int32_t u) {
    for (const Block& b : kBlocks) {
        int i = u - b.first_char;
        if (i >= 0 && i < b.count && b.glyphs[i].name) return {b.font, b.first_code + i};
    }
    return {FALLBACK_JAPANESE, 0};
}

int standin_face(int standard) {
    if (standard >= 20 && standard <= 23) return standard - 20;
    if (standard >= 28 && standard <= 31) return standard - 24;
    return 0;
}

int helvetica_extended_width(ExtendedCode c, int face) {
    // The blocks' glyphs stand in the width table one after another, in the blocks' order.
    int at = 0;
    for (const Block& b : kBlocks) {
        int i = c.code - b.first_code;
        if (b.font == c.font && i >= 0 && i < b.count)
            return face > 0 && face < STANDIN_FACES ? kStandinWidths[face][at + i]
                                                    : b.glyphs[i].width;
        at += b.count;
    }
    return 0;
}

const std::string& helvetica_extended_differences(Fallback font) {
    static std::string text[FALLBACK_COUNT];
    std::string& s = text[font];
    if (s.empty()) {
        for (const Block& b : kBlocks) {
            if (b.font != font) continue;
            if (!s.empty()) s.push_back(' ');
            s.append(std::to_string(b.first_code));
            // A hole restarts the numbering after it.
            bool restart = false;
            for (int i = 0; i < b.count; ++i) {
                if (!b.glyphs[i].name) {
                    restart = true;
                    continue;
                }
                if (restart) s.append(" ").append(std::to_string(b.first_code + i));
                restart = false;
                s.append(" /").append(b.glyphs[i].name);
            }
        }
    }
    return s;
}

const std::string& helvetica_extended_widths(Fallback font, int* first_code, int* last_code,
                                             int face) {
    if (face < 0 || face >= STANDIN_FACES) face = 0;
    static std::string text[FALLBACK_COUNT][STANDIN_FACES];
    static int first[FALLBACK_COUNT], last[FALLBACK_COUNT];
    std::string& s = text[font][face];
    if (s.empty()) {
        first[font] = 256;
        last[font] = 0;
        for (const Block& b : kBlocks) {
            if (b.font != font) continue;
            if (b.first_code < first[font]) first[font] = b.first_code;
            if (b.first_code + b.count - 1 > last[font]) last[font] = b.first_code + b.count - 1;
        }
        for (int code = first[font]; code <= last[font]; ++code) {
            if (code > first[font]) s.push_back(' ');
            s.append(std::to_string(helvetica_extended_width({font, code}, face)));
        }
    }
    *first_code = first[font];
    *last_code = last[font];
    return s;
}
