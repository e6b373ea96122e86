// Laying a field value out into the text of the field's appearance stream: the template's
// beginning, the text-state operators, one text-showing operation per line and the close.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "generator/fallback_fonts.h"

// The beginning of a field's appearance that does not depend on the value: the template's
// text with its colour and the default appearance's state operators, the stroke colour for
// outlined text and the operators that close the text.
struct AppearanceStart {
    std::string text;
    std::string stroke;
    char closers[256] = {};
};

// A `start_ypos` below VCENTER_MARK asks for vertical centring: the block is placed in the
// middle of the box and then moved down by start_ypos - VCENTER_BASE points.
constexpr float VCENTER_MARK = -9000;
constexpr float VCENTER_BASE = -10000;

// Layout state kept between the lines of one field, and the reusable work buffers.
struct LayoutState {
    float draw_point = 0;         // x offset of the current line
    float pre_point = 0;          // x offset of the previous line
    std::vector<int32_t> line;    // code points of the line being collected
    std::string sjis;             // scratch for one line's Shift_JIS bytes
    std::vector<int32_t> masked;  // a password field's value as it is shown
    AppearanceStart start;        // the appearance's beginning, made for each fill
};

extern LayoutState g_layout;

// How a value is set: what the caller asked for on top of the field's own appearance.
struct FillStyle {
    float leading = 0;            // 0 or less: the field's line height
    int font_no = 0;              // the font the text is set in (the field's or another's)
    const char* font_sname = "";  // its resource name
    bool default_size = true;     // the field's own size; when that is 0 the size fits the box
    float font_size = 0;          // used when default_size is false (0 also fits the box)
    bool has_colour = false;      // fill colour given
    float colour[3] = {0, 0, 0};
    int line_mode = -1;       // 1 keeps ASCII words together, 2 writes one line only
    float offset_y = 0;       // moves the text down; below -9000 centres it vertically
    float offset_x = 0;       // added to every line's position
    float char_space = 0;     // Tc, also added to every character's width
    float outline_width = 0;  // non-zero: filled and stroked text of this line width
    // The plain fill: a one-line value is centred in its box as viewers place it, where the
    // template put its line at the top of the box.
    bool viewer_place = false;

    // Sets the fill colour; a negative component means none is given.
    void set_colour(float r, float g, float b) {
        has_colour = r >= 0 && g >= 0 && b >= 0;
        colour[0] = r;
        colour[1] = g;
        colour[2] = b;
    }
};

// The style the fill calls' arguments describe: a font size of -1 keeps the field's own size,
// a null font name is the field's font. The colour is left unset.
FillStyle fill_style(float leading, const char* font_sname, float font_size, int line_mode,
                     float offset_y, float offset_x, float char_space, float outline_width);

// What the layout needs to know about the field beyond its record.
struct FieldFacts {
    float box_width = 0;  // the appearance box; 0 when unknown
    float box_height = 0;
    float box_x0 = 0;  // its lower-left corner (the origin in most forms)
    float box_y0 = 0;
    bool flags_known = false;  // the template recorded the field's flags
    bool multiline = false;
    bool password = false;  // shown as one asterisk per character, as viewers show it
    int comb_cells = 0;     // more than 0: one character per cell of a comb field
    // The font's codes are glyph numbers (Identity-H): it shows the characters its /ToUnicode
    // map names (font object `identity_font`), the stand-ins show the others.
    bool font_identity = false;
    int identity_font = -1;
    // A font of one-byte codes whose encoding lays characters out otherwise than by their
    // code points (/Differences, StandardEncoding, MacRomanEncoding): font object
    // `encoded_font`, whose encoding gives each character's code.
    int encoded_font = -1;
    bool font_subset = false;  // an embedded subset: only the codes it measures are there
    bool font_latin1 = true;   // a Latin-1 letter is its own code (false: only ASCII is)
    bool font_utf16 = false;   // a UTF16 CMap: characters beyond the BMP have codes
    // The standard font (number) whose WinAnsi letters stand in for those the field's font
    // lacks: Helvetica, Times or Courier in the weight and slant of the field's font.
    int latin_standin = 20;
    // The character collection of a CJK font with a Unicode CMap, from the CMap's name: 'J'
    // (UniJIS), 'G' (UniGB), 'C' (UniCNS), 'K' (UniKS); 0 for others.
    char collection = 0;
    // Text-state operators of the default appearance (colour, spacing) for a template text
    // that sets none of its own.
    const char* da_ops = nullptr;
    int da_ops_len = 0;
};

// What laying out a value produced.
struct FillResult {
    int lines = 0;
    bool used_fallback[FALLBACK_COUNT] = {};

    bool any_fallback() const {
        for (bool used : used_fallback)
            if (used) return true;
        return false;
    }
};

void begin_field_appearance(int field_no, const FieldFacts& facts, AppearanceStart& start);
// Builds the whole appearance text of field record `field_no` into `stream` (replacing its
// content).
FillResult build_field_appearance(int field_no, const int32_t* field_data, const FillStyle& style,
                                  const FieldFacts& facts, std::string& stream);
// The same from a beginning made by begin_field_appearance for this field and facts.
FillResult build_field_appearance(int field_no, const int32_t* field_data, const FillStyle& style,
                                  const FieldFacts& facts, const AppearanceStart& start,
                                  std::string& stream);

// The operators that show `value` (one line, no breaks) at `size` in font `font_no`, named
// `sname`, with the stand-ins for the characters it lacks, as a fill shows it; `used` notes
// the stand-ins. The field's font is in force before and after. Returns the width in
// thousandths of the size.
double line_shows(const FieldFacts& facts, int font_no, const char* sname, float size,
                  const int32_t* value, std::string& out, FillResult& used);

// The positional form of build_field_appearance: `font_size` -1 takes the field's
// default size; colour components are used only when all three are 0 or more. Stores the
// number of lines written in *line_no_r.
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

// The standard font whose letters stand in for a field font named `name` (a font record's
// base font name) or, for `name` nullptr, for standard font `standard`: Helvetica, Times or
// Courier, bold and slanted as the font is.
int latin_standin_for(const char* name, int standard);
// The standard font of the stand-ins for the letters beyond WinAnsi when those of WinAnsi are
// `standard`: the same, but Helvetica for Courier, whose substitutes in viewers often have
// Latin letters only.
int extended_standin(int standard);
// The resource name stand-in `fallback` (a Fallback) is entered under when the Latin
// stand-ins are standard font `standard` and its face.
const char* standin_font_name(int fallback, int standard);

// The WinAnsiEncoding code of a code point, or 0 when the encoding has none.
int winansi_code(int32_t u);

// The operators that close what `text` leaves open (text object, saved states, marked
// content), innermost first, each preceded by a blank; *needs_bt is set when no text object
// is open at its end. The result is written to `out` (at most out_size - 1 bytes).
void appearance_closers(const char* text, size_t len, char* out, size_t out_size, bool* needs_bt);
