#include "tests/support/template_builder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <stdexcept>

#include "store/element_ops.h"
#include "store/failure.h"
#include "store/template_file.h"

namespace tb {

namespace {

std::string mark_refs(const std::string& text) {
    // As the compiler lays array texts out: a blank before a leading digit, then the blank
    // before every reference becomes its marker.
    static const std::regex lead(R"(^(\d))");
    std::string spaced = std::regex_replace(text, lead, " $1");
    std::string out;
    static const std::regex marked(R"([\s](\d+ \d+ R))");
    out = std::regex_replace(spaced, marked, "\x01$1");
    return out;
}

int g_acroform = 0;
int g_catalog = 0;
std::vector<int> g_page_annots_obj;

}  // namespace

void begin(int objects) {
    storages_reset(StoreVariant::generator);
    g_acroform = g_catalog = 0;
    for (int i = 0; i < objects; ++i) new_xref_strage();
    new_elem_strage();  // element 0 means "none"
    new_char_strage(0);
    new_trailer_strage();
    st_elem& h = g_st.p_trailer_strage[0];
    copy_label(h.label, LABEL_ENTRYHEADER);
    const char header[] = "%PDF-1.4\r%\xE2\xE3\xCF\xD3\r";
    set_elem_str2(&h, STR_BARE, header, static_cast<int>(sizeof header - 1));
}

int add_object() {
    new_xref_strage();
    return g_st.cur_xref_strage;
}

void name(int obj, const char* label, const char* value) {
    append_elem_name(obj, 0, label, value);
}
void integer(int obj, const char* label, int value) {
    append_elem_int(obj, 0, label, value);
}
void ref(int obj, const char* label, int target) {
    append_elem_objref(obj, 0, label, target);
}

void array(int obj, const char* label, const std::string& text) {
    std::string t = mark_refs(text);
    int e = append_elem_str(obj, 0, label, STR_ARRAY, t.data(), static_cast<int>(t.size()));
    if (t.find('\x01') != std::string::npos) g_st.p_elem_strage[e].data.str.f_renum = 1;
}

void literal(int obj, const char* label, const std::string& text) {
    append_elem_str(obj, 0, label, STR_LITERAL, text.data(), static_cast<int>(text.size()));
}

void bare(int obj, const char* label, const std::string& text) {
    append_elem_str(obj, 0, label, STR_BARE, text.data(), static_cast<int>(text.size()));
}

void dict_start(int obj, const char* label) {
    append_elem_subdic_start(obj, 0, label);
}
void dict_end(int obj) {
    append_elem_subdic_end(obj, 0, "");
}

void resource(int obj, const char* kind, const char* name, int target) {
    dict_start(obj, "Resources");
    dict_start(obj, kind);
    ref(obj, name, target);
    dict_end(obj);
    dict_end(obj);
}
void helvetica(int obj) {
    name(obj, "Type", "Font");
    name(obj, "Subtype", "Type1");
    name(obj, "BaseFont", "Helvetica");
}
void direct_array(int obj, const std::string& text) {
    array(obj, LABEL_IMMEDIATE, text);
}

void stream(int obj, const std::string& data) {
    integer(obj, "Length", static_cast<int>(data.size()));
    append_elem_str(obj, 0, LABEL_STREAM, STR_STREAM, data.data(), static_cast<int>(data.size()));
}

void trailer_ref(const char* label, int target) {
    new_trailer_strage();
    st_elem& t = g_st.p_trailer_strage[g_st.cur_trailer_strage];
    copy_label(t.label, label);
    t.f_type = ELEM_TYPE_OBJREF;
    t.data.obj_no = target;
}

void common(int obj) {
    g_st.p_xref_strage[obj].f_common = 1;
}
void page_flag(int obj) {
    g_st.p_xref_strage[obj].f_page = 1;
}

void page_tree(int page) {
    name(1, "Type", "Catalog");
    ref(1, "Pages", 2);
    name(2, "Type", "Pages");
    array(2, "Kids", std::to_string(page) + " 0 R");
    integer(2, "Count", 1);
}

std::string load_error(const std::string& path) {
    try {
        load_template(path.c_str());
    } catch (const Failure& f) {
        return f.message;
    }
    return "";
}

FieldSpec field(const std::string& name, float y, float x) {
    return {.name = name, .x = x, .y = y};
}

int add_field(int page, const FieldSpec& f) {
    int widget = add_object();
    int ap = add_object();
    name(widget, "Type", "Annot");
    name(widget, "Subtype", "Widget");
    name(widget, "FT", "Tx");
    literal(widget, "T", f.name);
    char buf[256];
    std::snprintf(buf, sizeof buf, "%g %g %g %g", f.x, f.y, f.x + f.w, f.y + f.h);
    array(widget, "Rect", buf);
    integer(widget, "F", 4);
    std::snprintf(buf, sizeof buf, "/%s %g Tf 0 g", f.short_name.c_str(), f.font_size);
    literal(widget, "DA", buf);
    dict_start(widget, "AP");
    ref(widget, "N", ap);
    dict_end(widget);
    ref(widget, "P", page);

    name(ap, "Type", "XObject");
    name(ap, "Subtype", "Form");
    std::snprintf(buf, sizeof buf, "0 0 %g %g", f.w, f.h);
    array(ap, "BBox", buf);
    resource(ap, "Font", f.short_name.c_str(), 3);
    std::string start =
        "/Tx BMC q BT /" + f.short_name + " " + std::to_string(int(f.font_size)) + " Tf 0 g ";
    stream(ap, start + " ET Q EMC");

    new_field_strage();
    st_field& r = g_st.p_field_strage[g_st.cur_field_strage];
    std::snprintf(r.name, sizeof r.name, "%s", f.name.c_str());
    r.obj_no = static_cast<int16_t>(widget);
    r.font_no = static_cast<int16_t>(f.font_no);
    std::snprintf(r.short_name, sizeof r.short_name, "%s", f.short_name.c_str());
    r.font_size = static_cast<int16_t>(f.font_size);
    r.font_size10 = static_cast<int16_t>(f.font_size * 10);
    r.align = static_cast<char>(f.align);
    r.f_q_op = 1;
    r.f_ap = 1;
    std::snprintf(r.start_str, sizeof r.start_str, "%s", start.c_str());
    r.space_w = 2;
    r.width = f.w - 4;
    r.line_feed = f.font_size * 1.15f;
    r.line_start = (f.h - f.font_size) / 2 + f.font_size * 0.22f;
    return widget;
}

void write(const std::string& path) {
    write_template(path.c_str());
}

namespace {

void build_simple(const std::vector<PageSpec>& pages) {
    begin(5);
    const int catalog = 1, pages_obj = 2, font = 3, acroform = 4;
    name(catalog, "Type", "Catalog");
    ref(catalog, "Pages", pages_obj);
    ref(catalog, "AcroForm", acroform);
    common(catalog);
    helvetica(font);
    name(font, "Encoding", "WinAnsiEncoding");
    common(font);
    trailer_ref("Root", catalog);

    std::string kids, fields;
    for (const PageSpec& p : pages) {
        int page = add_object();
        int content = add_object();
        kids += std::to_string(page) + " 0 R ";
        name(page, "Type", "Page");
        ref(page, "Parent", pages_obj);
        char box[128];
        std::snprintf(box, sizeof box, "0 0 %g %g", p.width, p.height);
        array(page, "MediaBox", box);
        if (p.rotate) integer(page, "Rotate", p.rotate);
        resource(page, "Font", "F1", font);
        ref(page, "Contents", content);
        page_flag(page);
        std::string annots;
        for (const FieldSpec& f : p.fields) {
            int w = add_field(page, f);
            annots += std::to_string(w) + " 0 R ";
            fields += std::to_string(w) + " 0 R ";
        }
        if (!annots.empty()) array(page, "Annots", annots);
        stream(content, "BT /F1 24 Tf 72 720 Td (" + p.text + ") Tj ET");
    }
    name(pages_obj, "Type", "Pages");
    array(pages_obj, "Kids", kids);
    integer(pages_obj, "Count", static_cast<int>(pages.size()));
    array(acroform, "Fields", fields);
    dict_start(acroform, "DR");
    dict_start(acroform, "Font");
    ref(acroform, "Helv", font);
    dict_end(acroform);
    dict_end(acroform);
    literal(acroform, "DA", "/Helv 0 Tf 0 g");
}

}  // namespace

void simple_template(const std::string& path, const std::vector<PageSpec>& pages) {
    build_simple(pages);
    write(path);
}

std::string simple_template_bytes(const std::vector<PageSpec>& pages) {
    build_simple(pages);
    char* buf = nullptr;
    size_t len = 0;
    FILE* f = open_memstream(&buf, &len);
    if (!f) return std::string();
    bool ok = write_template_to(f);
    std::fclose(f);
    std::string out = ok ? std::string(buf, len) : std::string();
    std::free(buf);
    return out;
}

void simple_template(const std::string& path, const std::string& text) {
    PageSpec p;
    p.text = text;
    simple_template(path, std::vector<PageSpec>{p});
}

}  // namespace tb
