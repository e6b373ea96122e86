// Filling text fields: a value is laid out into the field's appearance stream, which
// replaces the stream of the loaded template page. The public operations are declared in
// operations.h, the filler's own entry in page_hooks.h.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "generator/text_layout.h"
#include "store/records.h"

// The reusable buffer that holds the appearance text being built, and the fallback fonts
// made for the loaded page (-1: not made yet).
struct FillState {
    std::string stream;
    std::vector<int> records;    // the records a fill addresses
    int japanese_font_obj = -1;  // the Japanese stand-in, once made on the page
    // The Latin stand-ins (FALLBACK_LATIN to FALLBACK_CYRILLIC_GREEK) by the standard font of
    // their face, Helvetica (20) to Courier-BoldOblique (35); -1 until made on the page.
    std::array<std::array<int, 16>, 3> standin_font_obj = [] {
        std::array<std::array<int, 16>, 3> a{};
        for (auto& faces : a) faces.fill(-1);
        return a;
    }();
    // The template's font of each field record that a fill in another field's font changed
    // on this page, so that other fills still find that font by its name.
    struct OwnFont {
        bool kept = false;
        char short_name[LABEL_SIZE] = {};
        int16_t font_no = 0;
    };
    std::vector<OwnFont> own_fonts;
};

extern FillState g_fill;

// The appearance stream object of a widget: the object its /N entry refers to, or -1.
int field_appearance_object(int widget);

// The default appearance that applies to the widget (its own, its parent's or the form's) as
// its bytes, escapes resolved; nullptr when there is none. Valid while the content is loaded.
const char* default_appearance(int widget, int* len);

// Fills every widget of text field `field_name` with the value, set as `style` asks
// (style.font_sname empty: the field's own font; otherwise another field's font resource).
void fill_text_field(const char* field_name, const int32_t* field_data, const FillStyle& style);

// What the layout knows of field record i set in its own font.
FieldFacts own_font_facts(int i);
// Enters the stand-in fonts that a layout used into appearance `ap` and the widget's page.
void enter_standins(int widget, int ap, const FillResult& r, int latin_standin);

// Forgets the loaded page's fallback fonts; called when a page is loaded.
void fill_page_reset();

// Rebuilds the appearance of field record i (a text field with an appearance) empty. On a
// later page of a template run a refill that would repeat the first page's is left out.
void fill_empty_record(int i);
// Makes the left-out refills whose appearance object the page writes after all (`reused`
// says which objects the run's first page's copies stand for); called by the numbering
// before references are rewritten. True when it made any.
bool refill_skipped_fields(bool (*reused)(int obj));
// The run's record of which empty refills its first page made alone (by content identity),
// handed over when the run ends and given back when a later run of the same content goes on
// with it.
struct RefillRecord {
    long image = -1;
    std::vector<char> same;
};
RefillRecord take_refill_record();
void give_refill_record(RefillRecord r);

// setPageFieldData: a text or combo box field shows the value; a check box or radio button
// selects the state the value names (or Off); a list box selects the matching option.
// Push buttons and signatures raise "Undefined Field Appearance(%s)".
void set_field_value(const char* field_name, const int32_t* value);
