#include "generator/png_decode.h"

#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

namespace {

void on_png_error(png_structp png, png_const_charp msg) {
    auto* cb = static_cast<convertbuf_struct*>(png_get_error_ptr(png));
    std::snprintf(cb->error, sizeof cb->error, "%s", msg ? msg : "libpng error");
    png_longjmp(png, 1);
}

// Ancillary-chunk complaints (odd profiles, bad text chunks) do not stop the decode and
// would only clutter a batch run's standard error.
void on_png_warning(png_structp, png_const_charp) {}

void release_rows(convertbuf_struct* cb) {
    std::free(cb->rows);
    cb->rows = nullptr;
    cb->nrows = 0;
}

}  // namespace

unsigned char* png2rgb(convertbuf_struct* cb, int* img_size, int* img_width, int* img_height,
                       FILE* fp, std::vector<unsigned char>* alpha) {
    *cb = convertbuf_struct{};
    if (alpha) alpha->clear();
    unsigned char sig[8];
    if (std::fread(sig, 1, 8, fp) != 8 || png_sig_cmp(sig, 0, 8) != 0) {
        std::snprintf(cb->error, sizeof cb->error, "not a PNG signature");
        return nullptr;
    }
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, cb, on_png_error, on_png_warning);
    if (!png) {
        std::snprintf(cb->error, sizeof cb->error, "out of memory");
        return nullptr;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        std::snprintf(cb->error, sizeof cb->error, "out of memory");
        return nullptr;
    }
    // Everything that must survive a libpng error lives in *cb, not in locals.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        release_rows(cb);
        std::free(cb->data);
        cb->data = nullptr;
        return nullptr;
    }
    png_init_io(png, fp);
    png_set_sig_bytes(png, 8);
    png_read_info(png, info);
    png_uint_32 width = png_get_image_width(png, info);
    png_uint_32 height = png_get_image_height(png, info);
    int bit_depth = png_get_bit_depth(png, info);
    int color_type = png_get_color_type(png, info);

    if (color_type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (!(color_type & PNG_COLOR_MASK_COLOR)) {
        if (bit_depth < 8) png_set_expand_gray_1_2_4_to_8(png);
        png_set_gray_to_rgb(png);
    }
    // 16-bit samples are scaled with rounding, not cut, so they keep their nearest 8-bit value.
    if (bit_depth == 16) png_set_scale_16(png);
    // Palette expansion turns a transparency chunk into an alpha channel. The opacity is kept
    // apart where asked for, else it goes.
    const bool transparent =
        (color_type & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
    if (transparent && alpha)
        png_set_tRNS_to_alpha(png);
    else if (transparent)
        png_set_strip_alpha(png);
    if (bit_depth < 8) png_set_packing(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    size_t rowbytes = png_get_rowbytes(png, info);
    const size_t channels = png_get_channels(png, info);
    if ((channels != 3 && !(channels == 4 && alpha)) || png_get_bit_depth(png, info) != 8 ||
        rowbytes != static_cast<size_t>(width) * channels)
        png_error(png, "unexpected sample layout after transformation");
    if (height == 0 || rowbytes == 0 || rowbytes > PNG_MAX_DECODED / height)
        png_error(png, "image too large");

    cb->nrows = static_cast<int>(height);
    cb->width = static_cast<int>(width);
    cb->rowbytes = rowbytes;
    cb->rows = static_cast<unsigned char**>(std::calloc(height, sizeof(unsigned char*)));
    cb->data = static_cast<unsigned char*>(std::malloc(rowbytes * height));
    if (!cb->rows || !cb->data) png_error(png, "out of memory");
    for (png_uint_32 y = 0; y < height; ++y) cb->rows[y] = cb->data + rowbytes * y;
    png_read_image(png, cb->rows);
    png_destroy_read_struct(&png, &info, nullptr);

    unsigned char* out = cb->data;
    cb->data = nullptr;
    release_rows(cb);
    if (channels == 4) {
        // RGBA: the colour samples close up in place, the opacity goes to its own plane; an
        // image opaque all over keeps none.
        const size_t pixels = static_cast<size_t>(width) * height;
        alpha->resize(pixels);
        bool opaque = true;
        for (size_t i = 0; i < pixels; ++i) {
            std::memmove(out + 3 * i, out + 4 * i, 3);
            (*alpha)[i] = out[4 * i + 3];
            opaque = opaque && out[4 * i + 3] == 255;
        }
        if (opaque) alpha->clear();
        rowbytes = static_cast<size_t>(width) * 3;
    }
    *img_size = static_cast<int>(rowbytes * height);
    *img_width = static_cast<int>(width);
    *img_height = static_cast<int>(height);
    return out;
}
