// Lines and box outlines stroked in black onto the page being generated. Coordinates are
// points in the page's displayed orientation, from its displayed top-left corner, y downward.
#pragma once

#include <string>

#include "generator/page_contents.h"

enum class Shape { line, box };

// The content text that strokes the shape on a page of geometry `g`. For a line (x2, y2) is
// the offset of the end point from (x1, y1); for a box its width and height. The dash
// pattern d1..d4 applies unless d2, d3 and d4 are all 0.
std::string shape_content_text(Shape shape, const PageGeometry& g, float x1, float y1, float x2,
                               float y2, float width, int d1, int d2, int d3, int d4);

// Adds the shape as a content stream of its own, painted over the page's content.
void draw_line(float x1, float y1, float x2, float y2, float width, int d1, int d2, int d3, int d4);
void draw_box(float x1, float y1, float x2, float y2, float width, int d1, int d2, int d3, int d4);
