// Laying a field value out into the text of the field's appearance stream: the template's
// beginning, the text-state operators, one text-showing operation per line and the close.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Layout state kept between the lines of one field, and the reusable work buffers.
struct LayoutState {
    float draw_point = 0;       // x offset of the current line
    float pre_point = 0;        // x offset of the previous line
    std::vector<int32_t> line;  // code points of the line being collected
    std::string sjis;           // scratch for one line's Shift_JIS bytes
};

extern LayoutState g_layout;

// Builds the whole appearance text of field record `field_no` into `stream` (replacing its
// content) and stores the number of lines written in *line_no_r. `font_no` and `font_sname`
// are the font the text is set in (the field's own or another field's); `font_size` -1 takes
// the field's default size; colour components are used only when all three are 0 or more.
void set_field_data_stream(int field_no, const int32_t* field_data, float linefeed, int font_no,
                           const char* font_sname, float font_size, float color_r, float color_g,
                           float color_b, std::string& stream, int mode_linefeed, float start_ypos,
                           float start_xpos, float char_space, float outline_width, int* line_no_r);

// Appends line `line_no` (char_c code points measuring line_width points) to `stream`,
// positioned by the field's width and alignment and written in the font's encoding kind.
void set_field_data_stream_line(int line_no, const int32_t* line_data, int char_c, float line_width,
                                float field_fwidth, int field_align, std::string& stream,
                                char encoding, float start_xpos);

// Appends a number as C's "%f" writes it (six decimals, "." as the separator). Values that
// are not finite are written as 0, which keeps the content stream valid.
void append_real(std::string& out, double v);

// The encoding kind of a field's font: 'T' for standard fonts (negative numbers), else the
// font record's kind; a number outside the template's fonts counts as 'T'.
char font_encoding_kind(int font_no);
