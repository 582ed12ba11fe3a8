// Parameter arrays as one JDBC batch under manual commit.
#include "drv_jdbc/j-batch.h"

#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-desc.h"
#include "drv_jdbc/j-errors.h"
#include "drv_jdbc/j-escape.h"
#include "drv_jdbc/j-exec.h"
#include "drv_jdbc/j-param.h"
#include "drv_jdbc/j-paramblock.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-wrap.h"
#include "odbc/contract/param_types.h"
#include "odbc/contract/rowblock.h"
#include "util/log.h"

#include <sql.h>
#include <sqlucode.h>

#include <cctype>
#include <cstring>
#include <strings.h>
#include <vector>

#define SRC "drv_jdbc/j-batch"

namespace {

bool isIdentChar(char c)
{
    return isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || (c & 0x80);
}

// The end of a quoted text or name opened at p (the quote doubled inside it;
// a backslash escapes in an E'' text), or NULL when it never closes.
const char *quotedEnd(const char *p, bool backslash)
{
    const char q = *p++;
    for (; *p; ++p) {
        if (backslash && *p == '\\' && p[1]) {
            ++p;
        } else if (*p == q) {
            if (p[1] != q)
                return p + 1;
            ++p;
        }
    }
    return nullptr;
}

// The end of a dollar-quoted text whose opening tag ($$ or $tag$) is at p and
// `tagLen` bytes long, or NULL when it never closes.
const char *dollarEnd(const char *p, size_t tagLen)
{
    for (const char *q = p + tagLen; (q = strchr(q, '$')) != nullptr; ++q)
        if (strncmp(q, p, tagLen) == 0)
            return q + tagLen;
    return nullptr;
}

// The length of a dollar-quote tag at p ("$$" or "$name$"), 0 when p opens
// none (a positional parameter such as $1).
size_t dollarTag(const char *p)
{
    if (p[1] == '$')
        return 2;
    if (isdigit(static_cast<unsigned char>(p[1])) || !isIdentChar(p[1]))
        return 0;
    size_t n = 1;
    while (p[n] && p[n] != '$' && isIdentChar(p[n]))
        ++n;
    return p[n] == '$' ? n + 1 : 0;
}

// The end of a comment opened at p (nested block comments counted), or NULL.
const char *commentEnd(const char *p)
{
    if (p[0] == '-') {
        const char *nl = strchr(p, '\n');
        return nl ? nl + 1 : p + strlen(p);
    }
    int depth = 0;
    for (; *p; ++p) {
        if (p[0] == '/' && p[1] == '*') {
            ++depth;
            ++p;
        } else if (p[0] == '*' && p[1] == '/') {
            ++p;
            if (--depth == 0)
                return p + 1;
        }
    }
    return nullptr;
}

// One set's values are all in the block: NULL or a value in place, never a
// long value or one still to come.
bool valuesInBlock(const RowBlock *b, int32_t sets)
{
    for (uint16_t i = 0; i < b->columnsUsed; ++i) {
        const RowBlockColumn &col = b->columns[i];
        if (col.valueType == VT_HEAP_TEXT || col.valueType == VT_HEAP_BINARY || col.valueType == VT_HEAP_WTEXT)
            return false;
        if (!col.indicators || sets > b->rowsAllocated)
            return false;
        for (int32_t r = 0; r < sets; ++r)
            if (col.indicators[r] != RB_IND_VALUE && col.indicators[r] != RB_IND_NULL)
                return false;
    }
    return true;
}

// Runs a statement text on the helper statement; 0 or its number (the
// diagnostic on the statement's chain).
int command(DrvStmt *s, jobject helper, const char *sql)
{
    uint8_t rows = 0;
    return jc_Statement_execute(s, helper, sql, &rows);
}

// Runs fn with a chain set aside: whatever fn posts on it is dropped and the
// chain is as it was.
template <class Fn>
void keepingChain(ErrChain &chain, Fn fn)
{
    ErrChain kept = chain;
    chain = ErrChain{kept.keep, nullptr};
    fn();
    errClear(&chain);
    chain = kept;
}

// The plain statement the savepoint commands run on, closed on every exit
// without touching the statement's chain.
class Helper {
public:
    explicit Helper(DrvStmt *s) : s_(s), obj_(s->env) {}
    ~Helper()
    {
        if (obj_.get())
            keepingChain(s_->errors, [this] { jc_Statement_close(s_, obj_); });
    }
    Helper(const Helper &) = delete;
    Helper &operator=(const Helper &) = delete;
    bool Open()
    {
        DrvConn *c = s_->conn;
        keepingChain(c->errors, [this, c] { jc_Connection_createStatement(c, c->connection, obj_.out()); });
        return obj_.get() != nullptr;
    }
    int Run(const char *sql) { return command(s_, obj_, sql); }
    void RunQuietly(const char *sql)
    {
        keepingChain(s_->errors, [this, sql] { command(s_, obj_, sql); });
    }

private:
    DrvStmt *s_;
    JLocal<jobject> obj_;
};

// The failure is the server cancelling the statement or the connection
// going away: the sets must not run again.
bool mustNotRetry(const DrvStmt *s)
{
    const ErrRec *e = s->errors.first;
    const char *state = e && e->sqlState ? e->sqlState : "";
    return strcmp(state, "57014") == 0 || strncmp(state, "08", 2) == 0;
}

constexpr const char *kSavepoint = "SAVEPOINT krs_batch";
constexpr const char *kRollback = "ROLLBACK TO SAVEPOINT krs_batch";
constexpr const char *kRelease = "RELEASE SAVEPOINT krs_batch";

// Adds every set to the batch, by blocks or set by set; 0 or the number of
// the first set that could not be bound.
int fillBatch(DrvStmt *s, int32_t sets)
{
    if (drvBlockBatches())
        return fillBatchByBlocks(s, sets);
    for (int32_t i = 0; i < sets; ++i)
        if (int rc = addParamSet(s, i))
            return rc;
    return 0;
}

// Takes the batch's update counts as the execution's row count.
void countBatch(DrvStmt *s, jintArray counts, int32_t sets)
{
    JNIEnv *env = s->env;
    const jsize n = counts ? env->GetArrayLength(counts) : 0;
    std::vector<jint> each(static_cast<size_t>(n));
    if (n)
        env->GetIntArrayRegion(counts, 0, n, each.data());
    s->rowCount = 0;
    for (jint c : each) {
        if (c < 0)
            s->flags &= static_cast<uint16_t>(~DS_COUNTED);
        else
            s->rowCount += c;
    }
    if (n != sets)
        s->flags &= static_cast<uint16_t>(~DS_COUNTED);
}

} // namespace

bool batchableText(const char *sql)
{
    const char *p = sql;
    while (p && *p) {
        const char c = *p;
        if (c == '\'' || c == '"') {
            const bool escapes = c == '\'' && p > sql && (p[-1] == 'E' || p[-1] == 'e') &&
                                 (p - 1 == sql || !isIdentChar(p[-2]));
            p = quotedEnd(p, escapes);
        } else if ((c == '-' && p[1] == '-') || (c == '/' && p[1] == '*')) {
            p = commentEnd(p);
        } else if (c == '$' && (p == sql || !isIdentChar(p[-1])) && dollarTag(p)) {
            p = dollarEnd(p, dollarTag(p));
        } else if (c == ';') {
            ++p;
            while (isspace(static_cast<unsigned char>(*p)))
                ++p;
            return *p == '\0';
        } else if (isIdentChar(c)) {
            const char *w = p;
            while (isIdentChar(*p))
                ++p;
            if (p - w == 9 && strncasecmp(w, "RETURNING", 9) == 0)
                return false;
        } else {
            ++p;
        }
    }
    return p != nullptr;
}

bool batchable(DrvStmt *s, int32_t sets)
{
    if (sets < 2 || s->sql.verb != SQLV_DML || (s->flags & DS_PROCCALL) || !s->paramCount || !s->params ||
        !s->stmt)
        return false;
    // Long values go as streams the JDBC driver reads when it sends them:
    // they stay with one set at a time.
    for (uint16_t i = 0; i < s->paramTypeCount; ++i) {
        const ParamTypeDesc &t = s->paramTypes[i];
        if (t.direction != PARAM_INPUT || t.sqlType == SQL_LONGVARCHAR || t.sqlType == SQL_WLONGVARCHAR ||
            t.sqlType == SQL_LONGVARBINARY)
            return false;
    }
    if (!valuesInBlock(s->params, sets) || !batchableText(s->sql.kept))
        return false;
    DrvConn *c = s->conn;
    uint8_t autoCommit = 1;
    if (c && drvConnEnter(c))
        keepingChain(c->errors, [c, &autoCommit] {
            if (jc_Connection_getAutoCommit(c, c->connection, &autoCommit) != 0)
                autoCommit = 1;
        });
    return !autoCommit;
}

int executeBatched(DrvStmt *s, int32_t sets)
{
    Helper helper(s);
    if (!helper.Open())
        return executeSets(s, sets);
    // A transaction the server has already aborted refuses the savepoint:
    // the sets run one by one and the first gets the server's answer.
    if (helper.Run(kSavepoint) != 0) {
        errClear(&s->errors);
        return executeSets(s, sets);
    }
    if (fillBatch(s, sets) != 0) {
        // A value that cannot be bound: the sets before it run one by one
        // and its own set fails as it did here.
        keepingChain(s->errors, [s] { jc_Statement_clearBatch(s, s->stmt); });
        errClear(&s->errors);
        helper.RunQuietly(kRelease);
        return executeSets(s, sets);
    }
    JLocal<jintArray> counts(s->env);
    int rc = jc_Statement_executeBatch(s, s->stmt, counts.out());
    if (rc == 0) {
        countBatch(s, counts, sets);
        s->executions = static_cast<uint16_t>(sets);
        freeResultDescs(s);
        s->flags |= DS_PENDING | DS_END_OF_DATA;
        helper.RunQuietly(kRelease);
        return 0;
    }
    s->rowCount = 0;
    s->flags |= DS_COUNTED;
    if (mustNotRetry(s)) {
        LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "batch of %d sets ended by a cancel or a lost connection",
                   static_cast<int>(sets));
        return rc;
    }
    // Back to the state before the batch, then set by set: the set that
    // fails, and the fate of those before it, are the one-by-one run's.
    errClear(&s->errors);
    if (int back = helper.Run(kRollback))
        return back;
    s->executions = 0;
    rc = executeSets(s, sets);
    if (rc == 0)
        helper.RunQuietly(kRelease);
    return rc;
}
