/* Grammar of the text description format.
 *
 * A file is one root, "KELD" name { declarations }, each declaration a typed
 * scalar, a typed array with its size, or a struct of declarations.  There is
 * no error recovery: the first syntax error abandons the parse, and every
 * partial tree still on the stack is freed by the destructors below.  The
 * actions live in keld_tree.cpp. */

%define api.prefix {v_}
%define api.token.prefix {KT_}

%code requires {
#include "keld_int.h"
}

%code provides {
int v_lex(void);
int v_error(const char *message);
}

%union {
    int token;
    char *text;
    keld_value value;
    symtab_s *node;
    keld_pending_array *array;
}

%token <token> Y_KELD 258 Y_STRUCT 259 Y_CHAR 260 Y_INT 261 Y_FLOAT 262 Y_STRING 263
%token <text> Y_NAME 264
%token <value> Y_FLOAT_NUM 265 Y_INT_NUM 266 Y_QUOTED_STRING 267

%type <text> name
%type <value> value
%type <node> type decl decls struct members
%type <array> size

%destructor { std::free($$); } <text>
%destructor { keld_free_value(&$$); } <value>
%destructor { free_keld_list($$); } type decl struct
%destructor { free_keld_list(keld_get_list_head($$)); } decls members
%destructor { keld_free_pending($$); } <array>

%initial-action { keld_parse_begin(); }

%%

file:     Y_KELD name '{' decls '}'      { keld_finish_root($2, $4); }
        ;
name:     Y_NAME                          { $$ = $1; }
        ;
decls:    decl                            { $$ = $1; }
        | decls decl                      { $$ = keld_append_decl($1, $2); }
        ;
decl:     type name '[' size ']' '=' '{' values '}' ';'
                                          { $$ = keld_finish_array($1, $2, $4); }
        | type name '=' value ';'         { $$ = keld_finish_scalar($1, $2, $4); }
        | struct ';'                      { $$ = $1; }
        ;
type:     basetype                        { $$ = keld_new_decl(); }
        ;
struct:   Y_STRUCT name '{' members '}'   { $$ = keld_make_struct($2, $4); }
        ;
members:  decl                            { $$ = $1; }
        | members decl                    { $$ = keld_append_decl($1, $2); }
        ;
basetype: Y_INT                           { keld_set_type(Y_INT); }
        | Y_CHAR                          { keld_set_type(Y_CHAR); }
        | Y_FLOAT                         { keld_set_type(Y_FLOAT); }
        | Y_STRING                        { keld_set_type(Y_STRING); }
        ;
value:    Y_QUOTED_STRING                 { $$ = $1; }
        | Y_FLOAT_NUM                     { $$ = $1; }
        | Y_INT_NUM                       { $$ = $1; }
        ;
size:     Y_INT_NUM                       { $$ = keld_begin_array($1.ival); }
        ;
values:   value ',' values                { keld_add_array_value($1); }
        | value                           { keld_add_array_value($1); }
        ;

%%
