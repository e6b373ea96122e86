#include "compiler/object_events.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "compiler/array_text.h"
#include "store/element_ops.h"
#include "store/storages.h"

namespace {

int clamp_int(long long v) {
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

// Chain that the current records go to: the current object's, or entry 0's in a trailer.
int target_obj() {
    return g_cc.f_in_trailer ? 0 : g_cc.cur_obj_no;
}

// Scratch for the stored form of an array text (kept to reuse its memory).
std::string g_array_text;

// Last element of the target chain, so that appends need not walk it.
int g_last_elem = 0;
int g_last_obj = -1;

// True when key `label` (as read, "#xx" escapes undecoded) is longer than a record's label
// holds. Generated resource names can be (HTML converters name images by a hash).
bool key_too_long(const char* label) {
    int n = 0;
    for (const char* p = label; *p; ++n) p += p[0] == '#' && p[1] && p[2] ? 3 : 1;
    return n >= LABEL_SIZE;
}

int append_chained(int obj) {
    if (obj != g_last_obj) {
        // Entry 0 may already hold records of an earlier trailer: find its end once.
        g_last_obj = obj;
        g_last_elem = chain_last(obj);
    }
    g_last_elem = append_elem(obj, g_last_elem);
    return g_last_elem;
}

void put_string(st_elem& e, char type, const char* src, int len, int reserve);

int append_record(const char* label, int type) {
    int obj = target_obj();
    const bool opens_or_value = type != ELEM_TYPE_SUBDIC_END && type != ELEM_TYPE_ARRAY_END;
    if (label && opens_or_value && key_too_long(label)) {
        // A key cut to the label's length would no longer match the name that content
        // streams use. It is kept whole as a bare name, and the value follows it unlabelled,
        // so the writer puts out "/key value" as read; lookups by key pass both by.
        std::string key = std::string("/") + label;
        int k = append_chained(obj);
        st_elem& ke = g_st.p_elem_strage[k];
        copy_label(ke.label, LABEL_IMMEDIATE);
        put_string(ke, STR_BARE, key.data(), static_cast<int>(key.size()),
                   static_cast<int>(key.size()) + 1);
        label = type == ELEM_TYPE_SUBDIC_START ? LABEL_ARRAY_DICTITEM : LABEL_IMMEDIATE;
    }
    int n = append_chained(obj);
    st_elem& e = g_st.p_elem_strage[n];
    e.f_type = type;
    copy_label(e.label, label);
    return n;
}

// Reserves `reserve` bytes (plus the storage's own 4) and makes e a string of `len`
// bytes copied from `src`, NUL-terminated.
void put_string(st_elem& e, char type, const char* src, int len, int reserve) {
    new_char_strage(reserve);
    char* dst = g_st.p_char_strage + g_st.cur_char_strage;
    if (len > 0) std::memcpy(dst, src, static_cast<size_t>(len));
    dst[len] = 0;
    e.f_type = ELEM_TYPE_STRING;
    e.data.str.type = type;
    e.data.str.f_renum = 0;
    e.data.str.len = len;
    e.data.str.start_pos = g_st.cur_char_strage;
}

// Keys of the trailer dictionary itself go to the trailer storage.
bool is_trailer() {
    return g_cc.f_in_trailer && g_cc.trailer_depth == 0;
}

// Keys that describe the source file's cross-reference sections: they mean nothing in a
// generated document (whose reader would look for a stream that is not there), so the
// trailer storage never holds them.
bool is_xref_section_key(const char* label) {
    static const char* const keys[] = {"XRefStm", "Index", "W"};
    for (const char* k : keys)
        if (std::strcmp(label, k) == 0) return true;
    return false;
}

void on_header(const char*, const pdf_tok& v) {
    int t = trailer_find_or_append(LABEL_ENTRYHEADER);
    store_token_string(g_st.p_trailer_strage[t], v.str, v.len);
}

// The update section that a file offset lies in.
size_t section_of(size_t pos) {
    const auto& ends = g_cc.section_ends;
    return static_cast<size_t>(std::upper_bound(ends.begin(), ends.end(), pos) - ends.begin());
}

void on_section_end(const char*, const pdf_tok& v) {
    if (v.num >= 0 && !g_cc.f_expanding) g_cc.section_ends.push_back(static_cast<size_t>(v.num));
}

void on_begin_object(const char*, const pdf_tok& v) {
    g_cc.f_in_trailer = false;
    g_cc.trailer_depth = 0;
    if (v.num < 0 || v.num > MAX_OBJ_NO) {
        char msg[96];
        std::snprintf(msg, sizeof msg, "Object number out of range(%lld).", v.num);
        g_cc.parse_abort = msg;
        return;
    }
    int n = static_cast<int>(v.num);
    g_cc.cur_obj_no = n;
    if (n + 1 > g_st.num_xref_strage) reserve_xref_strage(n + 1);
    if (g_cc.def_pos.size() <= static_cast<size_t>(n)) g_cc.def_pos.resize(n + 1, 0);
    size_t at = g_cc.expansion.source_of(g_cc.obj_text_pos);
    st_xref& x = g_st.p_xref_strage[n];
    // The definition the file's newest cross-reference data names is the one viewers show:
    // it replaces any other, and no other replaces it.
    const LiveObject* live = g_cc.live.find(n);
    if (live) {
        const long stream = g_cc.expansion.stream_of(g_cc.obj_text_pos);
        const bool is_live =
            live->kind == LiveObject::in_stream
                ? stream >= 0 && stream == live->stream
                : stream < 0 && !g_cc.f_expanding && g_cc.obj_text_pos == live->obj_pos;
        if (g_cc.live_taken.size() <= static_cast<size_t>(n)) g_cc.live_taken.resize(n + 1, 0);
        if (is_live) {
            g_cc.live_taken[n] = 1;
        } else if (g_cc.live_taken[n] || (x.first_elem != 0 && g_cc.def_pos[n] > at)) {
            g_cc.kept_obj = n;
            g_cc.kept_xref = x;
        }
    } else if (x.first_elem != 0) {
        if (section_of(g_cc.def_pos[n]) == section_of(at)) g_cc.f_dup_xref = true;
        // An object from an object stream that a later update in the file redefined:
        // the update's definition stays.
        if (g_cc.def_pos[n] > at) {
            g_cc.kept_obj = n;
            g_cc.kept_xref = x;
        }
    }
    if (g_cc.kept_obj != n) {
        g_cc.def_pos[n] = at;
        if (g_cc.def_gen.size() <= static_cast<size_t>(n)) g_cc.def_gen.resize(n + 1, 0);
        g_cc.def_gen[n] = static_cast<uint16_t>(g_cc.cur_gen);
    }
    std::memset(&x, 0, sizeof x);
    g_last_obj = n;
    g_last_elem = 0;
}

void on_end_object(const char*, const pdf_tok&) {
    finish_object_events();
}

// An object that is an empty dictionary ("<< >>", as some writers leave /MK or /Resources
// objects) has no entries to store: one switched-off element keeps it in the template, so
// that it is written and references to it stay good.
void on_dict_end(const char*, const pdf_tok&) {
    if (g_cc.f_in_trailer || g_cc.kept_obj == g_cc.cur_obj_no) return;
    if (valid_xref(g_cc.cur_obj_no) && g_st.p_xref_strage[g_cc.cur_obj_no].first_elem == 0)
        append_record("", 0);
}

void on_string(const char* label, const pdf_tok& v) {
    if (is_trailer()) {
        if (is_xref_section_key(label)) return;
        int t = trailer_find_or_append(label);
        if (t < 0) return;
        store_token_string(g_st.p_trailer_strage[t], v.str, v.len);
        return;
    }
    int n = append_record(label, ELEM_TYPE_STRING);
    store_token_string(g_st.p_elem_strage[n], v.str, v.len);
}

void on_name(const char* label, const pdf_tok& v) {
    int n = append_record(label, ELEM_TYPE_NAME);
    // A button's state names are shortened as its appearance state keys are.
    const bool state =
        label && (label_is(label, "AS") || label_is(label, "V") || label_is(label, "DV"));
    (state ? copy_shortened_name : copy_label)(g_st.p_elem_strage[n].data.name, v.str);
}

void on_array_start(const char* label, const pdf_tok&) {
    append_record(label, ELEM_TYPE_ARRAY_START);
}
void on_array_end(const char* label, const pdf_tok&) {
    append_record(label, ELEM_TYPE_ARRAY_END);
}
void on_subdic_start(const char* label, const pdf_tok&) {
    append_record(label, ELEM_TYPE_SUBDIC_START);
    if (g_cc.f_in_trailer) ++g_cc.trailer_depth;
}
void on_subdic_end(const char* label, const pdf_tok&) {
    append_record(label, ELEM_TYPE_SUBDIC_END);
    if (g_cc.f_in_trailer && g_cc.trailer_depth > 0) --g_cc.trailer_depth;
}

void on_objref(const char* label, const pdf_tok& v) {
    int obj = clamp_int(v.num);
    if (is_trailer()) {
        if (is_xref_section_key(label)) return;
        if (st_elem* e = trailer_value(label, ELEM_TYPE_OBJREF)) e->data.obj_no = obj;
        return;
    }
    int n = append_record(label, ELEM_TYPE_OBJREF);
    g_st.p_elem_strage[n].data.obj_no = obj;
}

void on_integer(const char* label, const pdf_tok& v) {
    if (is_trailer()) {
        if (is_xref_section_key(label)) return;
        if (st_elem* e = trailer_value(label, ELEM_TYPE_INTEGER))
            e->data.int_data = clamp_int(v.num);
        return;
    }
    int n = append_record(label, ELEM_TYPE_INTEGER);
    g_st.p_elem_strage[n].data.int_data = clamp_int(v.num);
}

void on_stream(const char*, const pdf_tok& v) {
    int n = append_record(LABEL_STREAM, ELEM_TYPE_STRING);
    // The byte after the data (the "e" of "endstream" or a dropped CR) is kept with it.
    set_elem_str(n, STR_STREAM, v.str, v.len);
}

void on_immediate_int(const char*, const pdf_tok& v) {
    int n = append_record(LABEL_IMMEDIATE, ELEM_TYPE_INTEGER);
    g_st.p_elem_strage[n].data.int_data = clamp_int(v.num);
}

void on_trailer(const char*, const pdf_tok&) {
    g_cc.cur_obj_no = 0;
    g_cc.f_in_trailer = true;
    g_cc.trailer_depth = 0;
}

}  // namespace

void store_token_string(st_elem& e, const char* text, int len) {
    char first = len > 0 ? text[0] : 0;
    if (first == '(' && len >= 2) {
        int body = len - 2;
        put_string(e, STR_LITERAL, text + 1, body, 2 * body);
    } else if (first == '<' && len >= 2) {
        int body = len - 2;
        put_string(e, STR_HEX, text + 1, body, body + 1);
    } else if (first == '[' && len >= 2) {
        std::string& body = g_array_text;
        normalise_array_text(text + 1, static_cast<size_t>(len - 2), body);
        int n = static_cast<int>(body.size());
        put_string(e, STR_ARRAY, body.data(), n, n + 2);
    } else {
        put_string(e, STR_BARE, text, len, len + 1);
    }
}

int trailer_find_or_append(const char* label) {
    char key[LABEL_SIZE];
    copy_label(key, label);
    int t = get_trailer(key);
    if (t >= 0) return t;
    // The record count is written as 16 bits; keys beyond that are dropped.
    if (g_st.num_trailer_strage >= 32767) return -1;
    new_trailer_strage();
    t = g_st.cur_trailer_strage;
    st_elem& e = g_st.p_trailer_strage[t];
    std::memset(&e, 0, sizeof e);
    std::memcpy(e.label, key, LABEL_SIZE);
    return t;
}

st_elem* trailer_value(const char* label, int type) {
    int t = trailer_find_or_append(label);
    if (t < 0) return nullptr;
    st_elem& e = g_st.p_trailer_strage[t];
    std::memset(&e.data, 0, sizeof e.data);
    e.f_type = type;
    return &e;
}

void close_partial_object() {
    int obj = target_obj();
    if (!valid_xref(obj)) return;
    // The labels of the dictionaries and arrays still open, innermost last.
    std::vector<int> open;
    int last = 0;
    for (int e : obj_elems(obj)) {
        last = e;
        int t = g_st.p_elem_strage[e].f_type;
        if (t == ELEM_TYPE_SUBDIC_START || t == ELEM_TYPE_ARRAY_START)
            open.push_back(e);
        else if ((t == ELEM_TYPE_SUBDIC_END || t == ELEM_TYPE_ARRAY_END) && !open.empty())
            open.pop_back();
    }
    g_last_obj = -1;
    for (auto it = open.rbegin(); it != open.rend(); ++it) {
        char label[LABEL_SIZE];
        std::memcpy(label, g_st.p_elem_strage[*it].label, LABEL_SIZE);
        int end = g_st.p_elem_strage[*it].f_type == ELEM_TYPE_SUBDIC_START ? ELEM_TYPE_SUBDIC_END
                                                                           : ELEM_TYPE_ARRAY_END;
        // Labels are stored decoded already: copy them as they are.
        int n = append_elem(obj, last);
        st_elem& e = g_st.p_elem_strage[n];
        e.f_type = end;
        std::memcpy(e.label, label, LABEL_SIZE);
        last = n;
    }
}

void finish_object_events() {
    if (g_cc.kept_obj < 0) return;
    g_st.p_xref_strage[g_cc.kept_obj] = g_cc.kept_xref;
    g_cc.kept_obj = -1;
    g_last_obj = -1;
}

void raise_event(int id, const char* label, const pdf_tok& value) {
    if (id < 0 || id >= EVENT_COUNT) return;
    if (event_handler h = g_cc.events[id]) h(label, value);
}

void install_event_handlers() {
    for (auto& slot : g_cc.events) slot = nullptr;
    g_last_obj = -1;
    g_last_elem = 0;
    static const std::pair<EventId, event_handler> handlers[] = {
        {EV_HEADER, on_header},
        {EV_BEGIN_OBJECT, on_begin_object},
        {EV_END_OBJECT, on_end_object},
        {EV_STRING, on_string},
        {EV_NAME, on_name},
        {EV_OBJREF, on_objref},
        {EV_SUBDICT_START, on_subdic_start},
        {EV_SUBDICT_END, on_subdic_end},
        {EV_INTEGER, on_integer},
        {EV_ARRAY_START, on_array_start},
        {EV_ARRAY_ITEM, [](const char*, const pdf_tok&) {}},
        {EV_ARRAY_END, on_array_end},
        {EV_STREAM, on_stream},
        {EV_IMMEDIATE_INT, on_immediate_int},
        {EV_TRAILER, on_trailer},
        {EV_DICT_END, on_dict_end},
        {EV_SECTION_END, on_section_end},
    };
    for (const auto& [id, handler] : handlers) g_cc.events[id] = handler;
}

void report_parse_error(const char* msg, long pos) {
    std::printf("Carvel Compile error (%s):\n%s\n", g_cc.pdf_path.c_str(), msg);
    std::string kept = msg;
    if (pos >= 0) kept += " (at byte " + std::to_string(pos) + ")";
    g_cc.parse_errors.push_back(kept);
}
