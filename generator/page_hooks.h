// What the page cycle calls in the field, image and encryption code. Each is defined by the
// code that owns it.
#pragma once

#include <cstdint>

// Resets at _Merlow: image commands, ICC object, draw-under flag and image counter.
void images_reset();
// Resets at _Merlow: the field annotation counter used by renaming.
void fields_reset();
// Resets at _Merlow: encryption mode, permission bits, encryption object number.
void crypt_reset();

// Field filler (empty value at _endPage for every unset visible field).
void set_field_data(const char* field_name, const int32_t* field_data, float linefeed,
                    const char* font_sname, float font_size, float color_r, float color_g,
                    float color_b, int mode_linefeed, float start_ypos, float start_xpos,
                    float char_space, float outline_width);
// Flattens the filled fields of page object xref_no into its content (compressField).
void compress_field(int xref_no);
// Gives every ordinary field of the page its unique read-only name.
void rename_field_name();

// Encryption of the page's strings and streams, and the encryption dictionary.
bool crypt_enabled();
int crypt_permissions();  // the permission bits; 0 when no encryption was set
void crypt_pdf();
void make_crypt_obj();
// Output number of the encryption dictionary, 0 when there is none.
int encrypt_obj_no();
