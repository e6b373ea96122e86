// The PDF writer: turns the object store into output bytes, counting every byte so each
// object's offset is known without seeking.
#pragma once

#include <cstdio>
#include <string>

struct WriterState {
    FILE* fp_pdfFile = nullptr;
    bool to_stdout = false;
    long long sum_pos = 0;  // PDF bytes written so far (before quoted-printable encoding)
    int g_qprint = 0;
    int qp_col = 0;         // bytes on the current quoted-printable line
    std::string file_name;  // as the script names it; "-" or "-qprint" for standard output
};

extern WriterState g_out;

void print_open(const char* pdfFileName);
void print_pdfheader();
void print_obj();
void print_xref();
void print_xref_last();
void print_close();
void print_elem(int elem);

// Appends v in decimal, as the writer writes numbers.
void append_int(std::string& s, long long v);

void pdf_write(const char* str);
void pdf_write_bin(const char* str, int len);
// Writes raw or quoted-printable (the third argument is not used).
void pdf_fwrite(const char* str, int len, int dmy, FILE* fp);
// Writes out what was written so far (the error path keeps the output as far as written).
// A failing write or close raises "PDF write error(%s)" with the file name.
void pdf_flush();
// pdf_flush for the error path: a second failure is not reported over the first.
void pdf_flush_quietly();
// Writes out the writer's buffer from a signal handler (async-signal-safe calls only).
void pdf_flush_on_crash();
