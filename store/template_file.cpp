#include "store/template_file.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "store/change_marks.h"
#include "store/failure.h"
#include "store/field_extras.h"
#include "store/storages.h"

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// Checks that every index and string range of the loaded page lies inside its storage,
// so that no later lookup or write can leave it, and terminates every fixed-size text.
bool records_consistent() {
    const Storages& s = g_st;
    auto string_ok = [&](const st_elem& e) {
        if (e.f_type != ELEM_TYPE_STRING) return true;
        long start = e.data.str.start_pos, len = e.data.str.len;
        return start >= 0 && len >= 0 && start + len < s.num_char_strage + 1L;
    };
    auto terminate = [](st_elem& e) {
        e.label[LABEL_SIZE - 1] = 0;
        if (e.f_type == ELEM_TYPE_NAME) e.data.name[LABEL_SIZE - 1] = 0;
    };
    for (int i = 0; i < s.num_xref_strage; ++i) {
        int f = s.p_xref_strage[i].first_elem;
        if (f < 0 || f >= s.num_elem_strage) return false;
    }
    for (int i = 0; i < s.num_elem_strage; ++i) {
        st_elem& e = s.p_elem_strage[i];
        if (e.next_elem < 0 || e.next_elem >= s.num_elem_strage || !string_ok(e)) return false;
        terminate(e);
    }
    for (int i = 0; i < s.num_trailer_strage; ++i) {
        st_elem& e = s.p_trailer_strage[i];
        if (!string_ok(e)) return false;
        terminate(e);
    }
    for (int i = 0; i < s.num_font_strage; ++i) s.p_font_strage[i].name[31] = 0;
    for (int i = 0; i < s.num_field_strage; ++i) {
        st_field& f = s.p_field_strage[i];
        f.name[31] = 0;
        f.short_name[31] = 0;
        f.start_str[FIELD_START_STR - 1] = 0;
    }
    // A string's NUL lies at start + len; the last string may end exactly at the count.
    if (s.num_char_strage > 0 && s.alloc_char_strage > s.num_char_strage)
        s.p_char_strage[s.num_char_strage] = 0;
    return true;
}

}  // namespace

namespace {

// Where the template's bytes come from: a file read as it goes, or bytes in memory.
struct ByteSource {
    FILE* file = nullptr;
    const unsigned char* data = nullptr;
    size_t size = 0;  // total size
    size_t pos = 0;   // memory only

    bool read(void* dst, size_t len) {
        if (len == 0) return true;
        if (file) return std::fread(dst, 1, len, file) == len;
        if (len > size - pos) return false;
        std::memcpy(dst, data + pos, len);
        pos += len;
        return true;
    }
};

// Reads the field extras section that may follow the character data. A file that ends
// there (a template made before the section existed) has none; a section of another tag or
// a later version is left alone. False when the section is damaged.
bool read_field_extras(ByteSource& in, long long remaining) {
    char tag[4];
    if (remaining < 4 || !in.read(tag, 4)) return true;
    if (std::memcmp(tag, FIELD_EXTRA_TAG, 4) != 0) return true;
    uint32_t h[3];
    if (remaining < 16 || !in.read(h, sizeof h)) return false;
    if (h[0] != FIELD_EXTRA_VERSION) return true;
    const Storages& s = g_st;
    const uint32_t count = h[1], text = h[2];
    if (count != static_cast<uint32_t>(s.num_field_strage) || text > 0x3fffffffu ||
        static_cast<long long>(count) * 32 + text > remaining - 16)
        return false;
    field_extras_reserve(static_cast<int>(count), static_cast<int>(text));
    if (!in.read(s.p_field_extra_strage, sizeof(st_field_extra) * count) ||
        !in.read(s.p_field_extra_text, text))
        return false;
    s.p_field_extra_text[text] = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const st_field_extra& x = s.p_field_extra_strage[i];
        if (x.name_pos == -1) continue;
        if (x.name_pos < 0 || x.name_len < 0 ||
            static_cast<long long>(x.name_pos) + x.name_len > text)
            return false;
    }
    g_st.num_field_extra_strage = static_cast<int>(count);
    g_st.num_field_extra_text = static_cast<int>(text);
    return true;
}

// The one loader behind both entry points: header checks, size check against the counts,
// the six arrays, then the consistency checks. `name` is what the messages show.
void load_from(ByteSource& in, const char* name, int32_t* counts) {
    int32_t magic = 0;
    if (!in.read(&magic, 4) || magic != TEMPLATE_MAGIC) fail("fopen::error(%s)", name);
    int16_t t = 0;
    int32_t c[5] = {};
    if (!in.read(&t, 2) || !in.read(c, sizeof c)) fail("Broken template file(%s)", name);
    const int32_t x = c[0], e = c[1], fo = c[2], d = c[3], ch = c[4];
    if (t < 0 || x < 0 || e < 0 || fo < 0 || d < 0 || ch < 0)
        fail("Broken template file(%s)", name);
    long long expect = TEMPLATE_HEADER_SIZE + static_cast<long long>(sizeof(st_elem)) * t +
                       static_cast<long long>(sizeof(st_xref)) * x +
                       static_cast<long long>(sizeof(st_elem)) * e +
                       static_cast<long long>(sizeof(st_font)) * fo +
                       static_cast<long long>(sizeof(st_field)) * d + static_cast<long long>(ch);
    if (static_cast<long long>(in.size) < expect) fail("Broken template file(%s)", name);

    storages_prepare_load(t, x, e, fo, d, ch);
    Storages& s = g_st;
    if (!in.read(s.p_trailer_strage, sizeof(st_elem) * t) ||
        !in.read(s.p_xref_strage, sizeof(st_xref) * x) ||
        !in.read(s.p_elem_strage, sizeof(st_elem) * e) ||
        !in.read(s.p_font_strage, sizeof(st_font) * fo) ||
        !in.read(s.p_field_strage, sizeof(st_field) * d) || !in.read(s.p_char_strage, ch) ||
        !records_consistent() || !read_field_extras(in, static_cast<long long>(in.size) - expect)) {
        storages_prepare_load(0, 0, 0, 0, 0, 0);
        fail("Broken template file(%s)", name);
    }
    const int32_t loaded[6] = {t, x, e, fo, d, ch};
    std::memcpy(counts, loaded, sizeof loaded);
    // Element 0 is never a real element: index 0 means "none".
    if (s.num_elem_strage == 0) s.num_elem_strage = 1;
}

// Images of the template files loaded so far, so that a template loaded again under the same
// name is copied from memory instead of read from disk. An image stays valid while the file's
// identity, size and modification time are what they were when it was read.
struct TemplateImage {
    std::string path;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    int32_t counts[6] = {};   // trailer, cross-reference, element, font, field, character
    std::vector<char> bytes;  // the six arrays, checked and with their texts terminated
    // The field extras (full names, field kinds) that followed the arrays, when there were.
    int extra_count = 0, extra_text = 0;
    std::vector<char> extras;  // the records, then the text
    unsigned long used = 0;
    long id = 0;  // loaded_image_id() of its content
};

constexpr size_t IMAGE_CACHE_FILES = 8;
constexpr size_t IMAGE_CACHE_BYTES = 64u << 20;
std::vector<TemplateImage> g_images;
unsigned long g_image_clock = 0;
long g_image_reads = 0;  // counts the template files read from disk
long g_image_ids = 0;    // the last identity given to loaded content
long g_loaded_image = -1;

// A load of content not known to be that of an earlier load: a new identity.
long new_image_id() {
    g_loaded_image = ++g_image_ids;
    return g_loaded_image;
}
bool g_keep_images = false;

bool same_file(const TemplateImage& im, const struct stat& st) {
    return im.dev == st.st_dev && im.ino == st.st_ino && im.size == st.st_size &&
           im.mtime.tv_sec == st.st_mtim.tv_sec && im.mtime.tv_nsec == st.st_mtim.tv_nsec;
}

size_t record_bytes(const int32_t* c, int k) {
    static const size_t sizes[6] = {sizeof(st_elem), sizeof(st_xref),  sizeof(st_elem),
                                    sizeof(st_font), sizeof(st_field), 1};
    return sizes[k] * static_cast<size_t>(c[k]);
}

void* storage_of(int k) {
    Storages& s = g_st;
    void* p[6] = {s.p_trailer_strage, s.p_xref_strage,  s.p_elem_strage,
                  s.p_font_strage,    s.p_field_strage, s.p_char_strage};
    return p[k];
}

// Copies a checked image into freshly prepared storages.
void copy_image(const TemplateImage& im) {
    const int32_t* c = im.counts;
    storages_prepare_load(c[0], c[1], c[2], c[3], c[4], c[5]);
    size_t at = 0;
    for (int k = 0; k < 6; ++k) {
        size_t n = record_bytes(c, k);
        if (n) std::memcpy(storage_of(k), im.bytes.data() + at, n);
        at += n;
    }
    Storages& s = g_st;
    if (s.num_char_strage > 0 && s.alloc_char_strage > s.num_char_strage)
        s.p_char_strage[s.num_char_strage] = 0;
    if (im.extra_count > 0) {
        const size_t records = sizeof(st_field_extra) * static_cast<size_t>(im.extra_count);
        field_extras_reserve(im.extra_count, im.extra_text);
        std::memcpy(s.p_field_extra_strage, im.extras.data(), records);
        std::memcpy(s.p_field_extra_text, im.extras.data() + records,
                    static_cast<size_t>(im.extra_text));
        s.p_field_extra_text[im.extra_text] = 0;
        s.num_field_extra_strage = im.extra_count;
        s.num_field_extra_text = im.extra_text;
    }
}

// Keeps the storages just loaded as the image of `path`, dropping the least recently used
// images beyond the cache's bounds (never the new one).
void keep_image(const char* path, const struct stat& st, const int32_t* c) {
    size_t arrays = 0;
    for (int k = 0; k < 6; ++k) arrays += record_bytes(c, k);
    const size_t total = arrays +
                         sizeof(st_field_extra) * static_cast<size_t>(g_st.num_field_extra_strage) +
                         static_cast<size_t>(g_st.num_field_extra_text);
    if (total > IMAGE_CACHE_BYTES) return;
    auto held = [] {
        size_t n = 0;
        for (const TemplateImage& im : g_images) n += im.bytes.size() + im.extras.size();
        return n;
    };
    while (!g_images.empty() &&
           (g_images.size() >= IMAGE_CACHE_FILES || held() + total > IMAGE_CACHE_BYTES)) {
        size_t old = 0;
        for (size_t i = 1; i < g_images.size(); ++i)
            if (g_images[i].used < g_images[old].used) old = i;
        g_images.erase(g_images.begin() + static_cast<long>(old));
    }
    TemplateImage im;
    im.path = path;
    im.dev = st.st_dev;
    im.ino = st.st_ino;
    im.size = st.st_size;
    im.mtime = st.st_mtim;
    std::memcpy(im.counts, c, sizeof im.counts);
    im.bytes.resize(arrays);
    size_t at = 0;
    for (int k = 0; k < 6; ++k) {
        size_t n = record_bytes(c, k);
        if (n) std::memcpy(im.bytes.data() + at, storage_of(k), n);
        at += n;
    }
    const Storages& s = g_st;
    if (s.num_field_extra_strage > 0) {
        const size_t records =
            sizeof(st_field_extra) * static_cast<size_t>(s.num_field_extra_strage);
        im.extra_count = s.num_field_extra_strage;
        im.extra_text = s.num_field_extra_text;
        im.extras.resize(records + static_cast<size_t>(s.num_field_extra_text));
        std::memcpy(im.extras.data(), s.p_field_extra_strage, records);
        if (s.num_field_extra_text > 0)
            std::memcpy(im.extras.data() + records, s.p_field_extra_text,
                        static_cast<size_t>(s.num_field_extra_text));
    }
    im.used = ++g_image_clock;
    im.id = g_loaded_image;
    g_images.push_back(std::move(im));
}

void forget_image(const char* path) {
    for (size_t i = 0; i < g_images.size(); ++i)
        if (g_images[i].path == path) {
            g_images.erase(g_images.begin() + static_cast<long>(i));
            return;
        }
}

}  // namespace

void load_template(const char* path) {
    struct stat st {};
    if (g_keep_images && ::stat(path, &st) == 0) {
        for (TemplateImage& im : g_images) {
            if (im.path != path || !same_file(im, st)) continue;
            im.used = ++g_image_clock;
            copy_image(im);
            if (g_st.num_elem_strage == 0) g_st.num_elem_strage = 1;
            g_loaded_image = im.id;
            marks_start_page(im.id);
            return;
        }
    }
    forget_image(path);
    File f(std::fopen(path, "rb"));
    if (!f) fail("fopen::error(%s)", path);
    if (fstat(fileno(f.get()), &st) != 0) fail("fopen::error(%s)", path);
    ByteSource in;
    in.file = f.get();
    in.size = static_cast<size_t>(st.st_size);
    int32_t counts[6] = {};
    g_loaded_image = -1;
    load_from(in, path, counts);
    adjust_stream();  // the kept image holds the adjusted content: copies need no pass
    ++g_image_reads;
    long id = new_image_id();
    if (g_keep_images) keep_image(path, st, counts);
    marks_start_page(id);
}

void load_template_memory(const char* name, const void* data, size_t size) {
    ByteSource in;
    in.data = static_cast<const unsigned char*>(data);
    in.size = data ? size : 0;
    int32_t counts[6] = {};
    g_loaded_image = -1;
    load_from(in, name, counts);
    adjust_stream();
    ++g_image_reads;
    marks_start_page(new_image_id());
}

void keep_template_images(bool on) {
    g_images.clear();
    g_keep_images = on;
}

long template_reads() {
    return g_image_reads;
}

long loaded_image_id() {
    return g_loaded_image;
}

bool write_template_to(FILE* fp) {
    const Storages& s = g_st;
    if (s.num_trailer_strage > 32767) fail("Too many trailer entries.");
    int32_t magic = TEMPLATE_MAGIC;
    int16_t t = static_cast<int16_t>(s.num_trailer_strage);
    int32_t c[5] = {s.num_xref_strage, s.num_elem_strage, s.num_font_strage, s.num_field_strage,
                    s.num_char_strage};
    bool ok = std::fwrite(&magic, 4, 1, fp) == 1 && std::fwrite(&t, 2, 1, fp) == 1 &&
              std::fwrite(c, 4, 5, fp) == 5;
    auto put = [&](const void* p, size_t size, int count) {
        if (ok && count > 0) ok = std::fwrite(p, size, count, fp) == static_cast<size_t>(count);
    };
    put(s.p_trailer_strage, sizeof(st_elem), s.num_trailer_strage);
    put(s.p_xref_strage, sizeof(st_xref), s.num_xref_strage);
    put(s.p_elem_strage, sizeof(st_elem), s.num_elem_strage);
    put(s.p_font_strage, sizeof(st_font), s.num_font_strage);
    put(s.p_field_strage, sizeof(st_field), s.num_field_strage);
    put(s.p_char_strage, 1, s.num_char_strage);
    // The field extras follow as a section an older reader never reaches.
    bool known = false;
    for (int i = 0; i < s.num_field_extra_strage && !known; ++i)
        known = s.p_field_extra_strage[i].type != 0 || s.p_field_extra_strage[i].name_len > 0;
    if (s.num_field_extra_strage == s.num_field_strage && known) {
        uint32_t h[3] = {FIELD_EXTRA_VERSION, static_cast<uint32_t>(s.num_field_extra_strage),
                         static_cast<uint32_t>(s.num_field_extra_text)};
        put(FIELD_EXTRA_TAG, 1, 4);
        put(h, 4, 3);
        put(s.p_field_extra_strage, sizeof(st_field_extra), s.num_field_extra_strage);
        put(s.p_field_extra_text, 1, s.num_field_extra_text);
    }
    return ok;
}

void write_template(const char* path) {
    forget_image(path);
    File f(std::fopen(path, "wb"));
    if (!f) fail("fopen::error(%s)", path);
    bool ok = write_template_to(f.get());
    if (std::fclose(f.release()) != 0) ok = false;
    if (!ok) fail("fopen::error(%s)", path);
}

void adjust_stream() {
    Storages& s = g_st;
    for (int i = 1; i < s.num_elem_strage; ++i) {
        st_elem& e = s.p_elem_strage[i];
        if (e.f_type != ELEM_TYPE_STRING || e.data.str.type != STR_STREAM) continue;
        int len = e.data.str.len;
        if (len < 2 || static_cast<long>(e.data.str.start_pos) + len + 1 > s.num_char_strage)
            continue;
        char* d = s.p_char_strage + e.data.str.start_pos;
        if (d[len - 2] == '\r' && d[len - 1] == '\n' && d[len] == 'e') {
            d[len - 2] = d[len - 1] = d[len] = 0;
            e.data.str.len = len - 2;
        }
    }
}
