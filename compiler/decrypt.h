// Reading encrypted forms: the Standard security handler (revisions 2 to 6: RC4 40 to 128
// bits, AES-128, AES-256) opened with the empty user password, as forms that only restrict
// editing are, or with the empty owner password, which every viewer opens without asking.
// Every string and stream of the parsed objects is decrypted in place, so the template holds
// plain objects.
#pragma once

#include <string>

enum class DecryptStatus {
    plain,           // the document is not encrypted
    decrypted,       // every object was decrypted
    needs_password,  // the empty password opens it neither as the user's nor as the owner's
    unsupported,     // a security handler or crypt method this compiler does not know
};

// The encryption dictionary named by the trailer (after the cross-reference stream keys
// were copied into it), or -1.
int encryption_dict();

// Decrypts the stored objects when the trailer names an encryption dictionary, and removes
// that dictionary from the template (the trailer's /Encrypt and the object). `what` is
// set to a description of the method ("RC4 128-bit", ...) or of the problem.
DecryptStatus decrypt_document(std::string& what);

// Decoding and encoding of string texts as they are stored (exposed for tests).
std::string literal_bytes(const char* text, size_t len);  // escapes resolved
std::string hex_bytes(const char* text, size_t len);
std::string literal_text(const std::string& bytes);  // escapes where needed
