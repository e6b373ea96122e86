#include "compiler/font_analysis.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "compiler/compiler_state.h"
#include "multibyte/standard_fonts.h"
#include "store/element_ops.h"
#include "store/element_walk.h"
#include "store/storages.h"
#include "store/width_arrays.h"

namespace {

constexpr char UCS2_CMAP[] = "UniJIS-UCS2-H";
constexpr char UTF16_CMAP[] = "UniJIS-UTF16-H";

bool contains(const char* s, const char* part) {
    return s && std::strstr(s, part) != nullptr;
}

// The object of a Type 0 font's first descendant, or -1.
int descendant(int font) {
    return listed_object(font, "DescendantFonts");
}

// The object that holds `label`: the font itself, else its descendant; -1 when neither.
int font_or_descendant(int font, const char* label) {
    if (get_elem_absolute(font, label) != -1) return font;
    int d = descendant(font);
    if (d != -1 && d != font && get_elem_absolute(d, label) != -1) return d;
    return -1;
}

// The /Encoding element when its value is a name (references followed), or -1.
int encoding_name_elem(int font) {
    int e = get_elem_absolute(font, "Encoding");
    if (e == -1 || g_st.p_elem_strage[e].f_type != ELEM_TYPE_NAME) return -1;
    return e;
}

void set_name(int e, const char* name) {
    std::memset(g_st.p_elem_strage[e].data.name, 0, LABEL_SIZE);
    std::snprintf(g_st.p_elem_strage[e].data.name, LABEL_SIZE, "%s", name);
}

// The horizontal CMap a field's font is written with (a vertical one would set the field's
// text top to bottom). Japanese Unicode CMaps become the one of the mode; another
// collection's Unicode CMap (UniGB, UniCNS, UniKS) and a Shift_JIS CMap (90ms-RKSJ-V) keep
// their names, which their glyphs need, with a vertical CMap turned into its horizontal twin.
// Other encodings (kind `kind`) stay as they are.
void set_horizontal_cmap(int enc, char kind) {
    const char* have = g_st.p_elem_strage[enc].data.name;
    if (kind != 'U' && !((kind == 'S' || kind == 'P') && contains(have, "RKSJ"))) return;
    if (kind == 'U' && std::strncmp(have, "UniJIS", 6) == 0) {
        set_name(enc, g_cc.f_jisx0213 ? UTF16_CMAP : UCS2_CMAP);
        return;
    }
    std::string n(have, strnlen(have, LABEL_SIZE));
    if (n.size() > 2 && n.compare(n.size() - 2, 2, "-V") == 0) {
        n[n.size() - 1] = 'H';
        set_name(enc, n.c_str());
    }
}

int16_t to_width(double v) {
    if (v > 32767) return 32767;
    if (v < -32768) return -32768;
    return static_cast<int16_t>(v);
}

}  // namespace

char encoding_kind_of(const char* n) {
    char kind = 'S';
    if (contains(n, "WinAnsiEncoding")) kind = 'T';
    if (contains(n, "90ms-")) kind = 'S';
    if (contains(n, "90msp-")) kind = 'P';
    if (contains(n, "Uni") && (contains(n, "UCS2") || contains(n, "UTF16"))) kind = 'U';
    return kind;
}

void store_widths(st_font& f, const double* widths, double default_width) {
    bool fractional = default_width != static_cast<long>(default_width);
    double most = std::fabs(default_width);
    for (int i = 0; i < FONT_WIDTHS; ++i) {
        fractional = fractional || widths[i] != static_cast<long>(widths[i]);
        most = std::fmax(most, std::fabs(widths[i]));
    }
    const int scale = fractional && most * 16 <= 32767 ? 16 : 1;
    f.width_scale = static_cast<char>(scale == 1 ? 0 : scale);
    f.default_width = to_width(std::round(default_width * scale));
    for (int i = 0; i < FONT_WIDTHS; ++i) f.width[i] = to_width(std::round(widths[i] * scale));
}

int analyse_font(int font) {
    const char* base = get_elem_name(font, nullptr, "BaseFont");
    std::string b = base ? base : "";
    const char* subtype = get_elem_name(font, nullptr, "Subtype");
    if (subtype && std::strcmp(subtype, "Type1") == 0) {
        int no = get_standard_font_no(b.c_str());
        // A Type 1 font outside the standard set gets a record of its own below, measured
        // by its own widths, rather than another font's.
        if (no != 0) return -no;
    }

    for (int i = 0; i < g_st.num_font_strage; ++i) {
        if (std::strncmp(g_st.p_font_strage[i].name, b.c_str(), LABEL_SIZE) != 0) continue;
        int enc = encoding_name_elem(font);
        if (enc != -1) set_horizontal_cmap(enc, g_st.p_font_strage[i].encoding);
        return i;
    }

    new_font_strage();
    const int idx = g_st.cur_font_strage;
    st_font& f = g_st.p_font_strage[idx];
    std::snprintf(f.name, sizeof f.name, "%s", b.c_str());
    f.height = 1000;

    int holder = font_or_descendant(font, "FontDescriptor");
    int desc = holder == -1 ? -1 : get_xref_absolute(holder, "FontDescriptor");
    if (desc != -1 && desc != holder) {
        int len = 0;
        const char* box = get_elem_string(desc, nullptr, "FontBBox", &len);
        if (box) {
            std::string t(box, static_cast<size_t>(len));
            const char* p = t.c_str();
            while (*p == ' ' || *p == '[') ++p;
            float y1 = 0, y2 = 0;
            if (std::sscanf(p, "%*f %f %*f %f", &y1, &y2) == 2)
                f.height =
                    to_width(static_cast<double>(static_cast<int>(y2) - static_cast<int>(y1)));
        }
        // The font's line, from its ascent to its descent, where the descriptor gives them:
        // the box of all glyphs is taller (1.7 em for DejaVu), and lines set by it stand
        // further apart than viewers set them. Viewers set lines no closer than Helvetica's
        // (1.15 em), also where the ascent and descent meet at 1 em, as in Japanese fonts.
        constexpr double MIN_LINE = 1150;
        double ascent = 0, descent = 0;
        if (number_value(dict_entry(desc, "Ascent"), &ascent) &&
            number_value(dict_entry(desc, "Descent"), &descent) && ascent > 0 && descent <= 0 &&
            ascent - descent >= 500) {
            const double line = std::max(ascent - descent, MIN_LINE);
            if (line < f.height || !box) f.height = to_width(line);
        }
    }

    int enc = encoding_name_elem(font);
    if (enc == -1) {
        f.encoding = 'N';
    } else {
        std::string name = g_st.p_elem_strage[enc].data.name;
        f.encoding = encoding_kind_of(name.c_str());
        // Vertical CMaps become horizontal, as for a font met again.
        set_horizontal_cmap(enc, f.encoding);
    }

    // Codes without a width of their own: a CID font's /DW (1000 when absent), a simple
    // font's /MissingWidth (0 when absent).
    const bool cid = descendant(font) != -1;
    int dw_holder = font_or_descendant(font, "DW");
    double dw = cid ? 1000 : 0;
    if (dw_holder != -1) {
        int v = get_elem_int(dw_holder, nullptr, "DW");
        if (v != -1) dw = v;
    } else if (!cid && desc != -1 && desc != holder) {
        int v = get_elem_int(desc, nullptr, "MissingWidth");
        if (v > 0) dw = v;
    }
    std::vector<double> widths(FONT_WIDTHS, dw);

    const char* label = "Widths";
    int wh = font_or_descendant(font, label);
    if (wh == -1) {
        label = "Width";
        wh = font_or_descendant(font, label);
    }
    if (wh != -1) {
        int len = 0;
        const char* t = get_elem_string(wh, nullptr, label, &len);
        // The first width is that of code /FirstChar.
        int first = get_elem_int(wh, nullptr, "FirstChar");
        if (t) read_simple_widths(t, len, widths.data(), FONT_WIDTHS, first < 0 ? 0 : first);
    }
    int ch = font_or_descendant(font, "W");
    if (ch != -1) {
        int len = 0;
        const char* t = get_elem_string(ch, nullptr, "W", &len);
        if (t) read_cid_widths(t, len, widths.data(), FONT_WIDTHS);
    }
    store_widths(f, widths.data(), dw);
    return idx;
}
