// Release of a statement's results.
#include "exec/stmt_results.h"

#include "odbc/handles.h"

int StmtFreeResults(Stmt *stmt)
{
    RB_Free(&stmt->result);
    RS_Free(&stmt->cursor.cache);
    stmt->currentRow = 0;
    return 0;
}
