// Which objects of the loaded page the page's operations have changed.
//
// After a template load every object is unchanged. Every edit of an object's elements
// that goes through the store (the appends, set_elem_str, set_elem_int, set_elem_objref,
// switch_off_elem, empty_object, mark_elem_changed for edits of string bytes in place)
// marks the object that owns the element. Objects added after the load count as changed.
// The generator writes an object of a later page of a template run only when it changed
// (or refers to something that did); see page_numbering.
#pragma once

// Starts a page: every loaded object unchanged, every element's owner taken from the chains.
void marks_start_page();
// Number of objects the template load brought (those above it were added by operations).
int marks_loaded_objects();

void mark_object_changed(int obj);
void mark_elem_changed(int elem);
// Marks the owner of an element given by address (an element of the element storage).
void mark_elem_changed(const void* elem);
bool object_changed(int obj);
// Records that element `elem` now belongs to object `obj` (the appends call it).
void marks_set_owner(int elem, int obj);

// Edits that mark the owning object.
void set_elem_int(int elem, int value);
void set_elem_objref(int elem, int obj);
// Switches an element off (the writer leaves it out).
void switch_off_elem(int elem);
// Empties an object: it is not written.
void empty_object(int obj);
