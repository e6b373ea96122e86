// Running the outside image converter and identifier that a script names, and the private
// temporary directory that holds their output.
//
// The command text is the script's own and may carry options ("convert -depth 8"); it is
// run by /bin/sh. File names never pass through the shell's parsing: they reach the command
// as separate arguments ("$1", "$2"), so spaces, quotes or ";" in a name are just bytes of it.
#pragma once

#include <string>

// Runs `command` with the arguments `arg1` and, when not null, `arg2` appended as single
// words. With `stdout_path` set the command's standard output goes to that file (created
// with mode 0600). Returns the command's exit status, or -1 when it could not be started or
// did not exit normally.
int run_image_command(const std::string& command, const char* arg1, const char* arg2,
                      const char* stdout_path);

// A fresh directory made with mkdtemp in $TMPDIR (else /tmp), open only to this user. The
// destructor deletes whatever the commands left in it, and the directory, on success and on
// failure alike.
struct ImageTempDir {
    std::string path;
    ImageTempDir();
    ~ImageTempDir();
    ImageTempDir(const ImageTempDir&) = delete;
    ImageTempDir& operator=(const ImageTempDir&) = delete;
    std::string file(const std::string& name) const { return path + "/" + name; }
};
