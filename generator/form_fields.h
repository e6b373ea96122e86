// The one interactive form of the output: every page's fields are listed in the /Fields of
// the document catalog's AcroForm, and the fonts of every template's default resources in its
// /DR /Font, both written when the document is finished.
#pragma once

// Forgets the collected fields; called when a document opens.
void form_fields_reset();
// Collects the fields of the loaded page (its template's AcroForm /Fields), and on the first
// page of a template's run its default-resource fonts. On the document's first page the
// catalog's /Fields and /DR /Font are pointed at the objects that form_fields_finish writes.
// Call before renumbering.
void collect_form_fields();
// Adds the page's collected fields and fonts to the document's, in output numbering: call
// after renumbering, which decides which objects the run's first page's copies stand for.
void number_form_fields();
// Writes the array object of every collected field and the font dictionary; call at finish, before
// the cross- reference table.
void form_fields_finish();
