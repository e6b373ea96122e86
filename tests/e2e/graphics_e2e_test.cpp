// Lines, boxes and images through the tessaro program, checked on the rendered pages
// (pdftoppm), the embedded images (pdfimages) and the file structure (qpdf).
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "store/element_walk.h"
#include "tests/support/pdf_render.h"
#include "tests/support/run_tools.h"
#include "tests/support/template_builder.h"

using tt::TempDir;

namespace {

constexpr const char* CONVERT = "/usr/bin/convert";
constexpr const char* IDENTIFY = "/usr/bin/identify";

bool have_tools() {
    return access(CONVERT, X_OK) == 0 && access(IDENTIFY, X_OK) == 0 &&
           tt::run("pdftoppm -v").status == 0 && tt::run("pdfimages -v").status == 0;
}

void convert(const std::string& args) {
    tt::Result r = tt::run(std::string(CONVERT) + " " + args);
    ASSERT_EQ(r.status, 0) << args << "\n" << r.out;
}

struct Rgb {
    int r, g, b;
    bool dark() const { return r < 80 && g < 80 && b < 80; }
    bool white() const { return r > 230 && g > 230 && b > 230; }
    bool near(int R, int G, int B) const {
        return std::abs(r - R) < 40 && std::abs(g - G) < 40 && std::abs(b - B) < 40;
    }
};

std::ostream& operator<<(std::ostream& o, const Rgb& c) {
    return o << "(" << c.r << "," << c.g << "," << c.b << ")";
}

// One rendered page at 72 dpi, so a pixel is a point of the displayed page.
struct Raster {
    int w = 0, h = 0;
    std::string px;
    Rgb at(int x, int y) const {
        if (x < 0 || y < 0 || x >= w || y >= h) return {-1, -1, -1};
        size_t i = (static_cast<size_t>(y) * w + x) * 3;
        return {static_cast<unsigned char>(px[i]), static_cast<unsigned char>(px[i + 1]),
                static_cast<unsigned char>(px[i + 2])};
    }
    int count(int x0, int y0, int x1, int y1, bool (Rgb::*pred)() const) const {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if ((at(x, y).*pred)()) ++n;
        return n;
    }
};

Raster render(const std::string& pdf, int page) {
    tt::Pixmap p = tt::render_page(pdf, page, 72, false, "-aa no -aaVector no");
    EXPECT_FALSE(p.px.empty()) << "pdftoppm failed on page " << page;
    return {p.w, p.h, std::move(p.px)};
}

struct Listed {
    int page, width, height;
    std::string type, color, enc;
    int comp;
};

// pdfimages -list, one entry per image.
std::vector<Listed> list_images(const std::string& pdf) {
    tt::Result r = tt::run("pdfimages -list " + tt::sh_quote(pdf), false);
    EXPECT_EQ(r.status, 0);
    std::vector<Listed> out;
    std::istringstream in(r.out);
    std::string line;
    std::getline(in, line);
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream f(line);
        Listed l;
        int num;
        f >> l.page >> num >> l.type >> l.width >> l.height >> l.color >> l.comp;
        int bpc;
        f >> bpc >> l.enc;
        out.push_back(l);
    }
    return out;
}

struct ScriptRun {
    int status;
    std::string errlog;
};

// Runs a script with TMPDIR set to `tmpdir` (when given).
ScriptRun run_script(const TempDir& d, const std::string& body, const std::string& tmpdir = "") {
    std::string script = "Tessaro\nstart\t" + d.file("out.pdf") + "\n" + body + "finish\n";
    tt::write_file(d.file("script.txt"), script);
    std::string env = tmpdir.empty() ? "" : "TMPDIR=" + tt::sh_quote(tmpdir) + " ";
    tt::Result r =
        tt::run(env + tt::sh_quote(tt::tessaro()) + " " + tt::sh_quote(d.file("script.txt")) + " " +
                tt::sh_quote(d.file("err.log")));
    return {r.status, tt::read_file(d.file("err.log"))};
}

std::string page_of(const std::string& tpl, const std::string& ops) {
    return "startPage\t" + tpl + "\n" + ops + "endPage\n";
}

// A picture of four coloured quadrants, 20 x 10 pixels each: red, green / blue, yellow.
void quadrants(const std::string& path) {
    convert(
        "-size 20x10 xc:red -size 20x10 xc:lime +append \\( -size 20x10 xc:blue -size "
        "20x10 xc:yellow +append \\) -append " +
        tt::sh_quote(path));
}

bool dir_empty(const std::string& dir) {
    DIR* d = opendir(dir.c_str());
    if (!d) return false;
    int n = 0;
    while (dirent* e = readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") ++n;
    closedir(d);
    return n == 0;
}

// The page turns the rotation tests run on (-90 shows as 270 does).
constexpr int ROTATIONS[] = {0, 90, 180, -90};

class Graphics : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!have_tools()) GTEST_SKIP() << "ImageMagick or poppler-utils not installed";
    }
    TempDir d_;
    std::string pdf() const { return d_.file("out.pdf"); }
    // Runs `ops` on one-page templates rotated by 0, 90, 180 and -90 degrees (page text
    // `text`), checks the output with qpdf and returns its pages rendered; none when it failed.
    std::vector<Raster> render_each_rotation(const std::string& ops,
                                             const std::string& text = tb::PageSpec().text) {
        std::string body;
        for (int rot : ROTATIONS) {
            tb::PageSpec p;
            p.text = text;
            p.rotate = rot;
            std::string tpl = d_.file("r" + std::to_string(rot) + ".tpl");
            tb::simple_template(tpl, {p});
            body += page_of(tpl, ops);
        }
        return run_and_render(body, static_cast<int>(std::size(ROTATIONS)));
    }
    // Runs the script body, checks the output with qpdf and returns its first `pages` pages
    // rendered; none when the run failed.
    std::vector<Raster> run_and_render(const std::string& body, int pages) {
        ScriptRun r = run_script(d_, body);
        EXPECT_EQ(r.status, 0) << r.errlog;
        if (r.status != 0) return {};
        expect_clean();
        std::vector<Raster> out;
        for (int page = 1; page <= pages; ++page) out.push_back(render(pdf(), page));
        return out;
    }
    void expect_clean() {
        std::string report;
        EXPECT_TRUE(tt::qpdf_check(pdf(), &report)) << report;
    }
};

}  // namespace

TEST_F(Graphics, BoxAndDashedLineLandWhereDisplayedOnEveryRotation) {
    std::vector<Raster> pages = render_each_rotation(
        "drawBox\t100\t150\t200\t100\t4\t0\t0\t0\t0\n"
        "drawLine\t50\t400\t300\t0\t4\t10\t10\t10\t10\n"
        "drawLine\t500\t50\t0\t60\t2\t0\t0\t0\t0\n",
        "");
    ASSERT_EQ(pages.size(), std::size(ROTATIONS));
    for (int page = 1; page <= 4; ++page) {
        SCOPED_TRACE("page " + std::to_string(page));
        const Raster& ras = pages[page - 1];
        EXPECT_EQ(ras.w, ROTATIONS[page - 1] % 180 == 0 ? 612 : 792);
        // The box outline: on each edge, not inside, not outside.
        for (auto [x, y] : {std::pair{200, 150}, {200, 250}, {100, 200}, {300, 200}})
            EXPECT_TRUE(ras.at(x, y).dark()) << x << "," << y << " " << ras.at(x, y);
        for (auto [x, y] : {std::pair{200, 200}, {200, 144}, {200, 256}, {94, 200}, {306, 200}})
            EXPECT_TRUE(ras.at(x, y).white()) << x << "," << y << " " << ras.at(x, y);
        // The dashed line: 10 on, 10 off from x = 50 to 350 at y = 400.
        for (int x : {55, 75, 95, 335}) EXPECT_TRUE(ras.at(x, 400).dark()) << x;
        for (int x : {65, 85, 345, 355}) EXPECT_TRUE(ras.at(x, 400).white()) << x;
        EXPECT_TRUE(ras.at(55, 405).white());
        // A vertical solid line from (500, 50) down to (500, 110).
        EXPECT_TRUE(ras.at(500, 80).dark());
        EXPECT_TRUE(ras.at(500, 45).white());
        EXPECT_TRUE(ras.at(500, 115).white());
        EXPECT_TRUE(ras.at(505, 80).white());
    }
}

TEST_F(Graphics, PageImageStandsUprightAtItsTopLeftPosition) {
    std::string img = d_.file("quad.png");
    quadrants(img);
    std::vector<Raster> pages =
        render_each_rotation("setPageImageData\t" + img + "\t100\t200\t2\t0\t0\n");
    ASSERT_EQ(pages.size(), std::size(ROTATIONS));
    for (int page = 1; page <= 4; ++page) {
        SCOPED_TRACE("page " + std::to_string(page));
        const Raster& ras = pages[page - 1];
        // 40 x 20 pixels at 2 points each: (100, 200) to (180, 240).
        EXPECT_TRUE(ras.at(110, 205).near(255, 0, 0)) << ras.at(110, 205);
        EXPECT_TRUE(ras.at(170, 205).near(0, 255, 0)) << ras.at(170, 205);
        EXPECT_TRUE(ras.at(110, 235).near(0, 0, 255)) << ras.at(110, 235);
        EXPECT_TRUE(ras.at(170, 235).near(255, 255, 0)) << ras.at(170, 235);
        EXPECT_TRUE(ras.at(96, 220).white());
        EXPECT_TRUE(ras.at(184, 220).white());
        EXPECT_TRUE(ras.at(140, 196).white());
        EXPECT_TRUE(ras.at(140, 244).white());
    }
    EXPECT_NE(tt::pdftotext(pdf(), 1).find("Static page text"), std::string::npos);
}

TEST_F(Graphics, DrawUnderKeepsThePageContentVisible) {
    std::string img = d_.file("pale.png");
    convert("-size 10x10 xc:'#ffc0c0' " + tt::sh_quote(img));
    std::string tpl = d_.file("a.tpl");
    tb::simple_template(tpl, "HHHHHHHH");  // Helvetica 24 with its baseline at y = 72
    // The text spans about x 72..250, y 55..72 on screen; the image covers 60..260, 40..90.
    std::string place = "setPageImageData\t" + img + "\t60\t40\t";
    std::vector<Raster> pages =
        run_and_render(page_of(tpl, place + "20\t0\t0\n") + page_of(tpl, place + "20\t0\t1\n"), 2);
    ASSERT_EQ(pages.size(), 2u);
    const Raster &over = pages[0], &under = pages[1];
    EXPECT_EQ(over.count(60, 40, 260, 90, &Rgb::dark), 0);
    EXPECT_GT(under.count(60, 40, 260, 90, &Rgb::dark), 200);
    EXPECT_TRUE(under.at(65, 45).near(255, 192, 192));
    EXPECT_TRUE(over.at(65, 45).near(255, 192, 192));
}

TEST_F(Graphics, FieldImageIsFittedAndAlignedInItsField) {
    std::string square = d_.file("square.png"), wide = d_.file("wide.png");
    convert("-size 400x400 xc:red " + tt::sh_quote(square));
    convert("-size 400x100 xc:blue " + tt::sh_quote(wide));
    tb::PageSpec p;
    p.text = "";
    tb::FieldSpec a, b;
    a.name = "photo", a.x = 72, a.y = 600, a.w = 200, a.h = 100;
    b.name = "logo", b.x = 300, b.y = 600, b.w = 200, b.h = 100;
    p.fields = {a, b};
    std::string tpl = d_.file("f.tpl");
    tb::simple_template(tpl, {p});
    std::vector<Raster> pages =
        run_and_render(page_of(tpl, "setPageFieldImageData\tphoto\t" + square +
                                        "\t0\t0\t0\t0\n"
                                        "setPageFieldImageData\tlogo\t" +
                                        wide + "\t0.25\t1\t1\t0\n"),
                       1);
    ASSERT_EQ(pages.size(), 1u);
    const Raster& ras = pages[0];
    // photo: fitted to 100 x 100, centred: x 122..222, on screen y 92..192.
    EXPECT_TRUE(ras.at(172, 142).near(255, 0, 0)) << ras.at(172, 142);
    EXPECT_TRUE(ras.at(125, 95).near(255, 0, 0));
    EXPECT_TRUE(ras.at(118, 142).white());
    EXPECT_TRUE(ras.at(226, 142).white());
    // logo: 100 x 25 against the right and bottom edges: x 400..500, y 167..192.
    EXPECT_TRUE(ras.at(450, 180).near(0, 0, 255)) << ras.at(450, 180);
    EXPECT_TRUE(ras.at(396, 180).white());
    EXPECT_TRUE(ras.at(450, 162).white());
}

TEST_F(Graphics, EveryImageIsListedWithItsColourSpaceAndFilter) {
    std::string base = d_.file("base.png");
    convert("-seed 3 -size 30x20 plasma:fractal -depth 8 PNG24:" + tt::sh_quote(base));
    std::map<std::string, std::string> files = {
        {"rgb.jpg", ""},
        {"gray.jpg", "-colorspace Gray"},
        {"cmyk.jpg", "-colorspace CMYK"},
        {"rgba16.png", "-alpha set -channel A -evaluate set 50% +channel -depth 16 PNG64:"},
        {"palette.png", "-colors 8 -fuzz 20% -transparent white PNG8:"},
        {"gray1.png", "-monochrome -define png:color-type=0 -define png:bit-depth=1 PNG:"},
        {"interlaced.png", "-interlace PNG PNG24:"},
        {"pic.gif", "GIF:"},
        {"pic.tif", "TIFF:"},
    };
    for (const auto& [name, args] : files) {
        size_t sp = args.rfind(' ');
        std::string opts = sp == std::string::npos ? "" : args.substr(0, sp);
        std::string prefix = sp == std::string::npos ? args : args.substr(sp + 1);
        if (prefix.find(':') == std::string::npos) opts = args, prefix = "";
        convert(tt::sh_quote(base) + " " + opts + " " + tt::sh_quote(prefix + d_.file(name)));
    }
    std::string icc = "/usr/share/color/icc/ghostscript/default_cmyk.icc";
    if (!tt::file_exists(icc)) {
        icc = d_.file("fake.icc");
        tt::write_file(icc, std::string(128, '\0') + "acsp");
    }
    tb::PageSpec p;
    std::string tpl = d_.file("a.tpl");
    tb::simple_template(tpl, {p});
    auto place = [&](const std::string& name, int mask) {
        return "setPageImageData\t" + d_.file(name) + "\t10\t10\t1\t" + std::to_string(mask) +
               "\t0\n";
    };
    std::string body = "setImageProc\t" + std::string(CONVERT) + "\t" + IDENTIFY + "\n";
    body += page_of(tpl, place("rgb.jpg", 0) + place("gray.jpg", 1) + place("cmyk.jpg", 0) +
                             place("rgba16.png", 1) + place("palette.png", 2));
    body += page_of(tpl, "setIccProfile\t" + icc + "\n" + place("cmyk.jpg", 1) +
                             place("gray1.png", 0) + place("interlaced.png", 3));
    body += page_of(tpl, place("cmyk.jpg", 2) + place("pic.gif", 0) + place("pic.tif", 0));
    ScriptRun r = run_script(d_, body);
    ASSERT_EQ(r.status, 0) << r.errlog;
    expect_clean();

    std::vector<Listed> l = list_images(pdf());
    ASSERT_EQ(l.size(), 11u);
    struct Want {
        int page;
        const char* color;
        int comp;
        const char* enc;
    } want[] = {{1, "rgb", 3, "jpeg"},  {1, "gray", 1, "jpeg"}, {1, "cmyk", 4, "jpeg"},
                {1, "rgb", 3, "image"}, {1, "rgb", 3, "image"}, {2, "icc", 4, "jpeg"},
                {2, "rgb", 3, "image"}, {2, "rgb", 3, "image"}, {3, "icc", 4, "jpeg"},
                {3, "rgb", 3, "image"}, {3, "rgb", 3, "image"}};
    for (size_t i = 0; i < l.size(); ++i) {
        SCOPED_TRACE("image " + std::to_string(i));
        EXPECT_EQ(l[i].page, want[i].page);
        EXPECT_EQ(l[i].color, want[i].color);
        EXPECT_EQ(l[i].comp, want[i].comp);
        EXPECT_EQ(l[i].enc, want[i].enc);
        EXPECT_EQ(l[i].width, 30);
        EXPECT_EQ(l[i].height, 20);
    }

    // Names unique across the document; masks as the mask modes ask; both CMYK images after
    // the profile name the one profile object written with page 2.
    std::string bytes = tt::read_file(pdf());
    std::set<std::string> names;
    std::regex name_re("/Name /(ImKestrel\\d+) ");
    for (auto it = std::sregex_iterator(bytes.begin(), bytes.end(), name_re);
         it != std::sregex_iterator(); ++it)
        EXPECT_TRUE(names.insert((*it)[1]).second) << (*it)[1];
    EXPECT_EQ(names.size(), 11u);
    EXPECT_TRUE(names.count("ImKestrel11"));
    std::regex mask_re("/Mask \\[([0-9 ]+)\\]");
    std::vector<std::string> masks;
    for (auto it = std::sregex_iterator(bytes.begin(), bytes.end(), mask_re);
         it != std::sregex_iterator(); ++it)
        masks.push_back((*it)[1]);
    EXPECT_EQ(masks, (std::vector<std::string>{"224 255 224 255 224 255", "0 31 0 31 0 31",
                                               "254 255 254 255 254 255 254 255",
                                               "0 255 0 255 0 255 0 10"}));
    std::smatch m;
    ASSERT_TRUE(std::regex_search(bytes, m, std::regex("/ICCBased (\\d+) 0 R")));
    std::string icc_obj = m[1];
    size_t at = bytes.find("\r" + icc_obj + " 0 obj\r<< \r/Alternate /DeviceCMYK /N 4 /Length ");
    EXPECT_NE(at, std::string::npos);
    size_t p2 = bytes.find("/Name /ImKestrel6 "), p3 = bytes.find("/Name /ImKestrel9 ");
    EXPECT_LT(at, p2);
    EXPECT_EQ(bytes.find("/ICCBased " + icc_obj + " 0 R", p3) != std::string::npos, true);

    // Decoded PNG, GIF and TIFF samples are ImageMagick's own.
    tt::Result ex = tt::run("pdfimages " + tt::sh_quote(pdf()) + " " + tt::sh_quote(d_.file("x")));
    ASSERT_EQ(ex.status, 0);
    std::map<int, std::string> extracted = {{3, "rgba16.png"}, {4, "palette.png"},
                                            {6, "gray1.png"},  {7, "interlaced.png"},
                                            {9, "pic.gif"},    {10, "pic.tif"}};
    for (const auto& [idx, name] : extracted) {
        char ppm[64];
        std::snprintf(ppm, sizeof ppm, "x-%03d.ppm", idx);
        tt::Result a = tt::run(
            std::string(CONVERT) + " " + tt::sh_quote(d_.file(ppm)) + " -depth 8 rgb:-", false);
        tt::Result b = tt::run(
            std::string(CONVERT) + " " + tt::sh_quote(d_.file(name)) + " -alpha off -depth 8 rgb:-",
            false);
        EXPECT_EQ(a.out.size(), 30u * 20 * 3) << name;
        EXPECT_TRUE(a.out == b.out) << name;
    }
}

TEST_F(Graphics, UnsafeImageNamesAndTemporaryFiles) {
    std::string base = d_.file("base.png");
    convert("-size 30x20 xc:green " + tt::sh_quote(base));
    std::string tmp = d_.file("tmp");
    mkdir(tmp.c_str(), 0700);
    std::string odd = d_.file("a b;touch PWNED;'c\".gif");
    convert(tt::sh_quote(base) + " " + tt::sh_quote("GIF:" + odd));
    std::string tpl = d_.file("a.tpl");
    tb::simple_template(tpl);
    std::string proc = "setImageProc\t" + std::string(CONVERT) + "\t" + IDENTIFY + "\n";
    ScriptRun r = run_script(
        d_, proc + page_of(tpl, "setPageImageData\t" + odd + "\t10\t10\t1\t0\t0\n"), tmp);
    ASSERT_EQ(r.status, 0) << r.errlog;
    expect_clean();
    std::vector<Listed> l = list_images(pdf());
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l[0].width, 30);
    EXPECT_FALSE(tt::file_exists("PWNED"));
    EXPECT_FALSE(tt::file_exists(d_.file("PWNED")));
    EXPECT_TRUE(dir_empty(tmp));

    // A failing converter ends the run with a message and leaves nothing behind either.
    r = run_script(d_,
                   "setImageProc\tfalse\t" + std::string(IDENTIFY) + "\n" +
                       page_of(tpl, "setPageImageData\t" + odd + "\t10\t10\t1\t0\t0\n"),
                   tmp);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.errlog, "Image Convert Error(" + odd + ")\n");
    EXPECT_TRUE(dir_empty(tmp));
    r = run_script(d_, page_of(tpl, "setPageImageData\t" + odd + "\t10\t10\t1\t0\t0\n"), tmp);
    EXPECT_EQ(r.errlog, "Not Defined Image Procedure\n");
}

TEST_F(Graphics, PagesThatLeaveThingsToTheTreeStillGetTheirDrawings) {
    // The page inherits MediaBox, Rotate and Resources from the page tree; its content is an
    // array object; the tree's resources keep their XObjects in an object of their own.
    std::string img = d_.file("quad.png");
    quadrants(img);
    tb::begin(9);
    tb::page_tree(3);
    tb::common(1);
    tb::array(2, "MediaBox", "0 0 500 400");
    tb::integer(2, "Rotate", 90);
    tb::ref(2, "Resources", 6);
    tb::name(3, "Type", "Page");
    tb::ref(3, "Parent", 2);
    tb::ref(3, "Contents", 4);
    tb::page_flag(3);
    tb::direct_array(4, "5 0 R");
    tb::stream(5, "0 0 1 rg 0 0 20 20 re f");
    tb::ref(6, "XObject", 7);
    tb::ref(6, "Font", 8);
    tb::dict_start(7, "Unused");
    tb::dict_end(7);
    tb::trailer_ref("Root", 1);
    std::string tpl = d_.file("tree.tpl");
    tb::write(tpl);
    std::vector<Raster> pages = run_and_render(
        page_of(tpl, "drawBox\t100\t100\t100\t50\t4\t0\t0\t0\t0\nsetPageImageData\t" + img +
                         "\t250\t100\t1\t0\t0\n"),
        1);
    ASSERT_EQ(pages.size(), 1u);
    const Raster& ras = pages[0];
    EXPECT_EQ(ras.w, 400);  // turned a quarter: displayed 400 wide
    EXPECT_TRUE(ras.at(150, 100).dark());
    EXPECT_TRUE(ras.at(150, 125).white());
    EXPECT_TRUE(ras.at(255, 103).near(255, 0, 0)) << ras.at(255, 103);
    EXPECT_TRUE(ras.at(285, 115).near(255, 255, 0)) << ras.at(285, 115);
    // The template's own content is still painted (blue square at the page's origin, which
    // the quarter turn shows at the top-left).
    EXPECT_TRUE(ras.at(5, 5).near(0, 0, 255)) << ras.at(5, 5);
}

TEST_F(Graphics, FailuresAreReportedThroughTheErrorLog) {
    std::string tpl = d_.file("a.tpl");
    tb::simple_template(tpl);
    std::string bad = d_.file("bad.jpg");
    tt::write_file(bad, std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\0", 11));
    struct {
        std::string ops, message;
    } cases[] = {
        {"setPageImageData\t" + bad + "\t0\t0\t1\t0\t0\n",
         "JPEG segment runs past end of file(" + bad + ")"},
        {"setPageFieldImageData\tnone\t" + bad + "\t0\t0\t0\t0\n",
         "JPEG segment runs past end of file(" + bad + ")"},
        {"setIccProfile\t" + d_.file("no.icc") + "\n", "fopen::error(" + d_.file("no.icc") + ")"},
    };
    for (const auto& c : cases) {
        ScriptRun r = run_script(d_, page_of(tpl, c.ops));
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.errlog, c.message + "\n");
    }
    ScriptRun r = run_script(d_, "drawLine\t0\t0\t1\t1\t1\t0\t0\t0\t0\n");
    EXPECT_EQ(r.errlog, "Illegal method calling sequence.\n");
}

TEST_F(Graphics, ImagesGoOnTheTemplatesFirstPageInPageOrder) {
    // A two-page form whose first page has the higher object number: the image goes on the
    // page shown first.
    std::string img = d_.file("quad.png");
    quadrants(img);
    tb::PageSpec one, two;
    one.text = "Second";
    two.text = "First";
    tb::simple_template_bytes({one, two});
    switch_off(dict_entry(2, "Kids"));
    tb::array(2, "Kids", "7 0 R 5 0 R");  // the pages' objects, in the order shown
    std::string tpl = d_.file("order.tpl");
    tb::write(tpl);
    ScriptRun r = run_script(d_, page_of(tpl, "setPageImageData\t" + img + "\t50\t50\t1\t0\t0\n"));
    ASSERT_EQ(r.status, 0) << r.errlog;
    expect_clean();
    EXPECT_TRUE(tt::pdftotext(pdf(), 1).find("First") != std::string::npos);
    std::vector<Listed> images = list_images(pdf());
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].page, 1);
}
