// Builds synthetic template files in code, through the store library and the template
// writer, so that the generator can be tested without the compiler.
#pragma once

#include <string>
#include <vector>

namespace tb {

// Starts a fresh template of `objects` cross-reference entries (0 .. objects-1) in the
// process-wide storages, with the header "%PDF-1.4".
void begin(int objects);
// Adds a cross-reference entry and returns its number.
int add_object();

void name(int obj, const char* label, const char* value);
void integer(int obj, const char* label, int value);
void ref(int obj, const char* label, int target);
// Array text without brackets; every "N G R" reference gets its marker.
void array(int obj, const char* label, const std::string& text);
void literal(int obj, const char* label, const std::string& text);
void bare(int obj, const char* label, const std::string& text);
void dict_start(int obj, const char* label);
void dict_end(int obj);
// The entry /Resources << /kind << /name target 0 R >> >>.
void resource(int obj, const char* kind, const char* name, int target);
// The standard Type1 font Helvetica in object obj (its /Type, /Subtype and /BaseFont).
void helvetica(int obj);
// The whole value of a non-dictionary object: an array text.
void direct_array(int obj, const std::string& text);
// Adds /Length and the stream data.
void stream(int obj, const std::string& data);
void trailer_ref(const char* label, int target);
void common(int obj);  // shared by consecutive pages of one template
void page_flag(int obj);
// Catalog 1 and page tree 2 holding the one page `page` (its /Type and /Parent left to the caller).
void page_tree(int page);
// The message loading the template file at `path` fails with; empty when it loads.
std::string load_error(const std::string& path);

struct FieldSpec {
    std::string name;
    float x = 72, y = 600, w = 200, h = 20;
    int align = 0;         // 0 left, 1 centre, 2 right
    float font_size = 12;  // points
    int font_no = -20;     // negative: standard font number (Helvetica)
    std::string short_name = "Helv";
};

// A text field named `name` at (x, y), otherwise as FieldSpec makes it.
FieldSpec field(const std::string& name, float y = 600, float x = 72);

// Adds a text field: widget annotation, appearance stream and field record, hung on page
// object `page` (its /Annots) and on the catalog's AcroForm /Fields. Returns the widget.
int add_field(int page, const FieldSpec& f);

// Writes the template file.
void write(const std::string& path);

struct PageSpec {
    std::string text = "Static page text";  // shown with Helvetica 24 at (72, 720)
    int rotate = 0;
    float width = 612, height = 792;
    std::vector<FieldSpec> fields;
};

// A complete template: catalog, Pages holding one leaf per PageSpec, a shared Helvetica
// font, content streams with each page's text, and the given fields.
// Object layout: 1 catalog, 2 Pages, 3 font, 4 AcroForm, then per page: page, content.
void simple_template(const std::string& path, const std::vector<PageSpec>& pages);
// The same template's file bytes, made in memory.
std::string simple_template_bytes(const std::vector<PageSpec>& pages);
// One page whose text is `text`.
void simple_template(const std::string& path, const std::string& text = "Static page text");

}  // namespace tb
