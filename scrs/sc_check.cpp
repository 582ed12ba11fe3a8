// The log line of a failed internal check (sc_check.h).
#include "scrs/sc_check.h"

#include "odbc/contract/errtable.h"
#include "util/log.h"

#include <cstring>

int SC_GeneralErrorAt(const char *file, int line)
{
    const char *name = file ? file : "";
    if (const char *slash = std::strrchr(name, '/'))
        name = slash + 1;
    const ErrorRow *row = ERR_Lookup(ERR_GENERAL);
    LOG_Printf(LOG_LEVEL_DEBUG, name, line, "%s %s: check at %s:%d", row ? row->sqlstate : "",
               row ? row->message : "", name, line);
    return ERR_GENERAL;
}
