// Initial SQL files.
#include "drv_jdbc/j-initsql.h"

#include <cstdio>
#include <cstdlib>

#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-wrap.h"
#include "util/log.h"
#include "util/mpl.h"
#include "util/strutil.h"

#define SRC "j-initsql"

namespace {

// Closes the file on every path.
struct FileGuard {
    FILE *f;
    ~FileGuard()
    {
        if (f)
            fclose(f);
    }
};

} // namespace

int execInitialSQL(DrvConn *c, jobject conn, const char *fileName)
{
    const char *path = STR_ChangeExt(fileName, "sql", 2);
    FileGuard file{fopen(path, "re")};
    if (!file.f) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "unable to read from initial SQL file %s (%m)", path);
        return -1;
    }
    jobject stmt = nullptr;
    if (jc_Connection_createStatement(c, conn, &stmt) != 0 || !stmt) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "cannot create jStmt for initial SQL request");
        jc_DeleteLocal(c->env, stmt);
        return -1;
    }

    MemPool pool{};
    MPL_Init(&pool);
    int complete = 1;
    unsigned lines = 0;
    char *line = nullptr;
    size_t cap = 0;
    ssize_t n;
    // A line is read whole, however long: nothing is inserted where a fixed
    // buffer would have cut it.
    while ((n = getline(&line, &cap, file.f)) != -1) {
        ++lines;
        if (complete)
            MPL_Init(&pool);
        if (n > 0 && line[n - 1] == '\n')
            line[--n] = '\0';
        char *start = STR_SkipBlanks(line);
        if (*start == '#')
            continue;
        char *last = STR_RTrim(start);
        if (!last)
            continue;
        if (*last == ';') {
            complete = 1;
            MPL_Append(&pool, start, static_cast<size_t>(last - start));
        } else {
            complete = 0;
            MPL_Append(&pool, start, static_cast<size_t>(last - start) + 1);
        }
        if (complete) {
            const char *sql = MPL_Finish(&pool);
            LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "execute [%.100s]", sql);
            if (jc_Statement_executeForConn(c, stmt, sql) != 0)
                LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Error while processing initial SQL statement:");
            MPL_FreeAll(&pool);
        } else {
            MPL_AppendByte(&pool, ' ');
        }
    }
    free(line);
    jc_Statement_closeForConn(c, stmt);
    jc_DeleteLocal(c->env, stmt);
    if (!complete) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Unterminated SQL request (line %u)", lines);
        MPL_FreeAll(&pool);
        return -1;
    }
    return 0;
}
