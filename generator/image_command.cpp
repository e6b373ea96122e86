#include "generator/image_command.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "generator/doc_state.h"

extern char** environ;

namespace {

// A name that begins with "-" would be read as an option by most converters.
std::string as_operand(const char* name) {
    if (name[0] == '-') return std::string("./") + name;
    return name;
}

}  // namespace

int run_image_command(const std::string& command, const char* arg1, const char* arg2,
                      const char* stdout_path) {
    std::string script = command + " \"$1\"";
    if (arg2) script += " \"$2\"";
    std::string a1 = as_operand(arg1), a2 = arg2 ? as_operand(arg2) : std::string();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("sh"));
    argv.push_back(const_cast<char*>("-c"));
    argv.push_back(script.data());
    argv.push_back(const_cast<char*>("sh"));  // $0
    argv.push_back(a1.data());
    if (arg2) argv.push_back(a2.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdout_path)
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdout_path,
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid;
    int rc = posix_spawn(&pid, "/bin/sh", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) == -1) {
        if (errno != EINTR) return -1;
    }
    if (!WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

ImageTempDir::ImageTempDir() {
    const char* base = std::getenv("TMPDIR");
    if (!base || !*base) base = "/tmp";
    std::string tmpl = std::string(base) + "/tessaro-XXXXXX";
    if (!mkdtemp(tmpl.data())) throwf("fopen::error(%s)", tmpl.c_str());
    path = tmpl;
}

ImageTempDir::~ImageTempDir() {
    if (DIR* d = opendir(path.c_str())) {
        while (dirent* ent = readdir(d)) {
            std::string name = ent->d_name;
            if (name != "." && name != "..") unlink(file(name).c_str());
        }
        closedir(d);
    }
    rmdir(path.c_str());
}
