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

// Field script value, invisibility, array fields, renaming, compression.
void _setPageFieldScriptValue(const char*, const int32_t*) {
    pending("setPageFieldScriptValue");
}
void _setPageFieldInvisible(const char*) {
    pending("setPageFieldInvisible");
}
void _makeArrayPageField(const char*, int, float) {
    pending("makeArrayPageField");
}
void fields_reset() {}
void compress_field(int) {}
void rename_field_name() {}
