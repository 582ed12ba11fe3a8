// Stand-in of the analyser's parameter probes: no statement parses yet.
#include "scrs/scr_probes.h"

#include <cstdlib>

#include "odbc/errnum.h"

void SCR_ParamProbesInit(ScrParamProbes *p, const char *nullText)
{
    if (!p)
        return;
    *p = ScrParamProbes{};
    p->statementKind = -1;
    p->nullText = nullText;
}

int SCR_ParamProbesGet(ScrParamProbes *p, const char *)
{
    if (!p)
        return ERR_SYNTAX_OR_ACCESS;
    SCR_ParamProbesFree(p);
    return ERR_SYNTAX_OR_ACCESS;
}

void SCR_ParamProbesFree(ScrParamProbes *p)
{
    if (!p)
        return;
    if (p->probes) {
        for (char **q = p->probes; *q; ++q)
            free(*q);
        free(p->probes);
    }
    free(p->insertMarkerMap);
    free(p->statement);
    p->probes = nullptr;
    p->insertMarkerMap = nullptr;
    p->statement = nullptr;
    p->probeCount = 0;
    p->markerCount = 0;
    p->statementKind = -1;
}
