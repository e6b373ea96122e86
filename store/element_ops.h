// Element operations: appending and editing elements of an object's chain, and the
// lookups by label that both programs use. Element and object numbers are ints; -1 means
// "not found". String results point into the character storage and stay valid until it
// grows.
#pragma once

#include <cstddef>
#include <vector>

#include "store/change_marks.h"
#include "store/element_walk.h"
#include "store/storages.h"

// Copies a label or name into a 32-byte record slot (cut at 31 bytes). The compiler's
// variant decodes "#xx" escapes first.
void copy_label(char* dst, const char* src);
// Copies a name into a record slot as copy_label does when it fits; a longer name keeps its
// first 22 bytes and gains "~" and eight hex digits of a hash of the whole name, so that
// names alike in their first 31 bytes stay apart. Button states named by long export values
// (state keys, /AS, /V) and field fonts under long resource names are shortened so.
void copy_shortened_name(char* dst, const char* src);

// Strings.
void set_elem_str(int elem_no, char type, const char* tmp, int len);
void set_elem_str2(st_elem* elem, char type, const char* tmp, int len);

// Appending. With append_elem_no 0 the new element goes to the end of object obj_no's
// chain, otherwise directly after element append_elem_no. Each returns the new index.
int append_elem(int obj_no, int append_elem_no);
int append_elem_str(int obj_no, int append_elem_no, const char* label, char type, const char* str,
                    int len);
int append_elem_name(int obj_no, int append_elem_no, const char* label, const char* name);
int append_elem_objref(int obj_no, int append_elem_no, const char* label, int refobj_no);
int append_elem_int(int obj_no, int append_elem_no, const char* label, int data);
int append_elem_subdic_start(int obj_no, int append_elem_no, const char* label);
int append_elem_subdic_end(int obj_no, int append_elem_no, const char* label);
int append_elem_array_start(int obj_no, int append_elem_no, const char* label);
int append_elem_array_end(int obj_no, int append_elem_no, const char* label);

// Switches off the Filter and DecodeParms entries of stream object obj.
void drop_filter(int obj);
// Gives stream element `stream` of object obj the len bytes of data, unfiltered: the
// object's Filter and DecodeParms are switched off and its Length becomes len.
void set_plain_stream(int obj, int stream, const char* data, int len);

// Lookups.
int get_elem(int xref_no, const char* label);
int get_elem_absolute(int xref_no, const char* label);
int get_xref_absolute(int xref_no, const char* label);
int get_elem_force(int xref_no, const char* parent, const char* label);
char* get_elem_string(int xref_no, const char* parent, const char* label, int* plen);
char* get_elem_name(int xref_no, const char* parent, const char* label);
int get_elem_int(int xref_no, const char* parent, const char* label);
int get_elem_objref(int xref_no, const char* parent, const char* label);
int get_trailer(const char* label);
int get_trailer_objref(const char* label);
char* get_trailer_string(const char* label, int* plen);

// The object number after the first reference marker of an array text, or -1.
int first_marked_ref(const st_elem& e);
// The object that entry `label` of object obj refers to, or the first one it lists when it is
// an array (as a Type 0 font's /DescendantFonts); -1 when there is none.
int listed_object(int obj, const char* label);
// The field dictionary that holds widget `widget`'s name (/T): the widget itself, else its
// parent field, else (a widget named by neither) the widget.
int name_holder(int widget);
// The object numbers after every reference marker of an array text's bytes, in order.
std::vector<int> marked_refs(const char* text, size_t len);
// True when the element is an array text holding at least one reference marker.
bool has_ref_marker(const st_elem& e);
