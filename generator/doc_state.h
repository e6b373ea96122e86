// Process-wide state of the document cycle: one document per run, one page at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr int FLAG_SET_FIELD_SIZE = 102400;
constexpr int MAX_PAGE_INDEX = 100000;  // at most 100001 pages per document

// Call-sequence states held in `seq`; each public operation demands one of them.
enum SeqState : int {
    SEQ_OPENED = 0,    // after "Tessaro"
    SEQ_STARTED = 1,   // output opened, between pages
    SEQ_IN_PAGE = 2,   // a template page is loaded
    SEQ_FINISHED = 5,  // the document is written
};

struct DocState {
    int seq = SEQ_OPENED;
    int base_num = 0;
    int template_base_num = 0;
    int g_continue_template = 0;
    int f_2nd_page = 0;
    int g_pages_count = 0;
    int g_root_obj_no = 0;
    int g_pages_obj_no = 0;
    unsigned char documentID[33] = {};
    char g_templateFileName[256] = {};
    char g_preTemplateFileName[256] = {};
    // The whole names, which tell template runs apart: two names may share their first 255
    // bytes.
    std::string template_name;
    std::string pre_template_name;
    char flag_set_field[FLAG_SET_FIELD_SIZE] = {};
    // Bytes of flag_set_field that a page may have set since they were last cleared: a page
    // sets bytes only for its field records, so clearing that many clears them all.
    int flag_set_used = FLAG_SET_FIELD_SIZE;
    int g_compress_field = 0;
    int g_yensign = 1;
    char exception_buf[1024] = {};
    bool opened = false;  // _Merlow has allocated the page list and the offset table
};

extern DocState g_doc;

// The generator's one error path: keeps the message in exception_buf and throws a Failure,
// which the program's main writes to the error log before it exits with status 255.
[[noreturn]] void _throw(const char* str);
// _throw with a printf-style message.
[[noreturn]] void throwf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// "startPage" with the template's bytes in memory (for the fuzzers); `name` identifies the
// template for page continuation and the messages, as the file name does.
void start_page_memory(const char* name, const void* data, size_t size);

// Raises "Illegal method calling sequence." unless seq is `want`.
void check_seq(int want);

// Allocates len zeroed bytes; an allocation failure raises "Memory allocation error.".
void* mcalloc(size_t len);
