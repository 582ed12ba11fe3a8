// The state of one parse, shared by the generated scanner and parser: the
// input range, the echo of the text scanned so far, the token-text pool,
// the error report, and the arena of every node and scanner block the parse
// made, so that a failed parse frees all of it.
#pragma once
#include "scrs/sqlt_tree.h"

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

struct HashTable;

// One distinct token text of a parse (the semantic value of value tokens).
struct ScrTokenEntry {
    char *text;   // owned
};

// Header of a block the scanner or the parser's stack took from the arena.
struct ScrArenaBlock {
    ScrArenaBlock *prev;
    ScrArenaBlock *next;
    size_t size;
    size_t pad;   // keeps the payload 16-byte aligned
};

constexpr size_t SCR_ECHO_SIZE = 20000;

struct ScrParseCtx {
    const char *start;        // statement text being parsed
    const char *pos;          // read position
    const char *end;          // one past its last byte
    int32_t escDepth;         // open "{" and vendor escapes
    char echo[SCR_ECHO_SIZE]; // text since the last SELECT/INSERT/UPDATE/DELETE
    size_t echoLen;
    HashTable *tokens;        // token-text pool: key -> ScrTokenEntry *
    char *errEcho;            // echo + "^" of the report kept
    char *errMessage;         // its message
    bool scannerReported;     // the kept report came from the scanner
    SqlNode *root;            // the statement node
    SqlNode **nodes;          // every node built during the parse
    size_t nodeCount;
    size_t nodeCapacity;
    ScrArenaBlock *blocks;    // live scanner and parser-stack blocks
    jmp_buf fatal;            // where a fatal scanner error lands
};

// Parses text under ScrParserLock.  On success *tree is the statement's
// tree (the caller owns it); on failure *tree is NULL and every node the
// parse made is freed.  *echo and *message are the report kept (heap texts,
// NULL when none).  0 on success, non-zero when the text does not parse.
int scr_Parse(const char *text, SqlNode **tree, char **echo, char **message);

// ---- used by the scanner ----

// Copies up to size bytes of the input from the read position; 0 at the end.
int scsql_input(ScrParseCtx *ctx, char *dest, size_t size);
// Records a report: the echo so far with "^", and the message.  A scanner
// report is kept over a later parser report of the same parse.
void scsql_error(ScrParseCtx *ctx, const char *message, bool fromScanner);
// The pool entry of a token text (found or added); NULL when out of memory.
// Unquoted words are pooled without regard to case, every other text exactly.
ScrTokenEntry *scsql_Intern(ScrParseCtx *ctx, const char *text, size_t len, bool caseless);
// Appends to the echo (cut at the buffer's end) / empties it.
void scsql_Echo(ScrParseCtx *ctx, const char *text, size_t len);
void scsql_EchoReset(ScrParseCtx *ctx);
// Arena blocks for the scanner's buffers and the parser's stacks.
void *scsql_ArenaAlloc(ScrParseCtx *ctx, size_t size);
void *scsql_ArenaRealloc(ScrParseCtx *ctx, void *block, size_t size);
void scsql_ArenaFree(ScrParseCtx *ctx, void *block);
// A fatal scanner error: ends the parse as out of memory, never the process.
[[noreturn]] void scsql_Fatal(ScrParseCtx *ctx, const char *message);

// ---- used by the grammar ----

// A leaf or inner node registered with the parse; NULL when out of memory.
SqlNode *scsql_Leaf(ScrParseCtx *ctx, int32_t kind, const char *text);
SqlNode *scsql_Node(ScrParseCtx *ctx, int32_t kind, const SqlTemplate *tmpl, std::initializer_list<SqlNode *> children);
