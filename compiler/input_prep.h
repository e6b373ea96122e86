// Input preparation: the PDF is read whole, what stands before its header and after its last
// end-of-file marker is cut, objects left open are closed, stray text between objects is
// blanked, its compressed object streams are expanded into plain object text appended at the
// end, the text is closed with a minimal final section, and two bracket constructs are
// rewritten so that the scanner keeps them as single strings.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "compiler/xref_chain.h"

// Where the expanded objects lie: their offsets in the scanner's text, and the offset of
// the object stream each came from in the file (which tells how recent a definition is).
struct ExpansionMap {
    size_t base = static_cast<size_t>(-1);  // offset of the first expanded object
    std::vector<size_t> text_pos;
    std::vector<size_t> source_pos;
    std::vector<long> stream_no;  // the object stream's own number (-1: not known)
    // The file offset an object at text offset p belongs to.
    size_t source_of(size_t p) const;
    // The number of the object stream that the expanded object at text offset p came from;
    // -1 for an object of the file's text.
    long stream_of(size_t p) const;
    // The file may be encrypted: its object streams are expanded after decryption, from
    // the parsed objects, rather than from the text.
    bool deferred = false;
};

// Reads a whole file. False when it cannot be opened or its size read.
bool read_pdf_file(const char* path, std::string& data);

// What preparing the text mended: objects closed, stretches of stray text blanked, a
// missing end-of-file marker.
struct PrepRepairs {
    size_t split = 0;
    size_t closed = 0;
    size_t stray = 0;
    size_t revisions = 0;
    bool no_eof = false;
    bool no_header = false;
};

// Builds the scanner's text from the bytes of a PDF file (all steps below, in order). With
// `chain`, the file's cross-reference chain is read too, when no repair moved the offsets.
PrepRepairs prepare_input(const char* data, size_t len, std::string& text,
                          ExpansionMap* map = nullptr, XrefChain* chain = nullptr);
// The same on the file's bytes in place.
PrepRepairs prepare_text(std::string& text, ExpansionMap* map = nullptr,
                         XrefChain* chain = nullptr);

// How far into a file the header "%PDF-" is looked for, as viewers look for it.
constexpr size_t HEADER_SEARCH = 1024 + 5;
// Drops what stands before the header when it starts within HEADER_SEARCH bytes (lines a
// mail gateway or web server put in front of the file). A text without a header there whose
// line starts an object within those bytes gets the header "%PDF-1.4" (true is returned);
// the text is left as it is otherwise.
bool drop_leading_junk(std::string& text);

// When an object header ("N G obj") starts at p: where it ends, after its keyword; else null.
const char* object_header_end(const char* p, const char* end);

// Puts a line end between an "endobj" and an object header that follows it with nothing
// between ("endobj43 0 obj", as some writers of updates leave them), so that the header
// starts its own line as every other one does. Returns the number of places.
size_t split_glued_headers(std::string& text);

// Ends an object that the next object's header follows without its "endobj" (damaged
// files; viewers find objects by their headers), inserting the keyword before that header.
// Returns the number of objects closed.
size_t close_unterminated_objects(std::string& text);

// Blanks text that stands between an object's "endobj" and the next object or file section
// (LibreOffice writes marked-content operators there in tagged PDF), as viewers pass it
// by; offsets stay as they are. Up to 4 KB at a place, holding no "endobj" nor "stream".
// Returns the number of stretches blanked.
size_t blank_stray_text(std::string& text);

// Ends with "%%EOF" each revision whose "startxref" offset another revision follows without
// one (an update appended to a file that lacked its marker), as viewers read such files.
// Returns the number of places.
size_t end_revisions(std::string& text);

// Drops everything after the last "%%EOF" and appends CR LF; a text without "%%EOF" is kept
// whole and gets the marker. False when the marker was missing.
bool cut_tail(std::string& text);

// Appends to `expansion` the objects of every object stream of `text`, each as
// "%d 0 obj\r", its bytes and "\rendobj\r". Returns the number of objects expanded. With a
// map, records where each expanded object starts in `expansion` and its stream's offset.
int expand_object_streams(const std::string& text, std::string& expansion,
                          ExpansionMap* map = nullptr);

// Appends to `out` the objects held by the plain (decoded) data of one object stream:
// `n` objects, their bytes starting at `first` (or after the header when negative). Returns
// the number of objects appended; with a map, records them as coming from object stream
// `stream_no` at `stream_pos`.
int expand_object_stream_data(const std::string& plain, long n, long first, std::string& out,
                              ExpansionMap* map, size_t stream_pos, long stream_no);

// Appends the expansion and "startxref\r\n1\r\n%%EOF\r\n".
void close_text(std::string& text, const std::string& expansion);

// Where the data of a stream starting at `start` (just after its keyword) ends: at the
// "endstream" that `length` bytes of data (its /Length; -1 when unknown) reach when one
// stands there, as readers take it, so that data holding the word itself (an embedded PDF)
// stays whole; else at the first "endstream", unless an "endobj" followed by the next
// object's header comes before it: a stream without "endstream" ends at its object's end,
// not in a later object. Null when the text holds neither. `resume` is where scanning goes on.
const char* stream_data_end(const char* start, const char* end, long long length,
                            const char** resume);

// When the keyword "stream" (followed by a line end) starts at position i, the position
// where scanning goes on after its data (stream_data_end, /Length unknown); otherwise i.
size_t skip_stream_data(const std::string& text, size_t i);
