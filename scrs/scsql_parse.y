/* The analyser's grammar (bison, pure): SELECT with TOP, joins, derived
 * tables, UNION, GROUP BY, HAVING, ORDER BY, subqueries and CASE; INSERT;
 * searched and positioned UPDATE and DELETE; ODBC escapes in the brace and
 * the vendor form.  Any other statement is its first word, a call its "{".
 * Every rule that is not a plain chain builds one node of the SQL tree: a
 * leaf, or an inner node whose template places its children's texts. */

%code requires {
#include "scrs/scsql_ctx.h"
}

%code {
#include "scrs/scr_kinds.h"

int scsql_lex(SCSQL_STYPE *value, void *scanner);
void scsql_ConditionReset(void *scanner);
static void scsql_error(ScrParseCtx *ctx, void *scanner, const char *message)
{
    (void)scanner;
    scsql_error(ctx, message, false);
}

/* The parser's stacks come from the parse's arena. */
#define YYMALLOC(size) scsql_ArenaAlloc(ctx, (size))
#define YYFREE(block) scsql_ArenaFree(ctx, (block))
#define YYINITDEPTH 200
#define YYMAXDEPTH 10000

#define A1 SQLT_A1
#define A2 SQLT_A2
#define A3 SQLT_A3
#define A4 SQLT_A4
#define A5 SQLT_A5
#define A6 SQLT_A6
#define TXT(e) ((e) ? (e)->text : nullptr)
#define LEAF(res, kind, text)                                   \
    do {                                                        \
        if (!((res) = scsql_Leaf(ctx, (kind), (text))))         \
            YYNOMEM;                                            \
    } while (0)
#define NODE(res, kind, tmpl, ...)                                      \
    do {                                                                \
        if (!((res) = scsql_Node(ctx, (kind), (tmpl), {__VA_ARGS__})))  \
            YYNOMEM;                                                    \
    } while (0)
}

%define api.pure full
%define api.prefix {scsql_}
%define api.token.prefix {TK_}
%parse-param {ScrParseCtx *ctx}
%param {void *scanner}

%union {
    ScrTokenEntry *tok;
    SqlNode *node;
}

%token <tok> IDENT 258 STRING 259 INTEGER 260 DECIMAL 261 FLOAT 262
%token <tok> COMPARE 263 SETFUNC 264 ESCAPECHAR 265 DATELIT 266 TIMELIT 267
%token <tok> TSLIT 268 HEXLIT 269 OJOP 270
%token CONCAT 271 OR 272 AND 273 NOT 274 RESERVED 275 ALL 276 ANY 277 AS 278
%token ASC 279 BETWEEN 280 BY 281 CURRENT 282 DELETE 283 DESC 284
%token DISTINCT 285 EXISTS 286 FN 287 FROM 288 FULL 289 GROUP 290
%token HAVING 291 IN 292 INNER 293 IS 294 INSERT 295 INTO 296 JOIN 297
%token LEFT 298 LIKE 299 NULL 300 OF 301 OJ 302 ON 303 OUTER 304
%token ORDER 305 OTHERWORD 306 MARKER 307 PERCENT 308 RIGHT 309
%token SELECT 310 SET 311 UNION 312 UPDATE 313 USER 314 VALUES 315
%token WHERE 316 WITH 317 TIES 318 TOP 319 CASE 320 ELSE 321 END 322
%token THEN 323 WHEN 324 VENDOROPEN 325 VENDORCLOSE 326 LBRACE 327
%token RBRACE 328 CALLOPEN 329

%left OR
%left AND
%precedence NOT

%type <node> statement dml_statement other_statement call_statement
%type <node> positioned_delete searched_delete insert_statement insert_source
%type <node> select_statement query_block set_quantifier top_percent top_ties
%type <node> select_options positioned_update set_list set_item
%type <node> searched_update opt_where select_list query_tail table_list
%type <node> table_item table_ref joined_table join join_type inner_word
%type <node> outer_side opt_outer where_clause opt_group_by column_list
%type <node> opt_having opt_order_by opt_union opt_insert_columns
%type <node> union_clause order_by_clause order_by_list order_by_item
%type <node> opt_direction condition predicate outer_join_predicate
%type <node> comparison_predicate between_predicate like_predicate
%type <node> opt_escape escape_char null_predicate in_predicate value_list
%type <node> quantified_predicate quantifier exists_predicate subquery
%type <node> expression term factor primary opt_as select_item value_item
%type <node> like_pattern set_function_call literal table_name column_ref
%type <node> simple_table_name column_name column_alias cursor_name marker
%type <node> table_alias integer comparison_op outer_join_op
%type <node> set_function_name datetime_escape date_escape time_escape
%type <node> timestamp_escape date_literal time_literal timestamp_literal
%type <node> join_escape function_escape function_call function_name
%type <node> argument_list escape_open escape_close vendor_open vendor_close
%type <node> simple_case simple_when_list simple_when searched_case
%type <node> searched_when_list searched_when

%expect 4

%%

statement
    : dml_statement     { ctx->root = $$ = $1; scsql_ConditionReset(scanner); }
    | other_statement   { ctx->root = $$ = $1; }
    | call_statement    { ctx->root = $$ = $1; }
    ;

dml_statement
    : select_statement
    | positioned_delete
    | searched_delete
    | insert_statement
    | positioned_update
    | searched_update
    ;

other_statement : OTHERWORD { LEAF($$, SQLK_OTHER, ""); } ;
call_statement  : CALLOPEN  { LEAF($$, SQLK_CALL, ""); } ;

positioned_delete
    : DELETE FROM table_name WHERE CURRENT OF cursor_name
        { NODE($$, SQLK_POS_DELETE, "DELETE FROM " A1 " WHERE CURRENT OF " A2, $3, $7); }
    ;

searched_delete
    : DELETE FROM table_name opt_where
        { NODE($$, SQLK_DELETE, "DELETE FROM " A1 " " A2, $3, $4); }
    ;

insert_statement
    : INSERT INTO table_name opt_insert_columns insert_source
        { NODE($$, SQLK_INSERT, "INSERT INTO " A1 " " A2 " " A3, $3, $4, $5); }
    ;

insert_source
    : VALUES '(' value_list ')'  { NODE($$, SQLK_INSERT_SOURCE, "VALUES ( " A1 " )", $3); }
    | query_block                { NODE($$, SQLK_INSERT_SOURCE, A1, $1); }
    ;

select_statement
    : query_block opt_order_by  { NODE($$, SQLK_SELECT, A1 " " A2, $1, $2); }
    ;

query_block
    : SELECT select_options select_list query_tail
        { NODE($$, SQLK_QUERY_BLOCK, "SELECT " A1 " " A2 " " A3, $2, $3, $4); }
    ;

set_quantifier
    : %empty    { LEAF($$, SQLK_SET_QUANT, ""); }
    | ALL       { LEAF($$, SQLK_SET_QUANT, "ALL"); }
    | DISTINCT  { LEAF($$, SQLK_SET_QUANT, "DISTINCT"); }
    ;

top_percent
    : %empty    { LEAF($$, SQLK_SELECT_OPTIONS, ""); }
    | PERCENT   { LEAF($$, SQLK_SELECT_OPTIONS, "PERCENT"); }
    ;

top_ties
    : %empty    { LEAF($$, SQLK_SELECT_OPTIONS, ""); }
    | WITH TIES { LEAF($$, SQLK_SELECT_OPTIONS, "WITH TIES"); }
    ;

select_options
    : set_quantifier
        { NODE($$, SQLK_SELECT_OPTIONS, A1, $1); }
    | set_quantifier TOP integer top_percent top_ties
        { NODE($$, SQLK_SELECT_OPTIONS, A1 " TOP " A2 " " A3 " " A4, $1, $3, $4, $5); }
    | set_quantifier TOP integer ',' integer top_percent top_ties
        { NODE($$, SQLK_SELECT_OPTIONS, A1 " TOP " A2 "," A3 " " A4 " " A5, $1, $3, $5, $6, $7); }
    | set_quantifier TOP '(' expression ')' top_percent top_ties
        { NODE($$, SQLK_SELECT_OPTIONS, A1 " TOP (" A2 ") " A3 " " A4, $1, $4, $6, $7); }
    | set_quantifier TOP '(' expression ',' expression ')' top_percent top_ties
        { NODE($$, SQLK_SELECT_OPTIONS, A1 " TOP (" A2 ", " A3 ") " A4 " " A5, $1, $4, $6, $8, $9); }
    ;

positioned_update
    : UPDATE table_name SET set_list WHERE CURRENT OF cursor_name
        { NODE($$, SQLK_POS_UPDATE, "UPDATE " A1 " SET " A2 " WHERE CURRENT OF " A3, $2, $4, $8); }
    ;

set_list
    : set_item               { NODE($$, SQLK_SET_LIST, A1, $1); }
    | set_list ',' set_item  { NODE($$, SQLK_SET_LIST, A1 ", " A2, $1, $3); }
    ;

set_item
    : column_name comparison_op expression  { NODE($$, SQLK_SET_ITEM, A1 " " A2 " " A3, $1, $2, $3); }
    | column_name comparison_op NULL        { NODE($$, SQLK_SET_ITEM, A1 " " A2 " NULL", $1, $2); }
    ;

searched_update
    : UPDATE table_name FROM table_list SET set_list opt_where
        { NODE($$, SQLK_UPDATE, "UPDATE " A1 " FROM " A2 " SET " A3 " " A4, $2, $4, $6, $7); }
    | UPDATE table_name SET set_list FROM table_list opt_where
        { NODE($$, SQLK_UPDATE, "UPDATE " A1 " SET " A2 " FROM " A3 " " A4, $2, $4, $6, $7); }
    | UPDATE table_name SET set_list opt_where
        { NODE($$, SQLK_UPDATE, "UPDATE " A1 " SET " A2 " " A3, $2, $4, $5); }
    ;

opt_where
    : %empty        { LEAF($$, SQLK_WHERE_HOLDER, ""); }
    | where_clause  { NODE($$, SQLK_WHERE_HOLDER, A1, $1); }
    ;

select_list
    : select_item                  { NODE($$, SQLK_SELECT_LIST, A1, $1); }
    | select_list ',' select_item  { NODE($$, SQLK_SELECT_LIST, A1 ", " A2, $1, $3); }
    | '*'                          { LEAF($$, SQLK_SELECT_LIST, "*"); }
    ;

query_tail
    : opt_where opt_group_by opt_having opt_union opt_order_by
        { NODE($$, SQLK_QUERY_TAIL, A1 " " A2 " " A3 " " A4 " " A5, $1, $2, $3, $4, $5); }
    | FROM table_list opt_where opt_group_by opt_having opt_union opt_order_by
        { NODE($$, SQLK_QUERY_TAIL, "FROM " A1 " " A2 " " A3 " " A4 " " A5 " " A6, $2, $3, $4, $5, $6, $7); }
    ;

table_list
    : table_item                 { NODE($$, SQLK_FROM_LIST, A1, $1); }
    | table_list ',' table_item  { NODE($$, SQLK_FROM_LIST, A1 ", " A2, $1, $3); }
    ;

table_item
    : table_ref     { NODE($$, SQLK_FROM_ITEM, A1, $1); }
    | join_escape   { NODE($$, SQLK_FROM_ITEM, A1, $1); }
    | joined_table  { NODE($$, SQLK_FROM_ITEM, A1, $1); }
    ;

table_ref
    : table_name                     { NODE($$, SQLK_FROM_TABLE, A1, $1); }
    | table_name opt_as table_alias  { NODE($$, SQLK_FROM_TABLE, A1 " " A2 " " A3, $1, $2, $3); }
    ;

joined_table
    : join
        { NODE($$, SQLK_JOINED_TABLE, A1, $1); }
    | '(' query_block ')' opt_as table_alias opt_order_by
        { NODE($$, SQLK_JOINED_TABLE, "( " A1 " ) " A2 " " A3 " " A4, $2, $4, $5, $6); }
    | '(' joined_table ')'
        { NODE($$, SQLK_JOINED_TABLE, "( " A1 " )", $2); }
    ;

join
    : table_item join_type JOIN table_item ON condition
        { NODE($$, SQLK_JOIN, A1 " " A2 " JOIN " A3 " ON " A4, $1, $2, $4, $6); }
    ;

join_type
    : inner_word            { NODE($$, SQLK_JOIN_TYPE, A1, $1); }
    | outer_side opt_outer  { NODE($$, SQLK_JOIN_TYPE, A1 " " A2, $1, $2); }
    ;

inner_word : INNER { LEAF($$, SQLK_INNER, "INNER"); } ;

outer_side
    : LEFT   { LEAF($$, SQLK_OUTER_SIDE, "LEFT"); }
    | RIGHT  { LEAF($$, SQLK_OUTER_SIDE, "RIGHT"); }
    | FULL   { LEAF($$, SQLK_OUTER_SIDE, "FULL"); }
    ;

opt_outer
    : %empty  { LEAF($$, SQLK_OUTER, ""); }
    | OUTER   { LEAF($$, SQLK_OUTER, "OUTER"); }
    ;

where_clause : WHERE condition { NODE($$, SQLK_WHERE, "WHERE " A1, $2); } ;

opt_group_by
    : %empty                { LEAF($$, SQLK_GROUP_BY, ""); }
    | GROUP BY column_list  { NODE($$, SQLK_GROUP_BY, "GROUP BY " A1, $3); }
    ;

column_list
    : column_ref                  { NODE($$, SQLK_COLUMN_LIST, A1, $1); }
    | column_list ',' column_ref  { NODE($$, SQLK_COLUMN_LIST, A1 ", " A2, $1, $3); }
    ;

opt_having
    : %empty            { LEAF($$, SQLK_HAVING, ""); }
    | HAVING condition  { NODE($$, SQLK_HAVING, "HAVING " A1, $2); }
    ;

opt_order_by
    : %empty           { LEAF($$, SQLK_ORDER_BY_HOLDER, ""); }
    | order_by_clause  { NODE($$, SQLK_ORDER_BY_HOLDER, A1, $1); }
    ;

opt_union
    : %empty        { LEAF($$, SQLK_UNION_HOLDER, ""); }
    | union_clause  { NODE($$, SQLK_UNION_HOLDER, A1, $1); }
    ;

opt_insert_columns
    : %empty               { LEAF($$, SQLK_INSERT_COLS, ""); }
    | '(' column_list ')'  { NODE($$, SQLK_INSERT_COLS, "( " A1 " )", $2); }
    ;

union_clause
    : UNION query_block      { NODE($$, SQLK_UNION, "UNION " A1, $2); }
    | UNION ALL query_block  { NODE($$, SQLK_UNION, "UNION ALL " A1, $3); }
    ;

order_by_clause : ORDER BY order_by_list { NODE($$, SQLK_ORDER_BY, "ORDER BY " A1, $3); } ;

order_by_list
    : order_by_item                    { NODE($$, SQLK_ORDER_LIST, A1, $1); }
    | order_by_list ',' order_by_item  { NODE($$, SQLK_ORDER_LIST, A1 ", " A2, $1, $3); }
    ;

order_by_item
    : integer opt_direction     { NODE($$, SQLK_ORDER_ITEM, A1 " " A2, $1, $2); }
    | column_ref opt_direction  { NODE($$, SQLK_ORDER_ITEM, A1 " " A2, $1, $2); }
    ;

opt_direction
    : %empty  { LEAF($$, SQLK_DIRECTION, ""); }
    | ASC     { LEAF($$, SQLK_DIRECTION, "ASC"); }
    | DESC    { LEAF($$, SQLK_DIRECTION, "DESC"); }
    ;

condition
    : %empty                  { LEAF($$, SQLK_CONDITION, ""); }
    | condition OR condition  { NODE($$, SQLK_CONDITION, A1 " OR " A2, $1, $3); }
    | condition AND condition { NODE($$, SQLK_CONDITION, A1 " AND " A2, $1, $3); }
    | NOT condition           { NODE($$, SQLK_CONDITION, "NOT " A1, $2); }
    | '(' condition ')'       { NODE($$, SQLK_CONDITION, "( " A1 " )", $2); }
    | predicate               { NODE($$, SQLK_CONDITION, A1, $1); }
    ;

predicate
    : comparison_predicate  { NODE($$, SQLK_PREDICATE, A1, $1); }
    | between_predicate     { NODE($$, SQLK_PREDICATE, A1, $1); }
    | like_predicate        { NODE($$, SQLK_PREDICATE, A1, $1); }
    | null_predicate        { NODE($$, SQLK_PREDICATE, A1, $1); }
    | in_predicate          { NODE($$, SQLK_PREDICATE, A1, $1); }
    | quantified_predicate  { NODE($$, SQLK_PREDICATE, A1, $1); }
    | exists_predicate      { NODE($$, SQLK_PREDICATE, A1, $1); }
    | outer_join_predicate  { NODE($$, SQLK_PREDICATE, A1, $1); }
    ;

outer_join_predicate
    : column_ref outer_join_op column_ref  { NODE($$, SQLK_OJ_PREDICATE, A1 " " A2 " " A3, $1, $2, $3); }
    ;

comparison_predicate
    : expression comparison_op expression  { NODE($$, SQLK_COMPARISON, A1 " " A2 " " A3, $1, $2, $3); }
    ;

between_predicate
    : expression NOT BETWEEN expression AND expression
        { NODE($$, SQLK_BETWEEN, A1 " NOT BETWEEN " A2 " AND " A3, $1, $4, $6); }
    | expression BETWEEN expression AND expression
        { NODE($$, SQLK_BETWEEN, A1 " BETWEEN " A2 " AND " A3, $1, $3, $5); }
    ;

like_predicate
    : expression NOT LIKE like_pattern opt_escape
        { NODE($$, SQLK_LIKE, A1 " NOT LIKE " A2 " " A3, $1, $4, $5); }
    | expression LIKE like_pattern opt_escape
        { NODE($$, SQLK_LIKE, A1 " LIKE " A2 " " A3, $1, $3, $4); }
    ;

opt_escape
    : %empty                                { LEAF($$, SQLK_ESCAPE_HOLDER, ""); }
    | escape_char                           { NODE($$, SQLK_ESCAPE_HOLDER, A1, $1); }
    | vendor_open escape_char vendor_close  { NODE($$, SQLK_ESCAPE_HOLDER, A1 " " A2 " " A3, $1, $2, $3); }
    | escape_open escape_char escape_close  { NODE($$, SQLK_ESCAPE_HOLDER, A1 " " A2 " " A3, $1, $2, $3); }
    ;

escape_char : ESCAPECHAR { LEAF($$, SQLK_ESCAPE_CHAR, TXT($1)); } ;

null_predicate
    : column_ref IS NOT NULL  { NODE($$, SQLK_NULL_TEST, A1 " IS NOT NULL", $1); }
    | column_ref IS NULL      { NODE($$, SQLK_NULL_TEST, A1 " IS NULL", $1); }
    | value_item IS NOT NULL  { NODE($$, SQLK_NULL_TEST, A1 " IS NOT NULL", $1); }
    | value_item IS NULL      { NODE($$, SQLK_NULL_TEST, A1 " IS NULL", $1); }
    ;

in_predicate
    : expression NOT IN subquery             { NODE($$, SQLK_IN, A1 " NOT IN " A2, $1, $4); }
    | expression IN subquery                 { NODE($$, SQLK_IN, A1 " IN " A2, $1, $3); }
    | expression NOT IN '(' value_list ')'   { NODE($$, SQLK_IN, A1 " NOT IN ( " A2 " )", $1, $5); }
    | expression IN '(' value_list ')'       { NODE($$, SQLK_IN, A1 " IN ( " A2 " )", $1, $4); }
    ;

value_list
    : value_item                 { NODE($$, SQLK_VALUE_LIST, A1, $1); }
    | value_list ',' value_item  { NODE($$, SQLK_VALUE_LIST, A1 ", " A2, $1, $3); }
    ;

quantified_predicate
    : expression comparison_op quantifier subquery
        { NODE($$, SQLK_QUANTIFIED, A1 " " A2 " " A3 " " A4, $1, $2, $3, $4); }
    ;

quantifier
    : ANY  { LEAF($$, SQLK_QUANTIFIER, "ANY"); }
    | ALL  { LEAF($$, SQLK_QUANTIFIER, "ALL"); }
    ;

exists_predicate : EXISTS subquery { NODE($$, SQLK_EXISTS, "EXISTS " A1, $2); } ;

subquery
    : '(' SELECT set_quantifier select_list FROM table_list opt_where opt_group_by opt_having ')'
        { NODE($$, SQLK_SUBQUERY, "( SELECT " A1 " " A2 " FROM " A3 " " A4 " " A5 " " A6 " )", $3, $4, $6, $7, $8, $9); }
    ;

expression
    : term                      { NODE($$, SQLK_EXPRESSION, A1, $1); }
    | expression CONCAT term    { NODE($$, SQLK_EXPRESSION, A1 " || " A2, $1, $3); }
    | expression '+' term       { NODE($$, SQLK_EXPRESSION, A1 " + " A2, $1, $3); }
    | expression '-' term       { NODE($$, SQLK_EXPRESSION, A1 " - " A2, $1, $3); }
    | simple_case               { NODE($$, SQLK_EXPRESSION, A1, $1); }
    | searched_case             { NODE($$, SQLK_EXPRESSION, A1, $1); }
    ;

term
    : factor           { NODE($$, SQLK_TERM, A1, $1); }
    | term '*' factor  { NODE($$, SQLK_TERM, A1 " * " A2, $1, $3); }
    | term '/' factor  { NODE($$, SQLK_TERM, A1 " / " A2, $1, $3); }
    ;

factor
    : primary      { NODE($$, SQLK_FACTOR, A1, $1); }
    | '+' primary  { NODE($$, SQLK_FACTOR, "+" A1, $2); }
    | '-' primary  { NODE($$, SQLK_FACTOR, "-" A1, $2); }
    ;

primary
    : column_ref          { NODE($$, SQLK_PRIMARY, A1, $1); }
    | marker              { NODE($$, SQLK_PRIMARY, A1, $1); }
    | literal             { NODE($$, SQLK_PRIMARY, A1, $1); }
    | function_escape     { NODE($$, SQLK_PRIMARY, A1, $1); }
    | function_call       { NODE($$, SQLK_PRIMARY, A1, $1); }
    | set_function_call   { NODE($$, SQLK_PRIMARY, A1, $1); }
    | USER                { LEAF($$, SQLK_PRIMARY, "USER"); }
    | subquery            { NODE($$, SQLK_PRIMARY, A1, $1); }
    | '(' expression ')'  { NODE($$, SQLK_PRIMARY, "( " A1 " )", $2); }
    ;

opt_as
    : %empty  { LEAF($$, SQLK_AS, ""); }
    | AS      { LEAF($$, SQLK_AS, "AS"); }
    ;

select_item
    : expression
        { NODE($$, SQLK_SELECT_ITEM, A1, $1); }
    | expression opt_as column_alias
        { NODE($$, SQLK_SELECT_ITEM, A1 " " A2 " " A3, $1, $2, $3); }
    | IDENT '.' '*'
        { SqlNode *t, *n;
          LEAF(t, SQLK_TABLE_PART, TXT($1));
          NODE(n, SQLK_TABLE_NAME, A1, t);
          NODE($$, SQLK_SELECT_ITEM, A1 ".*", n); }
    | IDENT '.' IDENT '.' '*'
        { SqlNode *o, *t, *n;
          LEAF(o, SQLK_OWNER_PART, TXT($1));
          LEAF(t, SQLK_TABLE_PART, TXT($3));
          NODE(n, SQLK_TABLE_NAME, A1 "." A2, o, t);
          NODE($$, SQLK_SELECT_ITEM, A1 ".*", n); }
    | IDENT '.' IDENT '.' IDENT '.' '*'
        { SqlNode *q, *o, *t, *n;
          LEAF(q, SQLK_QUALIFIER_PART, TXT($1));
          LEAF(o, SQLK_OWNER_PART, TXT($3));
          LEAF(t, SQLK_TABLE_PART, TXT($5));
          NODE(n, SQLK_TABLE_NAME, A1 "." A2 "." A3, q, o, t);
          NODE($$, SQLK_SELECT_ITEM, A1 ".*", n); }
    | IDENT '.' '.' IDENT '.' '*'
        { SqlNode *q, *t, *n;
          LEAF(q, SQLK_QUALIFIER_PART, TXT($1));
          LEAF(t, SQLK_TABLE_PART, TXT($4));
          NODE(n, SQLK_TABLE_NAME, A1 ".." A2, q, t);
          NODE($$, SQLK_SELECT_ITEM, A1 ".*", n); }
    | IDENT ':' IDENT '.' '*'
        { SqlNode *q, *t, *n;
          LEAF(q, SQLK_QUALIFIER_PART, TXT($1));
          LEAF(t, SQLK_TABLE_PART, TXT($3));
          NODE(n, SQLK_TABLE_NAME, A1 ":" A2, q, t);
          NODE($$, SQLK_SELECT_ITEM, A1 ".*", n); }
    | IDENT ':' IDENT '.' IDENT '.' '*'
        { SqlNode *q, *o, *t, *n;
          LEAF(q, SQLK_QUALIFIER_PART, TXT($1));
          LEAF(o, SQLK_OWNER_PART, TXT($3));
          LEAF(t, SQLK_TABLE_PART, TXT($5));
          NODE(n, SQLK_TABLE_NAME, A1 ":" A2 "." A3, q, o, t);
          NODE($$, SQLK_SELECT_ITEM, A1 ".*", n); }
    | IDENT '@' IDENT ':' IDENT '.' IDENT '.' '*'
        { SqlNode *l1, *l2, *q, *o, *t, *n;
          LEAF(l1, SQLK_LINK_PART, TXT($1));
          LEAF(l2, SQLK_LINK_PART, TXT($3));
          NODE(q, SQLK_QUALIFIER_PART, A1 " @ " A2, l1, l2);
          LEAF(o, SQLK_OWNER_PART, TXT($5));
          LEAF(t, SQLK_TABLE_PART, TXT($7));
          NODE(n, SQLK_TABLE_NAME, A1 ":" A2 "." A3, q, o, t);
          NODE($$, SQLK_SELECT_ITEM, A1 ".*", n); }
    | IDENT '@' IDENT ':' IDENT '.' '*'
        { SqlNode *l1, *l2, *q, *t, *n;
          LEAF(l1, SQLK_LINK_PART, TXT($1));
          LEAF(l2, SQLK_LINK_PART, TXT($3));
          NODE(q, SQLK_QUALIFIER_PART, A1 " @ " A2, l1, l2);
          LEAF(t, SQLK_TABLE_PART, TXT($5));
          NODE(n, SQLK_TABLE_NAME, A1 ":" A2, q, t);
          NODE($$, SQLK_SELECT_ITEM, A1 ".*", n); }
    ;

value_item
    : marker   { NODE($$, SQLK_VALUE_ITEM, A1, $1); }
    | literal  { NODE($$, SQLK_VALUE_ITEM, A1, $1); }
    | USER     { LEAF($$, SQLK_VALUE_ITEM, "USER"); }
    ;

like_pattern
    : marker  { NODE($$, SQLK_LIKE_PATTERN, A1, $1); }
    | STRING  { LEAF($$, SQLK_LIKE_PATTERN, TXT($1)); }
    | USER    { LEAF($$, SQLK_LIKE_PATTERN, "USER"); }
    ;

set_function_call
    : set_function_name '(' '*' ')'
        { NODE($$, SQLK_SETFUNC_CALL, A1 " (*)", $1); }
    | set_function_name '(' DISTINCT column_ref ')'
        { NODE($$, SQLK_SETFUNC_CALL, A1 "( DISTINCT " A2 " )", $1, $4); }
    | set_function_name '(' expression ')'
        { NODE($$, SQLK_SETFUNC_CALL, A1 "( " A2 " )", $1, $3); }
    ;

literal
    : STRING           { LEAF($$, SQLK_LITERAL, TXT($1)); }
    | integer          { NODE($$, SQLK_LITERAL, A1, $1); }
    | DECIMAL          { LEAF($$, SQLK_LITERAL, TXT($1)); }
    | FLOAT            { LEAF($$, SQLK_LITERAL, TXT($1)); }
    | datetime_escape  { NODE($$, SQLK_LITERAL, A1, $1); }
    | HEXLIT           { LEAF($$, SQLK_HEXLIT, TXT($1)); }
    ;

table_name
    : simple_table_name
        { NODE($$, SQLK_TABLE_NAME, A1, $1); }
    | IDENT '.' IDENT
        { SqlNode *q, *t;
          LEAF(q, SQLK_QUALIFIER_PART, TXT($1));
          LEAF(t, SQLK_TABLE_PART, TXT($3));
          NODE($$, SQLK_TABLE_NAME, A1 "." A2, q, t); }
    | IDENT '.' '.' IDENT
        { SqlNode *q, *t;
          LEAF(q, SQLK_QUALIFIER_PART, TXT($1));
          LEAF(t, SQLK_TABLE_PART, TXT($4));
          NODE($$, SQLK_TABLE_NAME, A1 ".." A2, q, t); }
    | IDENT '.' IDENT '.' IDENT
        { SqlNode *q, *o, *t;
          LEAF(q, SQLK_QUALIFIER_PART, TXT($1));
          LEAF(o, SQLK_OWNER_PART, TXT($3));
          LEAF(t, SQLK_TABLE_PART, TXT($5));
          NODE($$, SQLK_TABLE_NAME, A1 "." A2 "." A3, q, o, t); }
    | IDENT '@' IDENT
        { SqlNode *t, *q;
          LEAF(t, SQLK_TABLE_PART, TXT($1));
          LEAF(q, SQLK_QUALIFIER_PART, TXT($3));
          NODE($$, SQLK_TABLE_NAME, A1 " @ " A2, t, q); }
    | IDENT '.' IDENT '@' IDENT
        { SqlNode *o, *t, *q;
          LEAF(o, SQLK_OWNER_PART, TXT($1));
          LEAF(t, SQLK_TABLE_PART, TXT($3));
          LEAF(q, SQLK_QUALIFIER_PART, TXT($5));
          NODE($$, SQLK_TABLE_NAME, A1 "." A2 " @ " A3, o, t, q); }
    | IDENT ':' IDENT
        { SqlNode *q, *t;
          LEAF(q, SQLK_QUALIFIER_PART, TXT($1));
          LEAF(t, SQLK_TABLE_PART, TXT($3));
          NODE($$, SQLK_TABLE_NAME, A1 ":" A2, q, t); }
    | IDENT '@' IDENT ':' IDENT
        { SqlNode *l1, *l2, *q, *t;
          LEAF(l1, SQLK_LINK_PART, TXT($1));
          LEAF(l2, SQLK_LINK_PART, TXT($3));
          NODE(q, SQLK_QUALIFIER_PART, A1 " @ " A2, l1, l2);
          LEAF(t, SQLK_TABLE_PART, TXT($5));
          NODE($$, SQLK_TABLE_NAME, A1 ":" A2, q, t); }
    | IDENT ':' IDENT '.' IDENT
        { SqlNode *q, *o, *t;
          LEAF(q, SQLK_QUALIFIER_PART, TXT($1));
          LEAF(o, SQLK_OWNER_PART, TXT($3));
          LEAF(t, SQLK_TABLE_PART, TXT($5));
          NODE($$, SQLK_TABLE_NAME, A1 ":" A2 "." A3, q, o, t); }
    | IDENT '@' IDENT ':' IDENT '.' IDENT
        { SqlNode *l1, *l2, *q, *o, *t;
          LEAF(l1, SQLK_LINK_PART, TXT($1));
          LEAF(l2, SQLK_LINK_PART, TXT($3));
          NODE(q, SQLK_QUALIFIER_PART, A1 " @ " A2, l1, l2);
          LEAF(o, SQLK_OWNER_PART, TXT($5));
          LEAF(t, SQLK_TABLE_PART, TXT($7));
          NODE($$, SQLK_TABLE_NAME, A1 ":" A2 "." A3, q, o, t); }
    ;

column_ref
    : column_name
        { NODE($$, SQLK_COLUMN_REF, A1, $1); }
    | IDENT '.' IDENT
        { SqlNode *t, *c;
          LEAF(t, SQLK_TABLE_PART, TXT($1));
          LEAF(c, SQLK_COL_PART, TXT($3));
          NODE($$, SQLK_COLUMN_REF, A1 "." A2, t, c); }
    | IDENT '.' IDENT '.' IDENT
        { SqlNode *o, *t, *c;
          LEAF(o, SQLK_OWNER_PART, TXT($1));
          LEAF(t, SQLK_TABLE_PART, TXT($3));
          LEAF(c, SQLK_COL_PART, TXT($5));
          NODE($$, SQLK_COLUMN_REF, A1 "." A2 "." A3, o, t, c); }
    ;

simple_table_name : IDENT   { LEAF($$, SQLK_TABLE_PART, TXT($1)); } ;
column_name       : IDENT   { LEAF($$, SQLK_COL_PART, TXT($1)); } ;
column_alias      : IDENT   { LEAF($$, SQLK_COL_ALIAS, TXT($1)); } ;
cursor_name       : IDENT   { LEAF($$, SQLK_CURSOR_NAME, TXT($1)); } ;
marker            : MARKER  { LEAF($$, SQLK_MARKER, "?"); } ;
table_alias       : IDENT   { LEAF($$, SQLK_TABLE_ALIAS, TXT($1)); } ;
integer           : INTEGER { LEAF($$, SQLK_INTEGER, TXT($1)); } ;
comparison_op     : COMPARE { LEAF($$, SQLK_COMPARE_OP, TXT($1)); } ;
outer_join_op     : OJOP    { LEAF($$, SQLK_OUTER_SIDE, TXT($1)); } ;
set_function_name : SETFUNC { LEAF($$, SQLK_SETFUNC_NAME, TXT($1)); } ;

datetime_escape
    : date_escape       { NODE($$, SQLK_DATETIME_ESC, A1, $1); }
    | time_escape       { NODE($$, SQLK_DATETIME_ESC, A1, $1); }
    | timestamp_escape  { NODE($$, SQLK_DATETIME_ESC, A1, $1); }
    ;

date_escape
    : vendor_open date_literal vendor_close  { NODE($$, SQLK_DATE_ESC, A1 " " A2 " " A3, $1, $2, $3); }
    | escape_open date_literal escape_close  { NODE($$, SQLK_DATE_ESC, A1 " " A2 " " A3, $1, $2, $3); }
    ;

time_escape
    : vendor_open time_literal vendor_close  { NODE($$, SQLK_TIME_ESC, A1 " " A2 " " A3, $1, $2, $3); }
    | escape_open time_literal escape_close  { NODE($$, SQLK_TIME_ESC, A1 " " A2 " " A3, $1, $2, $3); }
    ;

timestamp_escape
    : vendor_open timestamp_literal vendor_close  { NODE($$, SQLK_TS_ESC, A1 " " A2 " " A3, $1, $2, $3); }
    | escape_open timestamp_literal escape_close  { NODE($$, SQLK_TS_ESC, A1 " " A2 " " A3, $1, $2, $3); }
    ;

date_literal      : DATELIT  { LEAF($$, SQLK_DATE_LIT, TXT($1)); } ;
time_literal      : TIMELIT  { LEAF($$, SQLK_TIME_LIT, TXT($1)); } ;
timestamp_literal : TSLIT    { LEAF($$, SQLK_TS_LIT, TXT($1)); } ;

join_escape
    : escape_open OJ join escape_close  { NODE($$, SQLK_OJ_ESC, A1 " oj " A2 " " A3, $1, $3, $4); }
    | vendor_open OJ join vendor_close  { NODE($$, SQLK_OJ_ESC, A1 " oj " A2 " " A3, $1, $3, $4); }
    ;

function_escape
    : escape_open FN function_call escape_close  { NODE($$, SQLK_FN_ESC, A1 " fn " A2 " " A3, $1, $3, $4); }
    | vendor_open FN function_call vendor_close  { NODE($$, SQLK_FN_ESC, A1 " fn " A2 " " A3, $1, $3, $4); }
    ;

function_call
    : function_name '(' argument_list ')'  { NODE($$, SQLK_FUNC_CALL, A1 "( " A2 " )", $1, $3); }
    ;

function_name : IDENT { LEAF($$, SQLK_FUNC_NAME, TXT($1)); } ;

argument_list
    : %empty                       { LEAF($$, SQLK_ARG_LIST, ""); }
    | expression                   { NODE($$, SQLK_ARG_LIST, A1, $1); }
    | expression ',' argument_list { NODE($$, SQLK_ARG_LIST, A1 ", " A2, $1, $3); }
    | expression FROM expression   { NODE($$, SQLK_ARG_LIST, A1 " FROM " A2, $1, $3); }
    | expression IN expression     { NODE($$, SQLK_ARG_LIST, A1 " IN " A2, $1, $3); }
    ;

escape_open  : LBRACE      { LEAF($$, SQLK_ESC_OPEN, "{"); } ;
escape_close : RBRACE      { LEAF($$, SQLK_ESC_CLOSE, "}"); } ;
vendor_open  : VENDOROPEN  { LEAF($$, SQLK_ESC_OPEN, " --(* VENDOR(Microsoft), PRODUCT(ODBC) "); } ;
vendor_close : VENDORCLOSE { LEAF($$, SQLK_ESC_CLOSE, " *)--"); } ;

simple_case
    : CASE expression simple_when_list END  { NODE($$, SQLK_SIMPLE_CASE, "CASE " A1 " " A2 " END", $2, $3); }
    ;

simple_when_list
    : simple_when                   { NODE($$, SQLK_SIMPLE_WHENS, A1, $1); }
    | simple_when_list simple_when  { NODE($$, SQLK_SIMPLE_WHENS, A1 " " A2, $1, $2); }
    ;

simple_when
    : WHEN expression THEN expression  { NODE($$, SQLK_SIMPLE_WHEN, "WHEN " A1 " THEN " A2, $2, $4); }
    | ELSE expression                  { NODE($$, SQLK_SIMPLE_WHEN, "ELSE " A1, $2); }
    ;

searched_case
    : CASE searched_when_list END  { NODE($$, SQLK_SEARCHED_CASE, "CASE " A1 " END", $2); }
    ;

searched_when_list
    : searched_when                     { NODE($$, SQLK_SEARCHED_WHENS, A1, $1); }
    | searched_when_list searched_when  { NODE($$, SQLK_SEARCHED_WHENS, A1 " " A2, $1, $2); }
    ;

searched_when
    : WHEN condition THEN expression  { NODE($$, SQLK_SEARCHED_WHEN, "WHEN " A1 " THEN " A2, $2, $4); }
    | ELSE expression                 { NODE($$, SQLK_SEARCHED_WHEN, "ELSE " A1, $2); }
    ;
