// Parameter probes: from the parsed statement, the operand that stands for
// each described marker, and the probe texts that select those operands.
#include "scrs/scr_probes.h"

#include "scrs/sc_check.h"
#include "scrs/scr_internal.h"
#include "scrs/scsql_ctx.h"
#include "util/mpl.h"

#include <cstring>
#include <strings.h>

namespace {

// What one probe selects: operands (NULL for the NULL text) over tables.
struct ProbeParts {
    ScrNodeList operands;
    ScrNodeList tables;   // FROM items (46 or derived 29) or a table name (88)
};

// The first of the candidates that holds no marker, or NULL.
SqlNode *firstWithout(std::initializer_list<SqlNode *> candidates)
{
    for (SqlNode *c : candidates)
        if (c && !scr_HasMarker(c))
            return c;
    return nullptr;
}

int markerOperands(SqlNode *predicate, ScrNodeList &ops);

// Markers at or below n, outside subqueries.
size_t markerCount(SqlNode *n)
{
    ScrNodeList markers;
    scr_CollectSubtree(n, {SQLK_MARKER}, {SQLK_SUBQUERY}, markers);
    return markers.size();
}

// Appends what describes the markers of each candidate position, in order:
// op (when found) for a position whose marker is its own; for a position
// whose markers lie in predicates of its own (a CASE condition), the
// operands those predicates give, never op.  A position holding markers of
// both kinds cannot be described in order: ERR_GENERAL.  0 or ERR_MEMORY_ALLOCATION otherwise.
int positionOperands(ScrNodeList &ops, SqlNode *op, std::initializer_list<SqlNode *> positions)
{
    for (SqlNode *p : positions) {
        if (!p || !scr_HasMarker(p))
            continue;
        ScrNodeList nested;
        if (!scr_Collect(p, {SQLK_PREDICATE}, {SQLK_PREDICATE, SQLK_SUBQUERY}, nested))
            return ERR_MEMORY_ALLOCATION;
        if (nested.size() == 0) {
            if (op && !ops.push(op))
                return ERR_MEMORY_ALLOCATION;
            continue;
        }
        size_t inNested = 0;
        for (size_t i = 0; i < nested.size(); ++i)
            inNested += markerCount(nested[i]);
        if (inNested != markerCount(p))
            return SC_ERR_GENERAL;
        for (size_t i = 0; i < nested.size(); ++i)
            if (int rc = markerOperands(nested[i], ops))
                return rc;
    }
    return ERR_NONE;
}

int inOperands(SqlNode *in, ScrNodeList &ops)
{
    SqlNode *c1 = scr_ChildAt(in, 0);
    SqlNode *c2 = scr_ChildAt(in, 1);
    if (!c1 || !c2)
        return SC_ERR_GENERAL;
    bool m1 = scr_HasMarker(c1);
    if (!m1 && !scr_HasMarker(c2))
        return ERR_NONE;
    if (c2->kind == SQLK_SUBQUERY)
        return !m1 || ops.push(c2) ? ERR_NONE : ERR_MEMORY_ALLOCATION;
    ScrNodeList items;
    if (!scr_Collect(c2, {SQLK_VALUE_ITEM}, {SQLK_SUBQUERY}, items))
        return ERR_MEMORY_ALLOCATION;
    if (items.size() == 0)
        return SC_ERR_GENERAL;
    if (m1) {
        for (size_t i = 0; i < items.size(); ++i)
            if (scr_HasMarker(items[i]))
                return SC_ERR_GENERAL;   // markers on both sides: none is described
        return positionOperands(ops, items[0], {c1});
    }
    for (size_t i = 0; i < items.size(); ++i)
        if (int rc = positionOperands(ops, c1, {items[i]}))
            return rc;
    return ERR_NONE;
}

// The operands of one predicate (59), one per marker position it describes.
int markerOperands(SqlNode *predicate, ScrNodeList &ops)
{
    SqlNode *p = predicate->firstChild;
    if (!p)
        return SC_ERR_GENERAL;
    SqlNode *c1 = scr_ChildAt(p, 0);
    switch (p->kind) {
    case SQLK_BETWEEN: {
        SqlNode *c2 = scr_ChildAt(p, 1), *c3 = scr_ChildAt(p, 2);
        if (!c1 || !c2 || !c3)
            return SC_ERR_GENERAL;
        return positionOperands(ops, firstWithout({c1, c2, c3}), {c1, c2, c3});
    }
    case SQLK_COMPARISON: {
        SqlNode *c3 = scr_ChildAt(p, 2);
        if (!c1 || !c3)
            return SC_ERR_GENERAL;
        return positionOperands(ops, firstWithout({c1, c3}), {c1, c3});
    }
    case SQLK_LIKE: {
        SqlNode *c2 = scr_ChildAt(p, 1);
        if (!c1 || !c2)
            return SC_ERR_GENERAL;
        return positionOperands(ops, firstWithout({c1, c2}), {c1, c2});
    }
    case SQLK_QUANTIFIED: {
        SqlNode *c4 = scr_ChildAt(p, 3);
        if (!c1 || !c4)
            return SC_ERR_GENERAL;
        return positionOperands(ops, firstWithout({c1, c4}), {c1});
    }
    case SQLK_NULL_TEST:
        if (!c1)
            return SC_ERR_GENERAL;
        return !scr_HasMarker(c1) || ops.push(nullptr) ? ERR_NONE : ERR_MEMORY_ALLOCATION;
    case SQLK_IN:
        return inOperands(p, ops);
    default:
        return ERR_NONE;   // EXISTS, "*=" joins: nothing to describe
    }
}

// The operands of a condition (68): its outermost predicates in order; a
// predicate inside another (a CASE condition) describes its own markers
// through the outer one.
int conditionOperands(SqlNode *condition, ScrNodeList &ops)
{
    if (!condition)
        return ERR_NONE;
    ScrNodeList predicates;
    if (!scr_CollectSubtree(condition, {SQLK_PREDICATE}, {SQLK_PREDICATE, SQLK_SUBQUERY}, predicates))
        return ERR_MEMORY_ALLOCATION;
    for (size_t i = 0; i < predicates.size(); ++i)
        if (int rc = markerOperands(predicates[i], ops))
            return rc;
    return ERR_NONE;
}

// WHERE operands from a WHERE holder (54).
int whereOperands(SqlNode *holder, ScrNodeList &ops)
{
    SqlNode *where = scr_Child(holder, SQLK_WHERE);
    return where ? conditionOperands(scr_Child(where, SQLK_CONDITION), ops) : ERR_NONE;
}

// The SET operands: the column of each SET item whose value holds a marker.
int setOperands(SqlNode *stmt, ScrNodeList &ops)
{
    SqlNode *set = scr_Child(stmt, SQLK_SET_LIST);
    if (!set)
        return SC_ERR_GENERAL;
    ScrNodeList items;
    if (!scr_Collect(set, {SQLK_SET_ITEM}, {SQLK_SUBQUERY}, items))
        return ERR_MEMORY_ALLOCATION;
    for (size_t i = 0; i < items.size(); ++i) {
        SqlNode *column = items[i]->firstChild;
        if (!column)
            return SC_ERR_GENERAL;
        SqlNode *value = scr_ChildAt(items[i], 2);
        if (value && scr_HasMarker(value) && !ops.push(column))
            return ERR_MEMORY_ALLOCATION;
    }
    return ERR_NONE;
}

// Writes one operand: the NULL text, or its text with the UPDATE target as
// qualifier; beside other operands a set function becomes its argument
// (SUM, AVG, MAX, MIN) or 1 (COUNT, "(*)").  false when nothing is written.
bool writeOperand(MemPool *pool, const ScrParamProbes *p, SqlNode *op, const char *qualifier, bool several)
{
    if (!op) {
        MPL_Append(pool, p->nullText, strlen(p->nullText));
        return true;
    }
    if (op->kind == SQLK_SUBQUERY)
        return false;
    if (qualifier && scr_Contains(op, SQLK_COL_PART) && !scr_Contains(op, SQLK_TABLE_PART)) {
        MPL_Append(pool, qualifier, strlen(qualifier));
        MPL_Append(pool, ".", 1);
    }
    ScrNodeList calls;
    if (several && !scr_CollectSubtree(op, {SQLK_SETFUNC_CALL}, {SQLK_SUBQUERY}, calls))
        return false;
    SqlNode *call = calls.size() ? calls[0] : nullptr;
    if (call) {
        SqlNode *name = call->firstChild;
        SqlNode *arg = scr_ChildAt(call, 1);
        if (!arg || !name || strcasecmp(name->text, "COUNT") == 0) {
            MPL_Append(pool, "1", 1);
        } else {
            MPL_Append(pool, "(", 1);
            MPL_Append(pool, arg->text, strlen(arg->text));
            MPL_Append(pool, ")", 1);
        }
        return true;
    }
    MPL_Append(pool, op->text, strlen(op->text));
    return true;
}

bool addProbe(ScrParamProbes *p, const char *text, int32_t described)
{
    char *copy = scr_Dup(text);
    char **probes = copy ? static_cast<char **>(realloc(p->probes, (p->probeCount + 2) * sizeof(char *))) : nullptr;
    if (!probes) {
        free(copy);
        return false;
    }
    probes[p->probeCount++] = copy;
    probes[p->probeCount] = nullptr;
    p->probes = probes;
    p->describedCount += described;
    return true;
}

// Builds one probe from the parts; none when there are no operands, no
// table, or a table that itself holds a marker.  0 or ERR_MEMORY_ALLOCATION.
int buildProbe(ScrParamProbes *p, const ProbeParts &parts, bool qualify)
{
    if (parts.operands.size() == 0 || parts.tables.size() == 0)
        return ERR_NONE;
    for (size_t i = 0; i < parts.tables.size(); ++i)
        if (scr_Find(parts.tables[i]->firstChild, SQLK_MARKER))
            return ERR_NONE;   // a probe must not carry a marker of its own
    const char *qualifier = qualify ? parts.tables[0]->text : nullptr;
    const bool several = parts.operands.size() > 1;
    MemPool pool;
    MPL_Init(&pool);
    MPL_Append(&pool, "SELECT ", 7);
    int32_t written = 0;
    for (size_t i = 0; i < parts.operands.size(); ++i) {
        char *mark = pool.end;
        if (written)
            MPL_Append(&pool, ", ", 2);
        if (writeOperand(&pool, p, parts.operands[i], qualifier, several))
            ++written;
        else
            pool.end = mark;
    }
    MPL_Append(&pool, " FROM ", 6);
    for (size_t i = 0; i < parts.tables.size(); ++i) {
        if (i)
            MPL_Append(&pool, ", ", 2);
        MPL_Append(&pool, parts.tables[i]->text, strlen(parts.tables[i]->text));
    }
    MPL_Append(&pool, " WHERE 1=0 ", 11);
    MPL_AppendByte(&pool, 0);
    bool ok = written == 0 || addProbe(p, MPL_Finish(&pool), written);
    MPL_FreeAll(&pool);
    return ok ? ERR_NONE : ERR_MEMORY_ALLOCATION;
}

// One query block: its WHERE and HAVING operands over its FROM items.
int probeBlock(ScrParamProbes *p, SqlNode *block)
{
    SqlNode *tail = scr_Tail(block);
    if (!tail)
        return SC_ERR_GENERAL;
    ProbeParts parts;
    if (int rc = scr_FromItems(tail, parts.tables))
        return rc;
    if (int rc = whereOperands(scr_Child(tail, SQLK_WHERE_HOLDER), parts.operands))
        return rc;
    SqlNode *having = scr_Child(tail, SQLK_HAVING);
    if (scr_Present(having))
        if (int rc = conditionOperands(scr_Child(having, SQLK_CONDITION), parts.operands))
            return rc;
    return buildProbe(p, parts, false);
}

// A query block and the blocks its UNION chain adds, in order.  A block that
// cannot be probed leaves its markers undescribed.
int probeBlocks(ScrParamProbes *p, SqlNode *block)
{
    while (block) {
        if (int rc = probeBlock(p, block); rc == ERR_MEMORY_ALLOCATION)
            return rc;
        SqlNode *u = scr_Child(scr_Tail(block), SQLK_UNION_HOLDER);
        block = scr_Present(u) ? scr_Child(scr_Child(u, SQLK_UNION), SQLK_QUERY_BLOCK) : nullptr;
    }
    return ERR_NONE;
}

int probeDelete(ScrParamProbes *p, SqlNode *stmt)
{
    ProbeParts parts;
    SqlNode *table = scr_ChildAt(stmt, 0);
    if (!table || !parts.tables.push(table))
        return SC_ERR_GENERAL;
    if (int rc = whereOperands(scr_ChildAt(stmt, 1), parts.operands))
        return rc;
    return buildProbe(p, parts, false);
}

int probeUpdate(ScrParamProbes *p, SqlNode *stmt)
{
    ProbeParts parts;
    SqlNode *table = scr_ChildAt(stmt, 0);
    if (!table || !parts.tables.push(table))
        return SC_ERR_GENERAL;
    if (int rc = setOperands(stmt, parts.operands))
        return rc;
    for (SqlNode *c = table->nextSibling; c; c = c->nextSibling) {
        if (c->kind == SQLK_FROM_LIST) {
            SqlNode tail{};
            tail.firstChild = c;
            if (int rc = scr_FromItems(&tail, parts.tables))
                return rc;
        } else if (c->kind == SQLK_WHERE_HOLDER) {
            if (int rc = whereOperands(c, parts.operands))
                return rc;
        }
    }
    return buildProbe(p, parts, true);
}

int probeInsert(ScrParamProbes *p, SqlNode *stmt)
{
    SqlNode *table = scr_ChildAt(stmt, 0);
    SqlNode *cols = scr_ChildAt(stmt, 1);
    SqlNode *source = scr_ChildAt(stmt, 2);
    if (!table || !cols || !source || cols->kind != SQLK_INSERT_COLS || source->kind != SQLK_INSERT_SOURCE)
        return SC_ERR_GENERAL;
    ScrNodeList columns;
    if (!scr_Collect(cols, {SQLK_COLUMN_REF}, {}, columns))
        return ERR_MEMORY_ALLOCATION;
    SqlNode *v = source->firstChild;
    ScrNodeList items;
    if (v && v->kind == SQLK_VALUE_LIST) {
        if (!scr_Collect(v, {SQLK_VALUE_ITEM}, {SQLK_SUBQUERY}, items))
            return ERR_MEMORY_ALLOCATION;
    } else if (v && v->kind == SQLK_QUERY_BLOCK) {
        if (!scr_Collect(scr_Child(v, SQLK_SELECT_LIST), {SQLK_SELECT_ITEM}, {SQLK_SUBQUERY, SQLK_QUERY_BLOCK}, items))
            return ERR_MEMORY_ALLOCATION;
    } else {
        return SC_ERR_GENERAL;
    }
    if (v->kind == SQLK_VALUE_LIST && columns.size() == 0) {
        p->markerMap = static_cast<char *>(malloc(items.size() + 1));
        if (!p->markerMap)
            return ERR_MEMORY_ALLOCATION;
        for (size_t i = 0; i < items.size(); ++i)
            p->markerMap[i] = scr_HasMarker(items[i]) ? '?' : 'X';
        p->markerMap[items.size()] = 0;
        MemPool pool;
        MPL_Init(&pool);
        MPL_Append(&pool, "SELECT * FROM ", 14);
        MPL_Append(&pool, table->text, strlen(table->text));
        MPL_Append(&pool, " WHERE 1=0 ", 11);
        MPL_AppendByte(&pool, 0);
        bool ok = addProbe(p, MPL_Finish(&pool), static_cast<int32_t>(items.size()));
        MPL_FreeAll(&pool);
        return ok ? ERR_NONE : ERR_MEMORY_ALLOCATION;
    }
    ProbeParts parts;
    if (!parts.tables.push(table))
        return ERR_MEMORY_ALLOCATION;
    for (size_t i = 0; i < items.size(); ++i) {
        if (!scr_HasMarker(items[i]))
            continue;
        if (i >= columns.size())
            return SC_ERR_GENERAL;
        if (!parts.operands.push(columns[i]))
            return ERR_MEMORY_ALLOCATION;
    }
    if (int rc = buildProbe(p, parts, false))
        return rc;
    return v->kind == SQLK_QUERY_BLOCK ? probeBlocks(p, v) : ERR_NONE;
}

void dropProbes(ScrParamProbes *p)
{
    for (int32_t i = 0; i < p->probeCount; ++i)
        free(p->probes[i]);
    free(p->probes);
    free(p->markerMap);
    p->probes = nullptr;
    p->markerMap = nullptr;
    p->probeCount = 0;
    p->describedCount = 0;
}

} // namespace

#include "odbc/contract/errnum.h"

void SCR_ParamProbesInit(ScrParamProbes *p, const char *nullText)
{
    if (!p)
        return;
    SCR_Init(&p->sql);
    p->probes = nullptr;
    p->probeCount = 0;
    p->describedCount = 0;
    p->markerMap = nullptr;
    p->nullText = nullText ? nullText : "NULL";
}

void SCR_ParamProbesFree(ScrParamProbes *p)
{
    if (!p)
        return;
    dropProbes(p);
    SCR_Free(&p->sql);
}

int SCR_ParamProbesGet(ScrParamProbes *p, const char *text)
{
    if (!p)
        return SC_ERR_GENERAL;
    SCR_ParamProbesFree(p);
    int rc = SCR_AnalyseSQL(&p->sql, text, 1, 0);
    if (rc != ERR_NONE)
        return rc;
    SqlNode *root = p->sql.tree;
    switch (root->kind) {
    case SQLK_SELECT:
        rc = probeBlocks(p, scr_Child(root, SQLK_QUERY_BLOCK));
        break;
    case SQLK_INSERT:
        rc = probeInsert(p, root);
        break;
    case SQLK_DELETE:
        rc = probeDelete(p, root);
        break;
    case SQLK_UPDATE:
    case SQLK_POS_UPDATE:
        rc = probeUpdate(p, root);
        break;
    default:
        break;
    }
    // Half-built probes would pair parameters with the wrong columns.
    if (rc != ERR_NONE)
        dropProbes(p);
    return ERR_NONE;
}
