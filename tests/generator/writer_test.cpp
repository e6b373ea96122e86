// The writer's services and element output, run in-process on synthetic stores.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "generator/doc_state.h"
#include "generator/flate.h"
#include "generator/md5.h"
#include "generator/page_numbering.h"
#include "generator/pdf_writer.h"
#include "store/element_ops.h"
#include "tests/support/run_tools.h"
#include "tests/support/template_builder.h"
#include "tests/support/zlib_tools.h"

namespace {

std::string md5_hex(const std::string& s) {
    char hex[33];
    hash2hexstr(md5ComputeHash(s.data(), static_cast<int>(s.size())), hex);
    return hex;
}

// Captures what the writer puts out while `body` runs.
template <typename F>
std::string written(F body, bool qprint = false) {
    tt::TempDir d;
    std::string path = d.file("out");
    print_open(path.c_str());
    g_out.g_qprint = qprint;
    body();
    print_close();
    return tt::read_file(path);
}

}  // namespace

TEST(Md5, Rfc1321TestSuite) {
    const std::pair<const char*, const char*> suite[] = {
        {"", "D41D8CD98F00B204E9800998ECF8427E"},
        {"a", "0CC175B9C0F1B6A831C399E269772661"},
        {"abc", "900150983CD24FB0D6963F7D28E17F72"},
        {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
        {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "D174AB98D277D9F5A5611C2C9F419D9F"},
        {"1234567890123456789012345678901234567890123456789012345678901234567890"
         "1234567890",
         "57EDF4A22BE3C955AC49DA2E2107B67A"},
    };
    for (auto [text, digest] : suite) EXPECT_EQ(md5_hex(text), digest) << text;
    const unsigned char* d = md5ComputeHash("abc", 3);
    for (int i = 16; i < 33; ++i) EXPECT_EQ(d[i], 0);
}

TEST(Flate, CompressesToZlibStreams) {
    for (std::string in : {std::string(), std::string("hello hello hello"),
                           std::string(300000, 'q') + std::string(1000, 'z')}) {
        do_compress(in.data(), static_cast<int>(in.size()));
        ASSERT_NE(unzip_buf, nullptr);
        ASSERT_GT(unzip_buf_len, 2);
        EXPECT_EQ(unzip_buf[0], 0x78);  // zlib header
        EXPECT_EQ(tt::inflate(unzip_buf, static_cast<size_t>(unzip_buf_len)), in);
        std::free(unzip_buf);
        unzip_buf = nullptr;
    }
}

TEST(Writer, ElementForms) {
    tb::begin(4);
    tb::name(1, "Type", "Font");
    tb::name(1, "Base Font", "A B");
    tb::integer(1, "Size", -3);
    tb::ref(1, "Ref", 2);
    tb::literal(1, "Str", "a\\)b");
    append_elem_str(1, 0, "Hex", STR_HEX, "4142", 4);
    tb::array(1, "Box", "0 0 10 10");
    tb::bare(1, "Real", "1.5");
    append_elem_subdic_start(1, 0, "Sub");
    append_elem_subdic_end(1, 0, "");
    append_elem_array_start(1, 0, "Arr");
    append_elem_subdic_start(1, 0, LABEL_ARRAY_DICTITEM);
    append_elem_subdic_end(1, 0, "");
    append_elem_array_end(1, 0, "");
    int off = append_elem_int(1, 0, "Off", 9);
    elem_at(off).f_type = 0;  // switched off by a page operation
    tb::stream(2, "DATA");
    tb::direct_array(3, "1 2 3");
    g_doc.base_num = 10;
    std::string out = written([] { print_obj(); });
    g_doc.base_num = 0;
    EXPECT_EQ(out,
              "11 0 obj\r<< \r/Type /Font /Base#20Font /A#20B /Size -3 /Ref 2 0 R /Str (a\\)b) "
              "/Hex <4142> /Box [ 0 0 10 10] /Real 1.5 \r/Sub << >> /Arr [ << >> ] \r>> "
              "\rendobj\r"
              "12 0 obj\r<< \r/Length 4 >> \rstream\r\nDATA\r\nendstream\rendobj\r"
              "13 0 obj\r[ 1 2 3] \rendobj\r");
    EXPECT_EQ(xref_at(1).pos, 0);
    EXPECT_EQ(xref_at(2).pos, static_cast<int>(out.find("12 0 obj")));
}

TEST(Writer, QuotedPrintable) {
    std::string out = written([] { pdf_write("a=b\rc"); }, true);
    EXPECT_EQ(out, "a=3db=0dc");
    std::string plain(73, 'x');
    out = written([&] { pdf_write(plain.c_str()); }, true);
    EXPECT_EQ(out, plain + "=\r\n");
    // The byte count is of the decoded bytes.
    written(
        [] {
            pdf_write("\r\r\r");
            EXPECT_EQ(g_out.sum_pos, 3);
        },
        true);
}

TEST(Renumbering, ArrayTextsAndReferences) {
    tb::begin(8);
    tb::common(3);
    tb::array(1, "Kids", "2 0 R 3 0 R");
    tb::array(1, "Box", " 0 0 10 10");
    tb::array(1, "Blank", "   ");
    tb::ref(1, "Font", 3);
    tb::ref(1, "Parent", PAGES_OBJ_PLACEHOLDER);
    g_doc.base_num = 100;
    g_doc.template_base_num = 40;
    g_doc.g_pages_obj_no = 2;
    int kids = get_elem(1, "Kids"), box = get_elem(1, "Box"), blank = get_elem(1, "Blank");
    for (int e = xref_at(1).first_elem; e; e = elem_at(e).next_elem) renum_elem(e);
    auto s = [](int e) { return std::string(elem_bytes(elem_at(e)), elem_at(e).data.str.len); };
    EXPECT_EQ(s(kids), " 102 0 R 43 0 R ");
    EXPECT_EQ(s(box), " 0 0 10 10");
    EXPECT_EQ(s(blank), "   ");  // not marked: left alone
    renum_elem_str(blank);
    EXPECT_EQ(s(blank), " ");
    EXPECT_EQ(elem_at(get_elem(1, "Font")).data.obj_no, 43);
    EXPECT_EQ(elem_at(get_elem(1, "Parent")).data.obj_no, 2);
    g_doc.base_num = g_doc.template_base_num = g_doc.g_pages_obj_no = 0;
}

TEST(Renumbering, DupObjCopiesTheChain) {
    tb::begin(3);
    tb::name(1, "Type", "Annot");
    tb::literal(1, "T", "field");
    tb::integer(1, "F", 4);
    int n = dup_obj(1);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(get_elem_int(n, nullptr, "F"), 4);
    int t0 = get_elem(1, "T"), t1 = get_elem(n, "T");
    EXPECT_NE(t0, t1);
    EXPECT_EQ(elem_at(t0).data.str.start_pos, elem_at(t1).data.str.start_pos);
    // Editing the copy leaves the source alone.
    elem_at(get_elem(n, "F")).data.int_data = 6;
    EXPECT_EQ(get_elem_int(1, nullptr, "F"), 4);
}
