// The key window read of mixed and dynamic cursors (KS_GetKeySet) over a
// scripted back end: its keyset query runs on a statement of its own, and
// whatever the read answers, the answer of that statement is closed before
// the read returns, so no result stays open on it.
#include <gtest/gtest.h>

#include "odbc/contract/drv_ops.h"
#include "odbc/contract/errnum.h"
#include "odbc/contract/rowblock.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_install.h"
#include "scrs/scs_keyset.h"
#include "util/dynarray.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kQueryStmt = 7;

// The script: what each call answers, and the calls seen.
struct Script {
    int prepareRc = 0;
    int executeRc = 0;
    int fetchRc = 0;
    int32_t rows = 0;        // rows of the keyset query's answer
    int32_t next = 0;        // rows already fetched
    bool open = false;       // an answer is open on the query's statement
    int closes = 0;
    std::vector<std::string> prepared;
} g;

int fAllocStmt(int, int *out)
{
    *out = kQueryStmt;
    return 0;
}
int fPrepare(int, const char *sql)
{
    g.prepared.emplace_back(sql ? sql : "");
    return g.prepareRc;
}
int fSetOption(int, int, void *) { return 0; }
int fExecute(int)
{
    if (g.executeRc == 0)
        g.open = true;
    return g.executeRc;
}
int fFetch(int, uint16_t n, RowBlock *out)
{
    if (g.fetchRc)
        return g.fetchRc;
    RB_Free(out);
    RB_Init(out, 1);
    out->columns[0].valueType = VT_LONG;
    out->columns[0].width = 4;
    out->columnsUsed = 1;
    RB_AllocRows(out, n ? n : 1);
    for (; out->rowsUsed < n && g.next < g.rows; ++out->rowsUsed) {
        const int32_t v = ++g.next;
        memcpy(out->columns[0].data + out->rowsUsed * 4, &v, 4);
        out->columns[0].indicators[out->rowsUsed] = RB_IND_VALUE;
    }
    return 0;
}
int fCloseCursor(int h)
{
    if (h == kQueryStmt) {
        ++g.closes;
        g.open = false;
    }
    return 0;
}

void install()
{
    static DrvOpTable table = [] {
        DrvOpTable t{};
        t.AllocStmt = fAllocStmt;
        t.Prepare = fPrepare;
        t.SetOption = fSetOption;
        t.Execute = fExecute;
        t.Fetch = fFetch;
        t.CloseCursor = fCloseCursor;
        return t;
    }();
    static DrvBinding binding = [] {
        DrvBinding b{DRVB_THREAD_SAFE, &table};
        SCS_Install(&b);
        return b;
    }();
    (void)binding;
}

// A dynamic cursor's context over "SELECT id, name FROM t" keyed by id, with
// rowsets of three rows.
struct Cursor {
    ScsContext ctx;
    Cursor()
    {
        ctx.opts.cursorType = SCS_DYNAMIC;
        ctx.opts.rowsetSize = 3;
        ctx.drvConn = 1;
        ctx.posStmt = 2;
        ctx.stmtText = strdup("SELECT id, name FROM t");
        ctx.keyCols = DA_New(sizeof(ScrColumnRef));
        ScrColumnRef id{};
        strcpy(id.column, "id");
        id.sqlType = SQL_INTEGER;
        id.itemKind = SCR_ITEM_COLUMN;
        DA_Append(ctx.keyCols, &id);
        KS_Alloc(&ctx.keySet);
    }
    ~Cursor()
    {
        KS_Free(&ctx.keySet);
        DA_Free(&ctx.keyCols, nullptr);
        free(ctx.stmtText);
        SCR_Free(&ctx.keysetAnalysis);
        KS_BlockFree(&ctx.keysetBounds);
        free(ctx.genParamTypes);
    }
};

TEST(KeyWindowRead, TheQueryAnswerIsClosedOnEveryReturn)
{
    install();
    struct Case {
        const char *name;
        int prepareRc, executeRc, fetchRc;
        int32_t rows;
        int rc;
        int32_t keys;   // keys the window holds after the read
    };
    const Case cases[] = {
        {"a full window", 0, 0, 0, 10, 0, 3},
        {"a short window", 0, 0, 0, 2, 0, 2},
        {"an empty result", 0, 0, 0, 0, ERR_NO_DATA_FOUND, 0},
        {"a fetch that fails", 0, 0, ERR_GENERAL, 10, ERR_GENERAL, 0},
        {"an execute that fails", 0, ERR_GENERAL, 0, 10, ERR_GENERAL, 0},
        {"a prepare that fails", ERR_GENERAL, 0, 0, 10, ERR_GENERAL, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        g = Script{};
        g.prepareRc = c.prepareRc;
        g.executeRc = c.executeRc;
        g.fetchRc = c.fetchRc;
        g.rows = c.rows;
        Cursor cur;
        EXPECT_EQ(KS_GetKeySet(&cur.ctx, SQL_FETCH_FIRST, 0), c.rc);
        EXPECT_FALSE(g.open);
        EXPECT_EQ(g.closes, 1);
        ASSERT_EQ(g.prepared.size(), 1u);
        EXPECT_NE(g.prepared[0].find("ORDER BY"), std::string::npos) << g.prepared[0];
        if (c.rc == 0) {
            EXPECT_EQ(cur.ctx.keySet->keyRows->rowsUsed, c.keys);
        }
    }
}

} // namespace
