// The generator's document cycle on a template held in memory, shared by the fuzz targets
// that end in a written document.
#pragma once

#include <cstddef>

#include "generator/operations.h"
#include "generator/pdf_writer.h"
#include "store/failure.h"

// Prints `pages` pages of the template bytes into a document written to /dev/null. A
// Failure ends the document where it happened, as in a real run.
inline void print_pages(const char* name, const char* bytes, size_t size, int pages) {
    try {
        _Merlow();
        _setPDFFileName("/dev/null");
        for (int i = 0; i < pages; ++i) {
            start_page_memory(name, bytes, size);
            _endPage();
        }
        _finish();
    } catch (const Failure&) {
    }
    print_close();
}
