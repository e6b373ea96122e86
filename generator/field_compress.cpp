#include "generator/field_compress.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "generator/doc_state.h"
#include "generator/field_widgets.h"
#include "generator/page_hooks.h"
#include "store/change_marks.h"
#include "store/element_ops.h"
#include "store/field_extras.h"

namespace {

std::vector<char> g_cstream;  // CSTREAM_SIZE bytes once used
int g_cstream_len = 0;
std::string g_block;    // one field's flattened content
std::string g_renamed;  // an appearance's content with resource names changed

// One deflate state and output buffer for the whole run: allocating them per page costs
// more than compressing a page's fields.
z_stream g_zs;
bool g_zs_ready = false;
std::vector<unsigned char> g_zout;

// Compresses the collected content (zlib format, default level) into g_zout; returns the
// compressed length.
int deflate_cstream() {
    if (!g_zs_ready) {
        if (deflateInit(&g_zs, Z_DEFAULT_COMPRESSION) != Z_OK) _throw("deflateInit::error");
        g_zs_ready = true;
    } else if (deflateReset(&g_zs) != Z_OK) {
        _throw("deflate::error");
    }
    uLong bound = deflateBound(&g_zs, static_cast<uLong>(g_cstream_len));
    if (g_zout.size() < bound) g_zout.resize(bound);
    g_zs.next_in = reinterpret_cast<Bytef*>(g_cstream.data());
    g_zs.avail_in = static_cast<uInt>(g_cstream_len);
    g_zs.next_out = g_zout.data();
    g_zs.avail_out = static_cast<uInt>(g_zout.size());
    if (deflate(&g_zs, Z_FINISH) != Z_STREAM_END) _throw("deflate::error");
    return static_cast<int>(g_zout.size() - g_zs.avail_out);
}

// Values that a resource entry may hold and that can be copied element for element.
// A resource entry that can be copied into the page. An unlabelled one is half of an entry
// whose name was too long for a label (the name, or its value), which cannot be renamed.
bool copyable(const st_elem& e) {
    if (label_is(e.label, LABEL_IMMEDIATE) || label_is(e.label, LABEL_ARRAY_DICTITEM)) return false;
    return e.f_type == ELEM_TYPE_OBJREF || e.f_type == ELEM_TYPE_NAME ||
           e.f_type == ELEM_TYPE_INTEGER || e.f_type == ELEM_TYPE_STRING;
}

bool same_value(const st_elem& a, const st_elem& b) {
    if (a.f_type != b.f_type) return false;
    switch (a.f_type) {
        case ELEM_TYPE_OBJREF:
            return a.data.obj_no == b.data.obj_no;
        case ELEM_TYPE_INTEGER:
            return a.data.int_data == b.data.int_data;
        case ELEM_TYPE_NAME:
            return std::strncmp(a.data.name, b.data.name, LABEL_SIZE) == 0;
        case ELEM_TYPE_STRING:
            return a.data.str.type == b.data.str.type && a.data.str.len == b.data.str.len &&
                   std::memcmp(elem_bytes(a), elem_bytes(b), static_cast<size_t>(a.data.str.len)) ==
                       0;
        default:
            return false;
    }
}

// Resource categories a field appearance may use; ProcSet is obsolete and not merged.
const char* const kCategories[] = {"Font",    "XObject", "ExtGState", "ColorSpace",
                                   "Pattern", "Shading", "Properties"};
constexpr int kFont = 0;

struct ResourceAdd {
    int category;
    int elem;                // the entry to copy
    char label[LABEL_SIZE];  // the name it gets in the page
};
std::vector<ResourceAdd> g_adds;

// Resource names of the appearance that name something else in the page: the appearance's
// content uses them under a fresh name.
struct Rename {
    char from[LABEL_SIZE];
    char to[LABEL_SIZE];
};
std::vector<Rename> g_renames;
int g_fresh_seq = 0;  // fresh names made on this page

const char* renamed(const char* label) {
    for (const Rename& r : g_renames)
        if (std::strncmp(r.from, label, LABEL_SIZE) == 0) return r.to;
    return label;
}

bool planned(int c, const char* label) {
    for (const ResourceAdd& a : g_adds)
        if (a.category == c && std::strncmp(a.label, label, LABEL_SIZE) == 0) return true;
    return false;
}

// A name that no resource category of the page uses and nothing planned takes.
void fresh_name(const Dict& page_res, char out[LABEL_SIZE]) {
    for (;;) {
        std::snprintf(out, LABEL_SIZE, "KsF%d", ++g_fresh_seq);
        bool used = false;
        for (int c = 0; c < static_cast<int>(std::size(kCategories)) && !used; ++c)
            used = page_res.sub(kCategories[c]).find(out) != -1 || planned(c, out);
        if (!used) return;
    }
}

void add_rename(const Dict& page_res, const char* from) {
    if (renamed(from) != from) return;
    Rename r{};
    std::memcpy(r.from, from, LABEL_SIZE);
    r.from[LABEL_SIZE - 1] = 0;
    fresh_name(page_res, r.to);
    g_renames.push_back(r);
}

// Plans the resource entries that the page needs to draw the appearance itself. An entry
// whose name the page already uses for something else is added under a fresh name, which
// the appearance's content is then made to use (rename_in_content). False when the
// appearance cannot be drawn in the page: an entry cannot be copied, or the field's font
// is nowhere to be found. The field then stays interactive.
bool plan_resources(int ap, const Dict& page_res, const st_field& f, const char* data, int len) {
    g_adds.clear();
    g_renames.clear();
    Dict ap_res = Dict{ap, 0}.sub("Resources");
    char font_name[LABEL_SIZE];
    std::memcpy(font_name, f.short_name, sizeof font_name);
    font_name[LABEL_SIZE - 1] = 0;
    bool font_found = font_name[0] == 0;
    bool ok = true;
    // First the names that clash; a name is renamed in every category at once, since the
    // content does not say which category a name belongs to.
    for (int c = 0; c < static_cast<int>(std::size(kCategories)) && ok; ++c) {
        Dict src = ap_res.sub(kCategories[c]);
        if (!src.valid()) continue;
        Dict dst = page_res.sub(kCategories[c]);
        for (int e : src.entries()) {
            const st_elem& el = g_st.p_elem_strage[e];
            if (!copyable(el)) ok = false;
            if (c == kFont && std::strncmp(el.label, font_name, LABEL_SIZE) == 0) font_found = true;
            int have = dst.find(el.label);
            if (have != -1 && !same_value(g_st.p_elem_strage[have], el))
                add_rename(page_res, el.label);
        }
    }
    if (!ok) return false;
    auto plan = [&](int c, const Dict& dst, int e) {
        const st_elem& el = g_st.p_elem_strage[e];
        const char* name = renamed(el.label);
        if (planned(c, name)) return;
        int have = dst.find(name);
        if (have != -1) return;  // the same thing under the same name
        ResourceAdd a{c, e, {}};
        std::memcpy(a.label, name, LABEL_SIZE);
        g_adds.push_back(a);
    };
    for (int c = 0; c < static_cast<int>(std::size(kCategories)); ++c) {
        Dict src = ap_res.sub(kCategories[c]);
        if (!src.valid()) continue;
        Dict dst = page_res.sub(kCategories[c]);
        for (int e : src.entries()) plan(c, dst, e);
    }
    if (font_found) return true;
    // The appearance names no font of its own: the form's default resources may hold it,
    // and the page may have it already.
    Dict page_fonts = page_res.sub("Font");
    int root = get_trailer_objref("Root");
    Dict dr_fonts = valid_xref(root) ? Dict{root, 0}.sub("AcroForm").sub("DR").sub("Font") : Dict{};
    int e = dr_fonts.find(font_name);
    int have = page_fonts.find(font_name);
    if (e != -1 && copyable(g_st.p_elem_strage[e])) {
        if (have != -1 && !same_value(g_st.p_elem_strage[have], g_st.p_elem_strage[e]))
            add_rename(page_res, font_name);
        plan(kFont, page_fonts, e);
        return true;
    }
    if (have != -1) return true;
    // No font anywhere: only an appearance that does not use it can be drawn.
    std::string tag = std::string("/") + font_name;
    return std::search(data, data + len, tag.begin(), tag.end()) == data + len;
}

// Content-stream syntax: white space and delimiters end a token.
bool is_white(unsigned char c) {
    return c == 0 || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}
bool is_delim(unsigned char c) {
    return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
           c == '}' || c == '/' || c == '%';
}
bool is_regular(unsigned char c) {
    return !is_white(c) && !is_delim(c);
}
int hex_value(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Copies content `data` to `out` with every name that g_renames lists replaced by its new
// name. Strings, comments and inline image data are copied untouched.
void rename_in_content(const char* data, int len, std::string& out) {
    out.clear();
    out.reserve(static_cast<size_t>(len) + 16);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data);
    int i = 0;
    while (i < len) {
        unsigned char c = p[i];
        int start = i;
        if (c == '(') {
            int depth = 0;
            for (; i < len; ++i) {
                if (p[i] == '\\') {
                    ++i;
                } else if (p[i] == '(') {
                    ++depth;
                } else if (p[i] == ')' && --depth == 0) {
                    ++i;
                    break;
                }
            }
        } else if (c == '<' && i + 1 < len && p[i + 1] == '<') {
            i += 2;  // a dictionary (marked-content properties), whose names count
        } else if (c == '<') {
            while (i < len && p[i] != '>') ++i;
            if (i < len) ++i;
        } else if (c == '%') {
            while (i < len && p[i] != '\r' && p[i] != '\n') ++i;
        } else if (c == '/') {
            ++i;
            while (i < len && is_regular(p[i])) ++i;
            // The name as the store keeps it: #xx escapes decoded.
            char name[LABEL_SIZE];
            int n = 0;
            bool fits = true;
            for (int k = start + 1; k < i; ++k) {
                int ch = p[k];
                if (ch == '#' && k + 2 < i && hex_value(p[k + 1]) >= 0 &&
                    hex_value(p[k + 2]) >= 0) {
                    ch = hex_value(p[k + 1]) * 16 + hex_value(p[k + 2]);
                    k += 2;
                }
                if (n >= LABEL_SIZE - 1) fits = false;
                if (fits) name[n++] = static_cast<char>(ch);
            }
            name[n] = 0;
            const char* to = fits ? renamed(name) : name;
            if (to != name) {
                out += '/';
                out += to;
                continue;
            }
        } else if (is_regular(c)) {
            while (i < len && is_regular(p[i])) ++i;
            if (i - start == 2 && p[start] == 'I' && p[start + 1] == 'D') {
                // Inline image data runs to an "EI" that white space surrounds.
                ++i;
                while (i < len && !(i + 2 <= len && p[i] == 'E' && p[i + 1] == 'I' &&
                                    is_white(p[i - 1]) && (i + 2 == len || is_white(p[i + 2]))))
                    ++i;
                if (i < len) i += 2;
            }
        } else {
            ++i;
        }
        out.append(data + start, static_cast<size_t>(i - start));
    }
}

// Makes sure the page has a resources dictionary and returns it.
Dict page_resources(int page) {
    int e = dict_entry(page, "Resources");
    Dict d = Dict::of(page, e);
    if (d.valid() || e != -1) return d;
    return Dict{page, 0}.add_subdict("Resources");
}

void apply_resources(int page) {
    if (g_adds.empty()) return;
    Dict res = page_resources(page);
    if (!res.valid()) return;
    for (const ResourceAdd& a : g_adds) {
        Dict cat = res.sub(kCategories[a.category]);
        if (!cat.valid()) cat = res.add_subdict(kCategories[a.category]);
        int n = cat.add();
        st_elem copy = g_st.p_elem_strage[a.elem];
        copy_elem_value(n, copy);
        std::memcpy(g_st.p_elem_strage[n].label, a.label, LABEL_SIZE);
        // Strings get their own bytes, so that rewriting one copy leaves the other alone.
        if (copy.f_type == ELEM_TYPE_STRING)
            set_elem_str(n, copy.data.str.type, elem_bytes(copy), copy.data.str.len);
    }
}

// True when the appearance stream is still encoded: its bytes cannot be copied into the
// page content as they are. A filter switched off by the field filler does not count.
bool encoded(int ap) {
    int f = dict_entry(ap, "Filter");
    if (f == -1) return false;
    const st_elem& e = g_st.p_elem_strage[f];
    if (e.f_type == ELEM_TYPE_NAME || e.f_type == ELEM_TYPE_OBJREF) return true;
    if (e.f_type == ELEM_TYPE_STRING)
        return std::memchr(elem_bytes(e), '/', static_cast<size_t>(e.data.str.len)) != nullptr;
    return e.f_type == ELEM_TYPE_ARRAY_START;
}

int flags_of(int widget) {
    int e = widget_or_parent_entry(widget, "F", nullptr);
    if (e == -1 || g_st.p_elem_strage[e].f_type != ELEM_TYPE_INTEGER) return 0;
    return g_st.p_elem_strage[e].data.int_data;
}

bool is_text_field(int widget) {
    int e = widget_or_parent_entry(widget, "FT", nullptr);
    return e != -1 && g_st.p_elem_strage[e].f_type == ELEM_TYPE_NAME &&
           std::strncmp(g_st.p_elem_strage[e].data.name, "Tx", LABEL_SIZE) == 0;
}

void put(std::string& out, const char* fmt, float a, float b, float c = 0, float d = 0) {
    char buf[256];
    int n = std::snprintf(buf, sizeof buf, fmt, a, b, c, d);
    out.append(buf, static_cast<size_t>(n));
}

// The content that draws the appearance where a viewer would: the appearance box, mapped
// through the appearance matrix, is fitted into the widget's rectangle (ISO 32000-1,
// 12.5.5), and drawing is clipped to the box.
void build_block(const float rect[4], int ap, const char* data, int len) {
    std::string& b = g_block;
    b.clear();
    float x1 = std::fmin(rect[0], rect[2]), y1 = std::fmin(rect[1], rect[3]);
    float x2 = std::fmax(rect[0], rect[2]), y2 = std::fmax(rect[1], rect[3]);
    int blen = 0, mlen = 0;
    const char* btext = dict_array_text(ap, "BBox", &blen);
    const char* mtext = dict_array_text(ap, "Matrix", &mlen);
    float box[4], m[6] = {1, 0, 0, 1, 0, 0};
    bool has_box = btext && read_numbers(btext, blen, box, 4);
    bool has_matrix = mtext && read_numbers(mtext, mlen, m, 6);
    float sx = 1, sy = 1, tx = x1, ty = y1;
    if (has_box) {
        float lo_x = INFINITY, lo_y = INFINITY, hi_x = -INFINITY, hi_y = -INFINITY;
        for (int i = 0; i < 4; ++i) {
            float x = box[i & 1 ? 2 : 0], y = box[i & 2 ? 3 : 1];
            float u = m[0] * x + m[2] * y + m[4], v = m[1] * x + m[3] * y + m[5];
            lo_x = std::fmin(lo_x, u), hi_x = std::fmax(hi_x, u);
            lo_y = std::fmin(lo_y, v), hi_y = std::fmax(hi_y, v);
        }
        if (hi_x - lo_x > 0.001f && hi_y - lo_y > 0.001f) {
            sx = (x2 - x1) / (hi_x - lo_x);
            sy = (y2 - y1) / (hi_y - lo_y);
            if (std::fabs(sx - 1) < 1e-4f) sx = 1;
            if (std::fabs(sy - 1) < 1e-4f) sy = 1;
        }
        tx = x1 - sx * lo_x;
        ty = y1 - sy * lo_y;
    }
    if (sx == 1 && sy == 1)
        put(b, " q 1 0 0 1 %f %f cm 100 Tz 0 Tc 0 0 0 rg ", tx, ty);
    else
        put(b, " q %f 0 0 %f %f %f cm 100 Tz 0 Tc 0 0 0 rg ", sx, sy, tx, ty);
    if (has_matrix) {
        b.append(mtext, static_cast<size_t>(mlen));
        b.append(" cm \n");
    }
    if (has_box) {
        float bx = std::fmin(box[0], box[2]), by = std::fmin(box[1], box[3]);
        float bw = std::fabs(box[2] - box[0]), bh = std::fabs(box[3] - box[1]);
        if (box[0] == 0 && box[1] == 0 && box[2] >= 0 && box[3] >= 0)
            b.append(btext, static_cast<size_t>(blen));  // already x, y, width, height
        else
            put(b, "%f %f %f %f", bx, by, bw, bh);
        b.append(" re W n \n");
    }
    b.append(data, static_cast<size_t>(len));
    b.append(" Q \n");
}

void cstream_append(const std::string& block) {
    if (block.size() > static_cast<size_t>(CSTREAM_SIZE - g_cstream_len))
        _throw("Field data workspace overflow.");
    std::memcpy(g_cstream.data() + g_cstream_len, block.data(), block.size());
    g_cstream_len += static_cast<int>(block.size());
}

// The array text of the form's field list, or -1.
int form_fields_elem() {
    int root = get_trailer_objref("Root");
    if (!valid_xref(root)) return -1;
    int d = deref_value(Dict{root, 0}.sub("AcroForm").find("Fields"));
    if (d == -1) return -1;
    const st_elem& de = g_st.p_elem_strage[d];
    return de.f_type == ELEM_TYPE_STRING && de.data.str.type == STR_ARRAY ? d : -1;
}

void blank_in(int elem, int obj) {
    if (elem == -1) return;
    st_elem& e = g_st.p_elem_strage[elem];
    if (e.f_type == ELEM_TYPE_STRING && e.data.str.type == STR_ARRAY &&
        blank_array_ref(elem_bytes(e), e.data.str.len, obj))
        mark_elem_changed(elem);
}

// Overwrites every marked reference to an object at or beyond `n` in array text `s` with
// null, keeping the text's length.
void null_refs_beyond(char* s, int len, int n) {
    char* end = s + len;
    char* p = s;
    while (p < end) {
        char* m = static_cast<char*>(std::memchr(p, REF_MARKER, static_cast<size_t>(end - p)));
        if (!m) return;
        int num = -1;
        auto r = std::from_chars(m + 1, end, num);
        char* after = m + (r.ptr - m);
        char* rr = static_cast<char*>(std::memchr(after, 'R', static_cast<size_t>(end - after)));
        if (r.ec != std::errc() || !rr) return;
        if (num >= n) {
            std::memset(m, ' ', static_cast<size_t>(rr + 1 - m));
            std::memcpy(m + 1, "null", 4);  // a reference is at least "\1" "0 0 R" long
        }
        p = rr + 1;
    }
}

// Drops the empty objects at the end of the page, and turns references that still point at
// them into null, so that they cannot point at the next page's objects once renumbered.
void shrink_xref() {
    Storages& s = g_st;
    int n = s.num_xref_strage;
    while (n > 1 && s.p_xref_strage[n - 1].first_elem == 0) --n;
    if (n == s.num_xref_strage) return;
    std::memset(s.p_xref_strage + n, 0,
                static_cast<size_t>(s.num_xref_strage - n) * sizeof(st_xref));
    s.num_xref_strage = n;
    s.cur_xref_strage = n - 1;
    for (int i = 0; i < n; ++i) {
        for (int e : obj_elems(i)) {
            st_elem& el = s.p_elem_strage[e];
            if (el.f_type == ELEM_TYPE_OBJREF && el.data.obj_no >= n) {
                set_elem_str(e, STR_BARE, "null", 4);
            } else if (el.f_type == ELEM_TYPE_STRING && el.data.str.type == STR_ARRAY &&
                       has_ref_marker(el)) {
                null_refs_beyond(elem_bytes(el), el.data.str.len, n);
                mark_elem_changed(e);
            }
        }
    }
}

int new_object() {
    new_xref_strage();
    int n = g_st.cur_xref_strage;
    g_st.p_xref_strage[n] = st_xref{};
    return n;
}

void set_array(int elem, const std::string& text) {
    set_elem_str(elem, STR_ARRAY, text.data(), static_cast<int>(text.size()));
    g_st.p_elem_strage[elem].data.str.f_renum = 1;
}

std::string marked_ref(int obj) {
    std::string r(1, REF_MARKER);
    r += std::to_string(obj);
    r += " 0 R ";
    return r;
}

// The array text element or the reference element of the page's content, or -1 when the
// page has none that content can be added to.
int contents_elem(int page) {
    int c = dict_entry(page, "Contents");
    if (c == -1) return -1;
    const st_elem& el = g_st.p_elem_strage[c];
    bool array = el.f_type == ELEM_TYPE_STRING && el.data.str.type == STR_ARRAY;
    return array || el.f_type == ELEM_TYPE_OBJREF ? c : -1;
}

// Adds content stream `obj` after the page's own content, and stream `save` (which saves
// the graphics state) before it, so that the added content, which starts by restoring that
// state, is drawn in the page's initial graphics state whatever the page's content leaves.
void link_contents(int page, int obj, int save) {
    int c = contents_elem(page);
    if (c == -1) {
        if (dict_entry(page, "Contents") == -1) append_elem_objref(page, 0, "Contents", obj);
        return;
    }
    const st_elem& el = g_st.p_elem_strage[c];
    int arr = c;
    if (el.f_type == ELEM_TYPE_OBJREF) {
        int d = get_elem(el.data.obj_no, LABEL_IMMEDIATE);
        if (d == -1 || g_st.p_elem_strage[d].f_type != ELEM_TYPE_STRING ||
            g_st.p_elem_strage[d].data.str.type != STR_ARRAY)
            return set_array(c, marked_ref(save) + marked_ref(el.data.obj_no) + marked_ref(obj));
        arr = d;
    }
    const st_elem& a = g_st.p_elem_strage[arr];
    std::string text(elem_bytes(a), static_cast<size_t>(a.data.str.len));
    set_array(arr, marked_ref(save) + text + " " + marked_ref(obj));
}

int add_stream(const char* data, int len) {
    int obj = new_object();
    append_elem_int(obj, 0, "Length", len);
    append_elem_str(obj, 0, LABEL_STREAM, STR_STREAM, data, len);
    return obj;
}

// The page that shows a widget: the one whose annotation array lists it (its /P page
// first), or -1 when no page lists it. Viewers draw a widget only where it is listed,
// whatever its /P says; a producer may leave an old copy of a widget that points at the
// page but is listed nowhere.
int shown_on(int widget) {
    auto lists = [widget](int page) {
        int a = page_annots_elem(page);
        if (a == -1) return false;
        const st_elem& e = g_st.p_elem_strage[a];
        return array_refers(elem_bytes(e), e.data.str.len, widget);
    };
    int p = widget_page(widget);
    if (valid_xref(p) && g_st.p_xref_strage[p].f_page == 1 && lists(p)) return p;
    for (int i = 0; i < g_st.num_xref_strage; ++i)
        if (i != p && g_st.p_xref_strage[i].f_page == 1 && lists(i)) return i;
    return -1;
}

}  // namespace

const char* last_field_content(int* len) {
    *len = g_cstream_len;
    return g_cstream.data();
}

void compress_field(int page) {
    Storages& s = g_st;
    if (g_cstream.empty()) g_cstream.resize(CSTREAM_SIZE);
    g_cstream_len = 0;
    g_fresh_seq = 0;
    if (!valid_xref(page) || s.p_xref_strage[page].first_elem == 0) return;

    int annots = page_annots_elem(page);
    int fields = form_fields_elem();
    for (int i = 0; i < s.num_field_strage; ++i) {
        const st_field& f = s.p_field_strage[i];
        if (f.name[0] == '_' || f.f_ap == 0) continue;
        int widget = f.obj_no;
        if (!valid_xref(widget) || s.p_xref_strage[widget].first_elem == 0) continue;
        const int shown = shown_on(widget);
        if (shown != -1 ? shown != page : widget_page(widget) != page) continue;
        // Hidden and NoView widgets are not shown (ISO 32000-1, 12.5.3), nor widgets that no
        // page lists: they draw nothing.
        bool invisible =
            shown == -1 || (static_cast<uint32_t>(flags_of(widget)) & (AF_HIDDEN | AF_NOVIEW)) != 0;
        if (!invisible && !is_text_field(widget)) continue;
        int ap = widget_appearance(widget);
        if (ap == -1 || encoded(ap)) continue;

        if (!invisible) {
            float rect[4];
            int st = dict_entry(ap, LABEL_STREAM);
            if (!widget_rect(widget, rect) || st == -1) continue;
            const st_elem& se = s.p_elem_strage[st];
            if (se.f_type != ELEM_TYPE_STRING || se.data.str.type != STR_STREAM) continue;
            const char* data = elem_bytes(se);
            int len = se.data.str.len;
            Dict res = Dict::of(page, dict_entry(page, "Resources"));
            if (!res.valid() && dict_entry(page, "Resources") != -1) continue;
            if (!plan_resources(ap, res, f, data, len)) continue;
            if (!g_renames.empty()) {
                rename_in_content(data, len, g_renamed);
                data = g_renamed.data();
                len = static_cast<int>(g_renamed.size());
            }
            build_block(rect, ap, data, len);
            cstream_append(g_block);
            apply_resources(page);
        }

        int parent = widget_parent(widget);
        if (parent != -1) blank_in(dict_entry(parent, "Kids"), widget);
        blank_in(annots, widget);
        blank_in(fields, widget);
        empty_object(ap);
        empty_object(widget);
        s.p_field_strage[i].obj_no = 0;
    }

    shrink_xref();
    // Content drawn after the page's own starts from the state saved before it.
    bool wrap = contents_elem(page) != -1;
    if (wrap) {
        static const char restore[] = "Q\n";
        const int n = static_cast<int>(sizeof restore - 1);
        if (g_cstream_len > CSTREAM_SIZE - n) _throw("Field data workspace overflow.");
        std::memmove(g_cstream.data() + n, g_cstream.data(), static_cast<size_t>(g_cstream_len));
        std::memcpy(g_cstream.data(), restore, n);
        g_cstream_len += n;
    }
    int zlen = deflate_cstream();
    int obj = add_stream(reinterpret_cast<const char*>(g_zout.data()), zlen);
    append_elem_name(obj, 0, "Filter", "FlateDecode");
    link_contents(page, obj, wrap ? add_stream("q\n", 2) : -1);
}
