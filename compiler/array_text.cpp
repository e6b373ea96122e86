#include "compiler/array_text.h"

#include <cstring>

#include "store/records.h"

namespace {

bool is_ws(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\f' || c == 0;
}
bool is_delim(char c) {
    return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
           c == '}' || c == '/' || c == '%';
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// p at "%": the line end that closes the comment (or end).
const char* skip_comment(const char* p, const char* end) {
    while (p < end && *p != '\r' && *p != '\n') ++p;
    return p;
}

// p at "<" that is not "<<": the byte after ">", or null.
const char* skip_hex_string(const char* p, const char* end) {
    const void* gt = std::memchr(p, '>', static_cast<size_t>(end - p));
    return gt ? static_cast<const char*>(gt) + 1 : nullptr;
}

// A reference "N G R" starts at p (digits, whitespace, digits, whitespace, R, then a
// delimiter, whitespace or the end). Returns the byte after the R, or null.
const char* reference_at(const char* p, const char* end) {
    const char* q = p;
    if (q >= end || !is_digit(*q)) return nullptr;
    while (q < end && is_digit(*q)) ++q;
    if (q >= end || !is_ws(*q)) return nullptr;
    while (q < end && is_ws(*q)) ++q;
    if (q >= end || !is_digit(*q)) return nullptr;
    while (q < end && is_digit(*q)) ++q;
    if (q >= end || !is_ws(*q)) return nullptr;
    while (q < end && is_ws(*q)) ++q;
    if (q >= end || *q != 'R') return nullptr;
    ++q;
    if (q < end && !is_ws(*q) && !is_delim(*q)) return nullptr;
    return q;
}

// The end of the regular token (name body, number, keyword) starting at p.
const char* skip_regular(const char* p, const char* end) {
    while (p < end && !is_ws(*p) && !is_delim(*p)) ++p;
    return p;
}

}  // namespace

const char* skip_literal_string(const char* p, const char* end) {
    int depth = 0;
    for (const char* q = p; q < end; ++q) {
        char c = *q;
        if (c == '\\') {
            ++q;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth == 0) {
            return q + 1;
        }
    }
    return nullptr;
}

const char* find_array_end(const char* p, const char* end, bool* reached_end) {
    if (reached_end) *reached_end = false;
    int depth = 0;
    const char* q = p;
    while (q < end) {
        char c = *q;
        switch (c) {
            case '[':
                ++depth;
                ++q;
                break;
            case ']':
                if (--depth == 0) return q;
                ++q;
                break;
            case '(':
                q = skip_literal_string(q, end);
                if (!q) q = end;
                break;
            case '<':
                if (q + 1 < end && q[1] == '<') {
                    q += 2;
                } else {
                    q = skip_hex_string(q, end);
                    if (!q) q = end;
                }
                break;
            case '%':
                q = skip_comment(q, end);
                break;
            case 'e':
                // An array never holds the end of its object: the bracket is unbalanced.
                if (end - q >= 6 && std::memcmp(q, "endobj", 6) == 0 &&
                    (is_ws(q[-1]) || is_delim(q[-1])))
                    return nullptr;
                q = skip_regular(q, end);
                break;
            case 's':
                // Nor stream data: an unclosed array must not run into its bytes.
                if (end - q >= 7 && std::memcmp(q, "stream", 6) == 0 &&
                    (q[6] == '\r' || q[6] == '\n') && (is_ws(q[-1]) || is_delim(q[-1])))
                    return nullptr;
                q = skip_regular(q, end);
                break;
            default:
                if (is_ws(c) || is_delim(c))
                    ++q;
                else
                    q = skip_regular(q, end);
        }
    }
    if (reached_end) *reached_end = true;
    return nullptr;
}

void normalise_array_text(const char* body, size_t len, std::string& out) {
    out.clear();
    out.reserve(len + 8);
    const char* p = body;
    const char* end = body + len;
    // The byte before the current token was a delimiter that ends a token ( ")", "]",
    // ">", "[" ): a reference there gets a space of its own.
    bool after_delim = false;
    if (p < end && is_digit(*p)) out.push_back(' ');
    while (p < end) {
        char c = *p;
        if (c == '(') {
            // Copied as it is, apart from raw marker bytes.
            const char* close = skip_literal_string(p, end);
            const char* stop = close ? close : end;
            for (const char* q = p; q < stop; ++q) {
                if (*q == '\\' && q + 1 < stop) {
                    if (q[1] == REF_MARKER) {
                        out += "\\001";
                    } else {
                        out.push_back(q[0]);
                        out.push_back(q[1]);
                    }
                    ++q;
                } else if (*q == REF_MARKER) {
                    out += "\\001";
                } else {
                    out.push_back(*q);
                }
            }
            p = stop;
            if (close && p < end && is_digit(*p)) out.push_back(' ');
            after_delim = false;
        } else if (c == '<' && p + 1 < end && p[1] == '<') {
            out += "<<";
            p += 2;
            after_delim = true;
        } else if (c == '<') {
            const char* close = skip_hex_string(p, end);
            const char* stop = close ? close : end;
            out.append(p, stop);
            p = stop;
            after_delim = true;
        } else if (c == '%') {
            const char* stop = skip_comment(p, end);
            out.append(p, stop);
            p = stop;
            after_delim = false;
        } else if (is_ws(c)) {
            out.push_back(c);
            ++p;
            after_delim = false;
        } else if (c == ']' || c == '>' || c == '[' || c == ')') {
            out.push_back(c);
            ++p;
            after_delim = true;
        } else if (c == '/') {
            // A name: its bytes, digits included, are not numbers.
            const char* stop = skip_regular(p + 1, end);
            out.append(p, stop);
            p = stop;
            after_delim = false;
        } else {
            if (after_delim && reference_at(p, end)) out.push_back(' ');
            const char* stop = is_delim(c) ? p + 1 : skip_regular(p, end);
            out.append(p, stop);
            p = stop;
            after_delim = false;
        }
    }
}

int mark_array_references(char* text, size_t len) {
    int marked = 0;
    char* p = text;
    char* end = text + len;
    while (p < end) {
        char c = *p;
        if (c == '(') {
            const char* close = skip_literal_string(p, end);
            p = close ? const_cast<char*>(close) : end;
        } else if (c == '<' && p + 1 < end && p[1] == '<') {
            p += 2;
        } else if (c == '<') {
            const char* close = skip_hex_string(p, end);
            p = close ? const_cast<char*>(close) : end;
        } else if (c == '%') {
            p = const_cast<char*>(skip_comment(p, end));
        } else if (is_ws(c) && c != 0) {
            if (const char* after = reference_at(p + 1, end)) {
                *p = REF_MARKER;
                ++marked;
                p = const_cast<char*>(after);
            } else {
                ++p;
            }
        } else if (c == '/') {
            p = const_cast<char*>(skip_regular(p + 1, end));
        } else if (is_delim(c) || c == 0) {
            ++p;
        } else {
            p = const_cast<char*>(skip_regular(p, end));
        }
    }
    return marked;
}
