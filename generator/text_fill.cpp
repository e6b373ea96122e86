#include "generator/text_fill.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "generator/doc_state.h"
#include "generator/field_widgets.h"
#include "generator/glyph_map.h"
#include "generator/helvetica_extended.h"
#include "generator/operations.h"
#include "generator/page_contents.h"
#include "generator/page_hooks.h"
#include "generator/simple_encoding.h"
#include "generator/text_layout.h"
#include "multibyte/standard_fonts.h"
#include "store/change_marks.h"
#include "store/element_ops.h"
#include "store/field_extras.h"
#include "store/pdf_text.h"
#include "store/template_file.h"

FillState g_fill;

namespace {

bool name_is(const char (&have)[LABEL_SIZE], const char* want) {
    return label_is(have, want);
}

// Where the font resources of appearance object `ap` live: the object holding them and the
// element after which a new entry goes (the Font dictionary's start, or 0 when the object is
// itself the font dictionary). False when the appearance has no font resources.
bool locate_fonts(int ap, int* owner, int* after) {
    int obj = ap;
    for (int hop = 0; hop < 2 && obj != -1; ++hop) {
        int fe = get_elem(obj, "Font");
        if (fe != -1) {
            if (elem_at(fe).f_type == ELEM_TYPE_SUBDIC_START) {
                *owner = obj;
                *after = fe;
                return true;
            }
            int t = ref_target(fe);
            if (t == -1) return false;
            *owner = t;
            *after = 0;
            return true;
        }
        obj = ref_target(get_elem(obj, "Resources"));
    }
    return false;
}

// The font resource entry `label` of appearance object `ap` (an indirect reference), or -1.
int font_entry(int ap, const char* label, int* owner, int* after) {
    if (!locate_fonts(ap, owner, after)) return -1;
    int e = get_elem(*owner, label);
    return ref_target(e) == -1 ? -1 : e;
}

// Gives field `i` (whose appearance is `ap`) the font entry of the font field's appearance,
// keeping the field's own entry, which the template's text may still name.
void take_font(int i, int ap, int font_field, const char* font_sname) {
    int fowner = 0, fafter = 0;
    int fap = field_appearance_object(g_st.p_field_strage[font_field].obj_no);
    int src = fap == -1 ? -1 : font_entry(fap, font_sname, &fowner, &fafter);
    if (src == -1) throwf("Undefined Font(font short_name:%s)", font_sname);
    int target = elem_at(src).data.obj_no;

    int owner = 0, after = 0;
    int have = font_entry(ap, font_sname, &owner, &after);
    if (have != -1) {
        set_elem_objref(have, target);
    } else {
        if (!locate_fonts(ap, &owner, &after))
            throwf("Undefined Font(font short_name:%s)", font_sname);
        int own = font_entry(ap, g_st.p_field_strage[i].short_name, &owner, &after);
        append_elem_objref(owner, own != -1 ? own : after, font_sname, target);
    }
    st_field& f = g_st.p_field_strage[i];
    std::vector<FillState::OwnFont>& own = g_fill.own_fonts;
    if (own.size() <= static_cast<size_t>(i)) own.resize(static_cast<size_t>(i) + 1);
    FillState::OwnFont& o = own[static_cast<size_t>(i)];
    if (!o.kept) {
        o.kept = true;
        std::memcpy(o.short_name, f.short_name, sizeof o.short_name);
        o.font_no = f.font_no;
    }
    const size_t from = static_cast<size_t>(font_field);
    const bool moved = from < own.size() && own[from].kept;
    f.font_no = moved ? own[from].font_no : g_st.p_field_strage[font_field].font_no;
    std::snprintf(f.short_name, sizeof f.short_name, "%s", font_sname);
}

// The appearance box: its size and lower-left corner, or false when /BBox cannot be read.
bool box_size(int ap, float* width, float* height, float* x0, float* y0) {
    int len = 0;
    const char* s = get_elem_string(ap, nullptr, "BBox", &len);
    if (!s || len <= 0) return false;
    char buf[128];
    size_t n =
        static_cast<size_t>(len) < sizeof buf - 1 ? static_cast<size_t>(len) : sizeof buf - 1;
    std::memcpy(buf, s, n);
    buf[n] = 0;
    const char* p = buf;
    while (*p == ' ') ++p;
    if (*p == '[') ++p;
    float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    if (std::sscanf(p, "%f %f %f %f", &x1, &y1, &x2, &y2) != 4) return false;
    // A box given corner to corner in the other order is taken from the origin, as before.
    if (!(x1 < x2) || !(y1 < y2)) x1 = y1 = 0;
    *width = x2 - x1;
    *height = y2 - y1;
    *x0 = x1;
    *y0 = y1;
    return true;
}

// The font object that resource `sname` of appearance `ap` names, or -1.
int named_font(int ap, const char* sname) {
    int owner = 0, after = 0;
    int e = ap == -1 ? -1 : font_entry(ap, sname, &owner, &after);
    return e == -1 ? -1 : elem_at(e).data.obj_no;
}

// False when standard font `font` lays its codes out other than Latin-1 (no /Encoding, or an
// encoding name other than WinAnsi's and PDFDoc's): its codes from 0x80, and 0x27 and 0x60,
// are not the letters of the value's code points there. Encoding dictionaries and the
// Standard and Mac encodings give their own codes (simple_encoding), which the fill takes.
bool standard_font_latin1(int font) {
    if (font == -1) return true;
    if (dict_entry(font, "Encoding") == -1) return false;
    const char* name = get_elem_name(font, nullptr, "Encoding");
    if (!name) return true;
    return std::strcmp(name, "WinAnsiEncoding") == 0 || std::strcmp(name, "PDFDocEncoding") == 0;
}

// Field flags and comb cells from the template's field facts (none in older templates).
void field_kind_facts(int i, FieldFacts* facts) {
    const st_field_extra* x = field_extra(i);
    if (!x) return;
    facts->flags_known = x->type != FIELD_TYPE_UNKNOWN;
    facts->multiline = (x->field_flags & FF_MULTILINE) != 0;
    facts->password = (x->field_flags & FF_PASSWORD) != 0;
    const uint32_t comb_off = FF_MULTILINE | FF_PASSWORD;
    if ((x->field_flags & FF_COMB) && !(x->field_flags & comb_off) && x->max_len > 0 &&
        x->max_len <= 1000)
        facts->comb_cells = x->max_len;
}

// What the layout needs to know of field record i, whose appearance is `ap`; the text is set
// in font `font_no`, named `sname` in the resources of appearance `font_ap`.
FieldFacts read_facts(int i, int ap, int font_ap, int font_no, const char* sname) {
    FieldFacts facts;
    const st_field& f = g_st.p_field_strage[i];
    float w = 0, h = 0, x0 = 0, y0 = 0;
    if (ap != -1 && box_size(ap, &w, &h, &x0, &y0)) {
        facts.box_width = w;
        facts.box_height = h;
        facts.box_x0 = x0;
        facts.box_y0 = y0;
    }
    field_kind_facts(i, &facts);
    if (font_no >= 0 && font_no < g_st.num_font_strage)
        facts.font_subset = subset_name(g_st.p_font_strage[font_no].name);
    // The font's CMap tells how its codes are keyed: by glyph ids (an Identity CMap), as UTF-16
    // (which has codes beyond the Basic Multilingual Plane), and in which CJK collection.
    const int font = named_font(font_ap, sname);
    if (const char* enc = font == -1 ? nullptr : get_elem_name(font, nullptr, "Encoding")) {
        facts.font_identity = std::strncmp(enc, "Identity", 8) == 0;
        if (facts.font_identity) facts.identity_font = font;
        facts.font_utf16 = std::strstr(enc, "UTF16") != nullptr;
        static const struct {
            const char* prefix;
            char collection;
        } cmaps[] = {{"UniJIS", 'J'}, {"UniGB", 'G'}, {"UniCNS", 'C'}, {"UniKS", 'K'}};
        for (const auto& c : cmaps)
            if (std::strncmp(enc, c.prefix, std::strlen(c.prefix)) == 0)
                facts.collection = c.collection;
    }
    if (font != -1 && simple_encoding(font)) facts.encoded_font = font;
    facts.latin_standin = font_no >= 0 && font_no < g_st.num_font_strage
                              ? latin_standin_for(g_st.p_font_strage[font_no].name, 0)
                              : latin_standin_for(nullptr, -font_no);
    if (font_no < 0 && font_no != -SYMBOL_NO && font_no != -ZAPF_NO)
        facts.font_latin1 = standard_font_latin1(font);
    facts.da_ops = default_appearance(f.obj_no, &facts.da_ops_len);
    return facts;
}

// The fonts that stand in for the field's font, made once per page: standard font
// `standard` for the WinAnsi letters.
int make_latin_fallback(int standard) {
    new_xref_strage();
    int obj = g_st.cur_xref_strage;
    const char* base = standard_font_name(standard);
    append_elem_name(obj, 0, "Type", "Font");
    append_elem_name(obj, 0, "Subtype", "Type1");
    append_elem_name(obj, 0, "BaseFont", base ? base : "Helvetica");
    append_elem_name(obj, 0, "Encoding", "WinAnsiEncoding");
    return obj;
}

// Standard font `standard` again, its codes renamed to letters that WinAnsiEncoding lacks.
int make_helvetica_extended(Fallback font, int standard) {
    new_xref_strage();
    int obj = g_st.cur_xref_strage;
    const char* base = standard_font_name(standard);
    append_elem_name(obj, 0, "Type", "Font");
    append_elem_name(obj, 0, "Subtype", "Type1");
    append_elem_name(obj, 0, "BaseFont", base ? base : "Helvetica");
    append_elem_subdic_start(obj, 0, "Encoding");
    append_elem_name(obj, 0, "Type", "Encoding");
    const std::string& diff = helvetica_extended_differences(font);
    append_elem_str(obj, 0, "Differences", STR_ARRAY, diff.data(), static_cast<int>(diff.size()));
    append_elem_subdic_end(obj, 0, "Encoding");
    int first = 0, last = 0;
    const std::string& widths =
        helvetica_extended_widths(font, &first, &last, standin_face(standard));
    append_elem_int(obj, 0, "FirstChar", first);
    append_elem_int(obj, 0, "LastChar", last);
    append_elem_str(obj, 0, "Widths", STR_ARRAY, widths.data(), static_cast<int>(widths.size()));
    return obj;
}

int make_japanese_fallback() {
    static const char base[] = "KozMinPr6N-Regular";
    new_xref_strage();
    int desc = g_st.cur_xref_strage;
    append_elem_name(desc, 0, "Type", "FontDescriptor");
    append_elem_name(desc, 0, "FontName", base);
    append_elem_int(desc, 0, "Flags", 6);
    static const char bbox[] = "-437 -340 1144 1317";
    append_elem_str(desc, 0, "FontBBox", STR_ARRAY, bbox, sizeof bbox - 1);
    append_elem_int(desc, 0, "ItalicAngle", 0);
    append_elem_int(desc, 0, "Ascent", 880);
    append_elem_int(desc, 0, "Descent", -120);
    append_elem_int(desc, 0, "CapHeight", 742);
    append_elem_int(desc, 0, "StemV", 80);

    new_xref_strage();
    int cid = g_st.cur_xref_strage;
    append_elem_name(cid, 0, "Type", "Font");
    append_elem_name(cid, 0, "Subtype", "CIDFontType0");
    append_elem_name(cid, 0, "BaseFont", base);
    append_elem_subdic_start(cid, 0, "CIDSystemInfo");
    append_elem_str(cid, 0, "Registry", STR_LITERAL, "Adobe", 5);
    append_elem_str(cid, 0, "Ordering", STR_LITERAL, "Japan1", 6);
    append_elem_int(cid, 0, "Supplement", 6);
    append_elem_subdic_end(cid, 0, "CIDSystemInfo");
    append_elem_objref(cid, 0, "FontDescriptor", desc);
    append_elem_int(cid, 0, "DW", 1000);
    static const char widths[] = "231 632 500";  // the half-width forms
    append_elem_str(cid, 0, "W", STR_ARRAY, widths, sizeof widths - 1);

    new_xref_strage();
    int obj = g_st.cur_xref_strage;
    append_elem_name(obj, 0, "Type", "Font");
    append_elem_name(obj, 0, "Subtype", "Type0");
    append_elem_name(obj, 0, "BaseFont", base);
    append_elem_name(obj, 0, "Encoding", "UniJIS-UCS2-H");
    char kids[32];
    int n = std::snprintf(kids, sizeof kids, "%c%d 0 R", REF_MARKER, cid);
    int e = append_elem_str(obj, 0, "DescendantFonts", STR_ARRAY, kids, n);
    g_st.p_elem_strage[e].data.str.f_renum = 1;
    return obj;
}

// Enters font `obj` as `name` in the resources of `owner` unless it names a font so already.
void enter_font(int owner, const char* name, int obj) {
    int fowner = 0, after = 0;
    if (locate_fonts(owner, &fowner, &after) && get_elem(fowner, name) != -1) return;
    if (dict_entry(owner, "Resources") == -1) {
        int s = append_elem_subdic_start(owner, 0, "Resources");
        append_elem_subdic_end(owner, s, "Resources");
    }
    enter_resource(owner, "Font", name, obj);
}

// Makes the fallback fonts the text uses reachable from the appearance and from the page
// (which needs them when the field is flattened into its content).
void add_fallback_fonts(int widget, int ap, const FillResult& r, int latin_standin) {
    int page = widget_page(widget);
    if (page != -1) ensure_own_resources(page);
    for (int k = 0; k < FALLBACK_COUNT; ++k) {
        if (!r.used_fallback[k]) continue;
        // The Latin stand-ins come in the field font's face, one set of objects each.
        const int standard = k == FALLBACK_LATIN ? latin_standin : extended_standin(latin_standin);
        const size_t face = static_cast<size_t>(standard - 20) % 16;
        int& obj = k == FALLBACK_JAPANESE ? g_fill.japanese_font_obj
                                          : g_fill.standin_font_obj[static_cast<size_t>(k)][face];
        if (obj == -1)
            obj = k == FALLBACK_LATIN ? make_latin_fallback(standard)
                  : k == FALLBACK_JAPANESE
                      ? make_japanese_fallback()
                      : make_helvetica_extended(static_cast<Fallback>(k), standard);
        const char* name = standin_font_name(k, standard);
        enter_font(ap, name, obj);
        if (page != -1) enter_font(page, name, obj);
    }
}

constexpr int PARENT_UNKNOWN = -2;

// Stores `text` as the new, unfiltered appearance stream of appearance object `ap`, whose
// /Parent refers to `parent` (-1 none; PARENT_UNKNOWN: looked up here).
void store_appearance(int ap, int data, const std::string& text, int parent) {
    // The new text is stored unfiltered; an encoding named by the appearance's Parent goes
    // as well.
    if (parent == PARENT_UNKNOWN) parent = ref_target(dict_entry(ap, "Parent"));
    if (parent != -1) drop_filter(parent);
    set_plain_stream(ap, data, text.data(), static_cast<int>(text.size()));
}

// The appearance stream element of appearance object `ap`, or -1.
int appearance_data(int ap) {
    if (ap == -1) return -1;
    int data = dict_entry(ap, LABEL_STREAM);
    if (data == -1 || elem_at(data).f_type != ELEM_TYPE_STRING ||
        elem_at(data).data.str.type != STR_STREAM)
        return -1;
    return data;
}

// What a fill of a field in its own font learns from the template before it looks at the
// value: the appearance object, the facts and the appearance's beginning. All of it follows
// from the field's records and the objects the lookups read; while those are what they were
// when it was worked out (the same template content, none of the objects changed), a fill
// of the field on a later page takes it as it is.
struct FieldStart {
    long image = -1;  // loaded_image_id() when made; -1: nothing kept
    st_field record{};
    st_field_extra extra{};
    bool has_extra = false;
    std::vector<int> reads;
    int ap = -1;
    int data = -1;    // the appearance's stream element
    int parent = -1;  // the object its /Parent refers to
    FieldFacts facts;
    AppearanceStart start;
};
std::vector<FieldStart> g_starts;  // by field record

bool same_records(const FieldStart& k, int i) {
    const st_field_extra* x = field_extra(i);
    return std::memcmp(&k.record, &g_st.p_field_strage[i], sizeof k.record) == 0 &&
           k.has_extra == (x != nullptr) && (!x || std::memcmp(&k.extra, x, sizeof k.extra) == 0);
}

// The kept start of field record i, or null when there is none that holds now.
const FieldStart* kept_start(int i) {
    if (i < 0 || static_cast<size_t>(i) >= g_starts.size()) return nullptr;
    const FieldStart& k = g_starts[static_cast<size_t>(i)];
    if (k.image < 0 || k.image != loaded_image_id() || !same_records(k, i) ||
        !objects_unchanged(k.reads))
        return nullptr;
    return &k;
}

// Works out the start of field record i in its own font, keeping it when every object it
// read is unchanged (it is then the template's).
const FieldStart& make_start(int i) {
    if (static_cast<size_t>(i) >= g_starts.size()) g_starts.resize(static_cast<size_t>(i) + 1);
    FieldStart& k = g_starts[static_cast<size_t>(i)];
    k.image = -1;
    k.reads.clear();
    marks_record_reads(&k.reads);
    const st_field& f = g_st.p_field_strage[i];
    char sname[LABEL_SIZE];
    std::memcpy(sname, f.short_name, sizeof sname);
    sname[LABEL_SIZE - 1] = 0;
    k.ap = field_appearance_object(f.obj_no);
    k.facts = read_facts(i, k.ap, k.ap, f.font_no, sname);
    begin_field_appearance(i, k.facts, k.start);
    k.data = appearance_data(k.ap);
    k.parent = k.ap != -1 ? ref_target(dict_entry(k.ap, "Parent")) : -1;
    marks_record_reads(nullptr);
    // The text the facts pointed at is in the appearance's beginning now.
    k.facts.da_ops = nullptr;
    k.facts.da_ops_len = 0;
    if (objects_unchanged(k.reads)) {
        k.record = g_st.p_field_strage[i];
        const st_field_extra* x = field_extra(i);
        k.has_extra = x != nullptr;
        if (x) k.extra = *x;
        k.image = loaded_image_id();
    }
    return k;
}

// Fills field record i (which has an appearance) and stores the new appearance stream.
// `style` names the font to use; font_field is the record whose font that is when it is
// another field's (-1: the field's own).
void fill_record(int i, const int32_t* field_data, FillStyle style, int font_field) {
    const st_field& f = g_st.p_field_strage[i];
    const int src = font_field != -1 ? font_field : i;
    char sname[LABEL_SIZE];
    std::memcpy(sname, g_st.p_field_strage[src].short_name, sizeof sname);
    sname[LABEL_SIZE - 1] = 0;
    style.font_no = g_st.p_field_strage[src].font_no;
    style.font_sname = sname;
    const int widget = f.obj_no;
    std::string& text = g_fill.stream;
    FillResult r;
    int ap = -1, data = -1, parent = PARENT_UNKNOWN, latin_standin = 0;
    if (font_field == -1) {
        const FieldStart* k = kept_start(i);
        if (!k) k = &make_start(i);
        ap = k->ap;
        data = k->data;
        parent = k->parent;
        latin_standin = k->facts.latin_standin;
        r = build_field_appearance(i, field_data, style, k->facts, k->start, text);
    } else {
        ap = field_appearance_object(widget);
        const int font_ap = field_appearance_object(g_st.p_field_strage[font_field].obj_no);
        const FieldFacts facts = read_facts(i, ap, font_ap, style.font_no, sname);
        latin_standin = facts.latin_standin;
        r = build_field_appearance(i, field_data, style, facts, text);
        data = appearance_data(ap);
    }
    if (data == -1) return;
    // Another font or the fallback fonts enter the appearance's resources first.
    const bool fallback = r.any_fallback();
    if (font_field != -1) take_font(i, ap, font_field, sname);
    if (fallback) add_fallback_fonts(widget, ap, r, latin_standin);
    if (font_field != -1 || fallback) {
        data = appearance_data(ap);
        parent = PARENT_UNKNOWN;
    }
    store_appearance(ap, data, text, parent);
    if (i < FLAG_SET_FIELD_SIZE) g_doc.flag_set_field[i] = 1;
}

// True when record i can show a value as text: a text field with an appearance, or a combo
// box whose appearance the compiler analysed (its record says f_ap 0 so that older
// generators leave it alone).
bool fillable(int i) {
    const st_field& f = g_st.p_field_strage[i];
    if (f.f_ap != 0) return true;
    return field_type(i) == FIELD_TYPE_COMBO && f.obj_no != 0 && f.start_str[0] != 0 &&
           f.short_name[0] != 0;
}

}  // namespace

FieldFacts own_font_facts(int i) {
    const FieldStart* k = kept_start(i);
    return k ? k->facts : make_start(i).facts;
}

void enter_standins(int widget, int ap, const FillResult& r, int latin_standin) {
    if (r.any_fallback()) add_fallback_fonts(widget, ap, r, latin_standin);
}

namespace {

// Default appearances of the loaded content that are written with escapes or in hexadecimal,
// as their bytes. Fills keep pointers to them while the same content is loaded.
struct DecodedAppearances {
    long image = -1;
    std::deque<std::pair<int, std::string>> texts;  // by string element
};
DecodedAppearances g_decoded_da;

}  // namespace

const char* default_appearance(int widget, int* len) {
    int e = get_elem_force(widget, "Parent", "DA");
    if (e == -1) {
        int root = get_trailer_objref("Root");
        e = root >= 0 ? get_elem_force(root, "AcroForm", "DA") : -1;
    }
    if (e == -1 || elem_at(e).f_type != ELEM_TYPE_STRING) return nullptr;
    const st_elem& el = elem_at(e);
    const char* text = elem_bytes(el);
    *len = el.data.str.len;
    const char kind = el.data.str.type == STR_HEX ? '<' : '(';
    if (kind == '(' && !std::memchr(text, '\\', static_cast<size_t>(*len))) return text;
    DecodedAppearances& d = g_decoded_da;
    if (d.image != loaded_image_id() || d.image == -1) {
        d.image = loaded_image_id();
        d.texts.clear();
    }
    auto it =
        std::find_if(d.texts.begin(), d.texts.end(), [e](const auto& t) { return t.first == e; });
    if (it == d.texts.end())
        it = d.texts.insert(d.texts.end(), {e, string_bytes(kind, text, *len)});
    *len = static_cast<int>(it->second.size());
    return it->second.c_str();
}

namespace {

const int32_t g_empty_value[1] = {0};

// Empty refills of a template run. A refill depends only on the field's records and on the
// objects its lookups read; on the run's first page it changes the appearance object alone.
// When it did, the appearance counts as unchanged afterwards: a later page of the run whose
// refill would read the same unchanged objects produces the same bytes, so it leaves the
// appearance as loaded and the first page's copy stands for it. Should the page's numbering
// still write that appearance itself (something it refers to is written anew), the refill
// is made then (refill_skipped_fields).
struct EmptyRefills {
    long image = -1;                           // the content of the run's first page
    std::vector<char> same;                    // per field record: refilled alone on the first page
    std::vector<std::pair<int, int>> skipped;  // this page's left-out refills: field, appearance
};
EmptyRefills g_refills;

bool refill_left_out(int i) {
    const EmptyRefills& r = g_refills;
    if (g_doc.g_continue_template != 1 || g_doc.g_compress_field == 1 ||
        r.image != loaded_image_id() || static_cast<size_t>(i) >= r.same.size() ||
        !r.same[static_cast<size_t>(i)])
        return false;
    const FieldStart* k = kept_start(i);
    if (!k) {
        // Pages of another template came between (a run gone on with): the start is
        // worked out again, and holds when everything it read is still the template's.
        const FieldStart& m = make_start(i);
        if (m.image >= 0) k = &m;
    }
    return k && k->ap != -1 && !object_changed(k->ap);
}

}  // namespace

void fill_empty_record(int i) {
    const st_field& f = g_st.p_field_strage[i];
    if (f.obj_no == 0 || f.f_ap == 0) return;
    EmptyRefills& r = g_refills;
    if (g_doc.g_continue_template != 1) {
        // The run's first page: starts the run's record of refills.
        if (r.image != loaded_image_id()) r.same.clear();
        r.image = loaded_image_id();
    } else if (refill_left_out(i)) {
        r.skipped.emplace_back(i, kept_start(i)->ap);
        return;
    }
    const FieldStart* k = kept_start(i);
    if (!k) k = &make_start(i);
    const int ap = k->ap;
    const bool clean = k->image >= 0 && ap != -1 && !object_changed(ap);
    const long changes = marks_changes();
    const int objects = g_st.num_xref_strage;
    fill_record(i, g_empty_value, FillStyle{}, -1);
    if (g_doc.g_continue_template == 1 || r.image != loaded_image_id()) return;
    if (static_cast<size_t>(i) >= r.same.size()) r.same.resize(static_cast<size_t>(i) + 1, 0);
    const bool alone = clean && marks_changes() == changes + 1 && object_changed(ap) &&
                       g_st.num_xref_strage == objects;
    r.same[static_cast<size_t>(i)] = alone;
    if (alone) mark_object_unchanged(ap);
}

RefillRecord take_refill_record() {
    EmptyRefills& r = g_refills;
    RefillRecord out{r.image, std::move(r.same)};
    r.image = -1;
    r.same.clear();
    return out;
}

void give_refill_record(RefillRecord rec) {
    g_refills.image = rec.image;
    g_refills.same = std::move(rec.same);
}

bool refill_skipped_fields(bool (*reused)(int obj)) {
    EmptyRefills& r = g_refills;
    bool any = false;
    for (auto [i, ap] : r.skipped)
        if (!reused(ap)) {
            fill_record(i, g_empty_value, FillStyle{}, -1);
            any = true;
        }
    r.skipped.clear();
    return any;
}

void fill_page_reset() {
    g_refills.skipped.clear();
    g_fill.own_fonts.clear();
    g_fill.japanese_font_obj = -1;
    for (auto& faces : g_fill.standin_font_obj) faces.fill(-1);
}

int field_appearance_object(int widget) {
    if (!valid_xref(widget) || widget == 0) return -1;
    int t = ref_target(get_elem(widget, "N"));
    // The appearance dictionary may be an object of its own.
    if (t == -1) t = widget_appearance(widget);
    return t == widget ? -1 : t;
}

void fill_text_field(const char* field_name, const int32_t* field_data, const FillStyle& style) {
    const Storages& s = g_st;
    const char* name = resolve_field_name(field_name);
    if (find_field(name) == -1) throwf("Undefined Field Name(%s)", field_name);

    int font_field = -1;
    const char* font_sname = style.font_sname;
    if (font_sname && *font_sname) {
        if (std::strlen(font_sname) < LABEL_SIZE)
            for (int i = 0; i < s.num_field_strage && font_field == -1; ++i) {
                // A field whose font a fill changed still names its own font.
                const size_t k = static_cast<size_t>(i);
                const bool moved = k < g_fill.own_fonts.size() && g_fill.own_fonts[k].kept;
                const char(&own)[LABEL_SIZE] =
                    moved ? g_fill.own_fonts[k].short_name : s.p_field_strage[i].short_name;
                if (name_is(own, font_sname)) font_field = i;
            }
        if (font_field == -1) throwf("Undefined Font(font short_name:%s)", font_sname);
    }

    // Every widget of the field shows the value; records of one name are its widgets.
    bool filled = false;
    std::vector<int>& records = g_fill.records;
    records = fields_named(name);
    for (int i : records) {
        if (!fillable(i)) continue;
        fill_record(i, field_data, style, font_field);
        filled = true;
    }
    if (!filled) throwf("Undefined Field Appearance(%s)", field_name);
}

void set_field_data(const char* field_name, const int32_t* field_data, float linefeed,
                    const char* font_sname, float font_size, float color_r, float color_g,
                    float color_b, int mode_linefeed, float start_ypos, float start_xpos,
                    float char_space, float outline_width) {
    FillStyle st = fill_style(linefeed, font_sname, font_size, mode_linefeed, start_ypos,
                              start_xpos, char_space, outline_width);
    st.set_colour(color_r, color_g, color_b);
    fill_text_field(field_name, field_data, st);
}

void _setPageFieldData(const char* fieldName, const int32_t* value) {
    check_seq(SEQ_IN_PAGE);
    set_field_value(fieldName, value);
}

void _setPageFieldDataWithAttribute(const char* fieldName, const int32_t* value, float linefeed,
                                    const char* font_sname, float font_size, int color,
                                    int mode_linefeed, float start_ypos, float start_xpos,
                                    float char_space, float outline_width) {
    check_seq(SEQ_IN_PAGE);
    FillStyle st = fill_style(linefeed, font_sname, font_size, mode_linefeed, start_ypos,
                              start_xpos, char_space, outline_width);
    if (color != -1) {
        int r = color / 65536, g = (color / 256) % 256, b = color % 256;
        st.set_colour(static_cast<float>(r / 256.0), static_cast<float>(g / 256.0),
                      static_cast<float>(b / 256.0));
    }
    fill_text_field(fieldName, value, st);
}
