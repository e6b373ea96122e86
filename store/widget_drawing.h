// Appearance texts of non-text widgets as a viewer draws them when a form asks it to build
// its appearances (/NeedAppearances): the background and border of /MK and /BS, a check box
// or radio button's caption (/MK /CA) in ZapfDingbats, a push button's caption in the field's
// font, a list box's options with the selected ones highlighted. Carvel writes these into
// the template, since the generated document no longer asks viewers to build them; Tessaro
// redraws a list box whose selection a script changes.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// What a widget's frame is drawn from.
struct WidgetFrame {
    std::vector<double> bg;    // /MK /BG components (none: no background)
    std::vector<double> bc;    // /MK /BC components (none: the border takes /BG's colour)
    double border = 1;         // /BS /W (1 when /BS lacks it), else /Border's third number, else 0
    char style = 'S';          // /BS /S: S solid, D dashed, B beveled, I inset, U underline
    std::vector<double> dash;  // /BS /D
};

// The frame of widget object w: /MK /BG and /BC, the border width of /BS (1 when it has
// none) or of /Border, /BS /S and /BS /D. A widget with neither /BS nor /Border has a border
// `bare_width` wide: viewers draw none around a button or list box (0) and give the caption
// the whole box, but the default 1 around a text field.
WidgetFrame read_widget_frame(int w, double bare_width);

// Background and border of a dx x dy widget. `round`: the round border of a radio button
// that has no caption.
std::string frame_ops(const WidgetFrame& f, double dx, double dy, bool round);

// The default appearance split into its operands and operators, and the index of the font
// name operand of its (last) Tf operator, or -1.
std::vector<std::string> da_tokens(const std::string& da, int* tf_pos);
// The default appearance with only what a text-state setting may hold: operators with their
// operands, the text and colour operators with the operands they take. Stray tokens (an
// array's bracket, a string) and operators short of operands go, which would otherwise be
// copied into every drawing of the field's value.
std::string clean_da(const std::string& da);

// A one-line caption centred in a dx x dy box: the default appearance's operators with the
// font resource `font` (e.g. "/ZaDb") at `size` (0: the largest whole size the box holds for
// a caption `width` em wide), then the text. `text` holds the bytes to show.
std::string caption_ops(const std::string& da, const std::string& font, double size,
                        const std::string& text, double width, double dx, double dy, double border);

// A filled circle of radius r centred at (cx, cy), in the current fill colour.
std::string disc_ops(double cx, double cy, double r);

// One option of a list box: the bytes to show, its width in em, whether it is selected.
struct ListOption {
    std::string text;
    double width = 0;
    bool selected = false;
    // Operators that show the option, used instead of `text` in the list's font (they may
    // switch fonts, and return to the list's font at the end).
    std::string shows;
};

// The size Acrobat gives an auto-sized one-line value in a box `height` high whose text is
// set in by `inset` from its edge: the height, less the inset where that is 2 points or more,
// over 1.35; 12 for a box with no room. The value's width may call for less.
double one_line_size(double height, double inset);

// The size at which viewers set a list box's options when its size is 0: the widest option
// fits the box, at 12 points at most.
double list_size(const std::vector<ListOption>& options, double dx, double dy, double border);

// A list box's options from `top` on, one line each from the top of a dx x dy box, the
// selected ones on a black bar in white. `size` 0 takes the largest whole size at which the
// widest option fits. `quadding` 0 left, 1 centred, 2 right.
std::string list_ops(const std::string& da, const std::string& font, double size,
                     const std::vector<ListOption>& options, int top, double dx, double dy,
                     double border, int quadding);

// A literal string's bytes with ( ) and \ escaped, in parentheses.
std::string pdf_literal(const std::string& bytes);
// The colour operator for 1, 3 or 4 components (gray, RGB, CMYK); nullptr for any other
// count.
const char* colour_operator(size_t components, bool stroke);
// A colour operator for 1, 3 or 4 components ("" for any other count).
std::string colour_ops(const std::vector<double>& c, bool stroke);

// One item of an /Opt array: the export value and the text shown (the same for a plain
// string), as the strings' bytes.
struct ChoiceItem {
    std::string exported;
    std::string shown;
};
// The items of an /Opt array text (the text between its brackets).
std::vector<ChoiceItem> choice_items(const std::string& array_text);
// The index of the item whose export value reads as the UTF-8 text `value`, or -1.
int exported_item(const std::vector<ChoiceItem>& items, const std::string& value);
