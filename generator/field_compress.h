// Field compression: the filled text fields of a page are flattened into one compressed
// content stream of the page, and their widgets leave the output.
#pragma once

// Size of the work buffer that collects one page's flattened field content.
constexpr int CSTREAM_SIZE = 1000000;

// Flattens the fields of page object `page_obj_no` (see compress_field in page_hooks.h).
// Exposed for tests: the content that the last call flattened, before compression.
const char* last_field_content(int* len);
