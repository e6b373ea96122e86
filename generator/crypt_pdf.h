// Encryption of the generated document: the per-page pass over the store's strings and
// streams, and the encryption dictionary. The public operation _setCryptMode and the page
// cycle's hooks (crypt_reset, crypt_enabled, crypt_permissions, crypt_pdf, make_crypt_obj,
// encrypt_obj_no) are declared in operations.h and page_hooks.h.
#pragma once

#include <string>

#include "store/records.h"

// A password as readers compare it: viewers take the typed password in PDFDocEncoding, so a
// password of Latin-1 letters (given in `encoding`, as the script reads values: 'S', 'E' or
// 'U') becomes their one-byte codes. A password with other characters keeps its bytes.
std::string pdf_password(const char* password, char encoding);

// Encrypts one element of object obj_no: literal and hexadecimal strings and the strings
// inside array text are encrypted as their values and written back in their own form;
// stream data is encrypted in place (its length does not change) up to the object's
// /Length, so that a line end stored before "endstream" stays in the clear. Other elements
// are left.
void crypt_elem(int obj_no, st_elem& elem);
