#include "generator/text_layout.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "generator/doc_state.h"
#include "multibyte/char_width.h"
#include "multibyte/sjis_encode.h"
#include "store/storages.h"

LayoutState g_layout;

namespace {

// "\ooo" for every byte value, so writing a character is one copy.
struct OctalTable {
    char esc[256][4];
    OctalTable() {
        for (int i = 0; i < 256; ++i) {
            esc[i][0] = '\\';
            esc[i][1] = static_cast<char>('0' + ((i >> 6) & 7));
            esc[i][2] = static_cast<char>('0' + ((i >> 3) & 7));
            esc[i][3] = static_cast<char>('0' + (i & 7));
        }
    }
};
const OctalTable k_octal;

// Appends "\%3.3o" of v: a backslash and at least three octal digits.
inline void append_octal(std::string& out, uint32_t v) {
    if (v < 256) {
        out.append(k_octal.esc[v], 4);
        return;
    }
    char digits[16];
    int n = 0;
    while (v != 0) {
        digits[n++] = static_cast<char>('0' + (v & 7));
        v >>= 3;
    }
    out.push_back('\\');
    while (n > 0) out.push_back(digits[--n]);
}

// A code point as a big-endian two-byte code of a Unicode CMap; characters beyond the Basic
// Multilingual Plane as their UTF-16 surrogate pair.
inline void append_ucs2(std::string& out, int32_t cp) {
    if (cp < 0 || cp > 0x10FFFF) cp = 0xFFFD;
    if (cp > 0xFFFF) {
        uint32_t v = static_cast<uint32_t>(cp) - 0x10000;
        uint32_t hi = 0xD800 + (v >> 10), lo = 0xDC00 + (v & 0x3FF);
        append_octal(out, hi >> 8);
        append_octal(out, hi & 0xFF);
        append_octal(out, lo >> 8);
        append_octal(out, lo & 0xFF);
        return;
    }
    append_octal(out, static_cast<uint32_t>(cp) >> 8);
    append_octal(out, static_cast<uint32_t>(cp) & 0xFF);
}

void append_rgb(std::string& out, float r, float g, float b, const char* op) {
    append_real(out, r);
    out.push_back(' ');
    append_real(out, g);
    out.push_back(' ');
    append_real(out, b);
    out.push_back(' ');
    out.append(op);
}

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// Start of the n-th whitespace-separated word before `p` (never before `text`).
const char* words_back(const char* text, const char* p, int n) {
    while (n-- > 0) {
        while (p > text && is_blank(p[-1])) --p;
        while (p > text && !is_blank(p[-1])) --p;
    }
    return p;
}

// Finds the colour the template sets (used to stroke outlined text) and drops the template's
// own font operator from `text`, keeping a fill colour that directly follows it.
void template_colour(std::string& text, std::string& stroke) {
    stroke = "0 G ";
    const char* t = text.c_str();
    float r = 0, g = 0, b = 0, grey = 0;
    if (const char* p = std::strstr(t, " rg")) {
        const char* q = words_back(t, p, 3);
        if (std::sscanf(q, "%f %f %f rg", &r, &g, &b) == 3) {
            stroke.clear();
            append_rgb(stroke, r, g, b, "RG ");
        }
    } else if (const char* p2 = std::strstr(t, " g")) {
        const char* q = words_back(t, p2, 1);
        if (std::sscanf(q, "%f g", &grey) == 1) {
            stroke.clear();
            append_rgb(stroke, grey, grey, grey, "RG ");
        }
    }

    const char* tf = std::strstr(t, "Tf");
    if (!tf) return;
    const char* after = tf + 2;
    int used = -1;
    if (std::sscanf(after, "%f %f %f rg%n", &r, &g, &b, &used) == 3 && used > 0) {
        stroke.clear();
        append_rgb(stroke, r, g, b, "RG ");
        text.resize(static_cast<size_t>(after + used - t));
        text.push_back(' ');
        return;
    }
    used = -1;
    // The grey value counts only when its "g" operator follows; otherwise the text is not
    // cut there.
    if (std::sscanf(after, "%f g%n", &grey, &used) == 1 && used > 0) {
        stroke.clear();
        append_rgb(stroke, grey, grey, grey, "RG ");
        text.resize(static_cast<size_t>(after + used - t));
        text.push_back(' ');
        return;
    }
    for (const char* s = tf; s > t; --s) {
        if (s[-1] == '/') {
            text.resize(static_cast<size_t>(s - 1 - t));
            return;
        }
    }
}

}  // namespace

void append_real(std::string& out, double v) {
    if (!std::isfinite(v)) v = 0;
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, "%f", v);
    if (n > 0) out.append(buf, static_cast<size_t>(n < static_cast<int>(sizeof buf) ? n : 63));
}

char font_encoding_kind(int font_no) {
    if (font_no < 0 || font_no >= g_st.num_font_strage) return 'T';
    return g_st.p_font_strage[font_no].encoding;
}

void set_field_data_stream_line(int line_no, const int32_t* line_data, int char_c, float line_width,
                                float field_fwidth, int field_align, std::string& stream,
                                char encoding, float start_xpos) {
    LayoutState& ls = g_layout;
    if (line_no == 0) ls.draw_point = ls.pre_point = 0;
    switch (field_align) {
        case 2:
            ls.draw_point = field_fwidth - line_width + start_xpos;
            break;
        case 1:
            ls.draw_point = (field_fwidth - line_width) / 2 + start_xpos;
            break;
        case 0:
            ls.draw_point = start_xpos;
            break;
        default:
            break;
    }
    stream.push_back(' ');
    append_real(stream, ls.draw_point - ls.pre_point);
    stream.append(" 0 Td (");
    switch (encoding) {
        case 'S':
        case 'P':
        case 'N': {
            const char* sj = ucs2sjis(line_data, char_c);
            for (const char* c = sj; *c; ++c) append_octal(stream, static_cast<unsigned char>(*c));
            break;
        }
        case 'T':
            for (int i = 0; i < char_c; ++i)
                append_octal(stream, static_cast<uint32_t>(line_data[i]));
            break;
        default:
            for (int i = 0; i < char_c; ++i) append_ucs2(stream, line_data[i]);
            break;
    }
    stream.append(line_no == 0 ? ") Tj" : ") '");
    ls.pre_point = ls.draw_point;
}

void set_field_data_stream(int field_no, const int32_t* field_data, float linefeed, int font_no,
                           const char* font_sname, float font_size, float color_r, float color_g,
                           float color_b, std::string& stream, int mode_linefeed, float start_ypos,
                           float start_xpos, float char_space, float outline_width,
                           int* line_no_r) {
    const st_field& f = g_st.p_field_strage[field_no];
    stream.assign(f.start_str, strnlen(f.start_str, sizeof f.start_str));

    std::string stroke;
    template_colour(stream, stroke);

    if (font_size == -1.0f)
        font_size = f.font_size10 != 0 ? static_cast<float>(f.font_size10) / 10.0f
                                       : static_cast<float>(f.font_size);
    stream.push_back('/');
    stream.append(font_sname);
    stream.push_back(' ');
    append_real(stream, font_size);
    stream.append(" Tf ");
    if (char_space != 0) {
        append_real(stream, char_space);
        stream.append(" Tc ");
    }
    const char kind = font_encoding_kind(font_no);
    const st_font* font =
        (font_no >= 0 && font_no < g_st.num_font_strage) ? &g_st.p_font_strage[font_no] : nullptr;
    const bool colour = color_r >= 0 && color_g >= 0 && color_b >= 0;
    if (outline_width != 0) {
        if (colour)
            append_rgb(stream, color_r, color_g, color_b, "RG ");
        else
            stream.append(stroke);
        stream.append("2 Tr ");
        append_real(stream, outline_width);
        stream.append(" w ");
    } else {
        stream.append("0 Tr 0 w ");
    }
    if (colour) append_rgb(stream, color_r, color_g, color_b, "rg ");
    append_real(stream, f.space_w);
    stream.push_back(' ');
    append_real(stream, f.line_start - start_ypos);
    stream.append(" Td ");
    append_real(stream, linefeed > 0 ? linefeed : f.line_feed);
    stream.append(" TL ");

    // Line breaking. The collected line is a copy of value code points (after the yen-sign
    // replacement), so it never holds more than the value.
    size_t len = 0;
    while (field_data[len] != 0) ++len;
    std::vector<int32_t>& line = g_layout.line;
    if (line.size() < len + 1) line.resize(len + 1);
    int32_t* buf = line.data();

    const float limit = f.width;
    const float align_width = f.width;
    const int align = f.align;
    const int yen = g_doc.g_yensign;
    int n = 0, L = 0;
    float W = 0;
    int ws = 0, wsw = 0;
    size_t wpos = 0;
    int cur = 1, prev = 1;
    bool stopped = false;
    for (size_t i = 0; i < len;) {
        int32_t u = apply_yen_sign(field_data[i], yen);
        float w = font_size * static_cast<float>(char_width(font_no, kind, u, font)) / 1000.0f +
                  char_space;
        if (mode_linefeed == 1) {
            cur = (u >= 33 && u <= 127) ? 1 : 0;
            if (cur == 1 && prev == 0) {
                ws = n;
                wsw = static_cast<int>(W);
                wpos = i;
            }
            prev = cur;
        }
        const bool brk = u == 10 || u == 12 || u == 13;
        if (brk || W + w > limit) {
            if (mode_linefeed == 2) {
                set_field_data_stream_line(L++, buf, n, W, align_width, align, stream, kind,
                                           start_xpos);
                stopped = true;
                break;
            }
            if (mode_linefeed == 1 && cur == 1 && ws > 0) {
                set_field_data_stream_line(L++, buf, ws, static_cast<float>(wsw), align_width,
                                           align, stream, kind, start_xpos);
                n = 0;
                W = 0;
                ws = 0;
                cur = prev = 1;
                i = wpos;
                continue;
            }
            set_field_data_stream_line(L++, buf, n, W, align_width, align, stream, kind,
                                       start_xpos);
            n = 0;
            W = 0;
            ws = 0;
            cur = prev = 1;
            if (brk) {
                ++i;
                continue;
            }
        }
        buf[n++] = u;
        W += w;
        ++i;
    }
    if (!stopped && n > 0)
        set_field_data_stream_line(L++, buf, n, W, align_width, align, stream, kind, start_xpos);

    stream.append(f.f_q_op != 0 ? " ET Q EMC" : " ET EMC");
    if (line_no_r) *line_no_r = L;
}
