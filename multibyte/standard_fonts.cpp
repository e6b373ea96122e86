#include "multibyte/standard_fonts.h"

#include <cstring>

namespace {

const char* const k_names[STANDARD_FONT_MAX + 1] = {
    nullptr,
    "AvantGarde-Book",
    "AvantGarde-Demi",
    "AvantGarde-BookOblique",
    "AvantGarde-DemiOblique",
    "Bookman-Light",
    "Bookman-Demi",
    "Bookman-LightItalic",
    "Bookman-DemiItalic",
    "CharterBT-Bold",
    "CharterBT-BoldItalic",
    "CharterBT-Roman",
    "CharterBT-Italic",
    "NewCenturySchlbk-Roman",
    "NewCenturySchlbk-Bold",
    "NewCenturySchlbk-Italic",
    "NewCenturySchlbk-BoldItalic",
    "ZapfDingbats",
    nullptr,
    nullptr,
    "Helvetica",
    "Helvetica-Bold",
    "Helvetica-Oblique",
    "Helvetica-BoldOblique",
    "Helvetica-Narrow",
    "Helvetica-Narrow-Bold",
    "Helvetica-Narrow-Oblique",
    "Helvetica-Narrow-BoldOblique",
    "Times-Roman",
    "Times-Bold",
    "Times-Italic",
    "Times-BoldItalic",
    "Courier",
    "Courier-Bold",
    "Courier-Oblique",
    "Courier-BoldOblique",
    "URWPalladioL-Roma",
    "URWPalladioL-Bold",
    "URWPalladioL-Ital",
    "URWPalladioL-BoldItal",
    "Symbol",
    "URWAntiquaT-RegularCondensed",
    "URWGroteskT-Bold",
    "ZapfChancery-MediumItalic",
};

}  // namespace

const char* standard_font_name(int fno) {
    if (fno < 1 || fno > STANDARD_FONT_MAX) return nullptr;
    return k_names[fno];
}

int get_standard_font_no(const char* fname) {
    if (fname == nullptr) return 0;
    for (int i = 1; i <= STANDARD_FONT_MAX; ++i) {
        if (k_names[i] != nullptr && std::strcmp(k_names[i], fname) == 0) return i;
    }
    return 0;
}

void get_standard_font_name(int fno, char* fname) {
    const char* name = standard_font_name(fno);
    if (name == nullptr || fname == nullptr) return;
    std::memcpy(fname, name, std::strlen(name) + 1);
}
