// MD5 message digest (RFC 1321).
#pragma once

// Digest of len bytes. The 16 digest bytes are returned in a static buffer, followed by 17
// zero bytes; the next call overwrites it.
const unsigned char* md5ComputeHash(const void* string, int len);
// Writes the 16 bytes of hash as 32 upper-case hexadecimal digits and a NUL (hexstr: 33 bytes).
void hash2hexstr(const unsigned char* hash, char* hexstr);
