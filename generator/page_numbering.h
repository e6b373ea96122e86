// How each page's objects get their output numbers, and how pages are collected into the
// one page tree of the document.
#pragma once

// Appends the page's leaf pages to the page list and hangs every page object under the
// document's page tree.
void get_pagerefs();
// Renumbers every reference of the page and of the trailer into the output numbering.
void renum_obj();
void renum_elem(int elem);
// The output number that references to object n of the page get, once renum_obj has run.
int page_output_number(int n);
void renum_elem_str(int elem);
// Builds the page-tree object (entry 1 of an empty store) from the page list.
void set_pagerefs();
// The object of this page that output number out_no stands for (its own or the first page's
// copy of it), or -1.
int template_object_at(int out_no);
// Object n's element chain, also when the object is left out of this page because the run's
// first page's copy stands for it (its elements still hold the same values); 0 when empty.
int chain_of(int n);
// A template run ends (the next page loads another template): what its first page wrote is
// kept, by the identity of its content, for a later run of the same content.
void end_template_run();
// Called when a page starts a new run: when an earlier run had the loaded content, goes on
// with it (template_base_num becomes its base) and returns true.
bool resume_template_run();
// Forgets every run; a document starts.
void template_runs_reset();
// Copies object i into a new cross-reference entry and returns its index.
int dup_obj(int i);

// Reference value that renumbering turns into the page-tree object's output number.
constexpr int PAGES_OBJ_PLACEHOLDER = -3;
