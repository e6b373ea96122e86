// Preparing the parsed objects for the generator: references marked, shared objects and pages
// flagged, inherited page attributes given to pages, cross-reference-stream trailer keys copied and
// the page tree flattened.
#pragma once

// Leaves out the earlier entries of every key that a dictionary gives more than once.
void drop_repeated_keys();

// Replaces the white-space byte before every "N G R" inside array strings by the
// reference marker and sets f_renum on those strings.
void mark_references();

// Field and font analysis (field_analysis.h) builds the field and font records.

// Sets f_common on shared objects and f_page on pages.
void flag_objects();

// Copies Root, ID, Size, Encrypt and Prev of cross-reference streams into the trailer.
void copy_xref_stream_trailers();

// Where no trailer names a catalog (a damaged file), takes the last object that is one.
void find_catalog_without_trailer();

// Makes the root Pages object's Kids list every leaf page directly, walking a page tree of
// any depth, and gives each leaf page the Resources, MediaBox, CropBox and Rotate it
// inherits (its own values win). A node that contains itself is cut and reported.
void flatten_page_tree();

// All of the above, in order.
void post_process();
