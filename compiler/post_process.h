// Preparing the parsed objects for the generator: array strings restored, references
// marked, shared objects and pages flagged, inherited page attributes given to pages,
// cross-reference-stream trailer keys copied and the page tree flattened.
#pragma once

// Gives "/W" strings back their array kind and turns the bytes 2 and 3 of array objects
// back into brackets (undoing the input rewrites).
void restore_array_strings();

// Replaces the white-space byte before every "N G R" inside array strings by the
// reference marker and sets f_renum on those strings.
void mark_references();

// Field and font analysis (field_analysis.h) builds the field and font records.

// Sets f_common on shared objects and f_page on pages.
void flag_objects();

// Gives every page without a MediaBox that of its nearest ancestor, with its CropBox and
// Rotate.
void inherit_page_attributes();

// Copies Root, ID, Size, Encrypt and Prev of cross-reference streams into the trailer.
void copy_xref_stream_trailers();

// Makes the root Pages object's Kids list every leaf page directly.
void flatten_page_tree();

// All of the above, in order.
void post_process();
