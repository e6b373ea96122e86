#include "compiler/compile.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "compiler/compile_log.h"
#include "compiler/compiler_state.h"
#include "compiler/decrypt.h"
#include "compiler/input_prep.h"
#include "compiler/object_events.h"
#include "compiler/parse_ctx.h"
#include "compiler/post_process.h"
#include "store/element_ops.h"
#include "store/failure.h"
#include "store/inflate.h"
#include "store/storages.h"
#include "store/template_file.h"

namespace {

// The compiler's storages start with the generator's capacities and reserves (an empty
// template's), with room for more fields.
constexpr int C_FIELDS = 1024;
// Offsets into the text are ints in the string records; larger inputs are refused.
constexpr size_t MAX_PDF_SIZE = 0x50000000;

}  // namespace

void compile_begin(const char* program_name, const std::string& pdf_path, size_t pdf_size) {
    compiler_reset(program_name);
    g_cc.pdf_path = pdf_path;
    storages_reset(StoreVariant::compiler);
    size_t chars = pdf_size > MAX_PDF_SIZE ? MAX_PDF_SIZE : pdf_size;
    storages_allocate(TRAILER_CAPACITY, XREF_CAPACITY, ELEM_RESERVE, FONT_RESERVE, C_FIELDS,
                      static_cast<int>(chars * 2 + 1024));
    // Element 0 is never a real element: index 0 ends chains and means "none".
    new_elem_strage();
    install_event_handlers();
}

namespace {

// The objects of every stored object stream (decrypted by now), parsed as one more update
// section after everything in the file. Returns false when that text does not parse.
bool expand_stored_object_streams() {
    std::string text = "%PDF-1.7\r";
    ExpansionMap map;
    map.base = 0;
    int made = 0;
    for (int i = 1; i < g_st.num_xref_strage; ++i) {
        if (g_st.p_xref_strage[i].first_elem == 0) continue;
        const char* type = get_elem_name(i, nullptr, "Type");
        if (!type || std::strcmp(type, "ObjStm") != 0) continue;
        int d = get_elem(i, LABEL_STREAM);
        if (d < 0) continue;
        const st_elem& de = g_st.p_elem_strage[d];
        std::string data(elem_bytes(de), static_cast<size_t>(de.data.str.len));
        int fe = get_elem_absolute(i, "Filter");
        std::string plain;
        if (fe < 0) {
            plain = data;
        } else {
            const st_elem& f = g_st.p_elem_strage[fe];
            bool flate =
                (f.f_type == ELEM_TYPE_NAME && std::strcmp(f.data.name, "FlateDecode") == 0) ||
                (f.f_type == ELEM_TYPE_STRING &&
                 std::string(elem_bytes(f), static_cast<size_t>(f.data.str.len))
                         .find("/FlateDecode") != std::string::npos);
            if (!flate || !inflate_data(data.data(), data.size(), plain)) continue;
        }
        size_t at =
            static_cast<size_t>(i) < g_cc.def_pos.size() ? g_cc.def_pos[static_cast<size_t>(i)] : 0;
        made += expand_object_stream_data(plain, get_elem_int(i, nullptr, "N"),
                                          get_elem_int(i, nullptr, "First"), text, &map, at, i);
    }
    if (made == 0) return true;
    text += "startxref\r\n1\r\n%%EOF\r\n";
    size_t len = text.size();
    text.push_back(0);
    text.push_back(0);
    // The second text has its own header and offsets: the file's stay as they were.
    st_elem header = g_st.p_trailer_strage[0];
    ExpansionMap file_map = std::move(g_cc.expansion);
    g_cc.expansion = std::move(map);
    g_cc.f_expanding = true;
    int r = parse_pdf_text(text.data(), len);
    if (r != 0) close_partial_object();
    finish_object_events();
    g_st.p_trailer_strage[0] = header;
    g_cc.f_expanding = false;
    g_cc.expansion = std::move(file_map);
    return r == 0;
}

// Scans and parses a prepared text (consumed), then post-processes the storages.
CompileStatus compile_text(std::string& text) {
    CompileStatus status = CompileStatus::ok;
    size_t text_len = text.size();
    text.push_back(0);
    text.push_back(0);
    raise_event(EV_OPEN, g_cc.pdf_path.c_str(), pdf_tok{g_cc.pdf_path.c_str(), 0, 0});
    if (parse_pdf_text(text.data(), text_len) != 0) {
        status = CompileStatus::parse_error;
        close_partial_object();
    } else if (!g_cc.parse_errors.empty()) {
        status = CompileStatus::parse_error;  // damaged objects passed by
    }
    finish_object_events();
    std::string().swap(text);
    // The encryption dictionary may be named by a cross-reference stream.
    copy_xref_stream_trailers();
    std::string what;
    switch (decrypt_document(what)) {
        case DecryptStatus::plain:
            break;
        case DecryptStatus::decrypted:
            g_cc.f_decrypted = true;
            note_repair("decrypted (" + what);
            break;
        case DecryptStatus::needs_password:
            g_cc.encryption_error = "Encrypted PDF needs a password(" + g_cc.pdf_path + ")";
            break;
        case DecryptStatus::unsupported:
            g_cc.encryption_error = "Unsupported encryption(" + g_cc.pdf_path + "): " + what;
            break;
    }
    if (!g_cc.encryption_error.empty()) {
        std::printf("%s\n", g_cc.encryption_error.c_str());
        std::fflush(stdout);
        return CompileStatus::encrypted;
    }
    if (g_cc.expansion.deferred && !expand_stored_object_streams() && status == CompileStatus::ok)
        status = CompileStatus::parse_error;
    post_process();
    return status;
}

// Names in the readable log what preparing the text mended.
void note_repairs(const PrepRepairs& r) {
    auto count = [](size_t n, const char* one, const char* more) {
        return std::to_string(n) + (n == 1 ? one : more);
    };
    if (r.no_header) note_repair("no %PDF- header: read as PDF 1.4");
    if (r.split > 0)
        note_repair("object headers glued to the endobj before them split (" +
                    count(r.split, " place)", " places)"));
    if (r.closed > 0)
        note_repair("objects without endobj closed (" + count(r.closed, " object)", " objects)"));
    if (r.revisions > 0)
        note_repair("revisions without %%EOF ended (" +
                    count(r.revisions, " revision)", " revisions)"));
    if (r.no_eof) note_repair("no %%EOF at the end: read to the end of the file");
    if (r.stray > 0)
        note_repair("text between objects passed by (" + count(r.stray, " place)", " places)"));
}

CompileStatus refuse_too_large() {
    report_parse_error("PDF file too large.");
    post_process();
    return CompileStatus::parse_error;
}

}  // namespace

CompileStatus compile_pdf_memory(const char* data, size_t len) {
    if (len > MAX_PDF_SIZE) return refuse_too_large();
    std::string text;
    note_repairs(prepare_input(data, len, text, &g_cc.expansion, &g_cc.live));
    return compile_text(text);
}

CompileStatus compile_pdf_file(const char* program_name, const std::string& pdf_path) {
    std::string data;
    bool ok = read_pdf_file(pdf_path.c_str(), data);
    compile_begin(program_name, pdf_path, ok ? data.size() : 0);
    if (!ok) {
        std::printf("Can't open file(%s)", pdf_path.c_str());
        std::fflush(stdout);
        post_process();
        return CompileStatus::cannot_open;
    }
    if (data.size() > MAX_PDF_SIZE) return refuse_too_large();
    // The file's bytes become the scanner's text in place.
    note_repairs(prepare_text(data, &g_cc.expansion, &g_cc.live));
    return compile_text(data);
}

bool write_compile_outputs() {
    const std::string& pdf = g_cc.pdf_path;
    bool ok = true;
    try {
        write_template(template_path(pdf).c_str());
    } catch (const Failure& f) {
        report_error(f.message);
        ok = false;
    }
    if (!write_compile_log(pdf)) {
        report_error("fopen::error(" + log_path(pdf) + ")");
        ok = false;
    }
    // A parse that stopped early leaves an incomplete template: say so where the user
    // looks for problems.
    for (const std::string& e : g_cc.parse_errors)
        report_error("Carvel Compile error (" + pdf + "):\n" + e);
    for (const std::string& e : g_cc.structure_errors) report_error(e);
    for (const std::string& e : g_cc.field_errors) report_error(e);
    std::string dup = duplicate_field_message();
    if (!dup.empty()) report_error(dup);
    if (g_cc.f_dup_xref) report_error(DUPLICATE_XREF_MESSAGE);
    return ok;
}
