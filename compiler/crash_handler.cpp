#include "compiler/crash_handler.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "compiler/compile_log.h"

namespace {

char g_err_path[4096];
char g_err_text[8192];
size_t g_err_len = 0;
alignas(16) char g_alt_stack[65536];

void on_crash(int) {
    int fd = open(g_err_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        ssize_t w = write(fd, g_err_text, g_err_len);
        (void)w;
        close(fd);
    }
    _exit(255);
}

}  // namespace

void install_crash_handler(const std::string& pdf_path) {
    std::string path = err_log_path(pdf_path);
    std::string text = log_header(pdf_path) + "Carvel unrecognized object in the pdf file.\n";
    if (path.size() >= sizeof g_err_path || text.size() > sizeof g_err_text) return;
    std::memcpy(g_err_path, path.c_str(), path.size() + 1);
    std::memcpy(g_err_text, text.data(), text.size());
    g_err_len = text.size();
    stack_t ss{};
    ss.ss_sp = g_alt_stack;
    ss.ss_size = sizeof g_alt_stack;
    sigaltstack(&ss, nullptr);
    struct sigaction sa {};
    sa.sa_handler = on_crash;
    sa.sa_flags = SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGSEGV, &sa, nullptr);
    sigaction(SIGBUS, &sa, nullptr);
}
