// Width arrays of font dictionaries, as text: a simple font's /Widths and a CID font's /W.
#pragma once

// Reads /Widths text into width slots first, first + 1, ...: every number is one width.
void read_simple_widths(const char* text, int len, double* slots, int nslots, int first = 0);

// Reads /W text (outer brackets removed): "c [w1 w2 ...]" and "c_first c_last w" items.
void read_cid_widths(const char* text, int len, double* slots, int nslots);
