// The element store: chains, lookups through references, strings and the compiler variant.
#include "store/element_ops.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "store/name_codec.h"
#include "tests/support/template_builder.h"

namespace {

std::string str_of(int e) {
    const st_elem& el = elem_at(e);
    return std::string(elem_bytes(el), el.data.str.len);
}

}  // namespace

TEST(ElementChain, AppendAtEndOrAfterAnElement) {
    tb::begin(3);
    int a = append_elem_int(1, 0, "A", 1);
    EXPECT_EQ(xref_at(1).first_elem, a);
    int c = append_elem_int(1, 0, "C", 3);
    int b = append_elem_int(1, a, "B", 2);  // inserted between A and C
    EXPECT_EQ(elem_at(a).next_elem, b);
    EXPECT_EQ(elem_at(b).next_elem, c);
    EXPECT_EQ(elem_at(c).next_elem, 0);
    EXPECT_EQ(get_elem(1, "B"), b);
    EXPECT_EQ(get_elem(1, "D"), -1);
    EXPECT_EQ(get_elem(2, "A"), -1);   // empty object
    EXPECT_EQ(get_elem(99, "A"), -1);  // no such object
}

TEST(ElementChain, StringsAreNulTerminatedAndSurviveGrowth) {
    tb::begin(2);
    int e = append_elem_str(1, 0, "S", STR_LITERAL, "abc", 3);
    EXPECT_EQ(elem_bytes(elem_at(e))[3], 0);
    // Copying a string of the storage onto itself stays correct when the storage moves.
    for (int i = 0; i < 3; ++i) {
        const st_elem& el = elem_at(e);
        std::string big(3 * 1024 * 1024, 'x');
        append_elem_str(1, 0, "Big", STR_LITERAL, big.data(), static_cast<int>(big.size()));
        set_elem_str(e, STR_LITERAL, elem_bytes(el), el.data.str.len);
    }
    EXPECT_EQ(str_of(e), "abc");
}

TEST(Lookup, ParentFallbackAndReferences) {
    tb::begin(6);
    tb::name(1, "Type", "Catalog");
    tb::ref(1, "Pages", 2);
    tb::array(2, "Kids", "3 0 R");
    tb::ref(3, "Length", 4);
    tb::integer(4, LABEL_IMMEDIATE, 77);  // object 4 holds only an integer
    tb::direct_array(5, "2 0 R");         // object 5 points at object 2
    tb::ref(3, "Indirect", 5);

    int kids = get_elem_force(1, "Pages", "Kids");
    ASSERT_GT(kids, 0);
    EXPECT_EQ(std::string(elem_bytes(elem_at(kids))),
              "\x01"
              "3 0 R");
    int len = 0;
    EXPECT_NE(get_elem_string(1, "Pages", "Kids", &len), nullptr);
    EXPECT_EQ(len, 6);
    EXPECT_EQ(get_elem_int(3, nullptr, "Length"), 77);
    EXPECT_EQ(get_xref_absolute(1, "Type"), 1);      // not a reference: the object itself
    EXPECT_EQ(get_xref_absolute(3, "Indirect"), 2);  // through object 5's array
    EXPECT_EQ(get_elem_objref(1, nullptr, "Pages"), 2);
    EXPECT_EQ(get_elem_objref(1, nullptr, "Nothing"), -1);
    EXPECT_EQ(get_elem_name(1, nullptr, "Type"), std::string("Catalog"));
}

TEST(Lookup, ReferenceCyclesEnd) {
    tb::begin(4);
    tb::direct_array(1, "2 0 R");
    tb::direct_array(2, "1 0 R");
    tb::ref(3, "Loop", 1);
    tb::ref(3, "Self", 3);
    EXPECT_GT(get_elem_absolute(3, "Loop"), 0);
    EXPECT_GE(get_xref_absolute(3, "Loop"), 1);
    EXPECT_EQ(get_elem_string(3, nullptr, "Self", nullptr), nullptr);
    EXPECT_EQ(get_elem_int(3, nullptr, "Self"), -1);
}

TEST(Trailer, LookupsByLabel) {
    tb::begin(3);
    tb::literal(2, "Info", "through");
    tb::trailer_ref("Root", 1);
    tb::trailer_ref("Info", 2);
    EXPECT_EQ(get_trailer(LABEL_ENTRYHEADER), 0);
    EXPECT_EQ(get_trailer_objref("Root"), 1);
    EXPECT_EQ(get_trailer_objref("Missing"), -1);
    int len = 0;
    // A reference: the same label looked up in the referenced object.
    ASSERT_NE(get_trailer_string("Info", &len), nullptr);
    EXPECT_EQ(std::string(get_trailer_string("Info", &len), len), "through");
    EXPECT_EQ(get_trailer_string("Nothing", &len), nullptr);
}

TEST(CompilerVariant, PrefixLabelsAndDecodedNames) {
    storages_reset(StoreVariant::compiler);
    new_xref_strage();
    new_xref_strage();
    new_elem_strage();
    append_elem_name(1, 0, "Font#20Name", "A#2DB");
    append_elem_int(1, 0, "Widths", 5);
    int e = get_elem(1, "Font Name");
    ASSERT_GT(e, 0);
    EXPECT_STREQ(elem_at(e).data.name, "A-B");
    EXPECT_GT(get_elem(1, "Wid*"), 0);
    EXPECT_EQ(get_elem(1, "Xyz*"), -1);
    storages_reset(StoreVariant::generator);
    new_xref_strage();
    new_xref_strage();
    new_elem_strage();
    append_elem_int(1, 0, "Widths", 5);
    EXPECT_EQ(get_elem(1, "Wid*"), -1);  // only the compiler matches by prefix
}

TEST(NameCodec, EncodesWhatIsNotALetterOrDigit) {
    EXPECT_STREQ(dec_label("Helv_1"), "Helv_1");
    EXPECT_STREQ(dec_label("A B"), "A#20B");
    EXPECT_STREQ(dec_label("Helvetica-Bold"), "Helvetica#2DBold");
    EXPECT_STREQ(dec_label("\xe3\x81\x82"), "#E3#81#82");
    EXPECT_EQ(formatChar2Byte('0'), 0);
    EXPECT_EQ(formatChar2Byte('9'), 9);
    EXPECT_EQ(formatChar2Byte('a'), 10);
    EXPECT_EQ(formatChar2Byte('F'), 15);
    EXPECT_EQ(formatChar2Byte('g'), 0);
    EXPECT_EQ(formatByte2Char(11), 'B');
}
