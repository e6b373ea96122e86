// Image files made at test time with ImageMagick, and their samples as ImageMagick decodes
// them, for comparing the generator's image input against an independent decoder.
#pragma once

#include <string>

namespace imgfix {

constexpr const char* CONVERT = "/usr/bin/convert";
constexpr const char* IDENTIFY = "/usr/bin/identify";

// True when ImageMagick's convert and identify are installed.
bool available();
// Runs "/usr/bin/convert ARGS"; fails the current test when it does not succeed.
void convert(const std::string& args);
// An 8-bit RGB picture with varied pixels (a fixed fractal), w x h, written as PNG.
void base_png(const std::string& path, int w = 23, int h = 11);
// The image's pixels as ImageMagick decodes them: 8-bit RGB, rows top to bottom.
std::string rgb_samples(const std::string& path);

}  // namespace imgfix
