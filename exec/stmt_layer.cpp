// The statement layer's links: what the handle layer calls in it.
#include <new>

#include "exec/st_internal.h"
#include "exec/st_setpos.h"
#include "odbc/layer_links.h"

namespace {

int Attach(Stmt *s)
{
    s->ex = new (std::nothrow) StmtExec();
    return s->ex ? 0 : ERR_MEMORY_ALLOCATION;
}

void Detach(Stmt *s)
{
    StmtFreeSetPosState(s);
    delete s->ex;
    s->ex = nullptr;
}

const StmtLayerOps kExecLayer = {Attach, Detach, StmtDropResults, StmtBindCol, StmtBindParam,
                                 ConnGetTypeInfoColumn};

} // namespace

const StmtLayerOps *ExecLayerOps() { return &kExecLayer; }
