// One parse: the context the generated scanner and parser share, its arena
// of nodes and blocks, the token-text pool and the error report.
#include "scrs/scsql_ctx.h"

#include "scrs/scr_internal.h"
#include "scrs/scr_locks.h"
#include "util/hash.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>

// The generated scanner and parser.
typedef void *yyscan_t;
int scsql_lex_init_extra(ScrParseCtx *extra, yyscan_t *scanner);
int scsql_lex_destroy(yyscan_t scanner);
int scsql_parse(ScrParseCtx *ctx, void *scanner);

namespace {

constexpr int32_t kPoolBuckets = 1021;

void freeEntry(uint64_t value, const void *, void *)
{
    ScrTokenEntry *e = reinterpret_cast<ScrTokenEntry *>(value);
    free(e->text);
    free(e);
}

bool registerNode(ScrParseCtx *ctx, SqlNode *n)
{
    if (ctx->nodeCount == ctx->nodeCapacity) {
        size_t cap = ctx->nodeCapacity ? ctx->nodeCapacity * 2 : 256;
        SqlNode **nodes = static_cast<SqlNode **>(realloc(ctx->nodes, cap * sizeof(SqlNode *)));
        if (!nodes)
            return false;
        ctx->nodes = nodes;
        ctx->nodeCapacity = cap;
    }
    ctx->nodes[ctx->nodeCount++] = n;
    return true;
}

SqlNode *keep(ScrParseCtx *ctx, SqlNode *n)
{
    if (n && !registerNode(ctx, n)) {
        // Not yet linked anywhere: its children stay registered on their own.
        n->firstChild = nullptr;
        SQLT_Free(&n, sqlt_NodeTextsFree);
    }
    return n;
}

// Frees every node the parse made, linked or not, one by one.
void freeNodes(ScrParseCtx *ctx)
{
    for (size_t i = 0; i < ctx->nodeCount; ++i) {
        sqlt_NodeTextsFree(ctx->nodes[i]);
        free(ctx->nodes[i]);
    }
    ctx->nodeCount = 0;
}

ScrArenaBlock *headerOf(void *block) { return static_cast<ScrArenaBlock *>(block) - 1; }

void unlinkBlock(ScrParseCtx *ctx, ScrArenaBlock *b)
{
    if (b->prev)
        b->prev->next = b->next;
    else
        ctx->blocks = b->next;
    if (b->next)
        b->next->prev = b->prev;
}

void linkBlock(ScrParseCtx *ctx, ScrArenaBlock *b)
{
    b->prev = nullptr;
    b->next = ctx->blocks;
    if (b->next)
        b->next->prev = b;
    ctx->blocks = b;
}

// Runs the scanner and parser; answers the parser's result, 2 after a fatal
// scanner error.  Kept apart so that no object with a destructor lives in
// the frame that a fatal error jumps back to.
int runParser(ScrParseCtx *ctx, yyscan_t scanner)
{
    if (setjmp(ctx->fatal) != 0)
        return 2;
    return scsql_parse(ctx, scanner);
}

} // namespace

int scsql_input(ScrParseCtx *ctx, char *dest, size_t size)
{
    size_t left = static_cast<size_t>(ctx->end - ctx->pos);
    size_t n = left < size ? left : size;
    memcpy(dest, ctx->pos, n);
    ctx->pos += n;
    return static_cast<int>(n);
}

void scsql_error(ScrParseCtx *ctx, const char *message, bool fromScanner)
{
    if (ctx->scannerReported && !fromScanner)
        return;
    char *echo = static_cast<char *>(malloc(ctx->echoLen + 2));
    char *msg = scr_DupN(message, strlen(message));
    if (echo) {
        memcpy(echo, ctx->echo, ctx->echoLen);
        echo[ctx->echoLen] = '^';
        echo[ctx->echoLen + 1] = 0;
    }
    free(ctx->errEcho);
    free(ctx->errMessage);
    ctx->errEcho = echo;
    ctx->errMessage = msg;
    ctx->scannerReported = fromScanner;
}

ScrTokenEntry *scsql_Intern(ScrParseCtx *ctx, const char *text, size_t len, bool caseless)
{
    // Key: 'i' and the text in lower case, or 'e' and the exact text.
    char *key = static_cast<char *>(malloc(len + 2));
    if (!key)
        return nullptr;
    key[0] = caseless ? 'i' : 'e';
    for (size_t i = 0; i < len; ++i)
        key[i + 1] = caseless && text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] + 32) : text[i];
    key[len + 1] = 0;
    ScrTokenEntry *e = nullptr;
    if (HashNode *found = HASH_Find(ctx->tokens, key)) {
        e = reinterpret_cast<ScrTokenEntry *>(found->value);
    } else if ((e = static_cast<ScrTokenEntry *>(calloc(1, sizeof(ScrTokenEntry)))) != nullptr) {
        e->text = scr_DupN(text, len);
        if (!e->text || !HASH_Put(ctx->tokens, key, reinterpret_cast<uint64_t>(e))) {
            free(e->text);
            free(e);
            e = nullptr;
        }
    }
    free(key);
    return e;
}

void scsql_Echo(ScrParseCtx *ctx, const char *text, size_t len)
{
    size_t room = SCR_ECHO_SIZE - 1 - ctx->echoLen;
    if (len > room)
        len = room;
    memcpy(ctx->echo + ctx->echoLen, text, len);
    ctx->echoLen += len;
    ctx->echo[ctx->echoLen] = 0;
}

void scsql_EchoReset(ScrParseCtx *ctx)
{
    ctx->echoLen = 0;
    ctx->echo[0] = 0;
}

void *scsql_ArenaAlloc(ScrParseCtx *ctx, size_t size)
{
    ScrArenaBlock *b = static_cast<ScrArenaBlock *>(malloc(sizeof(ScrArenaBlock) + size));
    if (!b)
        return nullptr;
    b->size = size;
    linkBlock(ctx, b);
    return b + 1;
}

void *scsql_ArenaRealloc(ScrParseCtx *ctx, void *block, size_t size)
{
    if (!block)
        return scsql_ArenaAlloc(ctx, size);
    ScrArenaBlock *b = headerOf(block);
    unlinkBlock(ctx, b);
    ScrArenaBlock *moved = static_cast<ScrArenaBlock *>(realloc(b, sizeof(ScrArenaBlock) + size));
    if (!moved) {
        linkBlock(ctx, b);
        return nullptr;
    }
    moved->size = size;
    linkBlock(ctx, moved);
    return moved + 1;
}

void scsql_ArenaFree(ScrParseCtx *ctx, void *block)
{
    if (!block)
        return;
    ScrArenaBlock *b = headerOf(block);
    unlinkBlock(ctx, b);
    free(b);
}

void scsql_Fatal(ScrParseCtx *ctx, const char *)
{
    scsql_error(ctx, "memory exhausted", true);
    longjmp(ctx->fatal, 1);
}

SqlNode *scsql_Leaf(ScrParseCtx *ctx, int32_t kind, const char *text)
{
    return keep(ctx, SQLT_LeafNew(kind, text));
}

SqlNode *scsql_Node(ScrParseCtx *ctx, int32_t kind, const SqlTemplate *tmpl, std::initializer_list<SqlNode *> children)
{
    return keep(ctx, SQLT_NodeNew(kind, tmpl, children));
}

int scr_Parse(const char *text, SqlNode **tree, char **echo, char **message)
{
    *tree = nullptr;
    *echo = nullptr;
    *message = nullptr;
    std::lock_guard<std::mutex> lock(ScrParserLock());
    ScrParseCtx *ctx = static_cast<ScrParseCtx *>(calloc(1, sizeof(ScrParseCtx)));
    if (!ctx) {
        *message = scr_DupN("memory exhausted", 16);
        return 2;
    }
    ctx->start = ctx->pos = text;
    ctx->end = text + strlen(text);
    ctx->tokens = HASH_Create(kPoolBuckets, 0);
    yyscan_t scanner = nullptr;
    int rc = 2;
    if (ctx->tokens && scsql_lex_init_extra(ctx, &scanner) == 0) {
        rc = runParser(ctx, scanner);
        scsql_lex_destroy(scanner);
    } else {
        scsql_error(ctx, "memory exhausted", true);
    }
    while (ctx->blocks)
        scsql_ArenaFree(ctx, ctx->blocks + 1);
    if (ctx->tokens) {
        HASH_ForEach(ctx->tokens, freeEntry, nullptr);
        HASH_Free(ctx->tokens);
    }
    if (rc == 0 && ctx->root)
        *tree = ctx->root;
    else
        freeNodes(ctx);
    if (rc == 0 && !ctx->root)
        rc = 2;
    free(ctx->nodes);
    *echo = ctx->errEcho;
    *message = ctx->errMessage;
    free(ctx);
    return rc;
}
