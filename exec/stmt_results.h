// Release of a statement's results.
#pragma once

struct Stmt;

// Frees the current result block and the rowset cache and puts the current
// row back to 0.  0.
int StmtFreeResults(Stmt *stmt);
