// Flate (zlib format) compression of generated stream data.
#pragma once

// Result of the last do_compress: an allocated buffer the caller takes over and frees
// with std::free, and its length.
extern unsigned char* unzip_buf;
extern int unzip_buf_len;

// Compresses inbuf_len bytes with the default level into unzip_buf / unzip_buf_len.
void do_compress(const void* inbuf, int inbuf_len);
