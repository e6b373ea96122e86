// Widget field analysis: one field record per text-field widget, holding what the generator
// needs to write values into the widget's appearance stream.
#pragma once

#include <string>

// Analyses every widget annotation of the parsed PDF, in object-number order, appending
// field records (and, through the font analysis, font records).
void analyse_fields();

// Analyses widget object `widget` (already known to be a widget annotation).
void analyse_widget(int widget);

// The beginning of an appearance text that field values are appended to: the text up to the
// operands of its first text-positioning operator (Tm, TL or Td).
std::string appearance_prefix(const std::string& text);
