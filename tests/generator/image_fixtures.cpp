#include "tests/generator/image_fixtures.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/support/run_tools.h"

namespace imgfix {

bool available() {
    return access(CONVERT, X_OK) == 0 && access(IDENTIFY, X_OK) == 0;
}

void convert(const std::string& args) {
    tt::Result r = tt::run(std::string(CONVERT) + " " + args);
    ASSERT_EQ(r.status, 0) << args << "\n" << r.out;
}

void base_png(const std::string& path, int w, int h) {
    convert("-seed 7 -size " + std::to_string(w) + "x" + std::to_string(h) +
            " plasma:fractal -depth 8 " + tt::sh_quote("PNG24:" + path));
}

std::string rgb_samples(const std::string& path) {
    tt::Result r = tt::run(
        std::string(CONVERT) + " " + tt::sh_quote(path) + " -alpha off -depth 8 rgb:-", false);
    EXPECT_EQ(r.status, 0);
    return r.out;
}

}  // namespace imgfix
