// Process-wide state of one compile: the source path, the variant switches chosen by the
// program's name, the parser's current object and the reports collected on the way.
// Tests and the fuzzer start each compile from a fresh state with compiler_reset().
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "compiler/event_ids.h"
#include "compiler/input_prep.h"
#include "store/records.h"

struct pdf_tok;

// An event handler: the key the record belongs to (or a fixed label) and the token value.
using event_handler = void (*)(const char* label, const pdf_tok& value);
constexpr int EVENT_COUNT = EV_DICT_END + 1;

// Object numbers above this are refused (the largest an indirect object may have).
constexpr int MAX_OBJ_NO = 8388607;

struct CompilerState {
    std::string pdf_path;

    // Variant switches set from the program name.
    bool f_merlow = false;
    bool f_merlow14 = false;
    bool f_jisx0213 = false;

    // Set when an object number is defined a second time.
    bool f_dup_xref = false;

    // Object the parser is filling; while f_in_trailer is set, keys go to the trailer.
    int cur_obj_no = 0;
    bool f_in_trailer = false;
    // Nesting of dictionaries inside the trailer: their entries go to entry 0 whole.
    int trailer_depth = 0;

    event_handler events[EVENT_COUNT] = {};

    // Where the expanded object streams lie in the scanned text.
    ExpansionMap expansion;
    // Text offset of the "obj" keyword of the object being defined (set by the scanner).
    size_t obj_text_pos = 0;
    // File offset of each object number's stored definition: a later offset is a later
    // update, and an earlier definition met afterwards (from an object stream, whose
    // objects are scanned last) does not replace it.
    std::vector<size_t> def_pos;
    // Generation number of the object being defined, and of each stored definition (the
    // key of an encrypted object depends on it).
    int cur_gen = 0;
    std::vector<uint16_t> def_gen;
    // Text offsets where the update sections of the file end, in order. Two definitions
    // of one object in the same section are a fault; a later section replacing an
    // earlier definition is an ordinary incremental update.
    std::vector<size_t> section_ends;
    // Parsing the objects of stored object streams: offsets there are not the file's.
    bool f_expanding = false;
    // An object whose stored definition is newer than the one being parsed: its entry is
    // put back when that object ends.
    int kept_obj = -1;
    st_xref kept_xref{};
    // Where the file's newest cross-reference data puts each object, and the objects whose
    // definition stored is that one (later definitions of them are passed by).
    XrefChain live;
    std::vector<char> live_taken;

    // Set by a handler that meets input the template cannot hold; the parse then stops.
    std::string parse_abort;
    // Messages of a parse that stopped early (syntax error, memory exhausted, refused input).
    std::vector<std::string> parse_errors;

    // Fields the analysis could not prepare for filling, for the error log.
    std::vector<std::string> field_errors;

    // Damage found in the document's structure, for the error log (what was cut).
    std::vector<std::string> structure_errors;
    // What was repaired or changed on the way in, for the log.
    std::vector<std::string> repairs;

    // The document was encrypted and its objects are decrypted now.
    bool f_decrypted = false;
    // Why an encrypted document cannot be read (empty when it can).
    std::string encryption_error;

    // The error log has been created in this run; later reports are appended to it.
    bool f_err_log_written = false;
    // Messages reported to the error log in this run.
    int err_reports = 0;
};

extern CompilerState g_cc;

// Starts a fresh compile state and sets the variant switches from the program name
// (the zeroth command-line argument; null leaves every switch off).
void compiler_reset(const char* program_name);

// Sets the variant switches from a program name.
void set_variant_switches(const char* program_name);

// Keeps a message for the error log / a line for the log's list of repairs.
void note_structure_error(const std::string& message);
void note_repair(const std::string& message);
