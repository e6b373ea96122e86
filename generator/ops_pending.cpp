// Operations whose code has not landed yet. Each command answers "Illegal Operation::%s"
// and each page-cycle hook does nothing, until the code that owns it replaces its entry here.
#include "generator/doc_state.h"
#include "generator/operations.h"
#include "generator/page_hooks.h"

namespace {
[[noreturn]] void pending(const char* command) { throwf("Illegal Operation::%s", command); }
}  // namespace

// Text fields.
void _setPageFieldData(const char*, const int32_t*) { pending("setPageFieldData"); }
void _setPageFieldDataWithAttribute(const char*, const int32_t*, float, const char*, float, int,
                                    int, float, float, float, float) {
    pending("setPageFieldDataWithAttribute");
}
void set_field_data(const char*, const int32_t*, float, const char*, float, float, float, float,
                    int, float, float, float, float) {}

// Field script value, invisibility, array fields, renaming, compression.
void _setPageFieldScriptValue(const char*, const int32_t*) { pending("setPageFieldScriptValue"); }
void _setPageFieldInvisible(const char*) { pending("setPageFieldInvisible"); }
void _makeArrayPageField(const char*, int, float) { pending("makeArrayPageField"); }
void fields_reset() {}
void compress_field(int) {}
void rename_field_name() {}

// Images, lines, boxes, colour profile.
void _setImageProc(const char*, const char*) { pending("setImageProc"); }
void _setPageImageData(const char*, float, float, float, int, int) { pending("setPageImageData"); }
void _setPageFieldImageData(const char*, const char*, float, int, int, int) {
    pending("setPageFieldImageData");
}
void _drawLine(float, float, float, float, float, int, int, int, int) { pending("drawLine"); }
void _drawBox(float, float, float, float, float, int, int, int, int) { pending("drawBox"); }
void _setIccProfile(const char*) { pending("setIccProfile"); }
void images_reset() {}

// Encryption.
void _setCryptMode(const char*, const char*, int, int, int, int) { pending("setCryptMode"); }
void crypt_reset() {}
bool crypt_enabled() { return false; }
int crypt_permissions() { return 0; }
void crypt_pdf() {}
void make_crypt_obj() {}
int encrypt_obj_no() { return 0; }

// Text decoding until the multibyte library lands: bytes pass through as code points,
// stopping at the first byte above 0x7F.
int mbs_mbstowcs(int32_t* dest, const char* src, int len, char) {
    int n = 0;
    while (n < len && static_cast<unsigned char>(src[n]) < 0x80 && src[n] != 0) {
        dest[n] = static_cast<unsigned char>(src[n]);
        ++n;
    }
    return n;
}
