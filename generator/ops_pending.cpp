// Operations whose code has not landed yet. Each command answers "Illegal Operation::%s"
// and each page-cycle hook does nothing, until the code that owns it replaces its entry here.
#include "generator/doc_state.h"
#include "generator/operations.h"
#include "generator/page_hooks.h"

namespace {
[[noreturn, maybe_unused]] void pending(const char* command) {
    throwf("Illegal Operation::%s", command);
}
}  // namespace
