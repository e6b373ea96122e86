#include "tests/support/corpus.h"

#include <dirent.h>

#include <algorithm>

namespace tt {

std::string corpus_dir() {
    return CORPUS_DIR;
}

std::vector<std::string> corpus_files() {
    std::vector<std::string> out;
    const std::string dir = corpus_dir();
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n.size() > 4 && n.compare(n.size() - 4, 4, ".pdf") == 0)
                out.push_back(dir + "/" + n);
        }
        closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string base_name(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace tt
