// Helpers of the compiler tests: compiling PDF text held in a string and reading records.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "compiler/compile.h"
#include "store/element_ops.h"
#include "store/storages.h"

// Compiles a PDF held in a string into fresh storages.
inline CompileStatus compile_text(const std::string& pdf, const char* program = "carvel") {
    compile_begin(program, "mem.pdf", pdf.size());
    return compile_pdf_memory(pdf.data(), pdf.size());
}

// Compiles a PDF that must fail to parse; returns what the compiler printed.
inline std::string parse_error_output(const std::string& pdf) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(compile_text(pdf), CompileStatus::parse_error);
    return testing::internal::GetCapturedStdout();
}

// A complete small PDF around the given object text.
inline std::string pdf_with(const std::string& body,
                            const std::string& trailer = "<</Size 20/Root 1 0 R>>") {
    return "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n" + body + "xref\n0 1\n0000000000 65535 f \ntrailer\n" +
           trailer + "\nstartxref\n0\n%%EOF\n";
}

// The bytes of a string element.
inline std::string str_of(int elem) {
    if (elem < 0) return "<missing>";
    const st_elem& e = g_st.p_elem_strage[elem];
    return std::string(elem_bytes(e), static_cast<size_t>(e.data.str.len));
}

inline std::string trailer_str(int t) {
    const st_elem& e = g_st.p_trailer_strage[t];
    return std::string(elem_bytes(e), static_cast<size_t>(e.data.str.len));
}

// Labels of an object's chain, joined by spaces (types shown as :N, :I, :R, :S, :{ :} :[ :]).
inline std::string chain_of(int obj) {
    std::string out;
    if (!valid_xref(obj)) return out;
    for (int e = g_st.p_xref_strage[obj].first_elem; e > 0; e = g_st.p_elem_strage[e].next_elem) {
        const st_elem& el = g_st.p_elem_strage[e];
        static const char* const kinds[] = {"?", ":{", ":}", ":[", ":]", ":N", ":I", ":R", ":S"};
        if (!out.empty()) out += ' ';
        out += el.label;
        out += el.f_type >= 1 && el.f_type <= 8 ? kinds[el.f_type] : "?";
    }
    return out;
}
