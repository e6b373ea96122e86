// Public operations of the generator, called one per script line by the interpreter.
// Values are code-point strings (32-bit code points ended by 0).
#pragma once

#include <cstdint>

// Document cycle.
void _Merlow();
void _freeMerlow();
void _setPDFFileName(const char* pdfFileName);
void _startPage(const char* templateFileName);
void _endPage();
void _finish();
void _setYenSign(int yen_sign_mode);
void _compressField();
// The "setLocale" command: selects a locale for all categories but number formatting.
void set_locale_command(const char* name);

// Text fields.
void _setPageFieldData(const char* fieldName, const int32_t* value);
void _setPageFieldDataWithAttribute(const char* fieldName, const int32_t* value, float linefeed,
                                    const char* font_sname, float font_size, int color,
                                    int mode_linefeed, float start_ypos, float start_xpos,
                                    float char_space, float outline_width);

// Field script value, invisibility, array fields.
void _setPageFieldScriptValue(const char* fieldName, const int32_t* value);
void _setPageFieldInvisible(const char* fieldName);
void _makeArrayPageField(const char* fieldName, int num, float gap);

// Images, lines and boxes, colour profile.
void _setImageProc(const char* image_convert, const char* image_identify);
void _setPageImageData(const char* imageFile, float xpos, float ypos, float mag, int mask_mode,
                       int draw_under);
void _setPageFieldImageData(const char* fieldName, const char* imageFile, float mag, int align,
                            int valign, int mask_mode);
void _drawLine(float x1, float y1, float x2, float y2, float width, int d1, int d2, int d3, int d4);
void _drawBox(float x1, float y1, float x2, float y2, float width, int d1, int d2, int d3, int d4);
void _setIccProfile(const char* profileFileName);

// Encryption.
void _setCryptMode(const char* userPassword, const char* ownerPassword, int pr_perm, int mod_perm,
                   int cp_perm, int ed_perm);
