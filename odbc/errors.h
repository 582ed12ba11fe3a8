// Error numbers and the per-handle diagnostic queue.
//
// Every failure in the driver is an error number: the index of a row of
// ErrorTable (SQLSTATE in its ODBC 2 form and message).  Each handle object
// embeds an ErrQueue: its error number, the texts the back end delivered for
// it (oldest first) and the record number the ODBC 3 diagnostic calls read.
#pragma once
#include <sql.h>

#include <cstddef>
#include <cstdint>

#include "odbc/contract/errtable.h"

// Where a SQLSTATE came from: a row of the error table (the driver's own
// ODBC 2 state) or the tag of a queued text (a server's or JDBC's state).
enum StateOrigin {
    STATE_DRIVER = 0,
    STATE_TEXT = 1
};

// Rewrites an ODBC 2 SQLSTATE (five characters and NUL) in place to its ODBC 3
// value.  Every origin gets the renames of states ODBC 3 dropped (S1xxx to
// HYxxx, S00xx to 42Sxx, S1002/S1093, 01S03/01S04, 37000, 70100); the
// driver's own 22005 and 22008 also become 22018 and 22007.  A state a server
// reports keeps its meaning (22003, 22005, 22008, 24000 ... stay), and 22003
// stays 22003 for the driver too.
void MapSqlState3(char *sqlstate, StateOrigin origin);

// Finds the "[SQLSTATE:" tag (any case) in the first len bytes of text.
// Returns the offset where the tag begins (len when there is none) and copies
// the state into out (six bytes): the five characters when the tag holds
// exactly five letters or digits up to "]" or the end, else "S1000".
size_t ERR_ParseStateTag(const char *text, size_t len, char out[6]);

// One queued diagnostic text.  The node owns its text.
struct ErrMsg {
    ErrMsg *next;
    char *text;
    int32_t native;
};

// The diagnostics of one handle object: error number (0 none), queued texts
// in arrival order, and the current record number of SQLGetDiagRec/Field.
struct ErrQueue {
    int32_t errNum;
    uint16_t curRec;
    ErrMsg *head;
    ErrMsg *tail;
};

// Appends a copy of the text with its native code.  False (and nothing
// queued) when the text is NULL or memory runs out; no report is made.
bool ERR_Push(ErrQueue *q, const char *text, int32_t native);
// Queues each non-NULL text of a back-end delivery with the one native code.
void ERR_PushTexts(ErrQueue *q, char *const *texts, size_t count, int32_t native);
// Removes the oldest text and hands it over (the caller frees it with free());
// the native code goes to *native when given.  NULL for an empty queue.
char *ERR_Pop(ErrQueue *q, int32_t *native);
// Number of queued texts.
size_t ERR_Count(const ErrQueue *q);
// Frees every queued text; the error number is kept.
void ERR_FreeMsgs(ErrQueue *q);
// Frees every queued text and sets the error number to 0 (a new call begins).
void ERR_Clear(ErrQueue *q);

// Frees a whole list with its texts and leaves *head NULL.
void FreeErrMsgs(ErrMsg **head);
// The n-th node's text (from 1; a number below 2 gives the head), not copied
// and not removed, with its native code in *native when given; NULL when the
// list has fewer than n nodes.
const char *PeekErrMsg(const ErrMsg *head, int n, int32_t *native);

// How ERR_GetRec reads the queue.
enum ErrRecMode {
    ERR_MODE_TAKE = 1,  // report the oldest text and remove it; clears the number
    ERR_MODE_KEEP = 2   // report the record q->curRec; nothing changes
};

// Turns a handle's queue and error number into one diagnostic record:
// SQLSTATE (six bytes), native code, message ("[Kestrune][ODBC]" + text, or
// "[Kestrune][ODBC][Driver]" + table message) cut to bufLen bytes with its
// NUL, and the whole message length.  odbcVersion 3 maps the SQLSTATE to its
// ODBC 3 value.  Every output may be NULL.  Returns SQL_SUCCESS,
// SQL_SUCCESS_WITH_INFO when the message was cut (or a NULL message buffer
// could not have held it), SQL_NO_DATA when there is nothing to report,
// SQL_ERROR (nothing touched) for a negative bufLen or when memory is short.
int16_t ERR_GetRec(ErrQueue *q, int odbcVersion, int mode, char *sqlstate,
                   int32_t *native, char *msg, int16_t bufLen, int16_t *textLen);

// Posts a writer's answer on a handle: 0 is SQL_SUCCESS, ERR_DATA_TRUNCATED
// SQL_SUCCESS_WITH_INFO, any other number SQL_ERROR.
SQLRETURN TXT_Post(ErrQueue *q, int err);
