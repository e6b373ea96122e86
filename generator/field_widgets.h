// Lookups on the widget annotations of the loaded page that the field operations share:
// entries a widget takes from its parent field, the widget's appearance stream and page, and
// the marked references inside array texts. Dictionary lookups come from store/element_walk.h.
#pragma once

#include "generator/field_names.h"
#include "store/element_walk.h"

// The widget's parent field (its /Parent), or -1.
int widget_parent(int widget);
// Entry `label` of the widget itself or, when it has none, of its parent field; *owner
// receives the object that holds it (left alone when there is none).
int widget_or_parent_entry(int widget, const char* label, int* owner);
// The element of the widget's normal appearance entry (/AP /N), whatever it holds, or -1.
int widget_normal_entry(int widget);
// The element of the widget's normal appearance reference (/AP /N), or -1.
int widget_appearance_elem(int widget);
// The widget's normal appearance stream object, or -1.
int widget_appearance(int widget);
// The page object the widget lies on: its /P, its parent's /P, or else the page whose
// annotation array lists it; -1 when there is none.
int widget_page(int widget);

// The array text element of the page's annotations: the page's own /Annots array, or the
// array object its /Annots refers to; -1 when the page has none in either form.
int page_annots_elem(int page);

// True when array text `s` (len bytes) holds a marked reference to object `obj`.
bool array_refers(const char* s, int len, int obj);
// Overwrites the first marked reference to object `obj` in array text `s` with blanks of
// the same length; returns whether one was found.
bool blank_array_ref(char* s, int len, int obj);
// Reads the first n numbers (at most 8) of an array text; false when it holds fewer.
bool read_numbers(const char* s, int len, float* out, int n);
// The widget's rectangle: its /Rect array, held in the widget or in an array object it
// refers to; false when there is none that holds four numbers.
bool widget_rect(int widget, float rect[4]);
// The text of array entry `label` of object `obj` (held there or in an array object it
// refers to), or nullptr; its length goes to *len.
const char* dict_array_text(int obj, const char* label, int* len);
