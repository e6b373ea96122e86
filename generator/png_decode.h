// PNG files of every colour type and bit depth decoded with libpng into 8-bit RGB samples,
// three bytes a pixel, rows top to bottom.
#pragma once

#include <cstddef>
#include <cstdio>
#include <vector>

// The row table of one decode: row pointers into one buffer of nrows x rowbytes bytes.
struct convertbuf_struct {
    unsigned char** rows = nullptr;
    int nrows = 0;
    int width = 0;
    size_t rowbytes = 0;
    unsigned char* data = nullptr;
    char error[256] = {};  // libpng's message when the decode failed
};

// Largest decoded image accepted, in bytes of RGB samples.
constexpr size_t PNG_MAX_DECODED = size_t{1} << 30;

// Decodes the PNG stream `fp`, whose 8 signature bytes have not been read yet. Returns the
// sample buffer (the caller frees it with free()) and writes its byte length, the width and
// the height; returns null when the stream is not a PNG libpng accepts, with the reason in
// cb->error. The row table is released before the call returns. With `alpha`, an image that
// is transparent anywhere (an alpha channel or a transparency chunk) also gives its opacity,
// one byte a pixel, there (left empty for an opaque image); without, the opacity is dropped.
unsigned char* png2rgb(convertbuf_struct* cb, int* img_size, int* img_width, int* img_height,
                       FILE* fp, std::vector<unsigned char>* alpha = nullptr);
