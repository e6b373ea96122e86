#include "compiler/post_process.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "compiler/array_text.h"
#include "compiler/compiler_state.h"
#include "compiler/field_analysis.h"
#include "compiler/object_events.h"
#include "store/element_ops.h"
#include "store/element_walk.h"
#include "store/storages.h"

namespace {

// References followed from a key to the value it stands for.
constexpr int MAX_REF_HOPS = 32;

std::string top_level_name(int obj, const char* label);

// The object's own entry (not one of a nested dictionary) is the name `value`.
bool name_is(int obj, const char* label, const char* value) {
    return top_level_name(obj, label) == value;
}

// The number a reference (its object) or an integer element holds.
int32_t& number_of(st_elem& e, int type) {
    return type == ELEM_TYPE_OBJREF ? e.data.obj_no : e.data.int_data;
}

bool is_array_string(const st_elem& e) {
    return e.f_type == ELEM_TYPE_STRING && e.data.str.type == STR_ARRAY;
}

// The element found for a key when it is an array string (possibly through a reference).
int array_elem(int obj, const char* label) {
    int e = get_elem_absolute(obj, label);
    if (e < 0 || !is_array_string(g_st.p_elem_strage[e])) return -1;
    return e;
}

// The element of a key at the top level of an object's dictionary (entries of nested
// dictionaries do not count, nor do switched-off elements), or -1.
int top_level_elem(int obj, const char* label) {
    return dict_entry(obj, label);
}

// The name a key holds at the top level (through references to a name object), or "".
std::string top_level_name(int obj, const char* label) {
    int e = top_level_elem(obj, label);
    for (int hops = 0; e >= 0 && hops < MAX_REF_HOPS; ++hops) {
        const st_elem& el = g_st.p_elem_strage[e];
        if (el.f_type == ELEM_TYPE_NAME)
            return std::string(el.data.name, strnlen(el.data.name, LABEL_SIZE));
        if (el.f_type != ELEM_TYPE_OBJREF) break;
        e = top_level_elem(el.data.obj_no, LABEL_IMMEDIATE);
    }
    return std::string();
}

// The array text a key holds, directly or through references to an array object, or -1.
int array_value(int obj, const char* label) {
    int e = top_level_elem(obj, label);
    for (int hops = 0; e >= 0 && hops < MAX_REF_HOPS; ++hops) {
        const st_elem& el = g_st.p_elem_strage[e];
        if (is_array_string(el)) return e;
        if (el.f_type != ELEM_TYPE_OBJREF) return -1;
        e = top_level_elem(el.data.obj_no, LABEL_IMMEDIATE);
    }
    return -1;
}

// Copies the value starting at element `from` (one element, or a whole dictionary or
// array) into obj's chain after element `after`; returns the last element made.
int copy_value(int obj, int after, int from) {
    if (value_end(from) < 0) return after;
    for (int e : value_elems(from)) {
        st_elem src = g_st.p_elem_strage[e];
        int n = append_elem(obj, after);
        copy_elem_value(n, src);
        if (src.f_type == ELEM_TYPE_STRING) {
            // Each copy holds its own bytes: the generator rewrites strings in place.
            std::string bytes(elem_bytes(src), static_cast<size_t>(src.data.str.len));
            set_elem_str2(&g_st.p_elem_strage[n], src.data.str.type, bytes.data(),
                          static_cast<int>(bytes.size()));
            g_st.p_elem_strage[n].data.str.f_renum = src.data.str.f_renum;
        }
        after = n;
    }
    return after;
}

// The attributes a page takes from its ancestors when it has none of its own.
constexpr int INHERITED_COUNT = 4;
const char* const INHERITED[INHERITED_COUNT] = {"Resources", "MediaBox", "CropBox", "Rotate"};

// Gives a page every inherited attribute it lacks, each once.
void give_inherited(int page, const int* inherit) {
    int last = -1;
    for (int k = 0; k < INHERITED_COUNT; ++k) {
        if (inherit[k] < 0 || top_level_elem(page, INHERITED[k]) >= 0) continue;
        if (last < 0) last = chain_last(page);
        last = copy_value(page, last, inherit[k]);
    }
}

// An intermediate node of the page tree: /Type /Pages, or no /Type and a /Kids.
bool is_pages_node(int obj) {
    std::string type = top_level_name(obj, "Type");
    if (type == "Pages") return true;
    return type.empty() && top_level_elem(obj, "Kids") >= 0;
}

struct TreeFrame {
    int node;
    std::string kids;
    size_t pos;
    int inherit[INHERITED_COUNT];
};

// The Kids text listing every leaf page under `top`, depth first, as " <marker>N 0 R"
// each. Leaves get the attributes they inherit. The walk keeps its own stack, so a tree
// of any depth is walked; a node that contains itself is cut and reported.
std::string collect_pages(int top) {
    std::string out;
    std::vector<char> on_path(static_cast<size_t>(g_st.num_xref_strage), 0);
    std::vector<char> seen(static_cast<size_t>(g_st.num_xref_strage), 0);
    std::vector<TreeFrame> stack;
    auto push = [&](int node, const int* outer) {
        TreeFrame f;
        f.node = node;
        f.pos = 0;
        for (int k = 0; k < INHERITED_COUNT; ++k) {
            int e = top_level_elem(node, INHERITED[k]);
            f.inherit[k] = e >= 0 ? e : (outer ? outer[k] : -1);
        }
        int ke = array_value(node, "Kids");
        if (ke >= 0) {
            const st_elem& k = g_st.p_elem_strage[ke];
            f.kids.assign(elem_bytes(k), static_cast<size_t>(k.data.str.len));
        }
        on_path[static_cast<size_t>(node)] = 1;
        seen[static_cast<size_t>(node)] = 1;
        stack.push_back(std::move(f));
    };
    push(top, nullptr);
    char buf[48];
    while (!stack.empty()) {
        TreeFrame& f = stack.back();
        size_t m = f.kids.find(REF_MARKER, f.pos);
        if (m == std::string::npos) {
            on_path[static_cast<size_t>(f.node)] = 0;
            stack.pop_back();
            continue;
        }
        f.pos = m + 1;
        long n = std::strtol(f.kids.c_str() + m + 1, nullptr, 10);
        if (n <= 0 || n >= g_st.num_xref_strage || g_st.p_xref_strage[n].first_elem == 0) continue;
        int obj = static_cast<int>(n);
        if (is_pages_node(obj)) {
            if (on_path[static_cast<size_t>(obj)]) {
                std::snprintf(buf, sizeof buf, "%d", obj);
                note_structure_error(std::string("Page tree loop cut at object ") + buf + ".");
                continue;
            }
            if (seen[static_cast<size_t>(obj)]) {
                std::snprintf(buf, sizeof buf, "%d", obj);
                note_repair(std::string("page tree node ") + buf +
                            " is listed twice; its pages are printed once");
                continue;
            }
            int inherit[INHERITED_COUNT];
            std::memcpy(inherit, f.inherit, sizeof inherit);
            push(obj, inherit);
            continue;
        }
        std::string type = top_level_name(obj, "Type");
        if (type.empty() || type == "Page") {
            give_inherited(obj, f.inherit);
            g_st.p_xref_strage[obj].f_page = 1;
        }
        int len = std::snprintf(buf, sizeof buf, " %c%d 0 R", REF_MARKER, obj);
        out.append(buf, static_cast<size_t>(len));
    }
    return out;
}

}  // namespace

void mark_references() {
    for (int i = 1; i < g_st.num_elem_strage; ++i) {
        st_elem& e = g_st.p_elem_strage[i];
        if (!is_array_string(e)) continue;
        if (mark_array_references(elem_bytes(e), static_cast<size_t>(e.data.str.len)) > 0)
            e.data.str.f_renum = 1;
    }
}

void flag_objects() {
    static const char* const shared[] = {"Encoding", "Metadata",       "FontDescriptor",
                                         "Catalog",  "StructTreeRoot", "Font"};
    for (int i = 0; i < g_st.num_xref_strage; ++i) {
        if (g_st.p_xref_strage[i].first_elem == 0) continue;
        std::string type = top_level_name(i, "Type");
        if (type.empty()) continue;
        bool common = false;
        for (const char* s : shared) common = common || type == s;
        if (type == "XObject" && !name_is(i, "Subtype", "Form")) common = true;
        if (common) g_st.p_xref_strage[i].f_common = 1;
    }
    for (int i = 0; i < g_st.num_xref_strage; ++i)
        if (g_st.p_xref_strage[i].first_elem != 0 && name_is(i, "Type", "Page"))
            g_st.p_xref_strage[i].f_page = 1;
}

void copy_xref_stream_trailers() {
    for (int i = 0; i < g_st.num_xref_strage; ++i) {
        if (g_st.p_xref_strage[i].first_elem == 0) continue;
        if (!name_is(i, "Type", "XRef") && !name_is(i, "Type", "XRefStm")) continue;
        // A positive reference or integer of the stream dictionary goes to the trailer.
        auto copy_number = [&](const char* key, int e, int type) {
            if (e < 0 || g_st.p_elem_strage[e].f_type != type) return;
            int32_t v = number_of(g_st.p_elem_strage[e], type);
            if (v <= 0) return;
            if (st_elem* r = trailer_value(key, type)) number_of(*r, type) = v;
        };
        auto set_ref = [&](const char* key) {
            copy_number(key, get_elem(i, key), ELEM_TYPE_OBJREF);
        };
        auto set_int = [&](const char* key) {
            copy_number(key, get_elem_absolute(i, key), ELEM_TYPE_INTEGER);
        };
        set_ref("Root");
        int id = array_elem(i, "ID");
        if (id >= 0) {
            const st_elem& ie = g_st.p_elem_strage[id];
            std::string text(elem_bytes(ie), static_cast<size_t>(ie.data.str.len));
            int t = trailer_find_or_append("ID");
            if (t >= 0) {
                st_elem& r = g_st.p_trailer_strage[t];
                std::memset(&r.data, 0, sizeof r.data);
                set_elem_str2(&r, STR_ARRAY, text.data(), static_cast<int>(text.size()));
            }
        }
        set_int("Size");
        // A decrypted document's template holds plain objects.
        if (!g_cc.f_decrypted) set_ref("Encrypt");
        set_int("Prev");
        // The document information dictionary is the document's, wherever it is listed.
        set_ref("Info");
    }
}

void find_catalog_without_trailer() {
    if (valid_xref(get_trailer_objref("Root"))) return;
    // The last catalog defined, as viewers rebuilding a damaged file take it.
    int catalog = -1;
    for (int i = 0; i < g_st.num_xref_strage; ++i)
        if (g_st.p_xref_strage[i].first_elem != 0 && name_is(i, "Type", "Catalog") &&
            dict_entry(i, "Pages") != -1)
            catalog = i;
    if (catalog == -1) return;
    if (st_elem* r = trailer_value("Root", ELEM_TYPE_OBJREF)) {
        r->data.obj_no = catalog;
        note_repair("no trailer names the catalog: object " + std::to_string(catalog) + " taken");
    }
}

void flatten_page_tree() {
    int root = get_trailer_objref("Root");
    if (!valid_xref(root)) return;
    int pages = get_xref_absolute(root, "Pages");
    if (!valid_xref(pages) || pages == root) return;
    int kids_elem = top_level_elem(pages, "Kids");
    if (kids_elem < 0) return;
    std::string list = collect_pages(pages);
    st_elem& k = g_st.p_elem_strage[kids_elem];
    std::memset(&k.data, 0, sizeof k.data);
    set_elem_str2(&k, STR_ARRAY, list.data(), static_cast<int>(list.size()));
    k.data.str.f_renum = list.empty() ? 0 : 1;
}

namespace {

// A dictionary entry: its key, its element, and whether its value is whole (a dictionary or
// array value whose closing element was read; a value cut off by a damaged object is not
// left out, as it would take the rest of the object with it).
struct KeyEntry {
    std::string_view key;
    int elem;
    bool whole;
};
using Keys = std::vector<KeyEntry>;

// Leaves out the earlier entries of every key that one dictionary's entries `keys` give more
// than once, keeping the last. Returns how many it left out.
int keep_last_of_each_key(Keys& keys) {
    if (keys.size() < 2) return 0;
    std::stable_sort(keys.begin(), keys.end(),
                     [](const KeyEntry& a, const KeyEntry& b) { return a.key < b.key; });
    int dropped = 0;
    for (size_t k = 0; k + 1 < keys.size(); ++k) {
        if (keys[k].key != keys[k + 1].key || !keys[k].whole) continue;
        for (int n : value_elems(keys[k].elem)) g_st.p_elem_strage[n].label[0] = 0;
        switch_off(keys[k].elem);
        ++dropped;
    }
    return dropped;
}

// An entry of a dictionary (closing elements carry their opener's key too).
bool keyed(const st_elem& el) {
    return el.f_type != 0 && el.f_type != ELEM_TYPE_SUBDIC_END &&
           el.f_type != ELEM_TYPE_ARRAY_END && el.label[0] != 0 &&
           !label_is(el.label, LABEL_IMMEDIATE) && !label_is(el.label, LABEL_ARRAY_DICTITEM);
}

// An open dictionary or array while an object's chain is read.
struct OpenValue {
    Keys keys;          // its entries, when it is a dictionary
    bool dict = false;  // a dictionary (an array's items have no keys)
    int opener = -1;    // the entry of the enclosing dictionary that it is the value of
};

}  // namespace

// A dictionary that gives a key twice (pdfTeX's catalog with four /AcroForm entries) means
// its last one to every reader (qpdf: "last occurrence overrides"): the earlier ones are
// left out, so that the form Carvel reads and rewrites is the one viewers use. One pass
// over each object's chain, with the entries of every open dictionary on a stack.
void drop_repeated_keys() {
    std::vector<OpenValue> open(1);  // [0]: the object's own dictionary
    open[0].dict = true;
    int dropped = 0;
    for (int i = 1; i < g_st.num_xref_strage; ++i) {
        if (g_st.p_xref_strage[i].first_elem == 0) continue;
        size_t depth = 0;
        open[0].keys.clear();
        for (int e : obj_elems(i)) {
            const st_elem& el = g_st.p_elem_strage[e];
            const int t = el.f_type;
            const bool opens = t == ELEM_TYPE_SUBDIC_START || t == ELEM_TYPE_ARRAY_START;
            int entry = -1;
            if (open[depth].dict && keyed(el)) {
                entry = static_cast<int>(open[depth].keys.size());
                open[depth].keys.push_back(
                    {std::string_view(el.label, strnlen(el.label, LABEL_SIZE)), e, !opens});
            }
            if (opens) {
                if (++depth == open.size()) open.emplace_back();
                OpenValue& v = open[depth];
                v.keys.clear();
                v.dict = t == ELEM_TYPE_SUBDIC_START;
                v.opener = entry;
            } else if ((t == ELEM_TYPE_SUBDIC_END || t == ELEM_TYPE_ARRAY_END) && depth > 0) {
                OpenValue& v = open[depth];
                if (v.dict) dropped += keep_last_of_each_key(v.keys);
                if (v.opener >= 0) open[depth - 1].keys[static_cast<size_t>(v.opener)].whole = true;
                --depth;
            }
        }
        for (;; --depth) {
            if (open[depth].dict) dropped += keep_last_of_each_key(open[depth].keys);
            if (depth == 0) break;
        }
    }
    if (dropped)
        note_repair(
            "keys given twice in a dictionary: the last of each kept, as readers take it (" +
            std::to_string(dropped) + (dropped == 1 ? " entry left out)" : " entries left out)"));
}

// A stream's stored bytes run up to "endstream" and so may end with the line end (CR, LF or
// both) that stands before it. Where /Length leaves such white space out, it is syntax, not
// data, and goes: the writer puts its own line end before "endstream", and a second one
// makes readers that check /Length against "endstream" call the length wrong. A /Length
// that is missing or disagrees with the stored data otherwise (a damaged or hand-edited
// form) is set to the data's length, held directly: the writer writes the stored bytes, and
// a wrong length would make readers take what follows the stream for its data.
void settle_stream_lengths() {
    int corrected = 0;
    for (int i = 1; i < g_st.num_xref_strage; ++i) {
        if (g_st.p_xref_strage[i].first_elem == 0) continue;
        int s = dict_entry(i, LABEL_STREAM);
        if (s == -1) continue;
        st_elem& e = g_st.p_elem_strage[s];
        if (e.f_type != ELEM_TYPE_STRING || e.data.str.type != STR_STREAM) continue;
        const int entry = dict_entry(i, "Length");
        const int l = deref_value(entry);
        const bool known = l != -1 && g_st.p_elem_strage[l].f_type == ELEM_TYPE_INTEGER;
        const long declared = known ? g_st.p_elem_strage[l].data.int_data : -1;
        const char* data = g_st.p_char_strage + e.data.str.start_pos;
        if (!known) {
            // Without a length, the line end before "endstream" is taken for syntax.
            int& n = e.data.str.len;
            if (n > 0 && data[n - 1] == '\n') --n;
            if (n > 0 && data[n - 1] == '\r') --n;
        }
        const int len = e.data.str.len;
        if (declared >= 0 && declared < len) {
            auto white = [](char c) { return c == '\r' || c == '\n' || c == ' ' || c == '\t'; };
            if (std::all_of(data + declared, data + len, white)) {
                e.data.str.len = static_cast<int>(declared);
                continue;
            }
        }
        // A CR that ended the data right before "endstream" was taken for a line end but is
        // still stored after the data; the writer's CR before "endstream" gives it back.
        if (declared == len || (declared == len + 1L && data[len] == '\r')) continue;
        if (entry == -1)
            append_elem_int(i, 0, "Length", e.data.str.len);
        else
            set_elem_int(entry, e.data.str.len);
        ++corrected;
    }
    if (corrected)
        note_repair("stream lengths set to the data's (" + std::to_string(corrected) +
                    (corrected == 1 ? " stream)" : " streams)"));
}

// Object streams, whose objects are read by now, and cross-reference streams, whose entries
// the trailer took over, are no objects of the output: its own cross-reference table
// lists every object. Written, they would only add their bytes to every run's first page.
void drop_object_and_xref_streams() {
    for (int i = 1; i < g_st.num_xref_strage; ++i) {
        if (g_st.p_xref_strage[i].first_elem == 0) continue;
        if (name_is(i, "Type", "ObjStm") || name_is(i, "Type", "XRef")) empty_object(i);
    }
}

// A key too long for a label is read as a bare name followed by its unlabelled value, which
// keeps resource names whole for the content streams that use them. An appearance state's
// name is looked up instead, and matched against /AS and /V values, which are state names
// shortened to a label's length: in the state dictionaries of every /AP, each such pair
// becomes one entry under its key shortened the same way.
void fold_long_state_keys(const Dict& states) {
    if (!states.valid() || (states.start == 0 && dict_entry(states.obj, LABEL_STREAM) != -1))
        return;
    int key = -1;
    for (int e : states.entries()) {
        st_elem& el = g_st.p_elem_strage[e];
        if (key != -1) {
            copy_shortened_name(el.label, elem_bytes(g_st.p_elem_strage[key]) + 1);
            g_st.p_elem_strage[key].f_type = 0;
            key = -1;
            continue;
        }
        if (label_is(el.label, LABEL_IMMEDIATE) && el.f_type == ELEM_TYPE_STRING &&
            el.data.str.type == STR_BARE && el.data.str.len > 1 && elem_bytes(el)[0] == '/')
            key = e;
    }
}

void fold_long_appearance_states() {
    for (int i = 1; i < g_st.num_xref_strage; ++i) {
        if (g_st.p_xref_strage[i].first_elem == 0 || dict_entry(i, "AP") == -1) continue;
        const Dict ap = Dict{i, 0}.sub("AP");
        for (const char* kind : {"N", "D", "R"}) fold_long_state_keys(ap.sub(kind));
    }
}

void post_process() {
    drop_repeated_keys();
    fold_long_appearance_states();
    settle_stream_lengths();
    mark_references();
    // The catalog of a cross-reference-stream file is known before the fields are analysed.
    copy_xref_stream_trailers();
    drop_object_and_xref_streams();
    find_catalog_without_trailer();
    analyse_fields();
    flag_objects();
    flatten_page_tree();
}
