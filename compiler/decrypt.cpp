// The low-level MD5 and RC4 calls are what the PDF key algorithms are written in terms of.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "compiler/decrypt.h"

#include <openssl/evp.h>
#include <openssl/md5.h>
#include <openssl/rc4.h>
#include <openssl/sha.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "compiler/array_text.h"
#include "compiler/compiler_state.h"
#include "store/element_ops.h"
#include "store/element_walk.h"
#include "store/pdf_text.h"
#include "store/storages.h"

namespace {

using Bytes = std::string;

const unsigned char PAD[32] = {0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E,
                               0x56, 0xFF, 0xFA, 0x01, 0x08, 0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68,
                               0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

enum class Method { none, rc4, aes128, aes256 };

struct Handler {
    int v = 0, r = 0, length = 40;
    int32_t p = 0;
    bool encrypt_metadata = true;
    Bytes o, u, oe, ue, id0;
    Method strings = Method::rc4, streams = Method::rc4;
    Bytes key;
};

Bytes md5(const Bytes& in) {
    unsigned char d[MD5_DIGEST_LENGTH];
    MD5(reinterpret_cast<const unsigned char*>(in.data()), in.size(), d);
    return Bytes(reinterpret_cast<char*>(d), sizeof d);
}

Bytes sha(int bits, const Bytes& in) {
    unsigned char d[64];
    const unsigned char* p = reinterpret_cast<const unsigned char*>(in.data());
    if (bits == 256) SHA256(p, in.size(), d);
    if (bits == 384) SHA384(p, in.size(), d);
    if (bits == 512) SHA512(p, in.size(), d);
    return Bytes(reinterpret_cast<char*>(d), static_cast<size_t>(bits / 8));
}

Bytes rc4(const Bytes& key, const Bytes& in) {
    RC4_KEY k;
    RC4_set_key(&k, static_cast<int>(key.size()),
                reinterpret_cast<const unsigned char*>(key.data()));
    Bytes out(in.size(), '\0');
    RC4(&k, in.size(), reinterpret_cast<const unsigned char*>(in.data()),
        reinterpret_cast<unsigned char*>(out.data()));
    return out;
}

// AES in CBC mode; `pad` selects PKCS#7 padding. Returns false on a bad key or padding.
bool aes_cbc(bool encrypt, const Bytes& key, const Bytes& iv, const Bytes& in, bool pad,
             Bytes& out) {
    const EVP_CIPHER* c = key.size() == 16   ? EVP_aes_128_cbc()
                          : key.size() == 32 ? EVP_aes_256_cbc()
                                             : nullptr;
    if (!c || iv.size() != 16) return false;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (!ctx) return false;
    out.assign(in.size() + 32, '\0');
    int n1 = 0, n2 = 0;
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    bool ok = EVP_CipherInit_ex(ctx, c, nullptr, reinterpret_cast<const unsigned char*>(key.data()),
                                reinterpret_cast<const unsigned char*>(iv.data()),
                                encrypt ? 1 : 0) == 1 &&
              EVP_CIPHER_CTX_set_padding(ctx, pad ? 1 : 0) == 1 &&
              EVP_CipherUpdate(ctx, o, &n1, reinterpret_cast<const unsigned char*>(in.data()),
                               static_cast<int>(in.size())) == 1 &&
              EVP_CipherFinal_ex(ctx, o + n1, &n2) == 1;
    EVP_CIPHER_CTX_free(ctx);
    out.resize(ok ? static_cast<size_t>(n1 + n2) : 0);
    return ok;
}

// The hash of revision 6 (and the plain SHA-256 of revision 5) over a password, a salt and
// the user key data.
Bytes hash_r6(int r, const Bytes& password, const Bytes& salt, const Bytes& udata) {
    Bytes k = sha(256, password + salt + udata);
    if (r < 6) return k;
    for (int i = 0;; ++i) {
        Bytes k1;
        Bytes one = password + k + udata;
        k1.reserve(one.size() * 64);
        for (int j = 0; j < 64; ++j) k1 += one;
        Bytes e;
        if (!aes_cbc(true, k.substr(0, 16), k.substr(16, 16), k1, false, e)) return Bytes();
        int sum = 0;
        for (int j = 0; j < 16; ++j) sum += static_cast<unsigned char>(e[static_cast<size_t>(j)]);
        k = sha(sum % 3 == 0 ? 256 : sum % 3 == 1 ? 384 : 512, e);
        // After the 64th round, stop once the last byte is at most the rounds done less 32.
        const int rounds = i + 1;
        if (rounds >= 64 && static_cast<unsigned char>(e.back()) <= rounds - 32) break;
    }
    return k.substr(0, 32);
}

Bytes padding() {
    return Bytes(reinterpret_cast<const char*>(PAD), 32);
}

// RC4 rounds over `data` with the key's bytes XORed with i, for i from `first` to `last` in
// either direction (round 0 is the key itself).
Bytes rc4_rounds(const Bytes& key, Bytes data, int first, int last) {
    const int step = first <= last ? 1 : -1;
    for (int i = first;; i += step) {
        Bytes ki = key;
        for (char& c : ki) c = static_cast<char>(c ^ i);
        data = rc4(ki, data);
        if (i == last) return data;
    }
}

// The RC4 key length in bytes (revisions 2 to 4); 0 when out of range.
size_t rc4_key_bytes(const Handler& h) {
    size_t n = h.r == 2 ? 5 : static_cast<size_t>(h.length / 8);
    return n < 5 || n > 16 ? 0 : n;
}

// The file key from a user password padded to 32 bytes (revisions 2 to 4); empty when the
// password does not open the file.
Bytes rc4_file_key(const Handler& h, const Bytes& padded) {
    const size_t n = rc4_key_bytes(h);
    if (n == 0) return Bytes();
    Bytes in = padded;
    in += h.o.substr(0, 32);
    for (int i = 0; i < 4; ++i) in.push_back(static_cast<char>((h.p >> (8 * i)) & 0xff));
    in += h.id0;
    if (h.r >= 4 && !h.encrypt_metadata) in += Bytes(4, '\xff');
    Bytes k = md5(in);
    if (h.r >= 3)
        for (int i = 0; i < 50; ++i) k = md5(k.substr(0, n));
    k.resize(n);
    // The user password check (the first 16 bytes of /U from revision 3 on).
    Bytes check;
    if (h.r == 2) {
        check = rc4(k, padding());
        if (h.u.substr(0, 32) != check) return Bytes();
    } else {
        check = rc4_rounds(k, md5(padding() + h.id0), 0, 19);
        if (h.u.substr(0, 16) != check) return Bytes();
    }
    return k;
}

// The padded user password that /O holds under the empty owner password (revisions 2 to 4).
Bytes user_password_of_empty_owner(const Handler& h) {
    const size_t n = rc4_key_bytes(h);
    if (n == 0 || h.o.size() < 32) return Bytes();
    Bytes k = md5(padding());
    if (h.r >= 3)
        for (int i = 0; i < 50; ++i) k = md5(k);
    k.resize(n);
    return rc4_rounds(k, h.o.substr(0, 32), h.r == 2 ? 0 : 19, 0);
}

// The file key of revisions 5 and 6 from the empty password as the user's (`key_data` /U,
// `wrapped` /UE) or as the owner's (/O and /OE, checked against /U).
Bytes aes256_file_key(const Handler& h, const Bytes& key_data, const Bytes& wrapped,
                      const Bytes& udata) {
    if (key_data.size() < 48 || wrapped.size() < 32) return Bytes();
    if (hash_r6(h.r, "", key_data.substr(32, 8), udata) != key_data.substr(0, 32)) return Bytes();
    Bytes k = hash_r6(h.r, "", key_data.substr(40, 8), udata), out;
    if (!aes_cbc(false, k, Bytes(16, '\0'), wrapped.substr(0, 32), false, out)) return Bytes();
    return out;
}

// The file key from the empty password, tried as the user's and then as the owner's (a file
// whose owner password is empty opens in every viewer without asking); empty when neither
// opens it. `owner` tells which one did.
Bytes file_key(const Handler& h, bool* owner) {
    *owner = false;
    if (h.r >= 5) {
        Bytes k = aes256_file_key(h, h.u, h.ue, "");
        if (k.empty() && h.u.size() >= 48) {
            k = aes256_file_key(h, h.o, h.oe, h.u.substr(0, 48));
            *owner = !k.empty();
        }
        return k;
    }
    Bytes k = rc4_file_key(h, padding());
    if (k.empty()) {
        const Bytes user = user_password_of_empty_owner(h);
        if (user.size() == 32) k = rc4_file_key(h, user);
        *owner = !k.empty();
    }
    return k;
}

// The key of one object (the file key itself for AES-256).
Bytes object_key(const Handler& h, Method m, int num, int gen) {
    if (m == Method::aes256) return h.key;
    Bytes in = h.key;
    for (int i = 0; i < 3; ++i) in.push_back(static_cast<char>((num >> (8 * i)) & 0xff));
    for (int i = 0; i < 2; ++i) in.push_back(static_cast<char>((gen >> (8 * i)) & 0xff));
    if (m == Method::aes128) in += "sAlT";
    Bytes k = md5(in);
    k.resize(std::min<size_t>(h.key.size() + 5, 16));
    return k;
}

Bytes decrypt_bytes(Method m, const Bytes& key, const Bytes& in) {
    if (m == Method::rc4) return rc4(key, in);
    if (m == Method::none || in.size() < 16) return m == Method::none ? in : Bytes();
    Bytes out;
    // A last block with bad padding is taken without removing it.
    if (aes_cbc(false, key, in.substr(0, 16), in.substr(16), true, out)) return out;
    aes_cbc(false, key, in.substr(0, 16), in.substr(16, (in.size() - 16) / 16 * 16), false, out);
    return out;
}

// An entry of the encryption dictionary's crypt filter `filter` (/CF << /StdCF << ... >> >>).
int filter_entry(int enc, const char* filter, const char* label) {
    return Dict{enc, 0}.sub("CF").sub(filter).find(label);
}

Bytes string_bytes(int e) {
    if (e < 0) return Bytes();
    const st_elem& el = g_st.p_elem_strage[e];
    if (el.f_type != ELEM_TYPE_STRING) return Bytes();
    const char* s = elem_bytes(el);
    size_t n = static_cast<size_t>(el.data.str.len);
    if (el.data.str.type == STR_LITERAL) return literal_bytes(s, n);
    if (el.data.str.type == STR_HEX) return hex_bytes(s, n);
    return Bytes();
}

Method method_of(int enc, const char* filter_name, const Handler& h) {
    if (h.v < 4) return Method::rc4;
    if (!filter_name || std::strcmp(filter_name, "Identity") == 0) return Method::none;
    int cfm = filter_entry(enc, filter_name, "CFM");
    const char* m = cfm >= 0 && g_st.p_elem_strage[cfm].f_type == ELEM_TYPE_NAME
                        ? g_st.p_elem_strage[cfm].data.name
                        : "None";
    if (std::strcmp(m, "V2") == 0) return Method::rc4;
    if (std::strcmp(m, "AESV2") == 0) return Method::aes128;
    if (std::strcmp(m, "AESV3") == 0) return Method::aes256;
    return Method::none;
}

// The first string of the trailer's /ID.
Bytes first_id() {
    int len = 0;
    const char* s = get_trailer_string("ID", &len);
    if (!s) return Bytes();
    for (int i = 0; i < len; ++i) {
        if (s[i] == '<') {
            const void* gt = std::memchr(s + i, '>', static_cast<size_t>(len - i));
            if (!gt) return Bytes();
            return hex_bytes(s + i + 1,
                             static_cast<size_t>(static_cast<const char*>(gt) - s - i - 1));
        }
        if (s[i] == '(') {
            const char* close = skip_literal_string(s + i, s + len);
            if (!close) return Bytes();
            return literal_bytes(s + i + 1, static_cast<size_t>(close - s - i - 2));
        }
    }
    return Bytes();
}

// Decrypts every string inside an array text, each written back as a literal string.
std::string decrypt_array_text(const char* s, size_t len, Method m, const Bytes& key) {
    std::string out;
    out.reserve(len);
    const char* end = s + len;
    for (const char* p = s; p < end;) {
        if (*p == '(') {
            const char* close = skip_literal_string(p, end);
            if (!close) close = end;
            size_t body =
                static_cast<size_t>(close - p) >= 2 ? static_cast<size_t>(close - p - 2) : 0;
            out += "(" + literal_text(decrypt_bytes(m, key, literal_bytes(p + 1, body))) + ")";
            p = close;
        } else if (*p == '<' && p + 1 < end && p[1] == '<') {
            out += "<<";
            p += 2;
        } else if (*p == '<') {
            const char* gt =
                static_cast<const char*>(std::memchr(p, '>', static_cast<size_t>(end - p)));
            if (!gt) gt = end - 1;
            out += "(" +
                   literal_text(
                       decrypt_bytes(m, key, hex_bytes(p + 1, static_cast<size_t>(gt - p - 1)))) +
                   ")";
            p = gt + 1;
        } else {
            out.push_back(*p++);
        }
    }
    return out;
}

void decrypt_object(const Handler& h, int obj, int enc) {
    if (obj == enc) return;
    int te = dict_entry(obj, "Type");
    const char* type = te >= 0 && g_st.p_elem_strage[te].f_type == ELEM_TYPE_NAME
                           ? g_st.p_elem_strage[te].data.name
                           : "";
    // Cross-reference streams are never encrypted; metadata only when the dictionary says.
    if (std::strcmp(type, "XRef") == 0) return;
    bool skip_stream = std::strcmp(type, "Metadata") == 0 && !h.encrypt_metadata;
    int gen =
        static_cast<size_t>(obj) < g_cc.def_gen.size() ? g_cc.def_gen[static_cast<size_t>(obj)] : 0;
    Bytes skey = object_key(h, h.strings, obj, gen);
    Bytes dkey = object_key(h, h.streams, obj, gen);
    for (int e : obj_elems(obj)) {
        const st_elem& el = g_st.p_elem_strage[e];
        if (el.f_type != ELEM_TYPE_STRING) continue;
        const char* s = elem_bytes(el);
        size_t n = static_cast<size_t>(el.data.str.len);
        if (el.data.str.type == STR_LITERAL) {
            std::string t = literal_text(decrypt_bytes(h.strings, skey, literal_bytes(s, n)));
            set_elem_str2(&g_st.p_elem_strage[e], STR_LITERAL, t.data(),
                          static_cast<int>(t.size()));
        } else if (el.data.str.type == STR_HEX) {
            // Written as a literal string: the analysis reads names and appearances in that
            // form only.
            std::string t = literal_text(decrypt_bytes(h.strings, skey, hex_bytes(s, n)));
            set_elem_str2(&g_st.p_elem_strage[e], STR_LITERAL, t.data(),
                          static_cast<int>(t.size()));
        } else if (el.data.str.type == STR_ARRAY) {
            std::string t = decrypt_array_text(s, n, h.strings, skey);
            set_elem_str2(&g_st.p_elem_strage[e], STR_ARRAY, t.data(), static_cast<int>(t.size()));
        } else if (el.data.str.type == STR_STREAM && !skip_stream) {
            // The encrypted bytes: /Length of them when it is known, else the data without
            // the line end before "endstream".
            int le = dict_entry(obj, "Length");
            int lv = le >= 0 ? deref_value(le) : -1;
            int length = lv >= 0 && g_st.p_elem_strage[lv].f_type == ELEM_TYPE_INTEGER
                             ? g_st.p_elem_strage[lv].data.int_data
                             : -1;
            // Ciphertext that ends in CR right before "endstream" lost that byte as a line
            // end; it is still stored after the data.
            if (length >= 0 && static_cast<size_t>(length) == n + 1 && s[n] == '\r') ++n;
            if (length < 0 || static_cast<size_t>(length) > n) {
                length = static_cast<int>(n);
                if (length > 0 && s[length - 1] == '\n') --length;
                if (length > 0 && s[length - 1] == '\r') --length;
            }
            Bytes plain = decrypt_bytes(h.streams, dkey, Bytes(s, static_cast<size_t>(length)));
            set_elem_str2(&g_st.p_elem_strage[e], STR_STREAM, plain.data(),
                          static_cast<int>(plain.size()));
            // The dictionary's length is now the plain data's, held directly.
            if (le > 0) {
                st_elem& l = g_st.p_elem_strage[le];
                std::memset(&l.data, 0, sizeof l.data);
                l.f_type = ELEM_TYPE_INTEGER;
                l.data.int_data = static_cast<int>(plain.size());
            }
        }
    }
}

}  // namespace

std::string literal_bytes(const char* s, size_t n) {
    return string_bytes(STR_LITERAL, s, static_cast<int>(n));
}

std::string hex_bytes(const char* s, size_t n) {
    return string_bytes(STR_HEX, s, static_cast<int>(n));
}

std::string literal_text(const std::string& b) {
    std::string out;
    out.reserve(b.size() + 8);
    for (char c : b) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '(':
                out += "\\(";
                break;
            case ')':
                out += "\\)";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case REF_MARKER:
                out += "\\001";
                break;
            case 0:
                out += "\\000";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

int encryption_dict() {
    int t = get_trailer("Encrypt");
    if (t < 0 || g_st.p_trailer_strage[t].f_type != ELEM_TYPE_OBJREF) return -1;
    int enc = g_st.p_trailer_strage[t].data.obj_no;
    return valid_xref(enc) && g_st.p_xref_strage[enc].first_elem != 0 ? enc : -1;
}

DecryptStatus decrypt_document(std::string& what) {
    int t = get_trailer("Encrypt");
    if (t < 0) return DecryptStatus::plain;
    int enc = encryption_dict();
    if (enc < 0) {
        what = "encryption dictionary missing";
        return DecryptStatus::unsupported;
    }
    Handler h;
    const char* filter = get_elem_name(enc, nullptr, "Filter");
    if (!filter || std::strcmp(filter, "Standard") != 0) {
        what = std::string("security handler ") + (filter ? filter : "(none)");
        return DecryptStatus::unsupported;
    }
    h.v = get_elem_int(enc, nullptr, "V");
    h.r = get_elem_int(enc, nullptr, "R");
    int len = get_elem_int(enc, nullptr, "Length");
    if (len > 0) h.length = len;
    int pe = get_elem_absolute(enc, "P");
    if (pe >= 0 && g_st.p_elem_strage[pe].f_type == ELEM_TYPE_INTEGER)
        h.p = g_st.p_elem_strage[pe].data.int_data;
    const char* em = get_elem_string(enc, nullptr, "EncryptMetadata", nullptr);
    h.encrypt_metadata = !(em && std::strncmp(em, "false", 5) == 0);
    h.o = string_bytes(get_elem_absolute(enc, "O"));
    h.u = string_bytes(get_elem_absolute(enc, "U"));
    h.oe = string_bytes(get_elem_absolute(enc, "OE"));
    h.ue = string_bytes(get_elem_absolute(enc, "UE"));
    h.id0 = first_id();
    if (h.r < 2 || h.r > 6 || h.v < 1 || h.v > 5 || h.v == 3) {
        what = "revision " + std::to_string(h.r) + ", version " + std::to_string(h.v);
        return DecryptStatus::unsupported;
    }
    if (h.v >= 4) {
        h.strings = method_of(enc, get_elem_name(enc, nullptr, "StrF"), h);
        h.streams = method_of(enc, get_elem_name(enc, nullptr, "StmF"), h);
        const char* stmf = get_elem_name(enc, nullptr, "StmF");
        int cl = stmf ? filter_entry(enc, stmf, "Length") : -1;
        if (h.r == 4 && cl >= 0 && g_st.p_elem_strage[cl].f_type == ELEM_TYPE_INTEGER) {
            int v = g_st.p_elem_strage[cl].data.int_data;
            h.length = v <= 16 ? v * 8 : v;  // given in bytes or in bits
        } else if (h.r == 4) {
            h.length = 128;
        }
    }
    bool owner = false;
    h.key = file_key(h, &owner);
    if (h.key.empty()) {
        what = "a password";
        return DecryptStatus::needs_password;
    }
    for (int i = 1; i < g_st.num_xref_strage; ++i)
        if (g_st.p_xref_strage[i].first_elem != 0) decrypt_object(h, i, enc);
    Method m = h.streams != Method::none ? h.streams : h.strings;
    what = m == Method::aes256   ? "AES 256-bit"
           : m == Method::aes128 ? "AES 128-bit"
                                 : "RC4 " + std::to_string(h.key.size() * 8) + "-bit";
    what += owner ? ") with the empty owner password" : ") with the empty user password";
    // The template holds plain objects: nothing names the dictionary any more.
    std::memset(&g_st.p_xref_strage[enc], 0, sizeof(st_xref));
    g_st.p_trailer_strage[t].f_type = 0;
    g_st.p_trailer_strage[t].label[0] = 0;
    return DecryptStatus::decrypted;
}
