#include "generator/jpeg_scan.h"

#include <cctype>
#include <cstring>

bool is_jpeg_signature(const unsigned char* head, size_t n) {
    if (n >= 10) {
        char tag[5];
        for (int i = 0; i < 4; ++i)
            tag[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(head[6 + i])));
        tag[4] = 0;
        if (std::strcmp(tag, "JFIF") == 0 || std::strcmp(tag, "EXIF") == 0) return true;
    }
    return n >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
}

JpegInfo jpeg_scan(const unsigned char* data, size_t size) {
    JpegInfo info;
    size_t pos = 2;
    while (pos < size) {
        // Skip to the next marker; fill bytes 0xFF before a marker code are allowed.
        while (pos < size && data[pos] != 0xFF) ++pos;
        while (pos < size && data[pos] == 0xFF) ++pos;
        if (pos >= size) break;
        unsigned m = data[pos++];
        // Markers without a length field.
        if (m == 0x01 || (m >= 0xD0 && m <= 0xD8)) continue;
        // End of image or start of the entropy-coded data: no frame header came first.
        if (m == 0xD9 || m == 0xDA) break;
        if (pos + 2 > size) {
            info.status = JpegScan::truncated;
            return info;
        }
        size_t len = (static_cast<size_t>(data[pos]) << 8) | data[pos + 1];
        if (len < 2 || pos + len > size) {
            info.status = JpegScan::truncated;
            return info;
        }
        if (m == 0xEE && len >= 7 && std::memcmp(data + pos + 2, "Adobe", 5) == 0)
            info.adobe = true;
        bool sof = m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
        if (sof && len >= 8 && data[pos + 2] == 8) {
            info.height = (data[pos + 3] << 8) | data[pos + 4];
            info.width = (data[pos + 5] << 8) | data[pos + 6];
            info.components = data[pos + 7];
            bool fits = info.components == 1 || info.components == 3 || info.components == 4;
            info.status =
                fits && info.width > 0 && info.height > 0 ? JpegScan::ok : JpegScan::bad_frame;
            return info;
        }
        pos += len;
    }
    info.status = JpegScan::no_frame;
    return info;
}

int jpeg_color_model(int components) {
    return components == 1 ? -1 : components == 4 ? 1 : 0;
}
