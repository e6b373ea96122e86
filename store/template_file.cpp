#include "store/template_file.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "store/failure.h"
#include "store/field_extras.h"
#include "store/storages.h"

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

bool read_all(FILE* f, void* dst, size_t size, size_t count) {
    return count == 0 || std::fread(dst, size, count, f) == count;
}

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

// Reads the field extras section that may follow the character data. A file that ends
// there (a template made before the section existed) has none; a section of another tag or
// a later version is left alone. False when the section is damaged.
bool read_field_extras(FILE* fp, long long remaining) {
    char tag[4];
    if (remaining < 4 || std::fread(tag, 1, 4, fp) != 4) return true;
    if (std::memcmp(tag, FIELD_EXTRA_TAG, 4) != 0) return true;
    uint32_t h[3];
    if (remaining < 16 || std::fread(h, 4, 3, fp) != 3) return false;
    if (h[0] != FIELD_EXTRA_VERSION) return true;
    const Storages& s = g_st;
    const uint32_t count = h[1], text = h[2];
    if (count != static_cast<uint32_t>(s.num_field_strage) || text > 0x3fffffffu ||
        static_cast<long long>(count) * 32 + text > remaining - 16)
        return false;
    field_extras_reserve(static_cast<int>(count), static_cast<int>(text));
    if (!read_all(fp, s.p_field_extra_strage, sizeof(st_field_extra), count) ||
        !read_all(fp, s.p_field_extra_text, 1, text))
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

}  // namespace

void load_template(const char* path) {
    File f(std::fopen(path, "rb"));
    if (!f) fail("fopen::error(%s)", path);
    int32_t magic = 0;
    if (std::fread(&magic, 4, 1, f.get()) != 1 || magic != TEMPLATE_MAGIC)
        fail("fopen::error(%s)", path);
    int16_t t = 0;
    int32_t c[5] = {};
    if (std::fread(&t, 2, 1, f.get()) != 1 || std::fread(c, 4, 5, f.get()) != 5)
        fail("Broken template file(%s)", path);
    const int32_t x = c[0], e = c[1], fo = c[2], d = c[3], ch = c[4];
    if (t < 0 || x < 0 || e < 0 || fo < 0 || d < 0 || ch < 0)
        fail("Broken template file(%s)", path);
    struct stat st {};
    if (fstat(fileno(f.get()), &st) != 0) fail("fopen::error(%s)", path);
    long long expect = TEMPLATE_HEADER_SIZE + 72LL * t + 12LL * x + 72LL * e + 8232LL * fo +
                       348LL * d + static_cast<long long>(ch);
    if (static_cast<long long>(st.st_size) < expect) fail("Broken template file(%s)", path);

    storages_prepare_load(t, x, e, fo, d, ch);
    Storages& s = g_st;
    FILE* fp = f.get();
    if (!read_all(fp, s.p_trailer_strage, sizeof(st_elem), t) ||
        !read_all(fp, s.p_xref_strage, sizeof(st_xref), x) ||
        !read_all(fp, s.p_elem_strage, sizeof(st_elem), e) ||
        !read_all(fp, s.p_font_strage, sizeof(st_font), fo) ||
        !read_all(fp, s.p_field_strage, sizeof(st_field), d) ||
        !read_all(fp, s.p_char_strage, 1, ch) || !records_consistent() ||
        !read_field_extras(fp, static_cast<long long>(st.st_size) - expect)) {
        storages_prepare_load(0, 0, 0, 0, 0, 0);
        fail("Broken template file(%s)", path);
    }
    // Element 0 is never a real element: index 0 means "none".
    if (s.num_elem_strage == 0) s.num_elem_strage = 1;
}

void write_template(const char* path) {
    File f(std::fopen(path, "wb"));
    if (!f) fail("fopen::error(%s)", path);
    const Storages& s = g_st;
    if (s.num_trailer_strage > 32767) fail("Too many trailer entries.");
    FILE* fp = f.get();
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
