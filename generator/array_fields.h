// Array fields: a template field repeated on the loaded page as numbered copies.
#pragma once

// Turns field `field_name` into `num` fields named "<name>__1" to "<name>__<num>": the
// source field keeps its widget under the first name, and every further copy gets its own
// widget and appearance stream, moved `gap` points further than the one before (down the
// page, or right on a page turned by 90 degrees and left on one turned by 270), and is
// added to the page's annotations.
void make_array_field(const char* field_name, int num, float gap);
