// Process-wide state of the image operations for one document.
#pragma once

#include <string>
#include <vector>

struct ImageState {
    std::string img_convert;       // converter command: writes raw 8-bit RGB samples
    std::string img_identify;      // identifier command: prints "name format WxH ..."
    int xobject_seq = 0;           // images placed so far in the document; names ImKestrel%d
    int g_img_draw_under = 0;      // 1 during a page-image call that paints under the content
    int g_icc_profile_obj_no = 0;  // output number of the current ICC profile, 0 for none
    // The opacity of the image read last, one byte a pixel, Flate-compressed: a PNG that is
    // transparent somewhere; empty for any other image.
    std::vector<unsigned char> alpha;
};

extern ImageState g_img;
