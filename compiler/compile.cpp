#include "compiler/compile.h"

#include <cstdio>
#include <string>

#include "compiler/compile_log.h"
#include "compiler/compiler_state.h"
#include "compiler/input_prep.h"
#include "compiler/object_events.h"
#include "compiler/parse_ctx.h"
#include "compiler/post_process.h"
#include "store/failure.h"
#include "store/storages.h"
#include "store/template_file.h"

namespace {

// Initial capacities of the compiler's storages.
constexpr int C_TRAILERS = 64;
constexpr int C_XREFS = 65536;
constexpr int C_ELEMS = 1024;
constexpr int C_FONTS = 128;
constexpr int C_FIELDS = 1024;
// Offsets into the text are ints in the string records; larger inputs are refused.
constexpr size_t MAX_PDF_SIZE = 0x50000000;

}  // namespace

void compile_begin(const char* program_name, const std::string& pdf_path, size_t pdf_size) {
    compiler_reset(program_name);
    g_cc.pdf_path = pdf_path;
    storages_reset(StoreVariant::compiler);
    size_t chars = pdf_size > MAX_PDF_SIZE ? MAX_PDF_SIZE : pdf_size;
    storages_allocate(C_TRAILERS, C_XREFS, C_ELEMS, C_FONTS, C_FIELDS,
                      static_cast<int>(chars * 2 + 1024));
    // Element 0 is never a real element: index 0 ends chains and means "none".
    new_elem_strage();
    install_event_handlers();
}

namespace {

// Scans and parses a prepared text (consumed), then post-processes the storages.
CompileStatus compile_text(std::string& text) {
    CompileStatus status = CompileStatus::ok;
    size_t text_len = text.size();
    text.push_back(0);
    text.push_back(0);
    raise_event(0, g_cc.pdf_path.c_str(), pdf_tok{g_cc.pdf_path.c_str(), 0, 0});
    if (parse_pdf_text(text.data(), text_len) != 0) {
        status = CompileStatus::parse_error;
        close_partial_object();
    }
    finish_object_events();
    std::string().swap(text);
    post_process();
    return status;
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
    prepare_input(data, len, text, &g_cc.expansion);
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
    prepare_text(data, &g_cc.expansion);
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
