#include "compiler/parse_ctx.h"

#include <cstring>

namespace {
constexpr size_t ARENA_BLOCK = 256 * 1024;
}

char* TextArena::alloc(size_t n) {
    n = (n + 7) & ~size_t{7};
    if (n > left_) {
        size_t size = n > ARENA_BLOCK / 4 ? n : ARENA_BLOCK;
        blocks_.emplace_back(new char[size]);
        if (size != ARENA_BLOCK) {
            // A large text gets a block of its own; the current block goes on.
            return blocks_.back().get();
        }
        cur_ = blocks_.back().get();
        left_ = size;
    }
    char* p = cur_;
    cur_ += n;
    left_ -= n;
    return p;
}

const char* TextArena::copy(const char* s, size_t n) {
    char* p = alloc(n + 2);
    if (n) std::memcpy(p, s, n);
    p[n] = p[n + 1] = 0;
    return p;
}
