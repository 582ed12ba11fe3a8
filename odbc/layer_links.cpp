// The links from the handle layer to the layers above it, and what they
// answer until the library's assembly sets them.
#include "odbc/layer_links.h"

#include "odbc/contract/errnum.h"

namespace {

int NoAttach(Stmt *) { return 0; }
void NoDetach(Stmt *) {}
void NoResults(Stmt *) {}
int NoBindCol(Stmt *, uint16_t, int16_t, void *, int64_t, SQLLEN *) { return ERR_NOT_CAPABLE; }
SQLRETURN NoBindParam(Stmt *, uint16_t, int16_t, int16_t, int16_t, uint64_t, int16_t, void *, int64_t,
                      SQLLEN *, SQLLEN *)
{
    return SQL_ERROR;
}
SQLRETURN NoTypeInfo(Conn *, int, int16_t, char *, int64_t, int64_t *) { return SQL_ERROR; }

const StmtLayerOps kNoStmtLayer = {NoAttach, NoDetach, NoResults, NoBindCol, NoBindParam, NoTypeInfo};

int NoDtcInit() { return -1; }
void *NoDispenser(void *, int, int, DrvBinding *, void *, void *, const char *) { return nullptr; }
int NoRelease(void *dispenser) { return dispenser ? 0 : -1; }
int NoDtcStep(void *) { return -1; }

int NoBranch(void *, void *) { return 0; }
const DtcLinkOps kNoDtc = {NoDtcInit, NoDispenser, NoRelease, NoDtcStep, NoDtcStep, NoRelease, NoBranch,
                          NoRelease};

// Nothing to bind: the binding keeps no table.
int NoBinding(DrvBinding *) { return 0; }

CoreLinks g_links = {NoBinding, nullptr, &kNoStmtLayer, &kNoDtc};

} // namespace

void Core_SetLinks(const CoreLinks &links)
{
    if (links.BindOpTable)
        g_links.BindOpTable = links.BindOpTable;
    if (links.config)
        g_links.config = links.config;
    if (links.stmt)
        g_links.stmt = links.stmt;
    if (links.dtc)
        g_links.dtc = links.dtc;
}

const CoreLinks &Core_Links() { return g_links; }
