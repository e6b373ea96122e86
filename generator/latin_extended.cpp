#include "generator/latin_extended.h"

namespace {

struct Glyph {
    const char* name;
    int width;  // Helvetica's advance width, thousandths of the font size
};

// Latin Extended-A, U+0100 to U+017F in order, at codes 128 to 255 of the font: the letters
// of Central and Eastern European, Baltic and Turkish names. Widths are the Helvetica metrics
// that viewers lay the non-embedded font out with (URW Nimbus Sans, metric-compatible).
constexpr Glyph kExtendedA[128] = {
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

// Romanian S and T with comma below, U+0218 to U+021B, at codes 1 to 4.
constexpr Glyph kCommaBelow[4] = {
    {"Scommaaccent", 667}, {"scommaaccent", 500}, {"uni021A", 611}, {"uni021B", 278}};

constexpr int kExtendedAFirstCode = 128;
constexpr int kCommaBelowFirstCode = 1;

const Glyph* glyph_of(int code) {
    if (code >= kExtendedAFirstCode && code < kExtendedAFirstCode + 128)
        return &kExtendedA[code - kExtendedAFirstCode];
    if (code >= kCommaBelowFirstCode && code < kCommaBelowFirstCode + 4)
        return &kCommaBelow[code - kCommaBelowFirstCode];
    return nullptr;
}

}  // namespace

int latin_extended_code(int32_t u) {
    if (u >= 0x100 && u <= 0x17F) return kExtendedAFirstCode + (u - 0x100);
    if (u >= 0x218 && u <= 0x21B) return kCommaBelowFirstCode + (u - 0x218);
    return 0;
}

int latin_extended_width(int code) {
    const Glyph* g = glyph_of(code);
    return g ? g->width : 0;
}

const std::string& latin_extended_differences() {
    static const std::string text = [] {
        std::string s = std::to_string(kCommaBelowFirstCode);
        for (const Glyph& g : kCommaBelow) s.append(" /").append(g.name);
        s.append(" ").append(std::to_string(kExtendedAFirstCode));
        for (const Glyph& g : kExtendedA) s.append(" /").append(g.name);
        return s;
    }();
    return text;
}
