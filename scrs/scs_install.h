// The cursor library's overlay on the back-end operation table.
#pragma once
#include <cstdint>

struct ColDesc;
struct DrvBinding;
struct TypedValue;

// Puts the cursor library's overlay in front of the binding's table.  Until
// the cursor library exists the binding is left as it is.
void SCS_Install(DrvBinding *binding);

// For the back end's column attributes of a statement whose select list the
// library completed (statement attribute 1052 or 1054): replaces the base
// column name (flag 1), table (2), schema (4) and catalog (8) of column
// `column`'s description with the select column's, and answers the
// unanswered (negative) attributes 1053 (key column) and 1055 (expression)
// among `count` entries of the table from entry `column` on, `step` apart.
// Does nothing for another statement.  0.
int SCS_GetSelColAttribs(int stmt, uint16_t column, ColDesc *desc, uint16_t flags, uint16_t step, uint16_t count,
                         TypedValue *table);
