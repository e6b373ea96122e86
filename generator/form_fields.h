// The one interactive form of the output: every page's fields are listed in the /Fields of
// the document catalog's AcroForm, which is written when the document is finished.
#pragma once

// Forgets the collected fields; called when a document opens.
void form_fields_reset();
// Collects the fields of the loaded page (its template's AcroForm /Fields) in output
// numbering. On the document's first page the catalog's /Fields is pointed at the array
// object that form_fields_finish writes. Call before renumbering.
void collect_form_fields();
// Writes the array object of every collected field; call at finish, before the cross-
// reference table.
void form_fields_finish();
