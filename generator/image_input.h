// Image files turned into the data of an image XObject: JPEG files as they are, PNG files
// decoded into 8-bit RGB and Flate-compressed, every other format through the converter and
// identifier that the script names.
#pragma once

#include <cstddef>
#include <string>

// Longest first line of the identifier's output that is read.
constexpr size_t IDENTIFY_LINE_MAX = 4096;

// Reads one image file. Returns its data (free() it) and writes: 1 for JPEG data, else 0;
// the colour model (1 CMYK, -1 grayscale, 0 RGB); width and height in pixels; data bytes.
// Every failure raises through _throw before anything of the page is touched.
unsigned char* read_image_file(const char* image_file, int* p_type_jpeg, int* p_type_cmyk,
                               int* p_img_x, int* p_img_y, int* p_img_size);

// Reads width and height from the identifier's first output line: its third blank-separated
// field is WxH. `image_name` is the name the identifier was given; a line that starts with
// it counts it as one field even when it holds blanks. False when the field is not there.
bool parse_identify_line(const std::string& line, const std::string& image_name, int* width,
                         int* height);
