#include "generator/crypt_pdf.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "generator/crypt_keys.h"
#include "generator/crypt_strings.h"
#include "generator/doc_state.h"
#include "generator/operations.h"
#include "generator/page_contents.h"
#include "generator/page_hooks.h"
#include "generator/page_numbering.h"
#include "multibyte/text_decode.h"
#include "store/element_ops.h"
#include "store/element_walk.h"
#include "store/storages.h"

namespace {

// Buffers reused by every page, grown to the largest string seen.
StringScratch g_scratch;
std::vector<std::pair<int, int>> g_streams;  // (start_pos, element index) of the page's streams

// The key schedule of one object, made when its first string or stream needs it: most
// objects of a page hold neither.
struct ObjectKey {
    int number;
    bool ready = false;
    Rc4 rc4 = {};
};

// Each string and each stream is encrypted from the start of its object's key stream.
void cipher_with(unsigned char* data, int len, void* ctx) {
    if (len <= 0) return;
    auto* key = static_cast<ObjectKey*>(ctx);
    if (!key->ready) {
        initRC4ObjID(key->number, 0);
        key->rc4 = g_crypt.rc4;
        key->ready = true;
    }
    Rc4 r = key->rc4;
    rc4_crypt(r, data, static_cast<size_t>(len));
}

void check_string(const st_elem& e) {
    const st_elem_str& s = e.data.str;
    if (s.len < 0 || s.start_pos < 0 || s.start_pos > g_st.alloc_char_strage - s.len)
        throwf("Broken string element(%d,%d)", s.start_pos, s.len);
}

bool is_space(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\f' || c == 0;
}

// The integer that object `obj`'s /Length gives, or -1. The page is renumbered already, so
// a reference holds an output number: it is mapped back into the store.
long declared_length(int obj) {
    if (!valid_xref(obj)) return -1;
    int e = dict_entry(obj, "Length");
    if (e == -1) return -1;
    const st_elem& el = g_st.p_elem_strage[e];
    if (el.f_type == ELEM_TYPE_INTEGER) return el.data.int_data;
    if (el.f_type != ELEM_TYPE_OBJREF) return -1;
    // The length object may be one that this page leaves out because the first page's copy
    // stands for it: its value is still at hand.
    int first = chain_of(template_object_at(el.data.obj_no));
    if (valid_elem(first) && g_st.p_elem_strage[first].f_type == ELEM_TYPE_INTEGER)
        return g_st.p_elem_strage[first].data.int_data;
    return -1;
}

// How many of a stream's stored bytes are its data. A template keeps what stood between
// "stream" and "endstream", which may end with the line end before "endstream"; that line
// end belongs to the file's syntax and must stay in the clear, or readers that take
// /Length bytes find no "endstream" after them. The other way round, a CR LF that /Length
// counts as data was taken off at load (the writer puts one back in the clear); it is
// restored into the data so that it is encrypted with it.
int stream_data_len(int obj, st_elem& e) {
    int len = e.data.str.len;
    long declared = declared_length(obj);
    if (declared == static_cast<long>(len) + 2) {
        std::string data(elem_bytes(e), static_cast<size_t>(len));
        data += "\r\n";
        set_elem_str2(&e, STR_STREAM, data.data(), len + 2);
        return len + 2;
    }
    const char* d = elem_bytes(e);
    if (declared >= 0 && declared <= len) {
        bool rest_is_space = true;
        for (long k = declared; k < len && rest_is_space; ++k) rest_is_space = is_space(d[k]);
        if (rest_is_space) return static_cast<int>(declared);
    }
    if (declared > len) return len;
    // No usable /Length: one end-of-line before "endstream" is syntax.
    if (len >= 2 && d[len - 2] == '\r' && d[len - 1] == '\n') return len - 2;
    if (len >= 1 && (d[len - 1] == '\n' || d[len - 1] == '\r')) return len - 1;
    return len;
}

// The /Contents of a signature dictionary is left unencrypted (ISO 32000-1, 7.6.1).
bool signature_contents(int obj, const st_elem& e) {
    return e.data.str.type == STR_HEX && std::strncmp(e.label, "Contents", LABEL_SIZE) == 0 &&
           valid_xref(obj) && get_elem(obj, "ByteRange") != -1;
}

void crypt_with_key(ObjectKey& key, st_elem& e, int obj) {
    if (e.f_type != ELEM_TYPE_STRING) return;
    st_elem_str& s = e.data.str;
    if (s.type != STR_LITERAL && s.type != STR_HEX && s.type != STR_ARRAY && s.type != STR_STREAM)
        return;
    check_string(e);
    const char* bytes = elem_bytes(e);
    switch (s.type) {
        case STR_STREAM: {
            int n = stream_data_len(obj, e);  // may move the bytes
            cipher_with(reinterpret_cast<unsigned char*>(elem_bytes(e)), n, &key);
            return;
        }
        case STR_LITERAL:
            cipher_literal(bytes, s.len, cipher_with, &key, g_scratch);
            break;
        case STR_HEX:
            if (signature_contents(obj, e)) return;
            cipher_hex(bytes, s.len, cipher_with, &key, g_scratch);
            break;
        default:
            if (cipher_array_text(bytes, s.len, cipher_with, &key, g_scratch) == 0) return;
            break;
    }
    char f_renum = s.f_renum;
    set_elem_str2(&e, s.type, g_scratch.text.data(), static_cast<int>(g_scratch.text.size()));
    s.f_renum = f_renum;
}

// Walks object i's chain, calling fn for every element. A chain that leads outside the
// element storage is refused rather than cut, so that no object goes out half encrypted.
template <typename Fn>
void for_each_elem(int i, Fn fn) {
    if (int stray = chain_stray(i)) throwf("Element index out of range(%d)", stray);
    for (int e : obj_elems(i)) fn(e, g_st.p_elem_strage[e]);
}

// Streams are encrypted in place, so two elements sharing the same stream bytes (copied
// objects) would encrypt them twice with different keys: each later sharer gets its own copy.
void unshare_streams() {
    g_streams.clear();
    for (int i = 0; i < g_st.num_xref_strage; ++i) {
        for_each_elem(i, [](int e, st_elem& el) {
            if (el.f_type == ELEM_TYPE_STRING && el.data.str.type == STR_STREAM &&
                el.data.str.len > 0)
                g_streams.emplace_back(el.data.str.start_pos, e);
        });
    }
    std::sort(g_streams.begin(), g_streams.end());
    for (size_t k = 1; k < g_streams.size(); ++k) {
        if (g_streams[k].first != g_streams[k - 1].first) continue;
        st_elem& el = g_st.p_elem_strage[g_streams[k].second];
        check_string(el);
        set_elem_str2(&el, STR_STREAM, elem_bytes(el), el.data.str.len);
    }
}

}  // namespace

void crypt_elem(int obj_no, st_elem& elem) {
    ObjectKey key{obj_no};
    crypt_with_key(key, elem, obj_no - g_doc.base_num);
}

void crypt_pdf() {
    if (g_crypt.f_crypt_mode != 1) return;
    unshare_streams();
    for (int i = 0; i < g_st.num_xref_strage; ++i) {
        if (g_st.p_xref_strage[i].first_elem == 0) continue;
        ObjectKey key{i + g_doc.base_num};
        for_each_elem(i, [&key, i](int, st_elem& el) { crypt_with_key(key, el, i); });
    }
}

void make_crypt_obj() {
    if (g_crypt.g_permissions == 0 || g_crypt.encrypt_obj_no != 0) return;
    new_xref_strage();
    int obj = g_st.cur_xref_strage;
    append_elem_name(obj, 0, "Filter", "Standard");
    append_elem_int(obj, 0, "V", 1);
    append_elem_int(obj, 0, "R", 2);
    char escaped[64];
    int len = 0;
    escapeString(g_crypt.ownerKey, 32, &len, escaped);
    append_elem_str(obj, 0, "O", STR_LITERAL, escaped, len);
    escapeString(g_crypt.userKey, 32, &len, escaped);
    append_elem_str(obj, 0, "U", STR_LITERAL, escaped, len);
    append_elem_int(obj, 0, "P", static_cast<int32_t>(g_crypt.g_permissions));
    g_crypt.encrypt_obj_no = obj + g_doc.base_num;
}

std::string pdf_password(const char* password, char encoding) {
    const std::string given = password ? password : "";
    bool ascii = true;
    for (unsigned char c : given) ascii = ascii && c < 0x80;
    if (ascii) return given;
    std::vector<int32_t> points(given.size() + 1, 0);
    const int n =
        mbs_mbstowcs(points.data(), given.c_str(), static_cast<int>(given.size()), encoding);
    std::string out;
    for (int i = 0; i < n; ++i) {
        const int32_t u = points[static_cast<size_t>(i)];
        if (u == 0x20AC)
            out.push_back(static_cast<char>(0xA0));  // the euro sign's PDFDocEncoding code
        else if (u > 0 && (u < 0x80 || (u >= 0xA1 && u <= 0xFF)))
            out.push_back(static_cast<char>(u));
        else
            return given;
    }
    return n > 0 ? out : given;
}

void _setCryptMode(const char* userPassword, const char* ownerPassword, int pr_perm, int mod_perm,
                   int cp_perm, int ed_perm) {
    check_seq(SEQ_OPENED);
    g_crypt.g_permissions |= permission_bits(pr_perm, mod_perm, cp_perm, ed_perm);
    setupAllKeys(userPassword ? userPassword : "", ownerPassword ? ownerPassword : "",
                 &g_crypt.g_permissions, g_doc.documentID);
    g_crypt.f_crypt_mode = 1;
}

void crypt_reset() {
    g_crypt = CryptState{};
}
bool crypt_enabled() {
    return g_crypt.f_crypt_mode == 1;
}
int crypt_permissions() {
    return static_cast<int>(g_crypt.g_permissions);
}
int encrypt_obj_no() {
    return g_crypt.encrypt_obj_no;
}
