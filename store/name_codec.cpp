#include "store/name_codec.h"

#include <cctype>
#include <cstring>

#include "store/records.h"

char formatByte2Char(int data) {
    data &= 0x0f;
    return static_cast<char>(data < 10 ? '0' + data : 'A' + data - 10);
}

int formatChar2Byte(char data) {
    if (data >= '1' && data <= '9') return data - '0';
    if (data >= 'A' && data <= 'F') return data - 'A' + 10;
    if (data >= 'a' && data <= 'f') return data - 'a' + 10;
    return 0;
}

namespace {
char dec_label_tmp[LABEL_SIZE * 3 + 1];

bool ascii_name_char(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}
}  // namespace

const char* dec_label(const char* label) {
    size_t n = strnlen(label, LABEL_SIZE - 1);
    bool plain = true;
    for (size_t i = 0; i < n && plain; ++i) {
        unsigned char c = static_cast<unsigned char>(label[i]);
        plain = ascii_name_char(c) || (c >= 0x80 && std::isalnum(c));
    }
    if (plain && label[n] == 0) return label;
    char* o = dec_label_tmp;
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(label[i]);
        if (ascii_name_char(c)) {
            *o++ = static_cast<char>(c);
        } else {
            *o++ = '#';
            *o++ = formatByte2Char(c >> 4);
            *o++ = formatByte2Char(c & 0x0f);
        }
    }
    *o = 0;
    return dec_label_tmp;
}
