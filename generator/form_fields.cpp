#include "generator/form_fields.h"

#include <charconv>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "generator/doc_state.h"
#include "generator/field_widgets.h"
#include "generator/page_numbering.h"
#include "generator/pdf_writer.h"
#include "store/change_marks.h"
#include "store/element_ops.h"
#include "store/element_walk.h"
#include "store/name_codec.h"

namespace {

struct FormState {
    std::vector<int> fields;       // output numbers of the top-level fields of every page
    std::vector<int> page_fields;  // the loaded page's, by their numbers in the page
    int fields_obj_no = 0;         // output number of the /Fields array object; 0: none
    std::string text;              // the array object's text, reused
    // The fonts of the form's default resources (/DR /Font) of every template in the
    // document, by resource name (the first template that names one wins), with their output
    // numbers; written at finish as the font dictionary of the document's form.
    std::vector<std::pair<std::string, int>> dr_fonts;
    int dr_fonts_obj_no = 0;            // output number of that dictionary object; 0: none
    std::vector<size_t> page_dr_fonts;  // the entries the loaded page added, still in its numbers
};

FormState g_form;

// The element of entry `label` of the catalog's AcroForm, or -1.
int acroform_entry(const char* label) {
    int root = get_trailer_objref("Root");
    if (root < 0 || !valid_xref(root)) return -1;
    int af = dict_entry(root, "AcroForm");
    if (af == -1) return -1;
    const st_elem& e = g_st.p_elem_strage[af];
    if (e.f_type == ELEM_TYPE_SUBDIC_START) return subdict_entry(af, label);
    if (e.f_type == ELEM_TYPE_OBJREF && valid_xref(e.data.obj_no))
        return dict_entry(e.data.obj_no, label);
    return -1;
}

int fields_elem() {
    return acroform_entry("Fields");
}

// The array text that a /Fields element holds (directly, or as an array object), or -1.
int fields_array(int fe) {
    const st_elem& e = g_st.p_elem_strage[fe];
    if (e.f_type == ELEM_TYPE_STRING && e.data.str.type == STR_ARRAY) return fe;
    if (e.f_type != ELEM_TYPE_OBJREF || !valid_xref(e.data.obj_no)) return -1;
    int first = g_st.p_xref_strage[e.data.obj_no].first_elem;
    if (!valid_elem(first)) return -1;
    const st_elem& a = g_st.p_elem_strage[first];
    return a.f_type == ELEM_TYPE_STRING && a.data.str.type == STR_ARRAY ? first : -1;
}

// True when field node n still has a widget on the page: it is one, or one of its kids
// (through at most `depth` levels) does. Flattening takes widgets out of their parents'
// /Kids; a node left with none is no field of the output.
bool keeps_a_widget(int n, int depth) {
    int len = 0;
    const char* kids = dict_array_text(n, "Kids", &len);
    if (!kids) return true;
    if (depth == 0) return false;
    for (int k : marked_refs(kids, static_cast<size_t>(len)))
        if (valid_xref(k) && g_st.p_xref_strage[k].first_elem > 0 && keeps_a_widget(k, depth - 1))
            return true;
    return false;
}

// The catalog's AcroForm dictionary, none when the template has no form.
Dict acroform() {
    int root = get_trailer_objref("Root");
    if (root < 0 || !valid_xref(root)) return {};
    return Dict{root, 0}.sub("AcroForm");
}

// Notes the default-resource fonts of the loaded template. Called on the first page of a
// template's run, which writes all of its objects.
void collect_dr_fonts(Dict form) {
    for (int e : form.sub("DR").sub("Font").entries()) {
        const st_elem& el = g_st.p_elem_strage[e];
        if (el.f_type != ELEM_TYPE_OBJREF || !valid_xref(el.data.obj_no)) continue;
        if (g_st.p_xref_strage[el.data.obj_no].first_elem <= 0) continue;
        std::string name(el.label, strnlen(el.label, LABEL_SIZE));
        bool known = false;
        for (const auto& f : g_form.dr_fonts) known = known || f.first == name;
        if (known) continue;
        // Numbered with the page's fields, once renumbering has run.
        g_form.page_dr_fonts.push_back(g_form.dr_fonts.size());
        g_form.dr_fonts.emplace_back(name, el.data.obj_no);
    }
}

// Points the document form's /DR /Font at object `obj` of the page (written at finish).
void point_dr_fonts_at(Dict form, int obj) {
    Dict dr = form.sub("DR");
    if (!dr.valid()) {
        int d = dict_entry(form.obj, "DR");
        if (form.start != 0) d = subdict_entry(form.start, "DR");
        if (d != -1) return;  // a /DR that is no dictionary stays as it is
        dr = form.add_subdict("DR");
    }
    int fe = dr.find("Font");
    if (fe != -1 && g_st.p_elem_strage[fe].f_type != ELEM_TYPE_OBJREF) {
        switch_off(fe);
        fe = -1;
    }
    if (fe == -1) {
        fe = dr.add();
        copy_label(g_st.p_elem_strage[fe].label, "Font");
    }
    st_elem& e = g_st.p_elem_strage[fe];
    e.f_type = ELEM_TYPE_OBJREF;
    e.data.obj_no = obj;
    mark_elem_changed(fe);
}

}  // namespace

void form_fields_reset() {
    g_form.fields.clear();
    g_form.fields_obj_no = 0;
    g_form.dr_fonts.clear();
    g_form.dr_fonts_obj_no = 0;
    g_form.page_dr_fonts.clear();
}

void collect_form_fields() {
    g_form.page_fields.clear();
    g_form.page_dr_fonts.clear();
    // Every field carries the appearance of its value: a viewer asked to rebuild them would
    // draw the template's stored values instead.
    int need = acroform_entry("NeedAppearances");
    if (need != -1) g_st.p_elem_strage[need].f_type = 0;
    const Dict form = acroform();
    if (form.valid() && !g_doc.g_continue_template) collect_dr_fonts(form);
    if (form.valid() && !g_doc.f_2nd_page) {
        // The document's form names the fonts of every template's default resources.
        new_xref_strage();
        const int obj = g_st.cur_xref_strage;
        g_form.dr_fonts_obj_no = obj + g_doc.base_num;
        point_dr_fonts_at(form, obj);
    }
    const int fe = fields_elem();
    if (fe == -1) return;
    const int arr = fields_array(fe);
    if (arr != -1) {
        const st_elem& a = g_st.p_elem_strage[arr];
        const char* s = elem_bytes(a);
        const char* end = s + a.data.str.len;
        for (const char* m = static_cast<const char*>(std::memchr(s, REF_MARKER, end - s)); m;
             m = static_cast<const char*>(std::memchr(m + 1, REF_MARKER, end - m - 1))) {
            int n = 0;
            auto r = std::from_chars(m + 1, end, n);
            if (r.ec != std::errc() || !valid_xref(n) || n == 0) continue;
            // Fields flattened into the page content are gone from the output.
            if (g_st.p_xref_strage[n].first_elem <= 0) continue;
            if (g_doc.g_compress_field == 1 && !keeps_a_widget(n, 32)) continue;
            g_form.page_fields.push_back(n);
        }
    }
    if (g_doc.f_2nd_page) return;
    // The document's catalog: its /Fields becomes the array object written at finish.
    new_xref_strage();
    const int obj = g_st.cur_xref_strage;
    g_form.fields_obj_no = obj + g_doc.base_num;
    st_elem& e = g_st.p_elem_strage[fields_elem()];
    e.f_type = ELEM_TYPE_OBJREF;
    e.data.obj_no = obj;
}

void number_form_fields() {
    for (int n : g_form.page_fields) g_form.fields.push_back(page_output_number(n));
    g_form.page_fields.clear();
    for (size_t i : g_form.page_dr_fonts)
        g_form.dr_fonts[i].second = page_output_number(g_form.dr_fonts[i].second);
    g_form.page_dr_fonts.clear();
}

namespace {

void put_ref(std::string& t, int obj) {
    append_int(t, obj);
    t.append(" 0 R");
}

// Writes object n, whose body g_form.text holds after its "n 0 obj" line, and enters its
// offset in the cross-reference table.
void write_form_object(int n) {
    std::string& t = g_form.text;
    t.append("\rendobj\r");
    g_st.p_pxref_strage[n] = g_out.sum_pos;
    pdf_write_bin(t.data(), static_cast<int>(t.size()));
}

// Starts g_form.text with object n's "n 0 obj" line; false when n has no table slot.
bool begin_form_object(int n) {
    if (n <= 0 || n >= g_st.num_pxref_strage) return false;
    std::string& t = g_form.text;
    t.clear();
    append_int(t, n);
    t.append(" 0 obj\r");
    return true;
}

void write_dr_fonts() {
    const int n = g_form.dr_fonts_obj_no;
    if (!begin_form_object(n)) return;
    std::string& t = g_form.text;
    t.append("<<");
    for (const auto& [name, obj] : g_form.dr_fonts) {
        t.append(" /");
        t.append(dec_label(name.c_str()));
        t.push_back(' ');
        put_ref(t, obj);
    }
    t.append(" >>");
    write_form_object(n);
}

}  // namespace

void form_fields_finish() {
    write_dr_fonts();
    const int n = g_form.fields_obj_no;
    if (!begin_form_object(n)) return;
    std::string& t = g_form.text;
    t.push_back('[');
    for (int f : g_form.fields) {
        t.push_back(' ');
        put_ref(t, f);
    }
    t.append(" ]");
    write_form_object(n);
}
