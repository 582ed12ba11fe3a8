// Owners of what the cursor library releases on every path: heap row
// blocks, row blocks held in place, analysed statements of a routine's own,
// the open result of an auxiliary statement and catalog arguments.  The routines still answer
// error numbers; an owner only makes "released on every return" true by
// construction.
#pragma once
#include "odbc/contract/catalog_args.h"
#include "odbc/contract/rowblock.h"
#include "scrs/scr_analyse.h"

#include <string>

// A heap row block (KS_BlockNew, KS_BlockClone, KS_ParamRowsetMake ...),
// freed with its rows (KS_BlockFree) when the owner goes.
class BlockOwner {
public:
    BlockOwner() = default;
    explicit BlockOwner(RowBlock *block) : b_(block) {}
    ~BlockOwner() { reset(); }
    BlockOwner(const BlockOwner &) = delete;
    BlockOwner &operator=(const BlockOwner &) = delete;

    RowBlock *get() const { return b_; }
    RowBlock *operator->() const { return b_; }
    explicit operator bool() const { return b_ != nullptr; }
    // Where a routine that makes a block leaves it; what was held is freed
    // first.
    RowBlock **out()
    {
        reset();
        return &b_;
    }
    // The slot itself, for a routine that reuses the block it finds there
    // or makes one when it finds none.
    RowBlock **slot() { return &b_; }
    // Hands the block on (to the back end, to a record, to the caller).
    RowBlock *release()
    {
        RowBlock *b = b_;
        b_ = nullptr;
        return b;
    }
    // Frees the block held and holds `block` instead.
    void reset(RowBlock *block = nullptr);

private:
    RowBlock *b_ = nullptr;
};

// A row block held in place (fetched rows, a catalog answer, split-off key
// columns): its rows are freed (RB_Free) when the owner goes.
struct BlockRows {
    RowBlock rows{};
    BlockRows() = default;
    ~BlockRows() { RB_Free(&rows); }
    BlockRows(const BlockRows &) = delete;
    BlockRows &operator=(const BlockRows &) = delete;
};

// An analysed statement of a routine's own: cleared when made, freed
// (SCR_Free) when the owner goes.
class SqlOwner {
public:
    SqlOwner() { SCR_Init(&sql_); }
    ~SqlOwner() { SCR_Free(&sql_); }
    SqlOwner(const SqlOwner &) = delete;
    SqlOwner &operator=(const SqlOwner &) = delete;

    ScrAnalysedSql *get() { return &sql_; }
    ScrAnalysedSql *operator->() { return &sql_; }
    // Hands the analysis to *target, whose own is freed first; the owner is
    // left cleared.
    void moveTo(ScrAnalysedSql *target)
    {
        SCR_Free(target);
        *target = sql_;
        SCR_Init(&sql_);
    }

private:
    ScrAnalysedSql sql_;
};

// The result of one of the library's own back-end statements (posStmt,
// refetchStmt, a kept key query's, the positioned-operation statement):
// closed through the back end's CloseCursor on every return once the owner
// is made.  The statement itself stays, with its prepared text.
class AuxCursor {
public:
    explicit AuxCursor(int stmt) : stmt_(stmt) {}
    ~AuxCursor();
    AuxCursor(const AuxCursor &) = delete;
    AuxCursor &operator=(const AuxCursor &) = delete;

    // Closes the result now and answers the back end's number; the owner
    // then closes nothing more.
    int close();

private:
    int stmt_;
};

// Catalog arguments whose texts the routine made: freed when the owner
// goes.
struct CatalogArgsOwner {
    CatalogArgs a{};
    CatalogArgsOwner() = default;
    ~CatalogArgsOwner();
    CatalogArgsOwner(const CatalogArgsOwner &) = delete;
    CatalogArgsOwner &operator=(const CatalogArgsOwner &) = delete;
    // Text i becomes a copy of t.  0, or ERR_MEMORY_ALLOCATION (text i then NULL).
    int set(int i, const std::string &t);
};
