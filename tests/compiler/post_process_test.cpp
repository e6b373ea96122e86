#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "compile_helpers.h"
#include "compiler/compiler_state.h"

namespace {

std::string shown(std::string s) {
    for (char& c : s)
        if (c == REF_MARKER) c = '@';
    return s;
}

TEST(PostProcess, ReferencesInArrayTextsAreMarked) {
    ASSERT_EQ(compile_text(pdf_with("1 0 obj <</A [5 0 R 6 0 R]/B [10 20 30 40]/C [1  0 R]"
                                    "/D [<41>1 0 R]/E [(a)12 0 R]/F [1 0 R\n2 0 R]>> endobj\n")),
              CompileStatus::ok);
    auto e = [](const char* k) { return g_st.p_elem_strage[get_elem(1, k)]; };
    EXPECT_EQ(shown(str_of(get_elem(1, "A"))), "@5 0 R@6 0 R");
    EXPECT_EQ(e("A").data.str.f_renum, 1);
    EXPECT_EQ(shown(str_of(get_elem(1, "B"))), " 10 20 30 40");
    EXPECT_EQ(e("B").data.str.f_renum, 0);
    // Any whitespace between the parts, and a reference right after a string or a nested
    // array, is still a reference.
    EXPECT_EQ(shown(str_of(get_elem(1, "C"))), "@1  0 R");
    EXPECT_EQ(shown(str_of(get_elem(1, "D"))), "<41>@1 0 R");
    EXPECT_EQ(shown(str_of(get_elem(1, "E"))), "(a)@12 0 R");
    EXPECT_EQ(shown(str_of(get_elem(1, "F"))), "@1 0 R@2 0 R");
}

TEST(PostProcess, ArrayObjectsAndWArraysAreWhole) {
    ASSERT_EQ(compile_text(pdf_with("7 0 obj [1 [2 3] 4 0 R [5 0 R]] endobj\n"
                                    "8 0 obj <</Type/Font/W [1 [2] 1]>> endobj\n"
                                    "10 0 obj <</Type/XRef/W [1 2 1]>> endobj\n"
                                    "11 0 obj <</Type/ObjStm/N 0/First 0>> endobj\n"
                                    "9 0 obj <</W (not [an array)>> endobj\n")),
              CompileStatus::ok);
    int a = get_elem(7, LABEL_IMMEDIATE);
    EXPECT_EQ(shown(str_of(a)), " 1 [2 3]@4 0 R [@5 0 R]");
    // A literal string under the key W stays a string.
    EXPECT_EQ(g_st.p_elem_strage[get_elem(9, "W")].data.str.type, STR_LITERAL);
    int w = get_elem(8, "W");
    EXPECT_EQ(g_st.p_elem_strage[w].data.str.type, STR_ARRAY);
    EXPECT_EQ(str_of(w), " 1 [2] 1");
    // Cross-reference and object streams are no objects of the output.
    EXPECT_EQ(g_st.p_xref_strage[10].first_elem, 0);
    EXPECT_EQ(g_st.p_xref_strage[11].first_elem, 0);
}

TEST(PostProcess, SharedObjectsAndPagesAreFlagged) {
    ASSERT_EQ(compile_text(pdf_with(
                  "1 0 obj <</Type/Catalog/Pages 2 0 R>> endobj\n"
                  "2 0 obj <</Type/Pages/Kids[3 0 R]/Count 1>> endobj\n"
                  "3 0 obj <</Type/Page/Parent 2 0 R/MediaBox[0 0 10 10]>> endobj\n"
                  "4 0 obj <</Type/XObject/Subtype/Image>> endobj\n"
                  "5 0 obj <</Type/XObject/Subtype/Form>> endobj\n"
                  "6 0 obj <</Type/Font>> endobj\n7 0 obj <</Type/XObject>> endobj\n"
                  "8 0 obj <</Type/FontDescriptor>> endobj\n9 0 obj <</Type/Annot>> endobj\n")),
              CompileStatus::ok);
    auto x = [](int i) { return g_st.p_xref_strage[i]; };
    EXPECT_EQ(x(1).f_common, 1);
    EXPECT_EQ(x(2).f_common, 0);
    EXPECT_EQ(x(3).f_page, 1);
    EXPECT_EQ(x(3).f_common, 0);
    EXPECT_EQ(x(4).f_common, 1);
    EXPECT_EQ(x(5).f_common, 0);
    EXPECT_EQ(x(6).f_common, 1);
    EXPECT_EQ(x(7).f_common, 1);
    EXPECT_EQ(x(8).f_common, 1);
    EXPECT_EQ(x(9).f_common, 0);
}

const char* const TREE =
    "1 0 obj <</Type/Catalog/Pages 2 0 R>> endobj\n"
    "2 0 obj <</Type/Pages/Kids[4 0 R 7 0 R]/Count 3/MediaBox[0 0 595 842]/Rotate 90>> endobj\n"
    "4 0 obj <</Type/Pages/Parent 2 0 R/Kids[5 0 R 6 0 R]/CropBox[1 1 500 800]/MediaBox "
    "[0 0 300 300]>> endobj\n"
    "5 0 obj <</Type/Page/Parent 4 0 R>> endobj\n"
    "6 0 obj <</Type/Page/Parent 4 0 R/MediaBox[0 0 1 1]>> endobj\n"
    "7 0 obj <</Type/Page/Parent 2 0 R>> endobj\n";

TEST(PostProcess, PageTreeIsFlattenedDepthFirst) {
    ASSERT_EQ(compile_text(pdf_with(TREE)), CompileStatus::ok);
    int kids = get_elem(2, "Kids");
    EXPECT_EQ(shown(str_of(kids)), " @5 0 R @6 0 R @7 0 R");
    EXPECT_EQ(g_st.p_elem_strage[kids].data.str.f_renum, 1);
    // The intermediate node stays, no longer referenced by the root.
    EXPECT_EQ(shown(str_of(get_elem(4, "Kids"))), "@5 0 R@6 0 R");
}

TEST(PostProcess, PagesInheritEachAttributeFromTheNearestAncestorHoldingIt) {
    ASSERT_EQ(compile_text(pdf_with(TREE)), CompileStatus::ok);
    // MediaBox and CropBox from node 4, Rotate from node 2.
    EXPECT_EQ(chain_of(5), "Type:N Parent:R MediaBox:S CropBox:S Rotate:I");
    EXPECT_EQ(str_of(get_elem(5, "MediaBox")), " 0 0 300 300");
    EXPECT_EQ(str_of(get_elem(5, "CropBox")), " 1 1 500 800");
    EXPECT_EQ(g_st.p_elem_strage[get_elem(5, "Rotate")].data.int_data, 90);
    // A page's own value wins.
    EXPECT_EQ(chain_of(6), "Type:N Parent:R MediaBox:S CropBox:S Rotate:I");
    EXPECT_EQ(str_of(get_elem(6, "MediaBox")), " 0 0 1 1");
    EXPECT_EQ(chain_of(7), "Type:N Parent:R MediaBox:S Rotate:I");
}

TEST(PostProcess, InheritedResourcesAreCopiedAndNoKeyIsWrittenTwice) {
    ASSERT_EQ(
        compile_text(pdf_with(
            "1 0 obj <</Type/Catalog/Pages 2 0 R>> endobj\n"
            "2 0 obj <</Type/Pages/Kids 8 0 R/Resources<</Font<</F1 9 0 R>>/ProcSet[/PDF]>>"
            "/MediaBox[0 0 200 200]/Rotate 90>> endobj\n"
            "8 0 obj [3 0 R 4 0 R] endobj\n"
            "3 0 obj <</Type/Page/Parent 2 0 R/Rotate 0/Contents 6 0 R>> endobj\n"
            "4 0 obj <</Type/Page/Parent 2 0 R/Resources 7 0 R/Group<</Rotate 5>>>> endobj\n")),
        CompileStatus::ok);
    // Kids given as a reference to an array object.
    EXPECT_EQ(shown(str_of(get_elem(2, "Kids"))), " @3 0 R @4 0 R");
    // A direct dictionary is copied whole; the page's own Rotate stays the only one.
    EXPECT_EQ(chain_of(3),
              "Type:N Parent:R Rotate:I Contents:R Resources:{ Font:{ F1:R Font:} ProcSet:S "
              "Resources:} MediaBox:S");
    EXPECT_EQ(g_st.p_elem_strage[get_elem(3, "Rotate")].data.int_data, 0);
    // A Rotate inside a nested dictionary is not the page's.
    EXPECT_EQ(chain_of(4),
              "Type:N Parent:R Resources:R Group:{ Rotate:I Group:} MediaBox:S "
              "Rotate:I");
}

TEST(PostProcess, PageTreesOfAnyDepth) {
    // 3000 levels of Pages nodes, each with one page beside the next node.
    std::string body = "1 0 obj <</Type/Catalog/Pages 10 0 R>> endobj\n";
    const int levels = 3000;
    for (int i = 0; i < levels; ++i) {
        int node = 10 + 2 * i, page = node + 1;
        body += std::to_string(node) + " 0 obj <</Type/Pages/Kids[" + std::to_string(page) +
                " 0 R" + (i + 1 < levels ? " " + std::to_string(node + 2) + " 0 R" : "") +
                "]>> endobj\n" + std::to_string(page) + " 0 obj <</Type/Page>> endobj\n";
    }
    ASSERT_EQ(compile_text(pdf_with(body)), CompileStatus::ok);
    std::string kids = shown(str_of(get_elem(10, "Kids")));
    EXPECT_EQ(std::count(kids.begin(), kids.end(), '@'), levels);
    EXPECT_EQ(kids.substr(kids.size() - 9), "@" + std::to_string(10 + 2 * levels - 1) + " 0 R");
    EXPECT_TRUE(g_cc.structure_errors.empty());
}

TEST(PostProcess, LoopsInThePageTreeEnd) {
    ASSERT_EQ(
        compile_text(pdf_with("1 0 obj <</Type/Catalog/Pages 2 0 R>> endobj\n"
                              "2 0 obj <</Type/Pages/Kids[3 0 R 2 0 R 4 0 R]>> endobj\n"
                              "3 0 obj <</Type/Pages/Kids[2 0 R 5 0 R]/Parent 3 0 R>> endobj\n"
                              "4 0 obj <</Type/Page/Parent 4 0 R>> endobj\n"
                              "5 0 obj <</Type/Page/Parent 3 0 R>> endobj\n")),
        CompileStatus::ok);
    EXPECT_EQ(shown(str_of(get_elem(2, "Kids"))), " @5 0 R @4 0 R");
    // Each cut is reported in the error log.
    ASSERT_EQ(g_cc.structure_errors.size(), 2u);
    EXPECT_EQ(g_cc.structure_errors[0], "Page tree loop cut at object 2.");
}

TEST(PostProcess, CrossReferenceStreamGivesTrailerKeys) {
    ASSERT_EQ(
        compile_text("%PDF-1.5\n1 0 obj <</Type/Catalog/Pages 2 0 R>> endobj\n"
                     "2 0 obj <</Type/Pages/Kids[]>> endobj\n"
                     "9 0 obj <</Type/XRef/Root 1 0 R/Size 10/ID [<aa><bb>]/Prev 0/W [1 2 1]>>"
                     "\nstream\nxx\nendstream\nendobj\nstartxref\n5\n%%EOF\n"),
        CompileStatus::ok);
    EXPECT_EQ(get_trailer_objref("Root"), 1);
    EXPECT_EQ(trailer_str(get_trailer("ID")), "<aa><bb>");
    EXPECT_EQ(g_st.p_trailer_strage[get_trailer("ID")].data.str.type, STR_ARRAY);
    EXPECT_EQ(g_st.p_trailer_strage[get_trailer("Size")].data.int_data, 10);
    EXPECT_EQ(get_trailer("Prev"), -1);
    EXPECT_EQ(get_trailer("Encrypt"), -1);
}

TEST(PostProcess, NoRootLeavesTheObjectsAlone) {
    ASSERT_EQ(compile_text(pdf_with("2 0 obj <</Type/Pages/Kids[3 0 R]>> endobj\n", "<<>>")),
              CompileStatus::ok);
    EXPECT_EQ(shown(str_of(get_elem(2, "Kids"))), "@3 0 R");
    // A catalog that no trailer names is taken, as viewers rebuilding the file take it.
    ASSERT_EQ(compile_text(pdf_with("1 0 obj <</Type/Catalog/Pages 2 0 R>> endobj\n"
                                    "2 0 obj <</Type/Pages/Kids[]/Count 0>> endobj\n",
                                    "<<>>")),
              CompileStatus::ok);
    EXPECT_EQ(get_trailer_objref("Root"), 1);
}

}  // namespace
