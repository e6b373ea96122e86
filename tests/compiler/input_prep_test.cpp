#include "compiler/input_prep.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "store/inflate.h"

namespace {

std::string deflate_text(const std::string& s) {
    uLongf n = compressBound(s.size());
    std::string out(n, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(s.data()),
             s.size());
    out.resize(n);
    return out;
}

std::string object_stream(const std::string& dict_extra, const std::string& header,
                          const std::string& objects, const std::string& eol = "\r\n") {
    std::string data = deflate_text(header + objects);
    return "5 0 obj\r\n<</Type/ObjStm/N 2/First " + std::to_string(header.size()) +
           "/Filter/FlateDecode/Length " + std::to_string(data.size()) + dict_extra +
           ">>\r\nstream" + eol + data + "\r\nendstream\r\nendobj\r\n";
}

TEST(InputPrep, TailAfterLastEofIsCut) {
    std::string t = "%PDF-1.4\n1 0 obj 1 endobj\n%%EOF\nsecond copy %%EOF junk";
    cut_tail(t);
    EXPECT_EQ(t, "%PDF-1.4\n1 0 obj 1 endobj\n%%EOF\nsecond copy %%EOF\r\n");
    std::string none = "%PDF-1.4 no marker";
    cut_tail(none);
    EXPECT_EQ(none, "%PDF-1.4 no marker\r\n%%EOF\r\n");
    // Lines before the header go when it starts within the first kilobyte.
    std::string junk = "X-Header: 1\r\n\r\n%PDF-1.4\n";
    drop_leading_junk(junk);
    EXPECT_EQ(junk, "%PDF-1.4\n");
    std::string far = std::string(2000, ' ') + "%PDF-1.4\n";
    EXPECT_FALSE(drop_leading_junk(far));
    EXPECT_EQ(far.size(), 2009u);
    // No header at all, but an object at a line start: read as PDF 1.4. Other text is not.
    std::string headless = "%\xe2\xe3\xcf\xd3\n1 0 obj 1 endobj\n";
    EXPECT_TRUE(drop_leading_junk(headless));
    EXPECT_EQ(headless, "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj 1 endobj\n");
    std::string text = "Dear sir, 1 0 obj is no PDF\n";
    EXPECT_FALSE(drop_leading_junk(text));
    EXPECT_EQ(text, "Dear sir, 1 0 obj is no PDF\n");
}

TEST(InputPrep, ARevisionWithoutItsMarkerIsEnded) {
    // An update appended to a file that lacked its %%EOF: the first revision's startxref
    // offset runs straight into the update's objects. Ended revisions and the file's end
    // are left alone.
    std::string t =
        "%PDF-1.4\n1 0 obj 1 endobj\nstartxref\n9\n2 0 obj 2 endobj\nstartxref\n40\n%%EOF\n"
        "startxref\n50";
    EXPECT_EQ(end_revisions(t), 1u);
    EXPECT_EQ(t,
              "%PDF-1.4\n1 0 obj 1 endobj\nstartxref\n9\r%%EOF\n2 0 obj 2 endobj\nstartxref\n40\n"
              "%%EOF\nstartxref\n50");
}

TEST(InputPrep, ObjectWithoutEndobjIsClosed) {
    std::string t =
        "%PDF-1.4\n1 0 obj\n<</A 1>>\n2 0 obj\n<</B 2>>\nendobj\n3 0 obj\n<</Length 9>>"
        "stream\n4 0 obj\nendstream\nendobj\n";
    EXPECT_EQ(close_unterminated_objects(t), 1u);
    // Closed before the next header only: a header in stream data is data.
    EXPECT_EQ(t,
              "%PDF-1.4\n1 0 obj\n<</A 1>>\nendobj\r2 0 obj\n<</B 2>>\nendobj\n3 0 obj\n"
              "<</Length 9>>stream\n4 0 obj\nendstream\nendobj\n");
    // The cross-reference section after the last object ends it as well.
    std::string last = "1 0 obj\n<</A 1>>\nxref\n0 1\ntrailer\n<<>>\nstartxref\n9\n";
    EXPECT_EQ(close_unterminated_objects(last), 1u);
    EXPECT_EQ(last.substr(0, 28), "1 0 obj\n<</A 1>>\nendobj\rxref");
}

TEST(InputPrep, StrayTextBetweenObjectsIsBlanked) {
    // LibreOffice's tagged PDF puts marked-content operators between objects.
    const std::string head = "%PDF-1.6\n1 0 obj\n<</A 1>>\nendobj\n\n";
    const std::string stray = "/Document<</MCID 29>>BDC\n";
    std::string t = head + stray + "2 0 obj\n(x)\nendobj\nxref\n";
    blank_stray_text(t);
    EXPECT_EQ(t, head + std::string(stray.size(), ' ') + "2 0 obj\n(x)\nendobj\nxref\n");
    // Stream data, and text that holds an object's end, are not touched.
    const std::string kept[] = {
        "1 0 obj\n<</Length 20>>stream\nendobj junk\n2 0 obj\nendstream\nendobj\n",
        "1 0 obj\n(endobj junk) 3\nendobj\n2 0 obj 1 endobj\n",
    };
    for (const std::string& k : kept) {
        std::string c = k;
        blank_stray_text(c);
        EXPECT_EQ(c, k);
    }
}

TEST(InputPrep, ObjectStreamExpandsIntoPlainObjects) {
    std::string obj10 = "<</A 1>>                 ";  // 25 bytes
    ASSERT_EQ(obj10.size(), 25u);
    std::string text = object_stream("", "10 0 11 25 ", obj10 + "[1 2]");
    std::string exp;
    EXPECT_EQ(expand_object_streams(text, exp), 2);
    EXPECT_EQ(exp, "10 0 obj\r" + obj10 + "\rendobj\r11 0 obj\r[1 2]\rendobj\r");
    std::string closed = "x";
    close_text(closed, exp);
    EXPECT_EQ(closed.substr(closed.size() - 21), "startxref\r\n1\r\n%%EOF\r\n");
}

TEST(InputPrep, ObjectStreamAfterSingleLineFeedAndHeaderWithLineEnds) {
    // /First is honoured, so a header separated by line ends works too.
    std::string text = object_stream("", "10 0\n11 3\n", "123(x)", "\n");
    std::string exp;
    EXPECT_EQ(expand_object_streams(text, exp), 2);
    EXPECT_EQ(exp, "10 0 obj\r123\rendobj\r11 0 obj\r(x)\rendobj\r");
}

TEST(InputPrep, CorruptObjectStreamIsSkipped) {
    std::string text = object_stream("", "10 0 11 3 ", "123(x)");
    size_t data = text.find("stream\r\n") + 8;
    for (size_t i = data + 2; i < data + 12 && i < text.size(); ++i) text[i] = '\x55';
    std::string exp;
    EXPECT_EQ(expand_object_streams(text, exp), 0);
    EXPECT_EQ(exp, "");
    // Truncated data: no end of the compressed stream.
    std::string cut = object_stream("", "10 0 11 3 ", "123(x)");
    cut.erase(cut.find("stream\r\n") + 12, 6);
    exp.clear();
    EXPECT_EQ(expand_object_streams(cut, exp), 0);
}

TEST(InputPrep, InflateReportsCorruptData) {
    std::string out;
    std::string z = deflate_text(std::string(200000, 'a'));
    EXPECT_TRUE(inflate_data(z.data(), z.size(), out));
    EXPECT_EQ(out.size(), 200000u);
    EXPECT_FALSE(inflate_data("garbage", 7, out));
    EXPECT_FALSE(inflate_data(z.data(), z.size() / 2, out));
}

TEST(InputPrep, ObjectStreamSearchLeavesStreamDataAlone) {
    std::string data = "/W [1 2] 1 0 obj [[x]] ObjStm";
    std::string t = "1 0 obj <</Length 30>>\nstream\n" + data + "\nendstream\nendobj\n";
    std::string before = t;
    std::string exp;
    EXPECT_EQ(expand_object_streams(t, exp), 0);
    EXPECT_EQ(t, before);
}

TEST(InputPrep, WholePreparation) {
    std::string pdf =
        "%PDF-1.5\n" + object_stream("", "10 0 11 3 ", "123[4]") + "startxref\n9\n%%EOF\ntrash";
    std::string text;
    prepare_input(pdf.data(), pdf.size(), text);
    EXPECT_NE(text.find("%%EOF\r\n10 0 obj\r123\rendobj\r11 0 obj\r[4]\rendobj\rstartxref\r\n1"),
              std::string::npos);
    EXPECT_EQ(text.find("trash"), std::string::npos);
}

}  // namespace

#include "compile_helpers.h"
#include "compiler/compiler_state.h"

namespace {

TEST(InputPrep, LaterUpdateWinsOverAnEarlierObjectStream) {
    // Objects 10 and 11 come in an object stream; an update then redefines 10 in plain text.
    std::string pdf = "%PDF-1.5\n" + object_stream("", "10 0 11 8 ", "<</A 1>><</B 2>>") +
                      "startxref\n0\n%%EOF\n10 0 obj <</A 3>> endobj\n"
                      "trailer <</Prev 9>>\nstartxref\n0\n%%EOF\n";
    ASSERT_EQ(compile_text(pdf), CompileStatus::ok);
    EXPECT_EQ(chain_of(10), "A:I");
    EXPECT_EQ(g_st.p_elem_strage[get_elem(10, "A")].data.int_data, 3);
    EXPECT_EQ(chain_of(11), "B:I");
    // An ordinary incremental update: not an error.
    EXPECT_FALSE(g_cc.f_dup_xref);
}

TEST(InputPrep, ObjectStreamsOfAFileThatMayBeEncryptedAreExpandedAfterParsing) {
    // "/Encrypt" in a string: the text is not expanded, the parsed object stream is, with
    // the same precedence of updates.
    std::string pdf = "%PDF-1.5\n1 0 obj <</Note (no /Encrypt here)>> endobj\n" +
                      object_stream("", "10 0 11 8 ", "<</A 1>><</B 2>>") +
                      "startxref\n0\n%%EOF\n10 0 obj <</A 3>> endobj\n"
                      "trailer <</Prev 9>>\nstartxref\n0\n%%EOF\n";
    ASSERT_EQ(compile_text(pdf), CompileStatus::ok);
    EXPECT_TRUE(g_cc.expansion.deferred);
    EXPECT_EQ(g_st.p_elem_strage[get_elem(10, "A")].data.int_data, 3);
    EXPECT_EQ(chain_of(11), "B:I");
    EXPECT_FALSE(g_cc.f_dup_xref);
    EXPECT_STREQ(elem_bytes(g_st.p_trailer_strage[0]), "%PDF-1.5\r\r");
}

TEST(InputPrep, ObjectStreamOfALaterUpdateWinsOverThePlainObject) {
    std::string pdf = "%PDF-1.5\n10 0 obj <</A 3>> endobj\ntrailer <<>>\nstartxref\n0\n%%EOF\n" +
                      object_stream("", "10 0 11 8 ", "<</A 1>><</B 2>>") + "startxref\n0\n%%EOF\n";
    ASSERT_EQ(compile_text(pdf), CompileStatus::ok);
    EXPECT_EQ(g_st.p_elem_strage[get_elem(10, "A")].data.int_data, 1);
}

}  // namespace

namespace {

TEST(InputPrep, TheNewestCrossReferenceNamesTheLiveDefinition) {
    // Object 3 is redefined by an update; the next update's table points it back at its
    // first definition, as files edited in place do. Viewers show the first one.
    std::string pdf = "%PDF-1.4\n";
    const size_t first = pdf.size();
    pdf += "3 0 obj <</A 1>> endobj\n";
    const size_t table1 = pdf.size();
    auto entry = [](size_t off) {
        std::string s = std::to_string(off);
        return std::string(10 - s.size(), '0') + s + " 00000 n \n";
    };
    pdf += "xref\n0 1\n0000000000 65535 f \n3 1\n" + entry(first) +
           "trailer <</Size 4>>\nstartxref\n" + std::to_string(table1) + "\n%%EOF\n";
    const size_t redef = pdf.size();
    pdf += "3 0 obj <</B 2>> endobj\n";
    const size_t table2 = pdf.size();
    pdf += "xref\n3 1\n" + entry(redef) + "trailer <</Size 4/Prev " + std::to_string(table1) +
           ">>\nstartxref\n" + std::to_string(table2) + "\n%%EOF\n";
    const size_t table3 = pdf.size();
    pdf += "xref\n3 1\n" + entry(first) + "trailer <</Size 4/Prev " + std::to_string(table2) +
           ">>\nstartxref\n" + std::to_string(table3) + "\n%%EOF\n";
    ASSERT_EQ(compile_text(pdf), CompileStatus::ok);
    EXPECT_EQ(chain_of(3), "A:I");
    EXPECT_FALSE(g_cc.f_dup_xref);
    // Without that last update the redefinition is live, as before.
    pdf.erase(table3);
    ASSERT_EQ(compile_text(pdf), CompileStatus::ok);
    EXPECT_EQ(chain_of(3), "B:I");
}

}  // namespace
