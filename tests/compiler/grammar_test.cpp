#include <gtest/gtest.h>

#include <string>

#include "compile_helpers.h"
#include "compiler/compiler_state.h"

namespace {

TEST(Grammar, AnnotationDictionaryRecordsInInputOrder) {
    ASSERT_EQ(
        compile_text(pdf_with("5 0 obj <</Type/Annot/Rect[10 20 110 40]/P 3 0 R/MK<</BG[1]>>>> "
                              "endobj\n")),
        CompileStatus::ok);
    EXPECT_EQ(chain_of(5), "Type:N Rect:S P:R MK:{ BG:S MK:}");
    int rect = get_elem(5, "Rect");
    EXPECT_EQ(g_st.p_elem_strage[rect].data.str.type, STR_ARRAY);
    EXPECT_EQ(str_of(rect), " 10 20 110 40");
    EXPECT_EQ(g_st.p_elem_strage[get_elem(5, "P")].data.obj_no, 3);
    EXPECT_STREQ(get_elem_name(5, nullptr, "Type"), "Annot");
}

TEST(Grammar, DirectValues) {
    ASSERT_EQ(compile_text(pdf_with("12 0 obj 345 endobj\n13 0 obj -1 endobj\n"
                                    "7 0 obj [1 2 3] endobj\n8 0 obj /Nm endobj\n"
                                    "9 0 obj (txt) endobj\n10 0 obj 4 0 R endobj\n11 0 obj endobj\n"
                                    "14 0 obj << >> endobj\n")),
              CompileStatus::ok);
    EXPECT_EQ(chain_of(12), "_i_m_m_e_d_i_a_t_e_:I");
    EXPECT_EQ(g_st.p_elem_strage[get_elem(12, LABEL_IMMEDIATE)].data.int_data, 345);
    // -1 is an integer like any other.
    EXPECT_EQ(g_st.p_elem_strage[get_elem(13, LABEL_IMMEDIATE)].data.int_data, -1);
    EXPECT_EQ(str_of(get_elem(7, LABEL_IMMEDIATE)), " 1 2 3");
    EXPECT_STREQ(get_elem_name(8, nullptr, LABEL_IMMEDIATE), "Nm");
    EXPECT_EQ(str_of(get_elem(9, LABEL_IMMEDIATE)), "txt");
    EXPECT_EQ(chain_of(10), "_i_m_m_e_d_i_a_t_e_:R");
    EXPECT_EQ(chain_of(11), "");
    // An empty dictionary is kept (as one switched-off entry) so that it is written.
    EXPECT_EQ(chain_of(14), "?");
    EXPECT_EQ(g_st.num_xref_strage, 15);
}

TEST(Grammar, StringKindsAndReservations) {
    ASSERT_EQ(compile_text(pdf_with("1 0 obj <</L (a\\)b)/H <414243>/A [(x)12 0 R]/B true/F 1.5"
                                    "/X -.5>> endobj\n")),
              CompileStatus::ok);
    EXPECT_EQ(g_st.p_elem_strage[get_elem(1, "L")].data.str.type, STR_LITERAL);
    EXPECT_EQ(str_of(get_elem(1, "L")), "a\\)b");
    EXPECT_EQ(g_st.p_elem_strage[get_elem(1, "H")].data.str.type, STR_HEX);
    EXPECT_EQ(str_of(get_elem(1, "H")), "414243");
    // A space goes after a ")" that a digit follows, so the reference can be marked.
    EXPECT_EQ(str_of(get_elem(1, "A")).substr(0, 4), "(x)\x01");
    EXPECT_EQ(g_st.p_elem_strage[get_elem(1, "B")].data.str.type, STR_BARE);
    EXPECT_EQ(str_of(get_elem(1, "F")), "1.5");
    EXPECT_EQ(str_of(get_elem(1, "X")), "-.5");
}

TEST(Grammar, NamesAreDecoded) {
    ASSERT_EQ(compile_text(pdf_with("1 0 obj <</A#20B /C#2fD /E /\n>> endobj\n")),
              CompileStatus::ok);
    EXPECT_STREQ(get_elem_name(1, nullptr, "A B"), "C/D");
    EXPECT_STREQ(get_elem_name(1, nullptr, "E"), "");
    // A key without a value before the end (a name with a slash split in two) is dropped.
    ASSERT_EQ(compile_text(pdf_with("1 0 obj <</Size 22 /Subtype /text/plain>> endobj\n")),
              CompileStatus::ok);
    EXPECT_STREQ(get_elem_name(1, nullptr, "Subtype"), "text");
    EXPECT_EQ(get_elem_int(1, nullptr, "Size"), 22);
}

TEST(Grammar, StreamData) {
    ASSERT_EQ(compile_text(pdf_with("1 0 obj <</Length 4>>\r\nstream\r\nAB\r\nendstream\nendobj\n"
                                    "2 0 obj <<>>\nstream\nXY\rendstream\nendobj\n"
                                    "3 0 obj <</Length 4 0 R>>\nstream\nCD\nendstream\nendobj\n"
                                    "4 0 obj 2 endobj\n")),
              CompileStatus::ok);
    int s = get_elem(1, "stream");
    ASSERT_GT(s, 0);
    EXPECT_EQ(g_st.p_elem_strage[s].data.str.type, STR_STREAM);
    EXPECT_EQ(str_of(s), "AB\r\n");
    // The byte after the data is kept with it.
    EXPECT_EQ(elem_bytes(g_st.p_elem_strage[s])[4], 'e');
    int s2 = get_elem(2, "stream");
    EXPECT_EQ(str_of(s2), "XY");
    EXPECT_EQ(elem_bytes(g_st.p_elem_strage[s2])[2], '\r');
    // A line end that /Length (here through a reference) leaves out is syntax, not data: the
    // writer puts its own before "endstream".
    EXPECT_EQ(str_of(get_elem(3, "stream")), "CD");

    // /Length decides where data that holds the word "endstream" ends; a stream without
    // "endstream" ends at its object's end, and the next object is read.
    ASSERT_EQ(
        compile_text(pdf_with("5 0 obj <</Length 13>>\nstream\nA endstream B\nendstream\n"
                              "endobj\n6 0 obj <</Length 99>>\nstream\nno end\nendobj\n"
                              "7 0 obj 7 endobj\n8 0 obj <<>>\nstream\nZ\nendstream\nendobj\n")),
        CompileStatus::ok);
    EXPECT_EQ(str_of(get_elem(5, "stream")), "A endstream B");
    EXPECT_EQ(str_of(get_elem(6, "stream")), "no end\n");
    EXPECT_EQ(chain_of(7), "_i_m_m_e_d_i_a_t_e_:I");
    // The output's /Length is the stored data's: a wrong or missing one is set (the note
    // counts them), and the CR of data that ends in CR right before "endstream" still
    // counts, as the writer's line end gives it back.
    EXPECT_EQ(get_elem_int(6, nullptr, "Length"), 7);
    EXPECT_EQ(get_elem_int(8, nullptr, "Length"), 1);
    EXPECT_EQ(g_cc.repairs.back(), "stream lengths set to the data's (2 streams)");
    ASSERT_EQ(
        compile_text(pdf_with("1 0 obj <</Length 3>>\nstream\nAB\rendstream\nendobj\n"
                              "2 0 obj <</Length 2>>\nstream\nEF\r\n\r\nendstream\nendobj\n")),
        CompileStatus::ok);
    EXPECT_EQ(str_of(get_elem(1, "stream")), "AB");
    EXPECT_EQ(get_elem_int(1, nullptr, "Length"), 3);
    EXPECT_EQ(str_of(get_elem(2, "stream")), "EF");
    EXPECT_TRUE(g_cc.repairs.empty());
}

TEST(Grammar, TrailerRecords) {
    ASSERT_EQ(compile_text("%PDF-1.4\n1 0 obj <</Type/Catalog>> endobj\n"
                           "trailer <</Size 9/Root 1 0 R/ID[<aa><bb>]/Info<</N 1>>/Nm /X>>\n"
                           "startxref\n0\n%%EOF\n"
                           "trailer <</Size 12>>\nstartxref\n0\n%%EOF\n"),
              CompileStatus::ok);
    EXPECT_STREQ(g_st.p_trailer_strage[0].label, "entryheader");
    EXPECT_EQ(trailer_str(0), "%PDF-1.4\r\r");
    int size = get_trailer("Size");
    EXPECT_EQ(g_st.p_trailer_strage[size].data.int_data, 12);
    EXPECT_EQ(get_trailer_objref("Root"), 1);
    int id = get_trailer("ID");
    EXPECT_EQ(g_st.p_trailer_strage[id].data.str.type, STR_ARRAY);
    EXPECT_EQ(trailer_str(id), "<aa><bb>");
    // Size appears once; names and dictionaries hang on entry 0.
    EXPECT_EQ(g_st.num_trailer_strage, 4);
    EXPECT_EQ(chain_of(0), "Info:{ N:I Info:} Nm:N");
    EXPECT_EQ(get_trailer("N"), -1);
}

TEST(Grammar, HeaderKeepsItsComment) {
    ASSERT_EQ(compile_text(pdf_with("1 0 obj 1 endobj\n")), CompileStatus::ok);
    EXPECT_EQ(trailer_str(0), "%PDF-1.4\r%\xe2\xe3\xcf\xd3\r");
}

TEST(Grammar, RedefinedObjectIsAFaultOnlyWithinOneSection) {
    // An incremental update replaces the object: an ordinary file, no error.
    ASSERT_EQ(compile_text("%PDF-1.4\n3 0 obj <</A 1>> endobj\ntrailer <<>>\nstartxref\n0\n%%EOF\n"
                           "3 0 obj <</B 2>> endobj\ntrailer <</Prev 9>>\nstartxref\n0\n%%EOF\n"),
              CompileStatus::ok);
    EXPECT_EQ(chain_of(3), "B:I");
    EXPECT_FALSE(g_cc.f_dup_xref);
    // Two definitions in one section: which one is meant is unknown.
    ASSERT_EQ(compile_text(pdf_with("3 0 obj <</A 1>> endobj\n3 0 obj <</B 2>> endobj\n")),
              CompileStatus::ok);
    EXPECT_EQ(chain_of(3), "B:I");
    EXPECT_TRUE(g_cc.f_dup_xref);
}

TEST(Grammar, TrailerWithoutStartxrefBeforeTheNextSection) {
    ASSERT_EQ(
        compile_text("%PDF-1.4\n1 0 obj <</A 1>> endobj\nxref\n0 1\n0000000000 65535 f\r\n"
                     "trailer\n<</Size 2/Root 1 0 R>>\nxref\n0 0\ntrailer\n<</Size 3/XRefStm 9"
                     "/Prev 7>>\nstartxref\n0\n%%EOF\n"),
        CompileStatus::ok);
    EXPECT_EQ(get_trailer_objref("Root"), 1);
    EXPECT_EQ(g_st.p_trailer_strage[get_trailer("Size")].data.int_data, 3);
    // The source's cross-reference keys are not the template's.
    EXPECT_EQ(get_trailer("XRefStm"), -1);
}

TEST(Grammar, NestedArraysKeepEveryItem) {
    // Arrays at any depth, in dictionaries, in array objects, in the trailer: one array
    // text each, with every item.
    ASSERT_EQ(compile_text(pdf_with(
                  "1 0 obj <</Border [0 0 3 [3 2]]/Opt [[(a)(b)] [(c)(d)]]/W [1 [500\n600] 3 "
                  "[[1]]]/Annots [<</Rect [1 2 3 4]/P 5 0 R>> 6 0 R]/Z 1>> endobj\n"
                  "2 0 obj [/Indexed [/DeviceRGB] 1 <00ff>] endobj\n",
                  "<</Size 3/Root 1 0 R/Extra [0 [1]]>>")),
              CompileStatus::ok);
    EXPECT_EQ(chain_of(1), "Border:S Opt:S W:S Annots:S Z:I");
    auto text = [](int obj, const char* key) {
        std::string s = str_of(get_elem(obj, key));
        for (char& c : s)
            if (c == REF_MARKER) c = '@';
        return s;
    };
    EXPECT_EQ(text(1, "Border"), " 0 0 3 [3 2]");
    EXPECT_EQ(text(1, "Opt"), "[(a)(b)] [(c)(d)]");
    EXPECT_EQ(text(1, "W"), " 1 [500\n600] 3 [[1]]");
    EXPECT_EQ(text(1, "Annots"), "<</Rect [1 2 3 4]/P@5 0 R>>@6 0 R");
    EXPECT_EQ(text(2, LABEL_IMMEDIATE), "/Indexed [/DeviceRGB] 1 <00ff>");
    EXPECT_EQ(trailer_str(get_trailer("Extra")), " 0 [1]");
}

TEST(Grammar, StringsInArraysAreKeptByteForByte) {
    ASSERT_EQ(compile_text(pdf_with("1 0 obj <</A [(a]b) (x obj [a [b] c]) (p(q)1) <5b5d>]"
                                    "/U(/W [1 2])/V [(\x01) (s 1 0 R)2 0 R]>> endobj\n")),
              CompileStatus::ok);
    EXPECT_EQ(str_of(get_elem(1, "A")), "(a]b) (x obj [a [b] c]) (p(q)1) <5b5d>");
    EXPECT_EQ(str_of(get_elem(1, "U")), "/W [1 2]");
    // A raw marker byte inside a string is written as its escape; a reference inside a
    // string is not one, the one after it is.
    EXPECT_EQ(str_of(get_elem(1, "V")),
              "(\\001) (s 1 0 R)\x01"
              "2 0 R");
}

TEST(Grammar, UnclosedArrayStopsTheParse) {
    parse_error_output(pdf_with("1 0 obj <</A 1>> endobj\n2 0 obj <</A [1 [2 3]>> endobj\n"));
    EXPECT_EQ(chain_of(1), "A:I");
    ASSERT_EQ(g_cc.parse_errors.size(), 1u);
}

TEST(Grammar, ObjectCutShortByAnErrorIsClosed) {
    parse_error_output("%PDF-1.4\n1 0 obj <</A <</B [1 [2 endobj\n%%EOF\n");
    EXPECT_EQ(chain_of(1), "A:{ B:[ B:] A:}");
}

TEST(Grammar, ABareWordWhereAKeyBelongsIsPassedBy) {
    // A font name holding a space leaves its second half where the next key belongs.
    ASSERT_EQ(
        compile_text(pdf_with("1 0 obj <</FontName /Arial,Unicode MS /ItalicAngle 0>> endobj\n")),
        CompileStatus::ok);
    EXPECT_EQ(chain_of(1), "FontName:N ItalicAngle:I");
}

TEST(Grammar, HeaderFollowedByXrefFails) {
    std::string out = parse_error_output(
        "%PDF-1.4\nxref\n0 1\n0000000000 65535 f \ntrailer <<>>\nstartxref\n0\n%%EOF\n");
    EXPECT_NE(out.find("unexpected XREF, expecting INT"), std::string::npos) << out;
}

TEST(Grammar, ReferenceNeedsTwoIntegersInAnArray) {
    std::string out = parse_error_output(pdf_with("1 0 obj <</A [0 R [1 endobj\n"));
    EXPECT_NE(out.find("unexpected OBJREF"), std::string::npos) << out;
}

TEST(Grammar, JunkBetweenObjectsIsPassedByOrReported) {
    // A stray line before the next object is passed by, as viewers pass it.
    ASSERT_EQ(compile_text(pdf_with("1 0 obj 1 endobj\ngarbage here\n2 0 obj 2 endobj\n")),
              CompileStatus::ok);
    EXPECT_EQ(chain_of(2), "_i_m_m_e_d_i_a_t_e_:I");
    // Text that holds stream data is no stray line: the parse stops there and says so.
    std::string out = parse_error_output(
        pdf_with("1 0 obj 1 endobj\ngarbage stream\nx\nendstream\n2 0 obj 2 endobj\n"));
    EXPECT_NE(out.find("unexpected text between objects"), std::string::npos) << out;
    EXPECT_EQ(chain_of(1), "_i_m_m_e_d_i_a_t_e_:I");
}

TEST(Grammar, CommentsBetweenObjectsAreSkipped) {
    ASSERT_EQ(compile_text(pdf_with("%% Original object ID: 1 0\n1 0 obj 1 endobj\n% x 2\n"
                                    "2 0 obj 2 endobj\n")),
              CompileStatus::ok);
    EXPECT_EQ(chain_of(2), "_i_m_m_e_d_i_a_t_e_:I");
    // Header comment lines are kept whole in the header, numbers and all.
    EXPECT_EQ(trailer_str(0), "%PDF-1.4\r%\xe2\xe3\xcf\xd3%% Original object ID: 1 0\r");
}

TEST(Grammar, DeepNestingExhaustsTheStack) {
    std::string deep = "1 0 obj ";
    for (int i = 0; i < 400000; ++i) deep += "<</A";
    std::string out = parse_error_output(pdf_with(deep));
    EXPECT_NE(out.find("memory exhausted"), std::string::npos) << out.substr(0, 200);
}

}  // namespace

TEST(Grammar, KeysLongerThanALabelAreKeptWhole) {
    // Content streams use such names as they are: cut, they would name nothing.
    const std::string key = "Im_0123456789abcdef0123456789abcdef";
    ASSERT_EQ(compile_text(pdf_with("1 0 obj <</XObject <</" + key + " 5 0 R /Dict_" + key +
                                    " <</A 1>> /Short 6 0 R>> >> endobj\n")),
              CompileStatus::ok);
    EXPECT_EQ(chain_of(1),
              "XObject:{ _i_m_m_e_d_i_a_t_e_:S _i_m_m_e_d_i_a_t_e_:R _i_m_m_e_d_i_a_t_e_:S "
              "array-dictitem:{ A:I Dict_Im_0123456789abcdef0123456:} Short:R XObject:}");
    int bare = g_st.p_xref_strage[1].first_elem;
    bare = g_st.p_elem_strage[bare].next_elem;
    EXPECT_EQ(str_of(bare), "/" + key);
}
