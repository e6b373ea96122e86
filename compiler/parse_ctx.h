// What the scanner and the grammar share: the token value and the parse's scratch memory.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// The value of a token or grammar symbol: a text (not owned) with its length, or an
// integer. Plain data: the parser's stacks copy it bytewise when they grow.
struct pdf_tok {
    const char* str;
    int len;
    long long num;
};

// Bump allocator for token texts; everything is released when the parse ends.
class TextArena {
  public:
    char* alloc(size_t n);
    // A copy of n bytes followed by two NUL bytes.
    const char* copy(const char* s, size_t n);

  private:
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* cur_ = nullptr;
    size_t left_ = 0;
};

struct ParseCtx {
    TextArena arena;
    // The text under the scanner: its start and its length (two NULs follow it).
    const char* text = nullptr;
    size_t text_len = 0;
    // The running text of a "binary" run (header comment, bytes after the last marker).
    std::string binary;
    // Consecutive integers seen in the current array list (a reference takes two).
    int array_ints = 0;
    // A "(" found no balancing ")" up to the end of the text.
    bool unbalanced = false;
    // A "[" found no closing "]" up to the end of the text.
    bool array_unclosed = false;
    // Where the current "binary" run began (offset of the look-ahead token then).
    long crap_pos = -1;
    // The current object's /Length when it is a direct integer, else -1.
    long long stream_length = -1;
};

// Runs the grammar over a prepared text (which must be followed by two NUL bytes).
// Returns 0 when the whole text parsed, else 1; error messages are in g_cc.parse_errors.
int parse_pdf_text(const char* text, size_t len);

// One token as the scanner returns it (for tests and diagnostics).
struct LexToken {
    int code;
    std::string text;
    long long num;
};

// Where a scan starts: before the body (the header), between objects, or after the last
// end-of-file marker.
enum class LexStart { header, body, opaque };

// Scans a whole text from the given start state.
void lex_tokens(const std::string& text, std::vector<LexToken>& out,
                LexStart start = LexStart::header);
