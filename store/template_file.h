// The template file: the one thing that passes from the compiler to the generator.
// Layout: magic 123456 (4 bytes), trailer count (2 bytes), counts of cross-reference
// records, elements, fonts, fields and character bytes (4 bytes each), then the six arrays
// in that order, records exactly as they lie in memory. The field extras may follow
// (store/field_extras.h): tag "FEXT", uint32 version, record count and text length, the
// records and the text. An older reader stops after the character data and never sees them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr int32_t TEMPLATE_MAGIC = 123456;
constexpr int TEMPLATE_HEADER_SIZE = 26;

// Loads a template into the page storages, replacing the previous page's content.
// A file that cannot be opened or has the wrong magic fails with "fopen::error(%s)";
// a file shorter than its counts or with records pointing outside the storages fails
// with "Broken template file(%s)".
void load_template(const char* path);
// Starts keeping the image of every template file loaded (on) or stops (off), dropping the
// images kept so far. While on, loading a file again under the same name copies the image
// instead of reading the file, as long as the file's identity, size and time are unchanged.
void keep_template_images(bool on);
// How many template files have been read from disk so far. Loads that copy a kept image do
// not count, so two pages with the same count loaded the same content.
long template_reads();
// The identity of the template content the storages were loaded with: the same number for
// two loads of the same content (a kept image copied again), a new one for every file read.
long loaded_image_id();
// The same load from `size` bytes in memory; `name` stands for the file in the messages.
void load_template_memory(const char* name, const void* data, size_t size);

// Writes the current storages as a template file. Fails with "fopen::error(%s)" when the
// file cannot be created or written.
void write_template(const char* path);
// Writes the current storages in the same form to an open stream; false when a write fails.
bool write_template_to(FILE* f);

// Drops the line end that the source PDF put before "endstream" from every stream string
// (data ending in CR LF whose stored following byte is "e"). The loads do it.
void adjust_stream();
