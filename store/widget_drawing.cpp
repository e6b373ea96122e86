#include "store/widget_drawing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "store/element_walk.h"
#include "store/pdf_text.h"

namespace {

// Numbers in the appearance text, to a hundredth of a point as viewers write them.
void num(std::string& s, double v) {
    char buf[48];
    if (!std::isfinite(v)) v = 0;
    std::snprintf(buf, sizeof buf, "%.2f ", v);
    s += buf;
}

// Bezier control distance of a quarter circle.
constexpr double KAPPA = 0.55228475;

// The colour lightened (adjust > 0) or darkened (adjust < 0) for a bevel.
std::vector<double> adjusted(std::vector<double> c, int adjust) {
    if (c.size() == 4) adjust = -adjust;
    for (double& v : c) v = adjust > 0 ? 0.5 * v + 0.5 : 0.5 * v;
    return c;
}

std::string circle(double cx, double cy, double r, bool fill) {
    std::string s;
    num(s, cx + r);
    num(s, cy);
    s += "m\n";
    const double k = KAPPA * r;
    const double pts[4][6] = {{cx + r, cy + k, cx + k, cy + r, cx, cy + r},
                              {cx - k, cy + r, cx - r, cy + k, cx - r, cy},
                              {cx - r, cy - k, cx - k, cy - r, cx, cy - r},
                              {cx + k, cy - r, cx + r, cy - k, cx + r, cy}};
    for (const auto& p : pts) {
        for (double v : p) num(s, v);
        s += "c\n";
    }
    s += fill ? "f\n" : "s\n";
    return s;
}

// The size a viewer gives auto-sized text in a box dx by dy inside a border: the box's height,
// no larger than lets text `width` units per point wide fit across, in whole points, at
// least 1.
double fitted_size(double width, double dx, double dy, double border) {
    double size = dy - 2 * border;
    if (width > 0) {
        double across = (dx - 4 - 2 * border) / width;
        if (across < size) size = across;
    }
    size = std::floor(size);
    return size < 1 ? 1 : size;
}

}  // namespace

const char* colour_operator(size_t components, bool stroke) {
    switch (components) {
        case 1:
            return stroke ? "G" : "g";
        case 3:
            return stroke ? "RG" : "rg";
        case 4:
            return stroke ? "K" : "k";
        default:
            return nullptr;
    }
}

std::string colour_ops(const std::vector<double>& c, bool stroke) {
    const char* op = colour_operator(c.size(), stroke);
    if (!op) return "";
    std::string s;
    for (double v : c) num(s, v);
    return s + op + "\n";
}

std::string pdf_literal(const std::string& bytes) {
    std::string s = "(";
    for (char c : bytes) {
        if (c == '(' || c == ')' || c == '\\') s.push_back('\\');
        s.push_back(c);
    }
    return s + ")";
}

std::string disc_ops(double cx, double cy, double r) {
    return circle(cx, cy, r, true);
}

WidgetFrame read_widget_frame(int w, double bare_width) {
    WidgetFrame fr;
    const Dict widget{w, 0};
    const Dict mk = widget.sub("MK"), bs = widget.sub("BS");
    fr.bg = array_numbers(mk.find("BG"));
    fr.bc = array_numbers(mk.find("BC"));
    fr.border = bare_width;
    if (bs.valid()) {
        fr.border = 1;
        number_value(bs.find("W"), &fr.border);
    } else {
        std::vector<double> b = array_numbers(widget.find("Border"));
        if (b.size() >= 3) fr.border = b[2];
    }
    const int style = bs.find("S");
    if (style != -1 && g_st.p_elem_strage[style].f_type == ELEM_TYPE_NAME)
        fr.style = g_st.p_elem_strage[style].data.name[0];
    fr.dash = array_numbers(bs.find("D"));
    return fr;
}

std::string frame_ops(const WidgetFrame& f, double dx, double dy, bool round) {
    std::string s;
    if (!f.bg.empty()) {
        s += colour_ops(f.bg, false);
        s += "0 0 ";
        num(s, dx);
        num(s, dy);
        s += "re f\n";
    }
    const std::vector<double>& c = f.bc.empty() ? f.bg : f.bc;
    const double w = f.border;
    if (c.empty() || !(w > 0)) return s;
    std::string dash;
    if (f.style == 'D') {
        dash = "[";
        if (f.dash.empty()) dash += "3 ";
        for (double d : f.dash) num(dash, d);
        dash += "] 0 d\n";
    }
    if (round) {
        s += dash;
        num(s, w);
        s += "w\n" + colour_ops(c, true);
        return s + circle(0.5 * dx, 0.5 * dy, 0.5 * (dx - w), false);
    }
    switch (f.style) {
        case 'B':
        case 'I': {
            // Two bands as wide as the border along the edges, lighter at the top and left
            // of a beveled border, darker there for an inset one.
            const bool bevel = f.style == 'B';
            s += colour_ops(adjusted(c, bevel ? 1 : -1), false);
            const double a[6][2] = {{0, 0},           {0, dy},     {dx, dy},
                                    {dx - w, dy - w}, {w, dy - w}, {w, w}};
            for (int i = 0; i < 6; ++i) {
                num(s, a[i][0]);
                num(s, a[i][1]);
                s += i == 0 ? "m\n" : "l\n";
            }
            s += "f\n" + colour_ops(adjusted(c, bevel ? -1 : 1), false);
            const double b[6][2] = {{dx, dy}, {dx, 0},     {0, 0},
                                    {w, w},   {dx - w, w}, {dx - w, dy - w}};
            for (int i = 0; i < 6; ++i) {
                num(s, b[i][0]);
                num(s, b[i][1]);
                s += i == 0 ? "m\n" : "l\n";
            }
            return s + "f\n";
        }
        case 'S':
        case 'D':
        default:
            if (f.style == 'D') s += dash;
            num(s, w);
            s += "w\n" + colour_ops(c, true);
            num(s, 0.5 * w);
            num(s, 0.5 * w);
            num(s, dx - w);
            num(s, dy - w);
            s += "re s\n";
            break;
        case 'U':
            // The line lies wholly inside the box: drawn on its bottom edge, the half below
            // it was cut off by the box.
            num(s, w);
            s += "w\n" + colour_ops(c, true) + "0 ";
            num(s, 0.5 * w);
            s += "m ";
            num(s, dx);
            num(s, 0.5 * w);
            s += "l S\n";
            break;
    }
    return s;
}

std::vector<std::string> da_tokens(const std::string& da, int* tf_pos) {
    std::vector<std::string> t;
    size_t i = 0;
    while (i < da.size()) {
        while (i < da.size() && (da[i] == ' ' || da[i] == '\t' || da[i] == '\r' || da[i] == '\n'))
            ++i;
        size_t j = i;
        while (j < da.size() && da[j] != ' ' && da[j] != '\t' && da[j] != '\r' && da[j] != '\n')
            ++j;
        if (j > i) t.push_back(da.substr(i, j - i));
        i = j;
    }
    *tf_pos = -1;
    for (size_t k = 2; k < t.size(); ++k)
        if (t[k] == "Tf") *tf_pos = static_cast<int>(k) - 2;
    return t;
}

std::string clean_da(const std::string& da) {
    auto regular = [](char c) { return !std::strchr(" \t\r\n\f()<>[]{}/%", c) && c != 0; };
    auto number = [](const std::string& t) {
        char* end = nullptr;
        std::strtod(t.c_str(), &end);
        return !t.empty() && end == t.c_str() + t.size() &&
               t.find_first_not_of("+-.0123456789") == std::string::npos;
    };
    // The operands (numbers, then at most one name first) each operator takes; -1 any count.
    static const struct {
        const char* op;
        int numbers;
        bool name;
    } known[] = {{"g", 1, false},   {"G", 1, false},    {"rg", 3, false},   {"RG", 3, false},
                 {"k", 4, false},   {"K", 4, false},    {"Tf", 1, true},    {"Tc", 1, false},
                 {"Tw", 1, false},  {"Tz", 1, false},   {"TL", 1, false},   {"Ts", 1, false},
                 {"Tr", 1, false},  {"cs", 0, true},    {"CS", 0, true},    {"sc", -1, false},
                 {"SC", -1, false}, {"scn", -1, false}, {"SCN", -1, false}, {"gs", 0, true}};
    std::string out;
    std::vector<std::string> operands;
    size_t i = 0;
    while (i < da.size()) {
        const char c = da[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == 0) {
            ++i;
            continue;
        }
        if (c == '%') {
            while (i < da.size() && da[i] != '\n' && da[i] != '\r') ++i;
            continue;
        }
        if (c != '/' && !regular(c)) {
            // Strings and delimiters have no place in a text state: skipped, with the
            // operands they interrupt.
            if (c == '(') {
                for (int depth = 0; i < da.size(); ++i) {
                    if (da[i] == '\\')
                        ++i;
                    else if (da[i] == '(')
                        ++depth;
                    else if (da[i] == ')' && --depth == 0)
                        break;
                }
            } else if (c == '<') {
                while (i < da.size() && da[i] != '>') ++i;
            }
            ++i;
            operands.clear();
            continue;
        }
        size_t j = i + 1;
        while (j < da.size() && regular(da[j])) ++j;
        std::string t = da.substr(i, j - i);
        i = j;
        if (t[0] == '/' || number(t)) {
            operands.push_back(t);
            continue;
        }
        const auto* op = std::find_if(std::begin(known), std::end(known),
                                      [&t](const auto& k) { return t == k.op; });
        if (op == std::end(known) || operands.empty()) {
            // Not a text-state operator (or one without its operands): dropped with them.
            operands.clear();
            continue;
        }
        if (t == "Tf") {
            // The size is the last number, the font the last name before it; a size alone
            // stays, the field's font being named later.
            if (operands.back()[0] == '/') {
                operands.clear();
                continue;
            }
            for (size_t m = operands.size() - 1; m-- > 0;)
                if (operands[m][0] == '/') {
                    out += operands[m] + " ";
                    break;
                }
            out += operands.back() + " Tf ";
            operands.clear();
            continue;
        }
        // An operator of any count takes every operand before it.
        size_t take = operands.size();
        if (op->numbers >= 0) {
            // The operator's own operands are the last ones: a name first where it takes one.
            size_t n = 0;
            while (n < operands.size() && operands[operands.size() - 1 - n][0] != '/' &&
                   n < static_cast<size_t>(op->numbers))
                ++n;
            bool ok = n == static_cast<size_t>(op->numbers);
            if (op->name) {
                ok = ok && n < operands.size() && operands[operands.size() - 1 - n][0] == '/';
                ++n;
            }
            if (!ok) {
                operands.clear();
                continue;
            }
            take = n;
        }
        for (size_t k = operands.size() - take; k < operands.size(); ++k) out += operands[k] + " ";
        out += t + " ";
        operands.clear();
    }
    if (!out.empty()) out.pop_back();
    return out;
}

namespace {

// The default appearance with its font and size replaced, then a text matrix at (x, y).
std::string da_with(std::vector<std::string> t, int tf, const std::string& font, double size,
                    double x, double y) {
    std::string s;
    if (tf >= 0) {
        t[static_cast<size_t>(tf)] = font;
        std::string sz;
        num(sz, size);
        sz.pop_back();
        t[static_cast<size_t>(tf) + 1] = sz;
    }
    for (const std::string& k : t) s += k + " ";
    s += "1 0 0 1 ";
    num(s, x);
    num(s, y);
    return s + "Tm\n";
}

}  // namespace

std::string caption_ops(const std::string& da, const std::string& font, double size,
                        const std::string& text, double width, double dx, double dy,
                        double border) {
    int tf = -1;
    std::vector<std::string> t = da_tokens(da, &tf);
    if (size <= 0) size = fitted_size(width, dx, dy, border);
    const double x = (dx - width * size) / 2, y = 0.5 * dy - 0.4 * size;
    return "q\nBT\n" + da_with(t, tf, font, size, x, y) + pdf_literal(text) + " Tj\nET\nQ\n";
}

double one_line_size(double height, double inset) {
    const double borders = inset >= 2 ? inset : 0;
    return height > borders ? (height - borders) / 1.35 : 12;
}

double list_size(const std::vector<ListOption>& options, double dx, double dy, double border) {
    double widest = 0;
    for (const ListOption& o : options)
        if (o.width > widest) widest = o.width;
    // The options below the box are scrolled to, not shrunk into it.
    return std::min(12.0, fitted_size(widest, dx, dy, border));
}

std::string list_ops(const std::string& da, const std::string& font, double size,
                     const std::vector<ListOption>& options, int top, double dx, double dy,
                     double border, int quadding) {
    int tf = -1;
    std::vector<std::string> t = da_tokens(da, &tf);
    if (size <= 0) size = list_size(options, dx, dy, border);
    std::string s;
    double y = dy - 1.1 * size;
    for (size_t i = top < 0 ? 0 : static_cast<size_t>(top); i < options.size(); ++i) {
        const ListOption& o = options[i];
        s += "q\n";
        if (o.selected) {
            s += "0 g\n";
            num(s, border);
            num(s, y - 0.2 * size);
            num(s, dx - 2 * border);
            num(s, 1.1 * size);
            s += "re f\n";
        }
        const double w = o.width * size;
        double x = quadding == 1 ? (dx - w) / 2 : quadding == 2 ? dx - border - 2 - w : border + 2;
        s += "BT\n" + da_with(t, tf, font, size, x, y);
        if (o.selected) s += "1 g\n";
        s += o.shows.empty() ? pdf_literal(o.text) + " Tj" : o.shows;
        s += "\nET\nQ\n";
        y -= 1.1 * size;
    }
    return s;
}

namespace {

// The string starting at p ("(" or "<"): its bytes, and p moved past it. False at anything
// else.
bool read_string(const char*& p, const char* end, std::string* out) {
    if (*p == '(') {
        // Balanced parentheses belong to the string; a backslash escapes the next byte.
        const char* q = p + 1;
        int depth = 1;
        for (; q < end; ++q) {
            if (*q == '\\') {
                if (q + 1 < end) ++q;
                continue;
            }
            if (*q == '(') ++depth;
            if (*q == ')' && --depth == 0) break;
        }
        *out = string_bytes('(', p + 1, static_cast<int>(q - p - 1));
        p = q < end ? q + 1 : end;
        return true;
    }
    if (*p == '<') {
        const char* q = p + 1;
        while (q < end && *q != '>') ++q;
        *out = string_bytes('<', p + 1, static_cast<int>(q - p - 1));
        p = q < end ? q + 1 : end;
        return true;
    }
    return false;
}

}  // namespace

std::vector<ChoiceItem> choice_items(const std::string& text) {
    std::vector<ChoiceItem> items;
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        std::string s;
        if (read_string(p, end, &s)) {
            items.push_back({s, s});
            continue;
        }
        if (*p != '[') {
            ++p;
            continue;
        }
        // A pair [export shown].
        ++p;
        std::vector<std::string> pair;
        while (p < end && *p != ']') {
            if (read_string(p, end, &s))
                pair.push_back(s);
            else
                ++p;
        }
        if (p < end) ++p;
        if (pair.size() == 1) items.push_back({pair[0], pair[0]});
        if (pair.size() >= 2) items.push_back({pair[0], pair[1]});
    }
    return items;
}

int exported_item(const std::vector<ChoiceItem>& items, const std::string& value) {
    for (size_t k = 0; k < items.size(); ++k)
        if (text_to_utf8(items[k].exported) == value) return static_cast<int>(k);
    return -1;
}
