// The dataset cache and the static set.
//
// A cache reads a result in blocks of DSC_FETCH_ROWS rows.  While it holds at
// most DSC_MEMORY_ROWS rows they stay in the owner's rowset; the block that
// takes it past them moves everything into the two temporary files, and every
// later block is appended there.  A spilled cache serves windows of rows read
// back from the files, re-centred on each request that falls outside the
// current window.
#include "scrs/sc_dataset.h"

#include <cstdlib>

#include "odbc/contract/errnum.h"
#include "odbc/contract/rb_ops.h"
#include "platform/tempfile.h"
#include "scrs/sc_check.h"
#include "util/log.h"

namespace {

const char *const kDscSrc = "dsc";
const char *const kSsSrc = "ss";

// Temporary files are named after this prefix.
const char *const kTempPrefix = "zozodo";

// One temporary file: made exclusively with mode 0600 in the temporary
// directory, its name removed at once.  `counter` counts the files made for
// one cache.
FILE *dsc_TempFileOpen(int32_t *counter)
{
    PL_TempFile file;
    if (!file.Create(kTempPrefix))
        return nullptr;
    ++*counter;
    return file.ReleaseUnlinked();
}

// Creates both files: state DSC_FILES_OPEN.  0 or ERR_GENERAL.
int dsc_Open(DataSetCache *cache)
{
    int32_t counter = 0;
    FILE *data = dsc_TempFileOpen(&counter);
    if (!data)
        return SC_ERR_GENERAL;
    FILE *index = dsc_TempFileOpen(&counter);
    if (!index) {
        std::fclose(data);
        return SC_ERR_GENERAL;
    }
    cache->dataFile = data;
    cache->indexFile = index;
    cache->rowsStored = 0;
    cache->state = DSC_FILES_OPEN;
    LOG_Printf(LOG_LEVEL_DEBUG, kDscSrc, __LINE__, "dsc_Open: Opened temporary files for pDSC=%p",
               static_cast<void *>(cache));
    return 0;
}

// After any failure: the files go, and nothing is served until the owner
// closes the cache and fills it again.
void dsc_Fail(DataSetCache *cache)
{
    DSC_Close(cache);
    cache->state = DSC_FAILED;
}

// Drops the mappings of the files.
void dsc_Unmap(DataSetCache *cache)
{
    PL_Unmap(cache->view.data, cache->view.dataBytes);
    PL_Unmap(cache->view.index, cache->view.indexBytes);
    cache->view = DscFileView{};
}

// Maps both files for reading, once per fill; false when they cannot be
// mapped (the streams serve then).
bool dsc_Map(DataSetCache *cache)
{
    if (cache->view.data)
        return true;
    DscFileView v{};
    if (!PL_MapStream(cache->dataFile, &v.data, &v.dataBytes))
        return false;
    if (!PL_MapStream(cache->indexFile, &v.index, &v.indexBytes)) {
        PL_Unmap(v.data, v.dataBytes);
        return false;
    }
    cache->view = v;
    return true;
}

// Makes `block` anew from `rows` rows from row `first` of the spilled files.
int dsc_Read(DataSetCache *cache, RowBlock *block, int32_t first, int32_t rows)
{
    if (cache->state != DSC_SPILLED)
        return SC_ERR_GENERAL;
    int ok = dsc_Map(cache) ? DSCIO_XferMapped(&cache->view, block, first, rows)
                            : DSCIO_Xfer(DSCIO_READ, cache->dataFile, cache->indexFile, block, first, rows);
    return ok ? 0 : SC_ERR_GENERAL;
}

// Reads `rows` rows from row `first` into the emptied rowset.
int dsc_WindowRead(DataSetCache *cache, RowBlock *rowset, int32_t first, int32_t rows)
{
    RB_Free(rowset);
    return dsc_Read(cache, rowset, first, rows);
}

// The spilled rowset goes to the files: the first time as the files' first
// block, later appended.
int dsc_Spill(DataSetCache *cache, RowBlock *rowset, bool *firstSpill)
{
    int rc = 0;
    int32_t rows = rowset->rowsUsed;
    dsc_Unmap(cache);  // a mapping never outlives a write
    if (*firstSpill) {
        if (cache->state != DSC_SPILLED && (rc = dsc_Open(cache)) != 0)
            return rc;
        *firstSpill = false;
        cache->state = DSC_SPILLED;  // also when the write fails: DSC_Close closes the files
        if (!DSCIO_Xfer(DSCIO_WRITE, cache->dataFile, cache->indexFile, rowset, 0, 0))
            rc = SC_ERR_GENERAL;
    } else if (!DSCIO_Append(cache->dataFile, cache->indexFile, rowset)) {
        rc = SC_ERR_GENERAL;
    }
    if (rc == 0)
        cache->rowsStored += rows;
    RB_Free(rowset);
    return rc;
}

// Gives the caller an empty block, allocating the record when it has none.
int ss_EmptyBlock(RowBlock **block)
{
    if (*block) {
        RB_Free(*block);
        return 0;
    }
    *block = static_cast<RowBlock *>(std::calloc(1, sizeof(RowBlock)));
    return *block ? 0 : ERR_MEMORY_ALLOCATION;
}

// A spilled set's request that neither overlaps nor touches the window in
// memory: a jump, served by reading only its rows.  The first request and
// sequential moves, which run off the window's edge, re-centre the window.
bool ss_JumpsAway(const StaticSet *set, int32_t first, int32_t count)
{
    if (set->cache.state != DSC_SPILLED || first >= set->cache.rowsStored || set->windowStart < 0 ||
        set->rowset->rowsUsed == 0)
        return false;
    return int64_t(first) > int64_t(set->windowStart) + set->rowset->rowsUsed ||
           int64_t(first) + count < set->windowStart;
}

// The next row after delivering n of `count` rows asked from `start`.
void ss_Advance(StaticSet *set, int32_t start, int32_t count, int32_t n)
{
    if (start != SS_NEXT_ROW)
        set->nextRow = start;
    else if (n == count && int64_t(set->nextRow) + count <= INT32_MAX)
        set->nextRow += count;
    else
        set->nextRow = SS_END_REACHED;
}

// Empties the caller's block after a failure; a block made by this call goes.
void ss_DropBlock(RowBlock **block, bool made)
{
    if (!*block)
        return;
    RB_Free(*block);
    if (made) {
        std::free(*block);
        *block = nullptr;
    }
}

// Delivers a jump's rows straight from the files into the caller's block
// (allocated when NULL); the window stays.  A failed read fails the cache and
// empties the rowset as a failed window read does.
int ss_RowsRead(StaticSet *set, int32_t start, int32_t first, int32_t count, RowBlock **block)
{
    const bool made = *block == nullptr;
    if (made && !(*block = static_cast<RowBlock *>(std::calloc(1, sizeof(RowBlock)))))
        return ERR_MEMORY_ALLOCATION;
    if (int rc = DSC_RowsGet(&set->cache, first, count, *block)) {
        RB_Free(set->rowset);
        set->windowStart = -1;
        ss_DropBlock(block, made);
        return rc;
    }
    ss_Advance(set, start, count, (*block)->rowsUsed);
    return 0;
}

}  // namespace

void DSC_Init(DataSetCache *cache)
{
    if (!cache)
        return;
    *cache = DataSetCache{DSC_IN_MEMORY, nullptr, nullptr, DSC_WINDOW_ROWS, 0, DscFileView{}};
}

void DSC_Close(DataSetCache *cache)
{
    if (!cache)
        return;
    dsc_Unmap(cache);
    if (cache->dataFile) {
        std::fclose(cache->dataFile);
        cache->dataFile = nullptr;
        LOG_Printf(LOG_LEVEL_DEBUG, kDscSrc, __LINE__, "DSC_Close: Closed temporary files for pDSC=%p",
                   static_cast<void *>(cache));
    }
    if (cache->indexFile) {
        std::fclose(cache->indexFile);
        cache->indexFile = nullptr;
    }
    cache->rowsStored = 0;
    cache->state = DSC_IN_MEMORY;
}

int DSC_Fill(DataSetCache *cache, const DrvBinding *binding, int stmt, RowBlock *rowset,
             int32_t *totalRows)
{
    if (totalRows)
        *totalRows = 0;
    if (!cache || !rowset || !binding || !binding->ops || !binding->ops->Fetch)
        return SC_ERR_GENERAL;
    // Files of an earlier fill would mix with this one's rows.
    DSC_Close(cache);
    RB_Free(rowset);

    int rc = 0;
    int32_t total = 0;
    int32_t got = 0;
    bool firstSpill = true;
    do {
        // The back end sets up the block it fills: straight into an empty
        // rowset, else into a block of its own appended afterwards.
        RowBlock fetched{};
        bool straight = rowset->columns == nullptr && rowset->rowsAllocated == 0;
        RowBlock *into = straight ? rowset : &fetched;
        rc = binding->ops->Fetch(stmt, DSC_FETCH_ROWS, into);
        got = rc == 0 && into->rowsUsed > 0 ? into->rowsUsed : 0;
        if (rc == 0 && !straight && got > 0)
            rc = RB_AppendRows(rowset, &fetched);
        RB_Free(&fetched);
        if (rc != 0)
            break;
        if (got > INT32_MAX - total) {
            rc = SC_ERR_GENERAL;  // more rows than a row number can count
            break;
        }
        if (cache->state == DSC_SPILLED || rowset->rowsUsed > DSC_MEMORY_ROWS)
            rc = dsc_Spill(cache, rowset, &firstSpill);
        total += got;
    } while (rc == 0 && got > 0);

    if (totalRows)
        *totalRows = total;
    if (rc != 0)
        dsc_Fail(cache);
    return rc;
}

int DSC_WindowGet(DataSetCache *cache, int32_t first, int32_t count, int32_t *windowStart,
                  RowBlock *rowset)
{
    if (!cache || !windowStart || !rowset || first < 0 || count < 0)
        return SC_ERR_GENERAL;
    if (cache->state == DSC_IN_MEMORY) {
        // Every row is at hand; asking beyond the end is a caller's fault.
        if (first > rowset->rowsUsed)
            return SC_ERR_GENERAL;
        *windowStart = 0;
        return 0;
    }
    if (cache->state != DSC_SPILLED || first > cache->rowsStored)
        return SC_ERR_GENERAL;
    if (count == 0 || first == cache->rowsStored)
        return 0;  // nothing to read: the caller finds no rows there
    if (count > INT32_MAX / 2)
        return SC_ERR_GENERAL;

    int32_t start = *windowStart;
    bool grow = cache->windowSize < 2 * count;
    if (start != -1 && first >= start && !grow &&
        int64_t(first) + count <= int64_t(start) + cache->windowSize)
        return 0;
    if (grow)
        cache->windowSize = 2 * count;
    int32_t newStart = first - (cache->windowSize - count) / 2;
    if (newStart < 0)
        newStart = 0;
    if (dsc_WindowRead(cache, rowset, newStart, cache->windowSize) != 0) {
        // The rowset was emptied: it holds no window any more.
        *windowStart = -1;
        dsc_Fail(cache);
        return SC_ERR_GENERAL;
    }
    *windowStart = newStart;
    return 0;
}

int DSC_RowsGet(DataSetCache *cache, int32_t first, int32_t count, RowBlock *block)
{
    if (!cache || !block || first < 0 || count <= 0 || cache->state != DSC_SPILLED ||
        first >= cache->rowsStored)
        return SC_ERR_GENERAL;
    if (dsc_Read(cache, block, first, count) != 0) {
        dsc_Fail(cache);
        return SC_ERR_GENERAL;
    }
    return 0;
}

int SS_Alloc(StaticSet **out)
{
    if (!out)
        return SC_ERR_GENERAL;
    *out = nullptr;
    auto *set = static_cast<StaticSet *>(std::calloc(1, sizeof(StaticSet)));
    auto *rowset = static_cast<RowBlock *>(std::calloc(1, sizeof(RowBlock)));
    if (!set || !rowset) {
        std::free(set);
        std::free(rowset);
        return ERR_MEMORY_ALLOCATION;
    }
    set->rowset = rowset;
    set->windowStart = 0;
    set->nextRow = 0;
    DSC_Init(&set->cache);
    *out = set;
    return 0;
}

void SS_Close(StaticSet *set)
{
    if (!set)
        return;
    RB_Free(set->rowset);
    DSC_Close(&set->cache);
    set->windowStart = 0;
    set->nextRow = 0;
}

void SS_Free(StaticSet **set)
{
    if (!set || !*set)
        return;
    SS_Close(*set);
    std::free((*set)->rowset);
    std::free(*set);
    *set = nullptr;
}

int SS_GetRsltSet(StaticSet *set, const DrvBinding *binding, int stmt, int32_t *rowCount)
{
    if (!set || !set->rowset)
        return SC_ERR_GENERAL;
    SS_Close(set);
    int32_t total = 0;
    int rc = DSC_Fill(&set->cache, binding, stmt, set->rowset, &total);
    if (rowCount)
        *rowCount = total;
    if (rc != 0) {
        LOG_Printf(LOG_LEVEL_ERROR, kSsSrc, __LINE__, "SS_GetRsltSet: Could not fill dataset cache");
        return rc;
    }
    if (set->cache.state == DSC_SPILLED)
        set->windowStart = -1;
    return 0;
}

int SS_GetRowset(StaticSet *set, int32_t start, int32_t count, RowBlock **block)
{
    if (!set || !set->rowset || !block || count < 0 || start < SS_NEXT_ROW)
        return SC_ERR_GENERAL;
    // The end stops sequential requests only: an explicit start still
    // delivers after a sequential read ran to the end.
    if ((start == SS_NEXT_ROW && set->nextRow == SS_END_REACHED) || count == 0)
        return ss_EmptyBlock(block);

    int32_t first = start == SS_NEXT_ROW ? set->nextRow : start;
    if (ss_JumpsAway(set, first, count))
        return ss_RowsRead(set, start, first, count, block);
    if (int rc = DSC_WindowGet(&set->cache, first, count, &set->windowStart, set->rowset))
        return rc;
    int64_t avail = 0;
    if (set->windowStart >= 0 && first >= set->windowStart)
        avail = int64_t(set->rowset->rowsUsed) + set->windowStart - first;
    int32_t n = avail < 0 ? 0 : avail < count ? int32_t(avail) : count;
    if (n == 0 && set->rowset->columnsUsed == 0) {
        // An empty result, or the end of a spilled one with no window read:
        // no columns to copy a layout from.
        if (int rc = ss_EmptyBlock(block))
            return rc;
        ss_Advance(set, start, count, 0);
        return 0;
    }

    bool made = *block == nullptr;
    int rc = RB_NewLike(block, set->rowset, n);
    for (int32_t i = 0; rc == 0 && i < n; ++i)
        rc = RB_CopyRow(*block, set->rowset, i, first + i - set->windowStart, 0);
    if (rc != 0) {
        ss_DropBlock(block, made);
        return rc;
    }

    ss_Advance(set, start, count, n);
    return 0;
}
