#include "compiler/compile_log.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "compiler/compiler_state.h"
#include "multibyte/standard_fonts.h"
#include "store/element_ops.h"
#include "store/field_extras.h"
#include "store/storages.h"

std::string template_path(const std::string& pdf) {
    return pdf + ".tpl";
}
std::string log_path(const std::string& pdf) {
    return pdf + ".log";
}
std::string err_log_path(const std::string& pdf) {
    return pdf + ".log.err";
}

std::string log_header(const std::string& pdf) {
    std::time_t now = std::time(nullptr);
    char tbuf[64] = "";
    // ctime's text ends in a line feed, so an empty line follows "created:".
    if (const char* c = std::ctime(&now)) std::snprintf(tbuf, sizeof tbuf, "%s", c);
    std::string h;
    h += "Carvel version: ";
    h += CARVEL_VERSION;
    h += "\nPDF name: ";
    h += pdf;
    h += "\ncreated: ";
    h += tbuf;
    h += "\n\n";
    return h;
}

std::string field_font_name(int font_no) {
    if (font_no < 0) {
        // A standard Type 1 font, by its number.
        char buf[STANDARD_FONT_NAME_SIZE] = "";
        get_standard_font_name(-font_no, buf);
        return buf;
    }
    if (font_no < g_st.num_font_strage) {
        const st_font& f = g_st.p_font_strage[font_no];
        return std::string(f.name, strnlen(f.name, sizeof f.name));
    }
    return "";
}

bool write_compile_log(const std::string& pdf) {
    FILE* f = std::fopen(log_path(pdf).c_str(), "w");
    if (!f) return false;
    std::string h = log_header(pdf);
    std::fputs(h.c_str(), f);
    auto text = [](const char* s, size_t n) { return std::string(s, strnlen(s, n)); };
    for (int i = 0; i < g_st.num_field_strage; ++i) {
        const st_field& fd = g_st.p_field_strage[i];
        std::fprintf(f, "[field:%d]---------------------------------\n", i);
        int full_len = 0;
        const char* full = field_full_name(i, &full_len);
        std::string name =
            full ? std::string(full, static_cast<size_t>(full_len)) : text(fd.name, sizeof fd.name);
        std::fprintf(f, "field name: %s\n", name.c_str());
        std::fprintf(f, "font name: %s\n", field_font_name(fd.font_no).c_str());
        std::fprintf(f, "font size: %d pt\n", fd.font_size);
        std::fputs("field align: ", f);
        if (fd.align == 0) std::fputs("left", f);
        if (fd.align == 1) std::fputs("center", f);
        if (fd.align == 2) std::fputs("right", f);
        std::fputs("\n", f);
        std::fprintf(f, "default value: %s\n", fd.f_ap ? "decleard" : "not decleard");
        std::fprintf(f, "width: %f pt\n", fd.width);
        std::fprintf(f, "line_feed: %f pt\n", fd.line_feed);
        std::fprintf(f, "line_start: %f pt\n", fd.line_start);
        std::fputs("\n", f);
    }
    std::fputs("\n", f);
    constexpr int FONT_SLOTS = 1024;
    constexpr int EMPTY_SLOT = 9999;
    int slots[FONT_SLOTS];
    for (int& s : slots) s = EMPTY_SLOT;
    for (int i = 0; i < g_st.num_field_strage; ++i) {
        const st_field& fd = g_st.p_field_strage[i];
        bool write = true;
        for (int& s : slots) {
            if (s == fd.font_no) {
                write = false;
                break;
            }
            if (s == EMPTY_SLOT) {
                s = fd.font_no;
                break;
            }
        }
        if (!write) continue;
        std::fprintf(f, "[font:%d]---------------------------------\n", i);
        std::fprintf(f, "font name: %s\n", field_font_name(fd.font_no).c_str());
        std::fprintf(f, "font short_name: %s\n", text(fd.short_name, sizeof fd.short_name).c_str());
        std::fputs("\n", f);
    }
    // What was repaired or changed on the way in, after everything a reader of the
    // field and font blocks looks for.
    for (const std::string& r : g_cc.repairs) std::fprintf(f, "repaired: %s\n", r.c_str());
    return std::fclose(f) == 0;
}

void report_error(const std::string& message) {
    std::string path = err_log_path(g_cc.pdf_path);
    bool first = !g_cc.f_err_log_written;
    FILE* f = std::fopen(path.c_str(), first ? "w" : "a");
    if (!f) {
        std::fprintf(stderr, "carvel: cannot write %s: %s\n", path.c_str(), message.c_str());
        return;
    }
    if (first) std::fputs(log_header(g_cc.pdf_path).c_str(), f);
    std::fprintf(f, "%s\n", message.c_str());
    std::fclose(f);
    g_cc.f_err_log_written = true;
    ++g_cc.err_reports;
}

std::string compile_summary(const std::string& pdf) {
    int fillable = 0;
    for (int i = 0; i < g_st.num_field_strage; ++i) {
        const st_field& fd = g_st.p_field_strage[i];
        if (fd.f_ap != 0 && fd.obj_no != 0) ++fillable;
    }
    std::string s = "carvel: " + template_path(pdf) + ": " + std::to_string(g_st.num_field_strage) +
                    " fields found, " + std::to_string(fillable) + " fillable, " +
                    std::to_string(g_cc.err_reports) +
                    (g_cc.err_reports == 1 ? " warning" : " warnings") + " (log " + log_path(pdf);
    if (g_cc.err_reports > 0) s += ", problems in " + err_log_path(pdf);
    return s + ")";
}

std::string duplicate_field_message() {
    // Each repeated name once, in the order of its first field, with its count. Fields are
    // compared by the name scripts address them with (the fully qualified name when recorded);
    // check boxes, radio buttons and other non-text widgets of one field share their name by
    // design and are left out, and so are the widgets of one text field (the kids of the
    // dictionary that holds its name, as a field shown on several pages has). Sorting indexes
    // by name keeps this n log n however many widgets share a name.
    const int n = g_st.num_field_strage;
    std::vector<std::string> names(static_cast<size_t>(n));
    std::vector<int> holders(static_cast<size_t>(n), -1);
    std::vector<int> order;
    for (int i = 0; i < n; ++i) {
        if (!field_is_text(i)) continue;
        int len = 0;
        const char* full = field_full_name(i, &len);
        const st_field& f = g_st.p_field_strage[i];
        names[static_cast<size_t>(i)] = full ? std::string(full, static_cast<size_t>(len))
                                             : std::string(f.name, strnlen(f.name, sizeof f.name));
        if (f.obj_no > 0 && valid_xref(f.obj_no))
            holders[static_cast<size_t>(i)] = name_holder(f.obj_no);
        order.push_back(i);
    }
    auto name_of = [&](int i) -> const std::string& { return names[static_cast<size_t>(i)]; };
    auto holder_of = [&](int i) { return holders[static_cast<size_t>(i)]; };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const int c = name_of(a).compare(name_of(b));
        return c != 0 ? c < 0 : holder_of(a) < holder_of(b);
    });
    std::vector<std::pair<int, int>> repeated;  // first field, count of fields
    for (size_t i = 0; i < order.size();) {
        size_t j = i + 1;
        int fields = 1, first = order[i];
        for (; j < order.size() && name_of(order[j]) == name_of(order[i]); ++j) {
            if (holder_of(order[j]) == -1 || holder_of(order[j]) != holder_of(order[j - 1]))
                ++fields;
            first = std::min(first, order[j]);
        }
        if (fields > 1) repeated.emplace_back(first, fields);
        i = j;
    }
    std::sort(repeated.begin(), repeated.end());
    std::string msg;
    for (const auto& [first, count] : repeated) {
        if (msg.empty()) msg = "Duplicate form field.\n";
        msg += "  field name: ";
        msg += name_of(first);
        msg += " (" + std::to_string(count) + " fields)\n";
    }
    return msg;
}
