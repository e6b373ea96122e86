// What the generator needs to know of a JPEG file before it embeds it unchanged: its size
// and colour model, read from the frame header.
#pragma once

#include <cstddef>

enum class JpegScan {
    ok,
    no_frame,   // no frame header of 8-bit precision before the image data or the end
    truncated,  // a segment runs past the end of the data
    bad_frame   // a zero size, or a component count that a PDF image cannot have
};

struct JpegInfo {
    JpegScan status = JpegScan::no_frame;
    int width = 0, height = 0, components = 0;
    // An Adobe (APP14) marker came before the frame header: the four-component files such
    // writers make (Photoshop, ImageMagick) hold inverted CMYK samples.
    bool adobe = false;
};

// True when the first bytes mark a JPEG: "JFIF" or "EXIF" (any case) at offset 6, or the
// start-of-image marker followed by another marker.
bool is_jpeg_signature(const unsigned char* head, size_t n);

// Reads the first frame header (SOF0..SOF15 except DHT, JPG and DAC) from offset 2.
JpegInfo jpeg_scan(const unsigned char* data, size_t size);

// Colour model of a JPEG from its frame header: 1 CMYK (four components), -1 grayscale (one),
// 0 RGB (three). The samples decide, not marker texts elsewhere in the file.
int jpeg_color_model(int components);
