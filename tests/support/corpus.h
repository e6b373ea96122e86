// The optional folder of real-world forms (the CORPUS_DIR cache option of CMake). Tests that
// use it skip when it is absent; fixtures of their own never come from it.
#pragma once

#include <string>
#include <vector>

namespace tt {

// The configured corpus folder (it need not exist).
std::string corpus_dir();
// Full paths of the folder's *.pdf files, sorted; empty when the folder is absent.
std::vector<std::string> corpus_files();
// The base name of a path ("dir/a.pdf" gives "a.pdf").
std::string base_name(const std::string& path);

}  // namespace tt
