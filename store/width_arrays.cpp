#include "store/width_arrays.h"

#include <cctype>
#include <cstdlib>
#include <string>

namespace {

enum class Item { number, list_start, list_end, end, other };

struct WidthReader {
    const char* s;
    int len;
    int i = 0;
    double value = 0;

    Item next() {
        while (i < len && static_cast<unsigned char>(s[i]) < '!') ++i;
        if (i >= len || s[i] == 0) return Item::end;
        char c = s[i];
        if (c == '[') {
            ++i;
            return Item::list_start;
        }
        if (c == ']') {
            ++i;
            return Item::list_end;
        }
        if ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.') {
            std::string num;
            while (i < len && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '-' ||
                               s[i] == '+' || s[i] == '.'))
                num.push_back(s[i++]);
            value = std::strtod(num.c_str(), nullptr);
            return Item::number;
        }
        return Item::other;
    }
};

// A code read as a number, as a slot index: -1 below the slots (or not a number), nslots
// beyond them. Damaged arrays hold numbers that no integer type holds.
long slot_of(double v, int nslots) {
    if (!(v >= 0)) return -1;
    return v >= nslots ? nslots : static_cast<long>(v);
}

}  // namespace

void read_simple_widths(const char* text, int len, double* slots, int nslots, int first) {
    WidthReader r{text, len};
    long slot = first < 0 ? 0 : first;
    for (Item it = r.next(); it != Item::end && slot < nslots; it = r.next()) {
        if (it == Item::number) slots[slot++] = r.value;
        if (it == Item::other) ++r.i;  // a byte of no number (damaged input) is passed over
    }
}

void read_cid_widths(const char* text, int len, double* slots, int nslots) {
    WidthReader r{text, len};
    for (;;) {
        if (r.next() != Item::number) return;
        double c = r.value;
        Item it = r.next();
        if (it == Item::list_start) {
            long slot = slot_of(c, nslots);
            for (;;) {
                Item w = r.next();
                if (w == Item::list_end) break;
                if (w != Item::number) return;
                if (slot >= 0 && slot < nslots) slots[slot] = r.value;
                ++slot;
            }
        } else if (it == Item::number) {
            double last = r.value;
            if (r.next() != Item::number) return;
            double w = r.value;
            long from = c < 0 ? 0 : slot_of(c, nslots);
            long to = last >= nslots ? nslots - 1 : slot_of(last, nslots);
            for (long k = from; k <= to; ++k) slots[k] = w;
        } else {
            return;
        }
    }
}
