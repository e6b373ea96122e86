/* The PDF grammar: header, objects, cross-reference sections, trailers and end markers.
   Its rules raise numbered events whose handlers store every object in the element
   storage and every trailer key in the trailer storage, in input order. */
%code requires {
#include "compiler/parse_ctx.h"
typedef void* yyscan_t;
}

%code {
#include <cstdio>
#include <cstring>
#include <string>

#include "compiler/compiler_state.h"
#include "compiler/object_events.h"

#define YYINITDEPTH 200
#define YYMAXDEPTH 1000000

int pdfyylex(pdf_tok* yylval, yyscan_t scanner);
ParseCtx* pdfyyget_extra(yyscan_t scanner);
void pdf_lex_opaque(yyscan_t scanner);
void pdf_lex_normal(yyscan_t scanner);
void pdf_lex_body(yyscan_t scanner);
#define yylex pdfyylex
#define CTX pdfyyget_extra(scanner)

char* pdfyyget_text(yyscan_t scanner);

// The message goes out as the parser words it; the error log also gets the offset of the
// token where the parse stopped (offsets before the expanded object streams are those of
// the file).
static long token_pos(yyscan_t scanner) {
    ParseCtx* ctx = CTX;
    const char* at = pdfyyget_text(scanner);
    if (at && at >= ctx->text && at <= ctx->text + ctx->text_len) return at - ctx->text;
    return -1;
}

static void yyerror(yyscan_t scanner, const char* msg) {
    report_parse_error(msg, token_pos(scanner));
}

static pdf_tok tok_text(ParseCtx* ctx, const std::string& s) {
    pdf_tok t;
    t.str = ctx->arena.copy(s.data(), s.size());
    t.len = static_cast<int>(s.size());
    t.num = 0;
    return t;
}

static pdf_tok tok_at(long pos) {
    pdf_tok t;
    t.str = "";
    t.len = 0;
    t.num = pos;
    return t;
}

static pdf_tok tok_none() {
    pdf_tok t;
    t.str = "";
    t.len = 0;
    t.num = 0;
    return t;
}

// A handler refused the input (see g_cc.parse_abort): the parse stops there.
#define CHECK_ABORT                                      \
    do {                                                 \
        if (!g_cc.parse_abort.empty()) {                 \
            report_parse_error(g_cc.parse_abort.c_str()); \
            YYABORT;                                     \
        }                                                \
    } while (0)
}

%define api.pure full
%define api.value.type {struct pdf_tok}
%define parse.error verbose
%param {yyscan_t scanner}

%token PDFVER 258 NAME 259 STRING 260 OBJREF 261 OBJ 262 ENDOBJ 263 INT 264 FP 265
%token DBLLT 266 DBLGT 267 STREAM 268 ARRAY 269 ENDARRAY 270 ENDARRAYDBLGT 271
%precedence LOWER
%precedence STARTXREF
%token PDFEOF 272 XREF 273 TRAILER 274 STARTXREF 275 ANYTHING 276
%precedence DANGLING
%precedence NAME STRING

%%

pdf
    : header { raise_event(EV_HEADER, LABEL_ENTRYHEADER, $1); pdf_lex_body(scanner); }
      object endpart endcrap
    ;

header
    : PDFVER { raise_event(EV_VERSION, nullptr, $1); } binary
      {
          std::string h($1.str, static_cast<size_t>($1.len));
          h += '\r';
          h += CTX->binary;
          h += '\r';
          $$ = tok_text(CTX, h);
      }
    ;

/* Sections after the first object: objects, each section ending in a trailer, with or
   without a cross-reference table before it. */
endpart
    : %empty
    | endpart object
    | endpart xref trailer
    | endpart trailer
    ;

/* After the last marker only a line end is left, so text here is text that no rule
   takes between objects: it and everything after it are ignored, and that is reported. */
endcrap
    : { pdf_lex_opaque(scanner); } binary
      {
          pdf_lex_body(scanner);
          if (!CTX->binary.empty()) {
              ParseCtx* ctx = CTX;
              long pos = CTX->crap_pos;
              (void)ctx;
              report_parse_error("syntax error, unexpected text between objects; the rest of "
                                 "the file is ignored", pos);
              YYABORT;
          }
      }
    ;

object
    : INT INT OBJ
      {
          CTX->array_ints = 0;
          CTX->stream_length = -1;
          g_cc.cur_gen = static_cast<int>($2.num & 0xffff);
          raise_event(EV_BEGIN_OBJECT, nullptr, $1);
          CHECK_ABORT;
      }
      dictionary
      {
          if ($5.len == 1) raise_event(EV_IMMEDIATE_INT, LABEL_IMMEDIATE, $5);
      }
      stream ENDOBJ { raise_event(EV_END_OBJECT, nullptr, $1); CHECK_ABORT; }
    /* An object whose body does not parse: the error is reported as it stands, the object
       keeps what was read of it (closed, as an object cut short at the end of the file is)
       and reading goes on after its endobj, as readers rebuilding a damaged file do, so
       that the objects after it (the page tree, the form) are not lost. */
    | INT INT OBJ error ENDOBJ
      {
          close_partial_object();
          finish_object_events();
          yyerrok;
      }
    ;

/* The value is marked as an integer body by len 1. */
dictionary
    : DBLLT dict DBLGT { raise_event(EV_DICT_END, nullptr, tok_none()); $$ = tok_none(); }
    | INT { $$ = $1; $$.len = 1; }
    | ARRAY { raise_event(EV_ARRAY_START, LABEL_IMMEDIATE, $1); } arrayvals ENDARRAY
      { raise_event(EV_ARRAY_END, LABEL_IMMEDIATE, $1); $$ = tok_none(); }
    | objref { raise_event(EV_OBJREF, LABEL_IMMEDIATE, $1); $$ = tok_none(); }
    | NAME { raise_event(EV_NAME, LABEL_IMMEDIATE, $1); $$ = tok_none(); }
    | STRING { raise_event(EV_STRING, LABEL_IMMEDIATE, $1); $$ = tok_none(); }
    | %empty { $$ = tok_none(); }
    ;

subdictionary
    : DBLLT dict DBLGT
    ;

dict
    : %empty
    | dict NAME STRING { raise_event(EV_STRING, $2.str, $3); CHECK_ABORT; }
    | dict NAME NAME { raise_event(EV_NAME, $2.str, $3); }
    | dict NAME ARRAY { raise_event(EV_ARRAY_START, $2.str, $3); } arrayvals ENDARRAY
      { raise_event(EV_ARRAY_END, $2.str, $6); }
    | dict NAME objref { raise_event(EV_OBJREF, $2.str, $3); CHECK_ABORT; }
    | dict NAME { raise_event(EV_SUBDICT_START, $2.str, $2); } subdictionary { raise_event(EV_SUBDICT_END, $2.str, $2); }
    | dict NAME INT
      {
          if ($2.len == 6 && std::memcmp($2.str, "Length", 6) == 0) CTX->stream_length = $3.num;
          raise_event(EV_INTEGER, $2.str, $3);
          CHECK_ABORT;
      }
    | dict NAME FP { raise_event(EV_STRING, $2.str, $3); CHECK_ABORT; }
    | dict NAME dangling_key
    | dict stray_word
    ;

/* A bare word where a key belongs, as a name holding a space leaves its second half
   ("/FontName /Arial,Unicode MS"): readers pass it by, and so does the parser. */
stray_word
    : STRING
    ;

/* A key without a value just before the end of its dictionary, as a writer leaves it after
   splitting a name that holds a slash (/Subtype /text/plain): readers drop it, and so does the
   parser. Before another key the name is that key's value, as before. */
dangling_key
    : %empty %prec DANGLING
    ;

/* Items of an array that reaches the parser item by item (it holds a nested bracket).
   A nested "[" opens no level of its own; a reference needs two integers before its R. */
arrayvals
    : %empty { CTX->array_ints = 0; }
    | arrayvals INT { raise_event(EV_ARRAY_ITEM, nullptr, $2); ++CTX->array_ints; }
    | arrayvals OBJREF
      {
          if (CTX->array_ints < 2) {
              yyerror(scanner, "syntax error, unexpected OBJREF");
              YYABORT;
          }
          CTX->array_ints = 0;
          raise_event(EV_ARRAY_ITEM, nullptr, $2);
      }
    | arrayvals NAME { raise_event(EV_ARRAY_ITEM, nullptr, $2); CTX->array_ints = 0; }
    | arrayvals STRING { raise_event(EV_ARRAY_ITEM, nullptr, $2); CTX->array_ints = 0; }
    | arrayvals ARRAY { CTX->array_ints = 0; }
    | arrayvals DBLLT { raise_event(EV_SUBDICT_START, LABEL_ARRAY_DICTITEM, $2); } dict DBLGT
      { raise_event(EV_SUBDICT_END, LABEL_ARRAY_DICTITEM, $2); CTX->array_ints = 0; }
    ;

objref
    : INT INT OBJREF
      {
          char buf[64];
          int n = std::snprintf(buf, sizeof buf, "%lld %lld R", $1.num, $2.num);
          $$.str = CTX->arena.copy(buf, static_cast<size_t>(n));
          $$.len = n + 1;
          $$.num = $1.num;
      }
    ;

stream
    : %empty
    | STREAM
      {
          pdf_tok d = $1;
          if (d.len >= 2 && d.str[0] == '\r' && d.str[1] == '\n') {
              d.str += 2;
              d.len -= 2;
          } else if (d.len >= 1 && (d.str[0] == '\r' || d.str[0] == '\n')) {
              d.str += 1;
              d.len -= 1;
          }
          if (d.len >= 1 && d.str[d.len - 1] == '\r') d.len -= 1;
          raise_event(EV_STREAM, LABEL_STREAM, d);
      }
    ;

binary
    : %empty { CTX->binary.clear(); CTX->crap_pos = token_pos(scanner); }
    | binary ANYTHING { CTX->binary.append($2.str, static_cast<size_t>($2.len)); }
    | binary STRING { CTX->binary.append($2.str, static_cast<size_t>($2.len)); }
    ;

xref
    : XREF INT INT { raise_event(EV_XREF_START, nullptr, $2); } xrefitems
    ;

xrefitems
    : %empty { raise_event(EV_XREF_END, nullptr, tok_none()); }
    | xrefitems INT INT STRING { raise_event(EV_XREF_ENTRY, nullptr, $4); }
    | xrefitems INT INT
    ;

/* EV_SECTION_END ends an update section; its value is the text offset where it ended. */
trailer
    : STARTXREF INT PDFEOF { raise_event(EV_SECTION_END, nullptr, tok_at(token_pos(scanner))); }
    | TRAILER { raise_event(EV_TRAILER, nullptr, tok_none()); } DBLLT dict DBLGT trailer_end
    ;

/* Some writers leave out "startxref" and the end marker after a trailer that another
   cross-reference section follows directly: the section still ends there. A "startxref"
   right after a trailer always belongs to it. */
trailer_end
    : STARTXREF INT { raise_event(EV_STARTXREF, nullptr, $2); } PDFEOF
      { raise_event(EV_SECTION_END, nullptr, tok_at(token_pos(scanner))); }
    | %empty %prec LOWER { raise_event(EV_SECTION_END, nullptr, tok_at(token_pos(scanner))); }
    ;

%%

int parse_pdf_text(const char* text, size_t len) {
    ParseCtx ctx;
    yyscan_t scanner;
    bool pdf_lex_open(ParseCtx*, const char*, size_t, yyscan_t*);
    void pdf_lex_close(yyscan_t);
    if (!pdf_lex_open(&ctx, text, len, &scanner)) {
        report_parse_error("memory exhausted");
        return 1;
    }
    int r = yyparse(scanner);
    pdf_lex_close(scanner);
    return r == 0 ? 0 : 1;
}
