// The document cycle: opening a document, loading and completing pages, finishing.
#include <sys/time.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "generator/doc_state.h"
#include "generator/form_fields.h"
#include "generator/md5.h"
#include "generator/operations.h"
#include "generator/page_hooks.h"
#include "generator/page_numbering.h"
#include "generator/pdf_writer.h"
#include "generator/text_fill.h"
#include "store/element_ops.h"
#include "store/field_extras.h"
#include "store/template_file.h"

namespace {

// Selects a locale for everything but number formatting: PDF syntax needs "." as the
// decimal separator whatever the locale's own.
void select_locale(const char* name) {
    std::setlocale(LC_ALL, name);
    std::setlocale(LC_NUMERIC, "C");
}

void make_document_id() {
    struct timeval tv {};
    gettimeofday(&tv, nullptr);
    char text[64];
    int n = std::snprintf(text, sizeof text, "%d%d", static_cast<int>(tv.tv_sec),
                          static_cast<int>(tv.tv_usec));
    const unsigned char* d = md5ComputeHash(text, n);
    std::memset(g_doc.documentID, 0, sizeof g_doc.documentID);
    std::memcpy(g_doc.documentID, d, 16);
}

// Empties the storages for a new document. A document that ended in an error leaves its
// last page's records behind; they are zeroed here, as a template load would, since new
// records are taken up as they are and stale links in them would join unrelated objects.
void clear_counters() {
    Storages& s = g_st;
    storages_prepare_load(0, 0, 0, 0, 0, 0);
    s.cur_pages_strage = s.num_pages_strage = 0;
    s.cur_pxref_strage = s.num_pxref_strage = 0;
}

// Allocates a zeroed storage of `count` entries (replacing an earlier allocation).
template <typename T>
void alloc_zeroed(T*& p, int& alloc, int count) {
    std::free(p);
    p = static_cast<T*>(mcalloc(static_cast<size_t>(count) * sizeof(T)));
    alloc = count;
}

}  // namespace

void set_locale_command(const char* name) {
    select_locale(name);
}

void _Merlow() {
    images_reset();
    form_fields_reset();
    fields_reset();
    crypt_reset();
    template_runs_reset();
    g_doc.exception_buf[0] = 0;
    select_locale("Japanese");
    make_document_id();

    g_doc.seq = SEQ_OPENED;
    g_doc.base_num = 0;
    g_doc.template_base_num = 0;
    g_doc.f_2nd_page = 0;
    g_doc.g_pages_count = 0;
    g_doc.g_compress_field = 0;
    g_doc.g_pages_obj_no = 0;
    g_doc.g_root_obj_no = 0;
    g_doc.g_continue_template = 0;
    g_doc.flag_set_used = FLAG_SET_FIELD_SIZE;
    g_doc.g_yensign = 1;
    g_out.sum_pos = 0;
    g_out.g_qprint = 0;
    clear_counters();
    keep_template_images(true);
    g_doc.g_templateFileName[0] = 0;
    g_doc.g_preTemplateFileName[0] = 0;
    g_doc.template_name.clear();
    g_doc.pre_template_name.clear();

    alloc_zeroed(g_st.p_pages_strage, g_st.alloc_pages_strage, PAGES_CAPACITY);
    alloc_zeroed(g_st.p_pxref_strage, g_st.alloc_pxref_strage, PXREF_CAPACITY);
    g_doc.opened = true;
}

void _freeMerlow() {
    storages_release();
    g_doc.opened = false;
}

void _setPDFFileName(const char* pdfFileName) {
    check_seq(SEQ_OPENED);
    g_doc.seq = SEQ_STARTED;
    print_open(pdfFileName);
}

namespace {

// "startPage" with the template loaded by `load`: a page of the template named
// `templateFileName` continues the previous page's template when the names are equal.
template <typename Load>
void start_page_with(const char* templateFileName, Load load) {
    check_seq(SEQ_STARTED);
    g_doc.seq = SEQ_IN_PAGE;
    std::snprintf(g_doc.g_templateFileName, sizeof g_doc.g_templateFileName, "%s",
                  templateFileName);
    load();
    g_doc.template_name = templateFileName;
    fill_page_reset();
    g_doc.g_continue_template = 1;
    if (g_doc.template_name != g_doc.pre_template_name) {
        // A new run, unless the document had this content before (pages alternating between
        // templates): then its earlier run goes on, and its shared objects are not written
        // again.
        end_template_run();
        if (!resume_template_run()) {
            g_doc.template_base_num = g_doc.base_num;
            g_doc.g_continue_template = 0;
        }
    }
    std::memcpy(g_doc.g_preTemplateFileName, g_doc.g_templateFileName,
                sizeof g_doc.g_preTemplateFileName);
    g_doc.pre_template_name = g_doc.template_name;
    std::memset(g_doc.flag_set_field, 0, static_cast<size_t>(g_doc.flag_set_used));
    g_doc.flag_set_used = 0;
}

}  // namespace

void _startPage(const char* templateFileName) {
    start_page_with(templateFileName, [&] { load_template(templateFileName); });
}

void start_page_memory(const char* name, const void* data, size_t size) {
    start_page_with(name, [&] { load_template_memory(name, data, size); });
}

void _endPage() {
    check_seq(SEQ_IN_PAGE);
    g_doc.seq = SEQ_STARTED;
    Storages& s = g_st;
    if (s.num_field_strage > g_doc.flag_set_used)
        g_doc.flag_set_used = std::min(s.num_field_strage, FLAG_SET_FIELD_SIZE);

    // Every text field that received no value gets its appearance regenerated empty; fields
    // without a fillable appearance, and buttons, choices and signatures, keep theirs.
    for (int i = 0; i < s.num_field_strage; ++i) {
        const st_field& f = s.p_field_strage[i];
        if (f.name[0] == '_' || f.obj_no == 0 || f.f_ap == 0) continue;
        if (i < FLAG_SET_FIELD_SIZE && g_doc.flag_set_field[i] == 1) continue;
        if (!field_is_text(i)) continue;
        fill_empty_record(i);
    }
    if (g_doc.g_compress_field == 1) {
        for (int i = 0; i < s.num_xref_strage; ++i)
            if (s.p_xref_strage[i].f_page == 1) compress_field(i);
    }
    rename_field_name();
    collect_form_fields();
    get_pagerefs();
    renum_obj();
    number_form_fields();
    if (!g_doc.f_2nd_page) print_pdfheader();
    if (crypt_enabled()) crypt_pdf();
    if (!g_doc.f_2nd_page && crypt_permissions() != 0) make_crypt_obj();
    print_obj();
    print_xref();
    g_doc.f_2nd_page = 1;
    g_doc.base_num += s.num_xref_strage;
}

void _finish() {
    if (!g_doc.opened || g_doc.seq != SEQ_STARTED || g_doc.g_pages_count <= 0)
        _throw("Illegal method calling sequence.");
    g_doc.seq = SEQ_FINISHED;
    form_fields_finish();
    Storages& s = g_st;
    // The page storages are emptied for the page-tree object. The trailer keeps the last
    // page's trailer, and the character storage keeps the bytes of its strings.
    storages_prepare_load(s.num_trailer_strage, 0, 0, 0, 0, s.num_char_strage);
    s.num_elem_strage = 1;  // element 0 means "none"
    set_pagerefs();
    int slot = g_doc.g_pages_obj_no;
    if (slot >= 0 && slot < s.num_pxref_strage) s.p_pxref_strage[slot] = g_out.sum_pos;
    g_doc.base_num = g_doc.g_pages_obj_no - 1;
    print_obj();
    print_xref();
    print_xref_last();
    print_close();
}

void _setYenSign(int yen_sign_mode) {
    g_doc.g_yensign = yen_sign_mode;
}

void _compressField() {
    check_seq(SEQ_OPENED);
    g_doc.g_compress_field = 1;
}
