// Operations whose code has not landed yet. Each command answers "Illegal Operation::%s"
// and each page-cycle hook does nothing, until the code that owns it replaces its entry here.
#include "generator/doc_state.h"
#include "generator/operations.h"
#include "generator/page_hooks.h"

namespace {
[[noreturn]] void pending(const char* command) {
    throwf("Illegal Operation::%s", command);
}
}  // namespace

// Text fields.
void _setPageFieldData(const char*, const int32_t*) {
    pending("setPageFieldData");
}
void _setPageFieldDataWithAttribute(const char*, const int32_t*, float, const char*, float, int,
                                    int, float, float, float, float) {
    pending("setPageFieldDataWithAttribute");
}
void set_field_data(const char*, const int32_t*, float, const char*, float, float, float, float,
                    int, float, float, float, float) {}

