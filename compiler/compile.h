// Carvel as a library: one compile of a PDF into the storages, then its outputs.
#pragma once

#include <cstddef>
#include <string>

// Result of compile_pdf_memory / compile_pdf_file.
enum class CompileStatus {
    ok,           // the whole text parsed
    parse_error,  // the parse stopped early; what was stored before is kept
    cannot_open,  // the file could not be read: the storages stay empty
    encrypted,    // encrypted, and the empty password does not open it (or the
                  // method is unknown): no template may be written
};

// Starts a compile: fresh compiler state (variant switches from the program name), empty
// compiler storages sized for a PDF of `pdf_size` bytes, handlers installed.
void compile_begin(const char* program_name, const std::string& pdf_path, size_t pdf_size);

// Prepares, scans, parses and post-processes a PDF held in memory into the storages.
// Call compile_begin first.
CompileStatus compile_pdf_memory(const char* data, size_t len);

// Reads the file named by g_cc.pdf_path and compiles it; prints "Can't open file(%s)"
// when it cannot be read, and still post-processes the (empty) storages.
CompileStatus compile_pdf_file(const char* program_name, const std::string& pdf_path);

// Writes the template file and the log, runs the duplicate tests and reports what was
// found in the error log. Returns false when the template or the log cannot be written
// (the reason is in the error log).
bool write_compile_outputs();
