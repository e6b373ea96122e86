// Which objects of the loaded page the page's operations have changed.
//
// After a template load every object is unchanged. Every edit of an object's elements
// that goes through the store (the appends, set_elem_str, set_elem_int, set_elem_objref,
// switch_off_elem, empty_object, mark_elem_changed for edits of string bytes in place)
// marks the object that owns the element. Objects added after the load count as changed.
// The generator writes an object of a later page of a template run only when it changed
// (or refers to something that did); see page_numbering.
#pragma once

#include <vector>

// Starts a page: every loaded object unchanged, every element's owner taken from the chains.
// `image` identifies the template content just loaded (loaded_image_id, template_file.h);
// the owners are worked out again only when it differs from the previous page's.
void marks_start_page(long image);
// Number of objects the template load brought (those above it were added by operations).
int marks_loaded_objects();

void mark_object_changed(int obj);
void mark_elem_changed(int elem);
// Marks the owner of an element given by address (an element of the element storage).
void mark_elem_changed(const void* elem);
bool object_changed(int obj);
// Records that element `elem` now belongs to object `obj` (the appends call it).
void marks_set_owner(int elem, int obj);

// Clears the mark of object obj: its content is, again, one that a later page of the run
// reproduces unchanged (the caller knows why; see text_fill's empty refills).
void mark_object_unchanged(int obj);
// How many loaded objects went from unchanged to changed on this page so far.
long marks_changes();

// Reads: while a recording runs, every walk of an element chain notes the object that owns
// the chain. What a computation read lets its result be kept for a later page of the run:
// it holds while none of those objects changed.
void marks_record_reads(std::vector<int>* into);  // nullptr stops the recording
extern std::vector<int>* g_marks_reads;
void marks_note_read(int elem);   // the owner of element elem
void marks_note_object(int obj);  // object obj itself, even when it is empty
// True when no object of `objs` changed on this page (an object the load did not bring
// counts as changed).
bool objects_unchanged(const std::vector<int>& objs);

// Edits that mark the owning object.
void set_elem_int(int elem, int value);
void set_elem_objref(int elem, int obj);
// Switches an element off (the writer leaves it out).
void switch_off_elem(int elem);
// Empties an object: it is not written.
void empty_object(int obj);
