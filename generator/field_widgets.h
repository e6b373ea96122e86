// Lookups on the widget annotations of the loaded page that the field operations share:
// entries of a dictionary object itself (not of its sub-dictionaries), entries a widget
// takes from its parent field, the widget's appearance stream and page, and the marked
// references inside array texts.
#pragma once

#include "generator/field_names.h"

// The element of entry `label` at the top level of dictionary object `obj` (not inside one
// of its sub-dictionaries or arrays), or -1. Elements switched off by a page operation
// (type 0) are not entries.
int dict_entry(int obj, const char* label);
// The entry `label` directly inside the sub-dictionary that element `start` opens, or -1.
int subdict_entry(int start, const char* label);
// The element that closes the sub-dictionary opened by element `start`, or -1.
int subdict_end(int start);
// The last element of object `obj`'s chain, or 0 when the object is empty.
int last_elem(int obj);

// The object that reference entry `label` of `obj` refers to, or -1.
int dict_ref(int obj, const char* label);
// The widget's parent field (its /Parent), or -1.
int widget_parent(int widget);
// Entry `label` of the widget itself or, when it has none, of its parent field; *owner
// receives the object that holds it (left alone when there is none).
int widget_or_parent_entry(int widget, const char* label, int* owner);
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
