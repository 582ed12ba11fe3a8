// The analysed statement: a statement's text, its tree and what the analyser
// found out about it, with the questions the cursor library asks of a
// SELECT (its FROM tables, select items and ORDER BY items) and the marks
// that show where a clause of the library's own belongs.
//
// Every operation answers an error number: 0 success, ERR_GENERAL (S1000) when
// the tree lacks what the question needs, ERR_MEMORY_ALLOCATION (S1001) when
// memory is short, ERR_SYNTAX_OR_ACCESS (37000) when the statement does not
// parse.  None posts a diagnostic or writes a log line (but for the line of a
// failed internal check that answers ERR_GENERAL, sc_check.h); the callers
// do.  Questions look at the statement's own query blocks only: select
// items, tables and clauses inside subqueries and derived tables are not the
// statement's.
#pragma once
#include "scrs/scr_kinds.h"
#include "scrs/sqlt_tree.h"

#include <cstdint>
#include <string>
#include <vector>

struct DynArray;

// Clause flags of an analysed SELECT.
enum ScrClauseFlags : uint16_t {
    SCR_CF_WHERE = 0x0002,         // the first query block had a WHERE when it was marked
    SCR_CF_ORDER_BY = 0x0004,      // the statement has an ORDER BY
    SCR_CF_GROUP_BY = 0x0008,      // the first query block has a GROUP BY
    SCR_CF_UNION = 0x0010,         // a UNION follows the first query block
    SCR_CF_MULTI_TABLE = 0x0020,   // the FROM list names two or more tables
    SCR_CF_ORDER_BY_POS = 0x0040,  // an ORDER BY item is a position number
    SCR_CF_SET_FUNCTION = 0x0080,  // the first query block uses COUNT, SUM, AVG, MIN or MAX
    SCR_CF_OUTER_JOIN = 0x0100,    // LEFT, RIGHT or FULL join, or "*=" / "=*"
};

struct ScrAnalysedSql {
    char *statement;   // owned: the analysed text without leading white space
    char *echo;        // owned: after a failed parse, the text up to the error and "^";
                       // the cursor library keeps its rewritten statement here
    char *message;     // owned: the scanner's or parser's report
    SqlNode *tree;     // owned root
    int32_t kind;      // -1 cleared; 0 while parsing, after a failure, or another statement; else the root's kind
    uint16_t flags;    // ScrClauseFlags
};

// A FROM table: four owned texts, "" when absent.  A derived table has an
// empty table name and its alias.
struct ScrTableRef {
    char *qualifier;
    char *owner;
    char *table;
    char *alias;
};

constexpr int SCR_NAME_SIZE = 509;        // name fields: 508 bytes and a NUL
constexpr int SCR_ORDER_TEXT_SIZE = 2036;

// Select-item kinds of ScrColumnRef::itemKind.
enum : int32_t { SCR_ITEM_STAR = 1, SCR_ITEM_TABLE_STAR = 2, SCR_ITEM_EXPRESSION = 3, SCR_ITEM_COLUMN = 4 };

// A column of a select list, a table or a key.
struct ScrColumnRef {
    char column[SCR_NAME_SIZE];
    char table[SCR_NAME_SIZE];
    char alias[SCR_NAME_SIZE];
    char owner[SCR_NAME_SIZE];
    char qualifier[SCR_NAME_SIZE];
    int16_t sqlType;         // the cursor library's; 0 from the analyser
    int32_t columnSize;
    int16_t decimalDigits;
    uint8_t orderByMark;
    int32_t itemKind;        // SCR_ITEM_*
};

// One ORDER BY item.  The analyser fills text, the name parts, desc and
// position; the rest is the cursor library's and zero from the analyser.
struct OrderByColDesc {
    char text[SCR_ORDER_TEXT_SIZE];  // the item's column reference as written
    char column[SCR_NAME_SIZE];
    char table[SCR_NAME_SIZE];
    char alias[SCR_NAME_SIZE];
    char owner[SCR_NAME_SIZE];
    char qualifier[SCR_NAME_SIZE];
    int32_t desc;            // 1 for DESC
    uint8_t position;        // the item's position number, 0 for a named item
    int32_t matched;
    int16_t sqlType;
    int32_t columnSize;
    int16_t decimalDigits;
};

// The insertion marker a mark leaves in the regenerated text (three 0x01).
extern const char ScrInsertMarker[4];

// Clears a record: texts and tree NULL, kind -1, flags 0.  NULL is ignored.
void SCR_Init(ScrAnalysedSql *r);
// Frees what the record holds and clears it.  NULL is ignored.
void SCR_Free(ScrAnalysedSql *r);
// Parses text into r (what r held is freed first) and regenerates its texts;
// for a SELECT, unless noFlags, computes the clause flags.  0, ERR_SYNTAX_OR_ACCESS when the
// text does not parse (r keeps the report), ERR_GENERAL or ERR_MEMORY_ALLOCATION from a flag step.
int SCR_AnalyseSQL(ScrAnalysedSql *r, const char *text, int noFlags, int keepQualifier);

// Appends the FROM tables of the statement's first query block (members of
// joins and join escapes included) to out, a DynArray of ScrTableRef; no
// FROM list appends nothing.  0, ERR_GENERAL, ERR_MEMORY_ALLOCATION.
int SCR_TablesGet(ScrAnalysedSql *r, DynArray *out, int keepQualifier);
// Frees the texts of one ScrTableRef (the element destructor for DA_Free).
void SCR_TableRefFree(void *elem);
// Appends the select items to out, a DynArray of ScrColumnRef.  0, ERR_GENERAL (no
// select list, no item, or a name or expression too long for its field), ERR_MEMORY_ALLOCATION.
int SCR_SelectColsGet(ScrAnalysedSql *r, DynArray *out);
// The text of each select item, parallel to what SCR_SelectColsGet appends
// ("*" for a leading star; an item with its label as written).  0,
// ERR_GENERAL, ERR_MEMORY_ALLOCATION.
int SCR_SelectItemTexts(const ScrAnalysedSql *r, std::vector<std::string> *out);
// Appends the ORDER BY items to out, a DynArray of OrderByColDesc, and sets
// SCR_CF_ORDER_BY_POS for a position item.  0, ERR_GENERAL (no item, a position
// outside 1..255, a name too long), ERR_MEMORY_ALLOCATION.
int SCR_OrderByColsGet(ScrAnalysedSql *r, DynArray *out);
// Replaces each ORDER BY position by the text of the list element with that
// position and regenerates the texts.  0 (also for an empty list),
// ERR_GENERAL, ERR_MEMORY_ALLOCATION.
int SCR_OrderByPosResolve(ScrAnalysedSql *r, DynArray *list);
// Turns every ORDER BY direction round (DESC to ascending and back) and
// regenerates the texts.  0, ERR_GENERAL (no ORDER BY item), ERR_MEMORY_ALLOCATION.
int SCR_OrderByInvert(ScrAnalysedSql *r);

// Marks: each puts ScrInsertMarker where its clause belongs and regenerates
// the texts; ERR_GENERAL when the statement is not a SELECT or lacks the place.
// The select list becomes the marker.
int SCR_SelectListMark(ScrAnalysedSql *r);
// The regenerated text of the first query block's select list, as a new heap
// text in *out.  0, ERR_GENERAL (not a SELECT, no select list), ERR_MEMORY_ALLOCATION.
int SCR_SelectListText(const ScrAnalysedSql *r, char **out);
// The first query block's WHERE becomes "WHERE <marker> AND (<condition>)"
// (flag SCR_CF_WHERE set), or the marker stands where a WHERE would (cleared).
int SCR_WhereMark(ScrAnalysedSql *r);
// The ORDER BY becomes "ORDER BY <items><marker>" (SCR_CF_ORDER_BY set), or
// the marker stands where an ORDER BY would (cleared).
int SCR_OrderByMark(ScrAnalysedSql *r);
// The statement's text with marker i (in text order) replaced by clauses[i],
// spliced in the tree, so that no byte of a literal is taken for a marker;
// *out is a new heap text.  n must equal the number of markers.  0,
// ERR_GENERAL, ERR_MEMORY_ALLOCATION.
int SCR_MarkersFill(ScrAnalysedSql *r, const char *const *clauses, int n, char **out);
