#include "generator/icc_profile.h"

#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "generator/doc_state.h"
#include "generator/image_state.h"
#include "generator/operations.h"
#include "store/element_ops.h"

namespace {
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
}  // namespace

void load_icc_profile(const char* profile_file) {
    struct stat st;
    if (stat(profile_file, &st) != 0 || !S_ISREG(st.st_mode))
        throwf("fopen::error(%s)", profile_file);
    if (st.st_size > INT_MAX - 64) throwf("fopen::error(%s)", profile_file);
    size_t size = static_cast<size_t>(st.st_size);
    std::unique_ptr<char, FreeDeleter> buf(static_cast<char*>(mcalloc(size + 32)));
    {
        std::unique_ptr<FILE, FileCloser> f(std::fopen(profile_file, "rb"));
        if (!f || std::fread(buf.get(), 1, size, f.get()) != size)
            throwf("fopen::error(%s)", profile_file);
    }
    new_xref_strage();
    int obj = g_st.cur_xref_strage;
    // The page's objects are written as base_num + their store number.
    g_img.g_icc_profile_obj_no = g_doc.base_num + obj;
    append_elem_name(obj, 0, "Alternate", "DeviceCMYK");
    append_elem_int(obj, 0, "N", 4);
    append_elem_int(obj, 0, "Length", static_cast<int>(size));
    append_elem_str(obj, 0, LABEL_STREAM, STR_STREAM, buf.get(), static_cast<int>(size));
}

void _setIccProfile(const char* profileFileName) {
    check_seq(SEQ_IN_PAGE);
    load_icc_profile(profileFileName);
}
