// Last resort against a crash: a segmentation fault writes the error log and ends the run.
#pragma once

#include <string>

// Installs the handler for the PDF at `pdf_path` (its error log is prepared now, since the
// handler may only write what is ready).
void install_crash_handler(const std::string& pdf_path);
