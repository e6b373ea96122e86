#include "generator/doc_state.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "store/failure.h"

DocState g_doc;

void _throw(const char* str) {
    std::snprintf(g_doc.exception_buf, sizeof g_doc.exception_buf, "%s", str);
    throw Failure(g_doc.exception_buf);
}

// Formats straight into the kept message, so the thrown text and exception_buf are one copy.
void throwf(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(g_doc.exception_buf, sizeof g_doc.exception_buf, fmt, ap);
    va_end(ap);
    throw Failure(g_doc.exception_buf);
}

void check_seq(int want) {
    if (!g_doc.opened || g_doc.seq != want) _throw("Illegal method calling sequence.");
}

void* mcalloc(size_t len) {
    void* p = std::calloc(len ? len : 1, 1);
    if (!p) _throw("Memory allocation error.");
    return p;
}
