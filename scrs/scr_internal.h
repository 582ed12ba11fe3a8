// Helpers the analyser's units share: a list of nodes, tree navigation by
// the grammar's shapes, and bounded searches that leave subqueries alone.
#pragma once
#include "odbc/contract/errnum.h"
#include "scrs/scr_analyse.h"

#include <cstddef>
#include <cstdlib>
#include <initializer_list>

// A growable list of nodes (doubling; plain heap, so a failure is ERR_MEMORY_ALLOCATION).
class ScrNodeList {
public:
    ScrNodeList() = default;
    ScrNodeList(const ScrNodeList &) = delete;
    ScrNodeList &operator=(const ScrNodeList &) = delete;
    ~ScrNodeList() { free(items_); }
    bool push(SqlNode *n);
    size_t size() const { return count_; }
    SqlNode *operator[](size_t i) const { return items_[i]; }

private:
    SqlNode **items_ = nullptr;
    size_t count_ = 0;
    size_t capacity_ = 0;
};

// The i-th child (0-based), or NULL.
SqlNode *scr_ChildAt(const SqlNode *n, int i);
// The first direct child of the kind, or NULL.
SqlNode *scr_Child(const SqlNode *n, int kind);
// The last direct child, or NULL.
SqlNode *scr_LastChild(const SqlNode *n);
// An inner node: a clause present in its holder.
inline bool scr_Present(const SqlNode *n) { return n && n->tmpl; }
// The first node of the kind in pre-order from n (n, its descendants, its
// following siblings): the tree's general search.
SqlNode *scr_Find(SqlNode *n, int kind);

// Appends, in pre-order, the descendants of n of a wanted kind to out; a node
// of a stop kind is neither taken nor searched below (its siblings are).
// false when the list cannot grow.
bool scr_Collect(SqlNode *n, std::initializer_list<int> want, std::initializer_list<int> stop, ScrNodeList &out);
// The same over n itself and its descendants (never n's siblings).
bool scr_CollectSubtree(SqlNode *n, std::initializer_list<int> want, std::initializer_list<int> stop, ScrNodeList &out);
// Whether a parameter marker lies below n, outside subqueries.
bool scr_HasMarker(SqlNode *n);
// Whether a node of the kind lies at or below n, outside subqueries and
// nested query blocks.
bool scr_Contains(SqlNode *n, int kind);

// The statement's first query block (a SELECT's, or an INSERT's source
// query), its query tail, and the ORDER BY holder of the statement (that of
// the last query block of the UNION chain, or the statement's own).
SqlNode *scr_FirstBlock(const ScrAnalysedSql *r);
SqlNode *scr_Tail(const SqlNode *block);
SqlNode *scr_OrderByHolder(const ScrAnalysedSql *r);

// The FROM items of a query tail, in order: tables (46) and join members as
// items of their own, and derived tables (29 over a query block); nothing
// from subqueries.  0, or ERR_MEMORY_ALLOCATION.
int scr_FromItems(SqlNode *tail, ScrNodeList &out);

// Heap copy of text (NULL when memory is short).
char *scr_Dup(const char *text);
char *scr_DupN(const char *text, size_t len);
// Copies text into a name field of size bytes; false (field left empty) when
// it does not fit.
bool scr_CopyField(char *field, size_t size, const char *text);
// Replaces a node's text by a copy of text; false when memory is short.
bool scr_SetText(SqlNode *n, const char *text);
