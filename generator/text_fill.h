// Filling text fields: a value is laid out into the field's appearance stream, which
// replaces the stream of the loaded template page. The public operations are declared in
// operations.h, the filler itself in page_hooks.h.
#pragma once

#include <string>

// The reusable buffer that holds the appearance text being built.
struct FillState {
    std::string stream;
};

extern FillState g_fill;

// The appearance stream object of a widget: the object its /N entry refers to, or -1.
int field_appearance_object(int widget);
