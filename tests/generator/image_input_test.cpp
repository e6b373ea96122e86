// Image input: JPEG headers, PNG decoding against ImageMagick's decoding, and the outside
// converter and identifier run safely.
#include "generator/image_input.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "generator/image_state.h"
#include "generator/jpeg_scan.h"
#include "generator/operations.h"
#include "generator/page_hooks.h"
#include "generator/png_decode.h"
#include "store/failure.h"
#include "tests/generator/image_fixtures.h"
#include "tests/support/run_tools.h"
#include "tests/support/zlib_tools.h"

namespace {

using Bytes = std::vector<unsigned char>;

void seg(Bytes& b, unsigned marker, const Bytes& body) {
    b.push_back(0xFF);
    b.push_back(static_cast<unsigned char>(marker));
    size_t len = body.size() + 2;
    b.push_back(static_cast<unsigned char>(len >> 8));
    b.push_back(static_cast<unsigned char>(len & 0xFF));
    b.insert(b.end(), body.begin(), body.end());
}

// SOI, APP0 "JFIF", a frame header of the given precision, and the start of the scan.
Bytes jpeg_bytes(int precision, int w, int h, int comps, unsigned sof = 0xC0) {
    Bytes b = {0xFF, 0xD8};
    seg(b, 0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
    seg(b, 0xC4, {0x08, 0, 0, 0});  // a table whose first byte looks like a precision
    Bytes f = {static_cast<unsigned char>(precision), static_cast<unsigned char>(h >> 8),
               static_cast<unsigned char>(h),         static_cast<unsigned char>(w >> 8),
               static_cast<unsigned char>(w),         static_cast<unsigned char>(comps)};
    for (int i = 0; i < comps; ++i) f.insert(f.end(), {static_cast<unsigned char>(i + 1), 0x11, 0});
    b.push_back(0xFF);  // a fill byte before the marker
    seg(b, sof, f);
    seg(b, 0xDA, {1, 1, 0, 0, 0x3F, 0});
    b.insert(b.end(), {0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD9});
    return b;
}

struct Image {
    std::unique_ptr<unsigned char, decltype(&std::free)> data{nullptr, &std::free};
    int jpeg = -9, cmyk = -9, w = 0, h = 0, size = 0;
};

Image read(const std::string& path) {
    Image im;
    im.data.reset(read_image_file(path.c_str(), &im.jpeg, &im.cmyk, &im.w, &im.h, &im.size));
    return im;
}

std::string failure_of(const std::string& path) {
    try {
        read(path);
    } catch (const Failure& f) {
        return f.what();
    }
    return "(no failure)";
}

std::vector<std::string> dir_entries(const std::string& dir) {
    std::vector<std::string> out;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                out.push_back(e->d_name);
        closedir(d);
    }
    return out;
}

class ImageInput : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!imgfix::available()) GTEST_SKIP() << "ImageMagick is not installed";
        images_reset();
        const char* t = std::getenv("TMPDIR");
        old_tmpdir_ = t ? t : "";
        had_tmpdir_ = t != nullptr;
        tmp_ = d_.file("tmp");
        mkdir(tmp_.c_str(), 0700);
        setenv("TMPDIR", tmp_.c_str(), 1);
    }
    void TearDown() override {
        if (had_tmpdir_)
            setenv("TMPDIR", old_tmpdir_.c_str(), 1);
        else
            unsetenv("TMPDIR");
        images_reset();
    }
    tt::TempDir d_;
    std::string tmp_, old_tmpdir_;
    bool had_tmpdir_ = false;
};

}  // namespace

TEST(JpegScan, FrameHeaderGivesSizeAndComponents) {
    Bytes b = jpeg_bytes(8, 640, 480, 3);
    JpegInfo i = jpeg_scan(b.data(), b.size());
    EXPECT_EQ(i.status, JpegScan::ok);
    EXPECT_EQ(i.width, 640);
    EXPECT_EQ(i.height, 480);
    EXPECT_EQ(i.components, 3);
    b = jpeg_bytes(8, 3, 70000 & 0xFFFF, 4, 0xC2);  // progressive, CMYK
    i = jpeg_scan(b.data(), b.size());
    EXPECT_EQ(i.status, JpegScan::ok);
    EXPECT_EQ(i.components, 4);
    EXPECT_FALSE(i.adobe);
    // An Adobe (APP14) segment before the frame: inverted CMYK samples.
    Bytes adobe = {0xFF, 0xD8, 0xFF, 0xEE, 0x00, 0x0E, 'A', 'd', 'o',
                   'b',  'e',  0,    100,  0,    0,    0,   0,   2};
    adobe.insert(adobe.end(), b.begin() + 2, b.end());
    EXPECT_TRUE(jpeg_scan(adobe.data(), adobe.size()).adobe);
    EXPECT_EQ(jpeg_color_model(1), -1);
    EXPECT_EQ(jpeg_color_model(3), 0);
    EXPECT_EQ(jpeg_color_model(4), 1);
}

TEST(JpegScan, DamagedOrUnsupportedHeadersAreRecognised) {
    Bytes b = jpeg_bytes(12, 64, 64, 3);
    EXPECT_EQ(jpeg_scan(b.data(), b.size()).status, JpegScan::no_frame);
    b = jpeg_bytes(8, 64, 64, 2);
    EXPECT_EQ(jpeg_scan(b.data(), b.size()).status, JpegScan::bad_frame);
    b = jpeg_bytes(8, 0, 64, 3);
    EXPECT_EQ(jpeg_scan(b.data(), b.size()).status, JpegScan::bad_frame);
    // Cut inside the frame header, and a segment whose length runs past the end.
    b = jpeg_bytes(8, 64, 64, 3);
    for (size_t cut : {size_t{26}, size_t{33}, size_t{36}}) {
        Bytes c(b.begin(), b.begin() + static_cast<long>(cut));
        EXPECT_EQ(jpeg_scan(c.data(), c.size()).status, JpegScan::truncated) << cut;
    }
    Bytes junk = {0xFF, 0xD8, 0xFF, 0xE1, 0x7F, 0xFF, 'E', 'x', 'i', 'f'};
    EXPECT_EQ(jpeg_scan(junk.data(), junk.size()).status, JpegScan::truncated);
    Bytes none = {0xFF, 0xD8, 0xFF, 0xD9};
    EXPECT_EQ(jpeg_scan(none.data(), none.size()).status, JpegScan::no_frame);
}

TEST(JpegScan, SignatureByMarkerTextOrStartOfImage) {
    auto sig = [](const char* s, size_t n) {
        return is_jpeg_signature(reinterpret_cast<const unsigned char*>(s), n);
    };
    EXPECT_TRUE(sig("\xFF\xD8\xFF\xE0\x00\x10JFIF\0", 11));
    EXPECT_TRUE(sig("abcdefExIfxx", 12));
    EXPECT_TRUE(sig("abcdefjfifxx", 12));
    EXPECT_TRUE(sig("\xFF\xD8\xFF\xDB", 4));
    EXPECT_FALSE(sig("\x89PNG\r\n\x1a\n\0\0\0\0", 12));
    EXPECT_FALSE(sig("GIF89a", 6));
}

TEST(IdentifyLine, ThirdFieldHoldsTheSize) {
    int w = 0, h = 0;
    EXPECT_TRUE(parse_identify_line("x.gif GIF 640x480 640x480+0+0 8-bit\n", "", &w, &h));
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    EXPECT_TRUE(parse_identify_line("a  b\t12x34+0+0", "", &w, &h));
    EXPECT_EQ(h, 34);
    // A name that holds blanks counts as one field when the line starts with it.
    EXPECT_TRUE(parse_identify_line("/t d/in.gif[0] GIF 5x6 5x6+0+0", "/t d/in.gif", &w, &h));
    EXPECT_EQ(w, 5);
    for (const char* bad : {"", "x.gif GIF", "x.gif GIF 640", "x.gif GIF 640x", "x.gif GIF x480",
                            "x.gif GIF -3x4", "x.gif GIF 0x4", "x.gif GIF 64x48junk"})
        EXPECT_FALSE(parse_identify_line(bad, "", &w, &h)) << bad;
}

TEST_F(ImageInput, PngOfEveryKindMatchesImageMagick) {
    std::string base = d_.file("base.png");
    imgfix::base_png(base);
    struct Variant {
        const char* name;
        std::string args;
    } variants[] = {
        {"rgb8.png", ""},
        {"rgba16.png", "-alpha set -channel A -evaluate set 50% +channel -depth 16 PNG64:"},
        {"gray1.png", "-monochrome -define png:color-type=0 -define png:bit-depth=1 PNG:"},
        {"gray8.png", "-colorspace Gray -define png:color-type=0 PNG:"},
        {"graya.png", "-colorspace Gray -alpha set -define png:color-type=4 PNG:"},
        {"palette.png", "-colors 12 -transparent-color white -fuzz 20% -transparent white PNG8:"},
        {"interlaced.png", "-interlace PNG PNG24:"},
        {"pal2.png", "-colors 4 -define png:bit-depth=2 -define png:color-type=3 PNG:"},
    };
    for (const Variant& v : variants) {
        std::string path = d_.file(v.name);
        imgfix::convert(tt::sh_quote(base) + " " + v.args.substr(0, v.args.rfind(' ') + 1) +
                        tt::sh_quote(v.args.substr(v.args.rfind(' ') + 1) + path));
        Image im = read(path);
        EXPECT_EQ(im.jpeg, 0) << v.name;
        EXPECT_EQ(im.cmyk, 0) << v.name;
        ASSERT_EQ(im.w, 23) << v.name;
        ASSERT_EQ(im.h, 11) << v.name;
        std::optional<std::string> samples =
            tt::inflate(im.data.get(), static_cast<size_t>(im.size));
        EXPECT_EQ(samples, imgfix::rgb_samples(path)) << v.name;
        // The opacity of a transparent image comes apart, one byte a pixel (half for rgba16);
        // an alpha channel or transparency chunk that leaves every pixel opaque gives none.
        const std::string name = v.name;
        const bool transparent = name == "rgba16.png";
        ASSERT_EQ(!g_img.alpha.empty(), transparent) << v.name;
        if (name == "rgba16.png") {
            EXPECT_EQ(tt::inflate(g_img.alpha.data(), g_img.alpha.size()),
                      std::string(23 * 11, static_cast<char>(128)));
        }
    }
    // The interlaced file gives the samples of its plain twin.
    EXPECT_EQ(imgfix::rgb_samples(d_.file("interlaced.png")), imgfix::rgb_samples(base));
}

TEST_F(ImageInput, CorruptPngIsReportedNotFatal) {
    std::string base = d_.file("base.png");
    imgfix::base_png(base, 64, 64);
    std::string png = tt::read_file(base);
    tt::write_file(d_.file("short.png"), png.substr(0, png.size() / 2));
    EXPECT_EQ(failure_of(d_.file("short.png")).rfind("Illegal PNG format(", 0), 0u);
    std::string bad = png;
    bad[20] ^= 0x55;  // inside the header chunk: its CRC no longer matches
    tt::write_file(d_.file("crc.png"), bad);
    EXPECT_EQ(failure_of(d_.file("crc.png")).rfind("Illegal PNG format(", 0), 0u);
    tt::write_file(d_.file("sig.png"), png.substr(0, 8));
    EXPECT_EQ(failure_of(d_.file("sig.png")).rfind("Illegal PNG format(", 0), 0u);
}

TEST_F(ImageInput, JpegIsEmbeddedAsItIsWithItsColourModel) {
    std::string base = d_.file("base.png");
    imgfix::base_png(base, 40, 30);
    struct {
        const char* name;
        const char* args;
        int cmyk;
    } kinds[] = {{"rgb.jpg", "", 0},
                 {"gray.jpg", "-colorspace Gray", -1},
                 {"cmyk.jpg", "-colorspace CMYK", 1}};
    for (const auto& k : kinds) {
        std::string path = d_.file(k.name);
        imgfix::convert(tt::sh_quote(base) + " " + k.args + " " + tt::sh_quote(path));
        Image im = read(path);
        EXPECT_EQ(im.jpeg, 1) << k.name;
        EXPECT_EQ(im.cmyk, k.cmyk) << k.name;
        EXPECT_EQ(im.w, 40);
        EXPECT_EQ(im.h, 30);
        std::string file = tt::read_file(path);
        ASSERT_EQ(im.size, static_cast<int>(file.size()));
        EXPECT_EQ(std::string(reinterpret_cast<char*>(im.data.get()), file.size()), file);
    }
    // Without the JFIF segment, and with a mixed-case Exif text in its place: still JPEG.
    std::string jpg = tt::read_file(d_.file("rgb.jpg"));
    size_t app0 = (static_cast<unsigned char>(jpg[4]) << 8) | static_cast<unsigned char>(jpg[5]);
    tt::write_file(d_.file("bare.jpg"), jpg.substr(0, 2) + jpg.substr(4 + app0));
    EXPECT_EQ(read(d_.file("bare.jpg")).w, 40);
    std::string exif = jpg;
    exif.replace(6, 4, "eXiF");
    tt::write_file(d_.file("exif.dat"), exif);
    EXPECT_EQ(read(d_.file("exif.dat")).jpeg, 1);
    // Content decides, not the name.
    tt::write_file(d_.file("photo.png"), jpg);
    EXPECT_EQ(read(d_.file("photo.png")).jpeg, 1);
    tt::write_file(d_.file("scan.jpg"), tt::read_file(base));
    EXPECT_EQ(read(d_.file("scan.jpg")).jpeg, 0);
    // A JPEG that ends inside its headers is refused with a clear message.
    tt::write_file(d_.file("cut.jpg"), jpg.substr(0, 30));
    EXPECT_EQ(failure_of(d_.file("cut.jpg")),
              "JPEG segment runs past end of file(" + d_.file("cut.jpg") + ")");
}

TEST_F(ImageInput, OtherFormatsGoThroughConverterAndIdentifier) {
    std::string base = d_.file("base.png");
    imgfix::base_png(base);
    imgfix::convert(tt::sh_quote(base) + " " + tt::sh_quote(d_.file("pic.gif")));
    imgfix::convert(tt::sh_quote(base) + " " + tt::sh_quote(d_.file("pic.tif")));
    EXPECT_EQ(failure_of(d_.file("pic.gif")), "Not Defined Image Procedure");
    _setImageProc(imgfix::CONVERT, "");
    EXPECT_EQ(failure_of(d_.file("pic.gif")), "Not Defined Image Procedure");
    _setImageProc(imgfix::CONVERT, imgfix::IDENTIFY);
    for (const char* name : {"pic.gif", "pic.tif"}) {
        Image im = read(d_.file(name));
        EXPECT_EQ(im.jpeg, 0);
        EXPECT_EQ(im.cmyk, 0);
        ASSERT_EQ(im.w, 23);
        ASSERT_EQ(im.h, 11);
        EXPECT_EQ(tt::inflate(im.data.get(), static_cast<size_t>(im.size)),
                  imgfix::rgb_samples(d_.file(name)))
            << name;
    }
    EXPECT_TRUE(dir_entries(tmp_).empty());
}

TEST_F(ImageInput, UnsafeFileNamesReachTheConverterAsOneArgument) {
    std::string base = d_.file("base.png");
    imgfix::base_png(base);
    _setImageProc(imgfix::CONVERT, imgfix::IDENTIFY);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(d_.path.c_str()), 0);
    for (const char* name : {"my picture.gif", "a;touch PWNED;b.gif", "q'uo\"te$(touch PWNED).gif",
                             "`touch PWNED`.gif", "-rm.gif", "gif:x[0].gif"}) {
        imgfix::convert(tt::sh_quote(base) + " " + tt::sh_quote(std::string("GIF:") + name));
        // Given relative and absolute: a leading "-" is not taken for an option either.
        EXPECT_EQ(read(name).w, 23) << name;
        EXPECT_EQ(read(d_.file(name)).h, 11) << name;
        EXPECT_FALSE(tt::file_exists("PWNED")) << name;
    }
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_TRUE(dir_entries(tmp_).empty());
}

TEST_F(ImageInput, CommandFailuresAreErrorsAndLeaveNoTemporaryFiles) {
    std::string base = d_.file("base.png");
    imgfix::base_png(base);
    std::string gif = d_.file("pic.gif");
    imgfix::convert(tt::sh_quote(base) + " " + tt::sh_quote(gif));
    _setImageProc("false", imgfix::IDENTIFY);
    EXPECT_EQ(failure_of(gif), "Image Convert Error(" + gif + ")");
    _setImageProc("true", imgfix::IDENTIFY);
    EXPECT_EQ(failure_of(gif).rfind("fopen::error(" + tmp_ + "/tessaro-", 0), 0u);
    _setImageProc(imgfix::CONVERT, "echo no size here");
    EXPECT_EQ(failure_of(gif), "Image Identify Error(" + gif + ")");
    _setImageProc(imgfix::CONVERT, "printf 'x GIF 500x500\\n'; :");
    EXPECT_EQ(failure_of(gif), "Illegal Image Data Size(" + gif + ")");
    EXPECT_TRUE(dir_entries(tmp_).empty());
    EXPECT_EQ(failure_of(d_.file("missing.gif")), "fopen::error(" + d_.file("missing.gif") + ")");
    EXPECT_EQ(failure_of(d_.path), "fopen::error(" + d_.path + ")");
}
