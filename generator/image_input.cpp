#include "generator/image_input.h"

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "generator/doc_state.h"
#include "generator/flate.h"
#include "generator/image_command.h"
#include "generator/image_state.h"
#include "generator/jpeg_scan.h"
#include "generator/operations.h"
#include "generator/page_hooks.h"
#include "generator/png_decode.h"

ImageState g_img;

void images_reset() {
    g_img = ImageState{};
}

void _setImageProc(const char* image_convert, const char* image_identify) {
    g_img.img_convert = image_convert ? image_convert : "";
    g_img.img_identify = image_identify ? image_identify : "";
}

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using Buffer = std::unique_ptr<unsigned char, FreeDeleter>;

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// Largest raw RGB sample block taken from the converter.
constexpr long RAW_MAX = 1L << 30;

// The size of a regular file, or -1.
long file_size(const char* path) {
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<long>(st.st_size);
}

// Reads the whole file into a buffer of its size plus 32 zero bytes.
Buffer read_whole(const char* path, long size) {
    if (size > INT_MAX - 64) throwf("Image file too large(%s)", path);
    File f(std::fopen(path, "rb"));
    if (!f) throwf("fopen::error(%s)", path);
    Buffer buf(static_cast<unsigned char*>(mcalloc(static_cast<size_t>(size) + 32)));
    if (std::fread(buf.get(), 1, static_cast<size_t>(size), f.get()) != static_cast<size_t>(size))
        throwf("fopen::error(%s)", path);
    return buf;
}

// Compresses the samples; the result is do_compress's buffer, which the caller owns.
unsigned char* compress_samples(const unsigned char* samples, int len, int* out_len) {
    do_compress(samples, len);
    *out_len = unzip_buf_len;
    unsigned char* out = unzip_buf;
    unzip_buf = nullptr;
    unzip_buf_len = 0;
    return out;
}

unsigned char* read_jpeg(const char* image_file, long size, int* p_type_cmyk, int* p_img_x,
                         int* p_img_y, int* p_img_size) {
    Buffer data = read_whole(image_file, size);
    JpegInfo info = jpeg_scan(data.get(), static_cast<size_t>(size));
    switch (info.status) {
        case JpegScan::ok:
            break;
        case JpegScan::no_frame:
            throwf("JPEG without 8-bit frame header(%s)", image_file);
        case JpegScan::truncated:
            throwf("JPEG segment runs past end of file(%s)", image_file);
        case JpegScan::bad_frame:
            throwf("Unsupported JPEG frame(%s)", image_file);
    }
    *p_type_cmyk = jpeg_color_model(info.components);
    *p_img_x = info.width;
    *p_img_y = info.height;
    *p_img_size = static_cast<int>(size);
    return data.release();
}

unsigned char* read_png(const char* image_file, int* p_img_x, int* p_img_y, int* p_img_size) {
    File f(std::fopen(image_file, "rb"));
    if (!f) throwf("fopen::error(%s)", image_file);
    convertbuf_struct cb;
    int len = 0;
    std::vector<unsigned char> opacity;
    Buffer samples(png2rgb(&cb, &len, p_img_x, p_img_y, f.get(), &opacity));
    if (!samples) throwf("Illegal PNG format(%s): %s", image_file, cb.error);
    f.reset();
    if (!opacity.empty()) {
        int n = 0;
        Buffer packed(compress_samples(opacity.data(), static_cast<int>(opacity.size()), &n));
        g_img.alpha.assign(packed.get(), packed.get() + n);
    }
    return compress_samples(samples.get(), len, p_img_size);
}

// A file extension that is safe to hand on (letters and digits only), with its dot.
std::string safe_extension(const char* name) {
    const char* slash = std::strrchr(name, '/');
    const char* dot = std::strrchr(slash ? slash : name, '.');
    if (!dot || !dot[1] || std::strlen(dot) > 9) return "";
    for (const char* p = dot + 1; *p; ++p)
        if (!std::isalnum(static_cast<unsigned char>(*p))) return "";
    return dot;
}

unsigned char* read_converted(const char* image_file, int* p_img_x, int* p_img_y, int* p_img_size) {
    if (g_img.img_convert.empty() || g_img.img_identify.empty())
        _throw("Not Defined Image Procedure");
    ImageTempDir dir;
    // The commands see the image under a plain name in the private directory, so neither a
    // shell nor a converter's own file-name syntax ("fmt:name", "name[1]") reads anything
    // into the script's name.
    std::unique_ptr<char, FreeDeleter> abs(realpath(image_file, nullptr));
    if (!abs) throwf("fopen::error(%s)", image_file);
    std::string input = dir.file("image" + safe_extension(image_file));
    if (symlink(abs.get(), input.c_str()) != 0) throwf("fopen::error(%s)", input.c_str());
    std::string data_file = dir.file("image.rgb");
    std::string ident_file = data_file + ".i";

    int rc = run_image_command(g_img.img_convert, input.c_str(), data_file.c_str(), nullptr);
    long size = file_size(data_file.c_str());
    if (size < 0) {
        if (rc != 0) throwf("Image Convert Error(%s)", image_file);
        throwf("fopen::error(%s)", data_file.c_str());
    }
    if (size > RAW_MAX) throwf("Image file too large(%s)", image_file);
    Buffer raw = read_whole(data_file.c_str(), size);
    unlink(data_file.c_str());

    rc = run_image_command(g_img.img_identify, input.c_str(), nullptr, ident_file.c_str());
    std::string line;
    {
        File f(std::fopen(ident_file.c_str(), "rb"));
        if (!f) throwf("fopen::error(%s)", ident_file.c_str());
        char buf[IDENTIFY_LINE_MAX + 1];
        if (std::fgets(buf, sizeof buf, f.get())) line = buf;
    }
    unlink(ident_file.c_str());
    int w = 0, h = 0;
    if (!parse_identify_line(line, input, &w, &h)) throwf("Image Identify Error(%s)", image_file);
    long need = static_cast<long>(w) * h * 3;
    if (need > RAW_MAX) throwf("Image file too large(%s)", image_file);
    // Fewer samples than the identified size would make an image no reader can draw.
    if (size < need) throwf("Illegal Image Data Size(%s)", image_file);
    *p_img_x = w;
    *p_img_y = h;
    return compress_samples(raw.get(), static_cast<int>(need), p_img_size);
}

}  // namespace

bool parse_identify_line(const std::string& line, const std::string& image_name, int* width,
                         int* height) {
    size_t pos = 0;
    int field = 0;
    if (!image_name.empty() && line.compare(0, image_name.size(), image_name) == 0) {
        size_t after = image_name.size();
        if (after == line.size() || line[after] == ' ' || line[after] == '\t' ||
            line[after] == '[') {
            pos = line.find_first_of(" \t", after);
            if (pos == std::string::npos) return false;
            field = 1;
        }
    }
    std::string third;
    while (field < 3) {
        size_t start = line.find_first_not_of(" \t\r\n", pos);
        if (start == std::string::npos) return false;
        size_t end = line.find_first_of(" \t\r\n", start);
        if (end == std::string::npos) end = line.size();
        if (++field == 3) third = line.substr(start, end - start);
        pos = end;
    }
    // width "x" height, each a positive decimal number of sensible size.
    const char* s = third.c_str();
    char* end = nullptr;
    long w = std::strtol(s, &end, 10);
    if (end == s || *end != 'x' || !std::isdigit(static_cast<unsigned char>(s[0]))) return false;
    const char* hs = end + 1;
    if (!std::isdigit(static_cast<unsigned char>(*hs))) return false;
    long h = std::strtol(hs, &end, 10);
    if (end == hs || (*end != 0 && *end != '+')) return false;
    if (w <= 0 || h <= 0 || w > 1000000 || h > 1000000) return false;
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

unsigned char* read_image_file(const char* image_file, int* p_type_jpeg, int* p_type_cmyk,
                               int* p_img_x, int* p_img_y, int* p_img_size) {
    long size = file_size(image_file);
    if (size < 0) throwf("fopen::error(%s)", image_file);
    unsigned char head[16] = {};
    size_t got;
    {
        File f(std::fopen(image_file, "rb"));
        if (!f) throwf("fopen::error(%s)", image_file);
        got = std::fread(head, 1, sizeof head, f.get());
    }
    *p_type_jpeg = 0;
    *p_type_cmyk = 0;
    g_img.alpha.clear();
    if (is_jpeg_signature(head, got)) {
        *p_type_jpeg = 1;
        return read_jpeg(image_file, size, p_type_cmyk, p_img_x, p_img_y, p_img_size);
    }
    if (got >= 8 && png_sig_cmp(head, 0, 8) == 0)
        return read_png(image_file, p_img_x, p_img_y, p_img_size);
    return read_converted(image_file, p_img_x, p_img_y, p_img_size);
}
