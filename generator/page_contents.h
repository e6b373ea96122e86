// The page object of the loaded template and the things that drawing and page images do to
// it: reading its geometry, adding an uncompressed content stream, linking that stream into
// the page's Contents, and making sure the page has a resources dictionary of its own.
#pragma once

#include "store/element_walk.h"

// Where a page lies in its own coordinate space and how it is turned for display.
struct PageGeometry {
    float x0 = 0, y0 = 0;  // lower-left corner of the MediaBox
    float xx = 0, yy = 0;  // right and top edges of the MediaBox
    int rotate = 0;        // the turn in 0..359; 90, 180 and 270 are drawn turned, others upright
};

// The template's first page in its page tree's order, else the first cross-reference entry
// whose f_page flag is set. Raises "Page Object Not Found." when the store holds no page.
int find_page_obj();
// The array text of the pages that the catalog's page tree lists (/Pages /Kids), or null.
// A name tree written inside the catalog has /Kids too, which are no pages.
const char* page_tree_kids(int root, int* len);

// The page's MediaBox and Rotate. Both are taken from the page itself and, when the page
// lacks them, from the nearest object up its Parent chain that has them; inherited values
// are then copied onto the page, because the document's page tree replaces the template's.
// A page without any usable MediaBox raises "Illegal MediaBox(%d)" with the page's number.
PageGeometry read_page_geometry(int page_obj);

// Appends a new object holding "Length" and an uncompressed "stream" with the text; returns
// its object number.
int add_content_stream(const char* text, int len);

// Links content stream `obj_no` into the page's Contents: last (painted over everything),
// or first when `first` is set (painted under everything).
void link_page_contents(int page_obj, int obj_no, bool first);

// Makes sure the page has its own "Resources" entry: one inherited from the page tree is
// taken over (a reference is shared, an inline dictionary is copied), and a page without
// any gets an empty dictionary. Returns the element of the page's Resources entry.
int ensure_own_resources(int page_obj);

// Enters `name` -> `xobj_no` in the XObject dictionary of the resources of object `owner`
// (a page or a form XObject), creating the XObject dictionary when there is none. Raises
// "Undefined Resources(%d)" when the owner has no Resources entry.
void enter_xobject_resource(int owner, const char* name, int xobj_no);
// The same for any category of resources ("Font", "XObject"): enters `name` -> `obj_no`.
void enter_resource(int owner, const char* category, const char* name, int obj_no);
