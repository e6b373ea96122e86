// Runs that cannot write their output, or that cannot read their script, end with status
// 255 and a message in the error log; a crash keeps what the run wrote before it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "tests/support/run_tools.h"
#include "tests/support/template_builder.h"

using tt::sh_quote;
using tt::TempDir;

namespace {

// A script of `pages` pages of one template, written to `out`.
std::string pages_script(const std::string& tpl, const std::string& out, int pages) {
    std::string s = "Tessaro\nstart\t" + out + "\n";
    for (int i = 0; i < pages; ++i) s += "startPage\t" + tpl + "\nendPage\n";
    return s + "finish\n";
}

// Runs tessaro on a script file with standard output on a pipe whose reading end is
// already closed. Returns the exit status.
int run_into_closed_pipe(const std::string& script, const std::string& errlog) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    close(fds[0]);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        close(fds[1]);
        std::string prog = tt::tessaro();
        execl(prog.c_str(), prog.c_str(), script.c_str(), errlog.c_str(), nullptr);
        _exit(127);
    }
    close(fds[1]);
    int st = 0;
    waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

}  // namespace

TEST(OutputFailure, FullDeviceSmallFileSystemAndClosedPipe) {
    TempDir d;
    std::string tpl = d.file("t.tpl");
    tb::simple_template(tpl, "A page of static text");
    std::string err = d.file("err.log");

    // One page (written at the end), and megabytes of pages (full buffers are written while
    // the next pages are made): the failure is reported either way.
    for (int pages : {1, 30000}) {
        tt::write_file(d.file("s1"), pages_script(tpl, "/dev/full", pages));
        EXPECT_EQ(tt::run_tessaro(d.file("s1"), err), 255) << pages;
        EXPECT_EQ(tt::read_file(err), "PDF write error(/dev/full)\n");
    }

    tt::write_file(d.file("s2"), pages_script(tpl, "-", 1));
    EXPECT_EQ(run_into_closed_pipe(d.file("s2"), err), 255);
    EXPECT_EQ(tt::read_file(err), "PDF write error(-)\n");

    // A 64 KiB file system, mounted in a mount namespace of its own; the document is larger.
    std::string small = d.file("small");
    ASSERT_EQ(tt::run("mkdir " + sh_quote(small)).status, 0);
    std::string mount = "unshare -rm sh -c " + sh_quote("mount -t tmpfs -o size=64k tmpfs " +
                                                        sh_quote(small) + " && exec \"$0\" \"$@\"");
    if (tt::run(mount + " true").status != 0)
        GTEST_SKIP() << "cannot mount a small file system here";
    std::string pdf = small + "/out.pdf";
    tt::write_file(d.file("s3"), pages_script(tpl, pdf, 1000));
    tt::Result r = tt::run(mount + " " + sh_quote(tt::tessaro()) + " " + sh_quote(d.file("s3")) +
                           " " + sh_quote(err));
    EXPECT_EQ(r.status, 255) << r.out;
    EXPECT_EQ(tt::read_file(err), "PDF write error(" + pdf + ")\n");
    // The same document where there is room: larger than 64 KiB, and sound.
    tt::write_file(d.file("s4"), pages_script(tpl, d.file("big.pdf"), 1000));
    ASSERT_EQ(tt::run_tessaro(d.file("s4"), err), 0) << tt::read_file(err);
    EXPECT_GT(tt::read_file(d.file("big.pdf")).size(), 65536u);
}

TEST(OutputFailure, CrashKeepsWhatWasWritten) {
    // The image identifier stands in for a fault: it sends the segmentation-fault signal to
    // tessaro while the first page's objects still wait in the writer's buffer.
    TempDir d;
    std::string tpl = d.file("t.tpl");
    tb::simple_template(tpl, "First page");
    std::string pdf = d.file("out.pdf");
    tt::write_file(d.file("image.bin"), "not an image format tessaro reads itself");
    const std::string fault = "kill -SEGV $PPID";
    tt::write_file(d.file("s"), "Tessaro\nstart\t" + pdf + "\nstartPage\t" + tpl +
                                    "\nendPage\nstartPage\t" + tpl + "\nsetImageProc\t" + fault +
                                    "\t" + fault + "\nsetPageImageData\t" + d.file("image.bin") +
                                    "\t0\t0\t1\t0\t0\nendPage\nfinish\n");
    EXPECT_EQ(tt::run_tessaro(d.file("s"), d.file("err.log")), 255);
    std::string out = tt::read_file(pdf);
    EXPECT_EQ(out.substr(0, 8), "%PDF-1.4");
    EXPECT_NE(out.find("First page"), std::string::npos);
    EXPECT_NE(out.find("endobj\r"), std::string::npos);
}

TEST(Interpreter, UnreadableScriptsAndNonFiniteNumbers) {
    TempDir d;
    // A directory named as the script cannot be opened as one: the usage text.
    tt::Result r =
        tt::run(sh_quote(tt::tessaro()) + " " + sh_quote(d.path) + " " + sh_quote(d.file("e")));
    EXPECT_EQ(r.status, 3) << r.out;
    // A directory on standard input cannot be read: an error, not an empty script.
    r = tt::run(sh_quote(tt::tessaro()) + " < " + sh_quote(d.path), false);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "Script read error(-)\n");

    std::string tpl = d.file("t.tpl");
    tb::simple_template(tpl);
    for (std::string bad : {"inf", "-Infinity", "nan", "1e39"}) {
        tt::write_file(d.file("s"), "Tessaro\nstart\t" + d.file("o.pdf") + "\nstartPage\t" + tpl +
                                        "\ndrawLine\t0\t0\t" + bad + "\t10\t1\n");
        EXPECT_EQ(tt::run_tessaro(d.file("s"), d.file("e")), 255) << bad;
        EXPECT_EQ(tt::read_file(d.file("e")), "Not a finite number(" + bad + ")\n");
    }
}
