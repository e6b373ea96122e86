// Fuzzes the field operations on damaged templates: a valid two-page form template with
// fields has bytes overwritten as the input says, is loaded from memory, and has script values,
// invisibility, array fields and compression applied to every field it names before the
// page is written. Every outcome must be a clean page or a Failure.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "generator/doc_state.h"
#include "generator/operations.h"
#include "generator/pdf_writer.h"
#include "store/failure.h"
#include "store/storages.h"
#include "tests/support/template_builder.h"

namespace {

std::string g_base;  // the valid template file

void make_base() {
    tb::PageSpec a, b;
    b.rotate = 90;
    for (int i = 0; i < 3; ++i) {
        tb::FieldSpec f;
        f.name = "f" + std::to_string(i);
        f.y = 600 - 40.0f * i;
        a.fields.push_back(f);
        f.name = "_g" + std::to_string(i);
        b.fields.push_back(f);
    }
    g_base = tb::simple_template_bytes({a, b});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (g_base.empty()) make_base();
    if (size < 1) return 0;
    // Input: a compression switch, then 4-byte edits (3-byte position, new byte).
    std::string t = g_base;
    for (size_t i = 1; i + 4 <= size; i += 4) {
        size_t pos = (size_t{data[i]} << 16 | size_t{data[i + 1]} << 8 | data[i + 2]) % t.size();
        t[pos] = static_cast<char>(data[i + 3]);
    }
    static const int32_t value[] = {'a', '(', ')', '\\', 0x1F600, 0};
    try {
        _Merlow();
        if (data[0] & 1) _compressField();
        _setPDFFileName("/dev/null");
        for (int page = 0; page < 2; ++page) {
            start_page_memory("fuzz.tpl", t.data(), t.size());
            std::vector<std::string> names;
            for (int i = 0; i < g_st.num_field_strage && i < 16; ++i)
                names.emplace_back(g_st.p_field_strage[i].name,
                                   strnlen(g_st.p_field_strage[i].name, 32));
            for (size_t k = 0; k < names.size(); ++k) {
                try {
                    switch (((data[0] >> 1) + k) % 3) {
                        case 0:
                            _setPageFieldInvisible(names[k].c_str());
                            break;
                        case 1:
                            _makeArrayPageField(names[k].c_str(), 1 + (data[0] >> 4), 12.5f);
                            break;
                        default:
                            _setPageFieldScriptValue(names[k].c_str(), value);
                    }
                } catch (const Failure&) {
                }
            }
            _endPage();
        }
        _finish();
    } catch (const Failure&) {
    }
    print_close();
    return 0;
}
