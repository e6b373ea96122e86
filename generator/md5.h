// MD5 message digest (RFC 1321).
#pragma once

// Digest of len bytes into a static 33-byte buffer: 16 digest bytes, then zeros.
// Returns that buffer; the next call overwrites it.
const unsigned char* md5ComputeHash(const void* string, int len);
// The 16 bytes as 32 upper-case hexadecimal digits and a NUL (hexstr holds at least 33).
void hash2hexstr(const unsigned char* hash, char* hexstr);
