// Back-end error chains and DRV_GetErrors.
#include "drv_jdbc/j-errors.h"

#include "drv_jdbc/j-serv.h"
#include "odbc/contract/errtable.h"
#include "odbc/contract/handle_table.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
const char kReportPrefix[] = "[Brennic Edition]";
const char kStateTag[] = "[SQLSTATE:";

char *dupText(const char *text)
{
    size_t n = strlen(text);
    char *copy = static_cast<char *>(malloc(n + 1));
    if (copy)
        memcpy(copy, text, n + 1);
    return copy;
}

// "[Brennic Edition]" + message + "[SQLSTATE:" + state + "]" as a new text.
char *formatReport(const ErrRec *rec)
{
    const char *state = rec->sqlState ? rec->sqlState : "";
    size_t n = sizeof kReportPrefix - 1 + strlen(rec->message) + sizeof kStateTag - 1 +
               strlen(state) + 2;
    char *text = static_cast<char *>(malloc(n));
    if (text)
        snprintf(text, n, "%s%s%s%s]", kReportPrefix, rec->message, kStateTag, state);
    return text;
}

// Drains one chain into the report; see DRV_GetErrors.
int drainChain(ErrChain *chain, ErrReport *out)
{
    out->count = 0;
    out->texts = nullptr;
    if (!chain->first)
        return 0;
    uint32_t count = static_cast<uint32_t>(errCount(chain));
    char **texts = static_cast<char **>(calloc(count, sizeof(char *)));
    if (!texts)
        return ERR_MEMORY_ALLOCATION;
    out->count = count;
    out->firstNative = chain->first->nativeCode;
    out->texts = texts;
    uint32_t i = 0;
    for (ErrRec *r = chain->first; r; r = r->next, ++i) {
        if (!r->message[0])
            continue;
        texts[i] = formatReport(r);
        if (!texts[i])
            return ERR_MEMORY_ALLOCATION;
    }
    errClear(chain);
    return 0;
}
} // namespace

ErrRec *errNew(const char *message, int32_t nativeCode, const char *sqlState)
{
    ErrRec *rec = static_cast<ErrRec *>(calloc(1, sizeof(ErrRec)));
    if (!rec)
        return nullptr;
    rec->sqlState = dupText(sqlState ? sqlState : "");
    if (!rec->sqlState) {
        free(rec);
        return nullptr;
    }
    rec->nativeCode = nativeCode;
    if (message) {
        size_t n = strnlen(message, ERR_MSG_MAX);
        memcpy(rec->message, message, n);
        rec->message[n] = '\0';
    }
    return rec;
}

ErrRec *errNewByCode(int n)
{
    const ErrorRow *row = ERR_Lookup(n);
    return errNew(row ? row->message : "", 0, row ? row->sqlstate : "S1000");
}

void errAppend(ErrChain *chain, ErrRec *rec)
{
    if (!chain || !rec)
        return;
    ErrRec **tail = &chain->first;
    while (*tail)
        tail = &(*tail)->next;
    rec->next = nullptr;
    *tail = rec;
}

void errClear(ErrChain *chain)
{
    if (!chain)
        return;
    ErrRec *r = chain->first;
    chain->first = nullptr;
    while (r) {
        ErrRec *next = r->next;
        free(r->sqlState);
        free(r);
        r = next;
    }
}

int errCount(const ErrChain *chain)
{
    int n = 0;
    for (const ErrRec *r = chain ? chain->first : nullptr; r; r = r->next)
        ++n;
    return n;
}

void errPostCode(ErrChain *chain, int n)
{
    if (!chain)
        return;
    if (!chain->keep)
        errClear(chain);
    errAppend(chain, errNewByCode(n));
}

void errPostMsg(ErrChain *chain, const char *message, int n)
{
    if (!chain)
        return;
    if (!chain->keep)
        errClear(chain);
    const ErrorRow *row = ERR_Lookup(n);
    errAppend(chain, errNew(message, 0, row ? row->sqlstate : "S1000"));
}

void errPostSQLException(int *number, const char *sqlState, char *message, int32_t nativeCode,
                         ErrChain *chain)
{
    if (!sqlState || !*sqlState)
        sqlState = "S1000";
    if (message) {
        for (unsigned char *p = reinterpret_cast<unsigned char *>(message); *p; ++p)
            if (*p < 0x20)
                *p = ' ';
    }
    if (!chain)
        return;
    if (!chain->keep)
        errClear(chain);
    errAppend(chain, errNew(message, nativeCode, sqlState));
    int found = ERR_FindState(sqlState);
    if (number && *number == 0)
        *number = found ? found : ERR_GENERAL;
}

int DRV_GetErrors(int handle, ErrReport *out)
{
    if (!out)
        return ERR_INVALID_ARGUMENT;
    uint32_t h = static_cast<uint32_t>(handle);
    if (DrvStmt *s = static_cast<DrvStmt *>(HT_Lookup(&drvStmtTable, h)))
        return drainChain(&s->errors, out);
    if (DrvConn *c = static_cast<DrvConn *>(HT_Lookup(&drvConnTable, h)))
        return drainChain(&c->errors, out);
    if (DrvEnv *e = static_cast<DrvEnv *>(HT_Lookup(&drvEnvTable, h))) {
        PL_CsGuard guard(e->lock);
        return drainChain(&e->errors, out);
    }
    return ERR_INVALID_ARGUMENT;
}
