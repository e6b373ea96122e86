// The compiler's readable log ("%s.log"), its error log ("%s.log.err") and the duplicate
// tests whose findings go there.
#pragma once

#include <string>

// The version text written at the head of both logs.
inline constexpr char CARVEL_VERSION[] = "Jul  7 2013";

// The output names: the PDF path with ".tpl", ".log" or ".log.err" appended.
std::string template_path(const std::string& pdf);
std::string log_path(const std::string& pdf);
std::string err_log_path(const std::string& pdf);

// The three header lines shared by both logs, followed by an empty line.
std::string log_header(const std::string& pdf);

// Writes the log of the current field storage. False when the file cannot be written.
bool write_compile_log(const std::string& pdf);

// Writes a message to the error log. The first report of a run creates the file with the
// header; later reports of the same run are appended, so none is lost.
void report_error(const std::string& message);

// The one-line summary Carvel prints when it is done: the template written, the fields
// found, how many of them can be filled, the number of problems reported and where the
// logs are.
std::string compile_summary(const std::string& pdf);

// "Duplicate form field.\n" followed by "  field name: %s\n" for every pair of equally
// named field records; empty when there is none.
std::string duplicate_field_message();

inline constexpr char DUPLICATE_XREF_MESSAGE[] =
    "Duplicate xref entry.\nPlease do \"open\" this PDF file by Acrobat and do \"save as\".";

// Name of a field's font as the log shows it.
std::string field_font_name(int font_no);
