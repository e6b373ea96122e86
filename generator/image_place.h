// Image XObjects on pages and in fields: one XObject object per placed image, entered under
// a document-wide unique name ("ImKestrel%d") in the page's resources, and painted either by
// a content stream of the page or by the field's rewritten appearance stream.
#pragma once

#include <string>

// The content text that paints image `xobj_name` of img_x x img_y pixels, scaled by `mag`,
// with its top-left corner at (xpos, ypos) in the displayed orientation of a page of
// geometry `g`.
struct PageGeometry;
std::string page_image_text(const PageGeometry& g, float xpos, float ypos, float mag, int img_x,
                            int img_y, int seq);

// The appearance text that paints image number `seq` into a box (x0, y0)-(x1, y1): scaled by
// `mag`, or fitted with the aspect ratio kept when `mag` is 0, and aligned by `align`
// (< 0 left, 0 centre, > 0 right) and `valign` (< 0 top, 0 middle, > 0 bottom).
std::string field_image_text(const float bbox[4], float mag, int img_x, int img_y, int align,
                             int valign, int seq);

void set_page_image(const char* image_file, float xpos, float ypos, float mag, int mask_mode);
void set_field_image(const char* field_name, const char* image_file, float mag, int align,
                     int valign, int mask_mode);

// Creates the XObject object and enters it in the page's resources; returns its number
// through xobj_obj_no_p.
void append_img_xobject(int page_obj_no, const unsigned char* data, int type_jpeg, int type_cmyk,
                        int img_x, int img_y, int img_size, int* xobj_obj_no_p, int mask_mode);
// Adds the page content stream that paints the image.
void append_img_contents(int page_obj_no, float xpos, float ypos, float mag, int img_x, int img_y);
// Rewrites the field's appearance stream and enters the image in its resources.
void append_field_img_contents(int page_obj_no, int field_no, float mag, int img_x, int img_y,
                               int xobj_obj_no, int align, int valign);
