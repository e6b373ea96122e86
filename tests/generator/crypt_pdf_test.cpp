// The page's encryption pass and the encryption dictionary, on a store built by hand.
// Key streams of the objects were computed independently (Python hashlib and a separate
// RC4) for the passwords "user"/"owner", all permissions and a fixed document identifier.
#include "generator/crypt_pdf.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "generator/crypt_keys.h"
#include "generator/crypt_strings.h"
#include "generator/doc_state.h"
#include "generator/operations.h"
#include "generator/page_hooks.h"
#include "store/element_ops.h"
#include "store/failure.h"
#include "store/storages.h"

namespace {

const unsigned char kId[16] = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,
                               0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F};
// The first key-stream bytes of output objects 13, 4, 11 and 12.
const unsigned char kStream13[] = {0x23, 0xE0, 0x30, 0x6A, 0xC0, 0x81, 0x06, 0x1D,
                                   0x98, 0xA4, 0x81, 0x8F, 0x04, 0x9E, 0x9A, 0xDB};
const unsigned char kStream4[] = {0x7D, 0xD7, 0x36, 0x4F, 0x82, 0xA8, 0x32, 0x30,
                                  0x12, 0x73, 0x76, 0x86, 0xE1, 0x12, 0xE8, 0xF8};
const unsigned char kStream11[] = {0x8A, 0x1E, 0xB7, 0x80, 0x11, 0xD5, 0xB1, 0x23,
                                   0x6B, 0x12, 0xD0, 0xC0, 0xDA, 0x16, 0xF9, 0x7E};
const unsigned char kStream12[] = {0xA0, 0x92, 0x33, 0x2A, 0x98, 0xDB, 0x43, 0x4B,
                                   0x74, 0xF5, 0x1E, 0x30, 0x03, 0xE4, 0xA0, 0x4D};

std::string bytes_of(const st_elem& e) {
    return std::string(elem_bytes(e), static_cast<size_t>(e.data.str.len));
}

// The value a reader gets from a string element of the output, before decryption.
std::string value_of(const st_elem& e) {
    std::string body = bytes_of(e), out(body.size(), '\0');
    int n = static_cast<int>(body.size());
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    if (e.data.str.type == STR_LITERAL) n = literal_value(body.data(), n, o);
    if (e.data.str.type == STR_HEX) n = hex_value(body.data(), n, o);
    if (e.data.str.type == STR_STREAM) return body;
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string decrypt(const std::string& v, const unsigned char* stream) {
    std::string out = v;
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<char>(out[i] ^ stream[i]);
    return out;
}

class CryptPdf : public ::testing::Test {
  protected:
    void SetUp() override {
        storages_reset();
        storages_prepare_load(0, 4, 1, 0, 0, 0);  // objects 0..3, element 0 reserved
        g_doc = DocState{};
        g_doc.opened = true;
        std::memcpy(g_doc.documentID, kId, 16);
        crypt_reset();
        _setCryptMode("user", "owner", 1, 1, 1, 1);
    }
    void TearDown() override { storages_reset(); }
    int str(int obj, const char* label, char type, const std::string& s) {
        return append_elem_str(obj, 0, label, type, s.data(), static_cast<int>(s.size()));
    }
};

TEST_F(CryptPdf, StringsDecryptToTheirValues) {
    g_doc.base_num = 10;  // object 3 is written as 13
    int lit = str(3, "T", STR_LITERAL, R"(a\)b\101)");
    int hex = str(3, "ID", STR_HEX, "41 42 4");
    int stream = str(3, LABEL_STREAM, STR_STREAM, std::string("data\r\n(x)\0", 10));
    int bare = str(3, "W", STR_BARE, "1.5");
    int name = append_elem_name(3, 0, "Type", "Annot");
    crypt_pdf();

    EXPECT_EQ(elem_at(lit).data.str.type, STR_LITERAL);
    EXPECT_EQ(decrypt(value_of(elem_at(lit)), kStream13), "a)bA");
    EXPECT_EQ(elem_at(hex).data.str.type, STR_HEX);
    EXPECT_EQ(decrypt(value_of(elem_at(hex)), kStream13), "AB@");
    EXPECT_EQ(elem_at(stream).data.str.len, 10);
    EXPECT_EQ(decrypt(value_of(elem_at(stream)), kStream13), std::string("data\r\n(x)\0", 10));
    EXPECT_EQ(bytes_of(elem_at(bare)), "1.5");
    EXPECT_STREQ(elem_at(name).data.name, "Annot");
}

TEST_F(CryptPdf, EncryptedLiteralIsValidStringSyntax) {
    g_doc.base_num = 10;
    // Values whose encryption holds "(", ")", "\" and CR: each byte of the key stream XOR
    // the wanted cipher byte.
    std::string wanted = "()\\\r\n";
    std::string plain = decrypt(wanted, kStream13);
    std::string body(plain.size() * 2, '\0');
    int n = 0;
    escapeString(reinterpret_cast<const unsigned char*>(plain.data()),
                 static_cast<int>(plain.size()), &n, body.data());
    body.resize(static_cast<size_t>(n));
    int lit = str(3, "V", STR_LITERAL, body);
    crypt_pdf();
    EXPECT_EQ(bytes_of(elem_at(lit)), "\\(\\)\\\\\\r\\n");
}

TEST_F(CryptPdf, ArrayTextStringsAreEncrypted) {
    g_doc.base_num = 1;  // object 3 is written as 4
    int arr = str(3, "Opt", STR_ARRAY, " (one) <74776F> 5 0 R ");
    elem_at(arr).data.str.f_renum = 1;
    int plain = str(2, "Rect", STR_ARRAY, " 0 0 612 792 ");
    int plain_pos = elem_at(plain).data.str.start_pos;
    crypt_pdf();
    const st_elem& a = elem_at(arr);
    EXPECT_EQ(a.data.str.f_renum, 1);
    std::string text = bytes_of(a);
    // " (" escaped-cipher ") <" hex-cipher "> 5 0 R "
    size_t close = text.find(") <");
    ASSERT_NE(close, std::string::npos);
    std::string lit = text.substr(2, close - 2), out(lit.size(), '\0');
    int n = literal_value(lit.data(), static_cast<int>(lit.size()),
                          reinterpret_cast<unsigned char*>(out.data()));
    out.resize(static_cast<size_t>(n));
    EXPECT_EQ(decrypt(out, kStream4), "one");
    size_t gt = text.find('>', close);
    std::string hex = text.substr(close + 3, gt - close - 3), hv(hex.size(), '\0');
    n = hex_value(hex.data(), static_cast<int>(hex.size()),
                  reinterpret_cast<unsigned char*>(hv.data()));
    hv.resize(static_cast<size_t>(n));
    EXPECT_EQ(hex.size(), 6u);
    EXPECT_EQ(decrypt(hv, kStream4), "two");
    EXPECT_EQ(text.substr(gt), "> 5 0 R ");
    // An array without strings is left where it was.
    EXPECT_EQ(elem_at(plain).data.str.start_pos, plain_pos);
}

TEST_F(CryptPdf, SharedStreamBytesAreEncryptedOncePerObject) {
    g_doc.base_num = 10;  // objects 1 and 2 are written as 11 and 12
    int s1 = str(1, LABEL_STREAM, STR_STREAM, "same bytes");
    int s2 = append_elem(2, 0);
    elem_at(s2) = elem_at(s1);  // a copied object shares the source's bytes
    elem_at(s2).next_elem = 0;
    crypt_pdf();
    EXPECT_NE(elem_at(s1).data.str.start_pos, elem_at(s2).data.str.start_pos);
    EXPECT_EQ(decrypt(value_of(elem_at(s1)), kStream11), "same bytes");
    EXPECT_EQ(decrypt(value_of(elem_at(s2)), kStream12), "same bytes");
}

TEST_F(CryptPdf, NothingChangesWithoutEncryption) {
    crypt_reset();
    int lit = str(3, "T", STR_LITERAL, "clear");
    crypt_pdf();
    EXPECT_EQ(bytes_of(elem_at(lit)), "clear");
    EXPECT_FALSE(crypt_enabled());
    EXPECT_EQ(crypt_permissions(), 0);
}

TEST_F(CryptPdf, EncryptionDictionary) {
    make_crypt_obj();
    int obj = g_st.num_xref_strage - 1;
    EXPECT_EQ(obj, 4);
    EXPECT_EQ(encrypt_obj_no(), 4);
    std::string labels;
    for (int e = xref_at(obj).first_elem; e; e = elem_at(e).next_elem)
        labels += std::string(elem_at(e).label) + " ";
    EXPECT_EQ(labels, "Filter V R O U P ");
    EXPECT_STREQ(get_elem_name(obj, nullptr, "Filter"), "Standard");
    EXPECT_EQ(get_elem_int(obj, nullptr, "V"), 1);
    EXPECT_EQ(get_elem_int(obj, nullptr, "R"), 2);
    EXPECT_EQ(get_elem_int(obj, nullptr, "P"), -4);
    EXPECT_EQ(value_of(elem_at(get_elem(obj, "O"))),
              std::string(reinterpret_cast<char*>(g_crypt.ownerKey), 32));
    EXPECT_EQ(value_of(elem_at(get_elem(obj, "U"))),
              std::string(reinterpret_cast<char*>(g_crypt.userKey), 32));
    make_crypt_obj();  // written once
    EXPECT_EQ(g_st.num_xref_strage, 5);
}

TEST_F(CryptPdf, SetCryptModeSequenceAndPermissions) {
    crypt_reset();
    _setCryptMode("", "", 1, 0, 0, 0);
    _setCryptMode("a", "b", 0, 0, 0, 0);  // bits granted before stay granted
    EXPECT_EQ(crypt_permissions(), -60);
    EXPECT_TRUE(crypt_enabled());
    crypt_reset();
    _setCryptMode("", "", 0, 0, 0, 0);
    EXPECT_EQ(crypt_permissions(), -64);
    g_doc.seq = SEQ_STARTED;
    try {
        _setCryptMode("x", "y", 1, 1, 1, 1);
        FAIL() << "accepted after start";
    } catch (const Failure& f) {
        EXPECT_STREQ(f.what(), "Illegal method calling sequence.");
    }
    EXPECT_EQ(crypt_permissions(), -64);
}

}  // namespace

TEST(PdfPassword, LatinLettersBecomeTheCodesReadersCompare) {
    EXPECT_EQ(pdf_password("Own3r (pw)", 'U'), "Own3r (pw)");
    // Viewers take a typed password in PDFDocEncoding: Latin-1 letters are one byte each.
    EXPECT_EQ(pdf_password("p\xc3\xa4ssw\xc3\xb6rd", 'U'), "p\xe4ssw\xf6rd");
    EXPECT_EQ(pdf_password("\xe2\x82\xac"
                           "5",
                           'U'),
              "\xa0"
              "5");
    // Characters PDFDocEncoding lacks: the bytes as given.
    EXPECT_EQ(pdf_password("\x82\xa0\x82\xa2", 'S'), "\x82\xa0\x82\xa2");
}
