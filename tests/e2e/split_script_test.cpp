// tools/split-script: one script cut at page boundaries into parts that run side by side,
// one PDF each; together the parts hold every page once, in order, with its own values.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/run_tools.h"
#include "tests/support/template_builder.h"

using tt::has;
using tt::TempDir;

namespace {

const std::string kSplit = std::string(SOURCE_DIR) + "/tools/split-script";

}  // namespace

TEST(SplitScript, PartsHoldEveryPageOnceInOrder) {
    TempDir d;
    tb::PageSpec p;
    p.fields = {tb::FieldSpec{.name = "name"}};
    std::string tpl = d.file("form.tpl");
    tb::simple_template(tpl, {p});
    std::string s =
        "Tessaro\nsetCryptMode\t\towner\t1\t1\t1\t1\nstart\t" + d.file("out.pdf") + "\n";
    for (int k = 1; k <= 5; ++k) {
        s += "startPage\t" + tpl + "\nsetPageFieldData\tname\tPg" + std::to_string(k) +
             "q\nendPage\n";
        if (k == 1) s += "setYenSign\t0\n";
    }
    tt::write_file(d.file("job.txt"), s + "finish\n");

    tt::Result r = tt::run(tt::sh_quote(kSplit) + " 2 " + tt::sh_quote(d.file("job.txt")) + " " +
                               tt::sh_quote(d.file("parts")),
                           false);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, d.file("parts") + "/part-001.txt\n" + d.file("parts") + "/part-002.txt\n");
    std::string second = tt::read_file(d.file("parts/part-002.txt"));
    // The settings before the first page and those made between pages hold in every part.
    EXPECT_EQ(second.substr(0, second.find("startPage")),
              "Tessaro\nsetCryptMode\t\towner\t1\t1\t1\t1\nstart\t" + d.file("out-002.pdf") +
                  "\nsetYenSign\t0\n");

    // Run the parts side by side with GNU parallel when it is installed, else one by one.
    bool parallel = tt::run("command -v parallel", false).status == 0;
    std::string list = tt::sh_quote(d.file("parts")) + "/part-00[12].txt";
    if (parallel) {
        tt::Result run = tt::run("ls " + list + " | parallel -j2 " + tt::sh_quote(tt::tessaro()) +
                                 " {} {.}.err");
        ASSERT_EQ(run.status, 0) << run.out;
    } else {
        for (const char* part : {"part-001", "part-002"})
            ASSERT_EQ(
                tt::run_tessaro(d.file("parts/") + part + ".txt", d.file("parts/") + part + ".err"),
                0);
    }
    const int first_pages[2] = {1, 4};
    for (int part = 1; part <= 2; ++part) {
        std::string pdf = d.file("out-00" + std::to_string(part) + ".pdf");
        std::string report;
        EXPECT_TRUE(tt::qpdf_check(pdf, &report)) << report;
        int n = part == 1 ? 3 : 2;
        ASSERT_EQ(tt::pdf_page_count(pdf), n);
        for (int i = 0; i < n; ++i)
            EXPECT_TRUE(has(tt::pdftotext(pdf, i + 1),
                            "Pg" + std::to_string(first_pages[part - 1] + i) + "q"));
    }

    // A script whose lines end in CR LF: the settings between pages are carried all the same.
    std::string crlf;
    for (char c : s + "finish\n") crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    tt::write_file(d.file("crlf.txt"), crlf);
    ASSERT_EQ(tt::run(tt::sh_quote(kSplit) + " 2 " + tt::sh_quote(d.file("crlf.txt")) + " " +
                      tt::sh_quote(d.file("crlf")))
                  .status,
              0);
    EXPECT_TRUE(has(tt::read_file(d.file("crlf/part-002.txt")), "setYenSign\t0\r\n"));

    // Parts cannot all write to standard output.
    tt::write_file(d.file("stdout.txt"),
                   "Tessaro\nstart\t-\nstartPage\t" + tpl + "\nendPage\nfinish\n");
    EXPECT_NE(tt::run(tt::sh_quote(kSplit) + " 2 " + tt::sh_quote(d.file("stdout.txt"))).status, 0);
}
