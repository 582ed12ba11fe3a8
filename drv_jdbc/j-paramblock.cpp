// Parameter sets added to a JDBC batch by blocks through the Java
// ParamBatchFiller.
#include "drv_jdbc/j-paramblock.h"

#include "drv_jdbc/j-bufobject.h"
#include "drv_jdbc/j-classes.h"
#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-param.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-wrap-ps.h"
#include "drv_jdbc/j-wrap.h"
#include "util/codepage.h"
#include "util/utf8.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

// The statement's filler: the Java object over the memory it reads, with
// texts of form PT_BYTES in the driver's code set, and the sets it added.
struct BatchFiller : JavaBufferObject {
    int64_t setsAdded = 0;
};

namespace {
// Room for the calls of one block besides the header.
constexpr uint32_t kCallBytes = 64 * 1024;
// PH_DONE before a call into Java: the filler did not run.
constexpr int32_t kNotRun = -1;
// What a block answers besides 0 and the numbers of failures: the calls do
// not fit in what is left of it, or it cannot carry one of them.
constexpr int kFull = -2;
constexpr int kNotInBlock = -3;

std::atomic<bool> g_blockBatches{true};

// The calls of parameter sets laid out in a filler's buffer.
class BlockSink final : public ParamSink {
public:
    explicit BlockSink(BatchFiller *f) : mem_(f->mem), size_(f->size) {}

    uint32_t end() const { return pos_; }
    int32_t sets() const { return sets_; }
    // Drops what was laid out after `mark` (a set that did not fit whole).
    void rewind(uint32_t mark) { pos_ = mark; }
    // Empties the block after its sets went into Java.
    void reset()
    {
        pos_ = PH_CALLS;
        sets_ = 0;
    }

    int addBatch()
    {
        if (!put(PC_ADD))
            return kFull;
        ++sets_;
        return 0;
    }
    int clear() override { return put(PC_CLEAR) ? 0 : kFull; }
    int setNull(int32_t i, int32_t jdbcType) override { return calls(PC_NULL, i, jdbcType); }
    int setBoolean(int32_t i, uint8_t v) override { return calls(PC_BOOLEAN, i, static_cast<uint8_t>(v ? 1 : 0)); }
    int setByte(int32_t i, int8_t v) override { return calls(PC_BYTE, i, v); }
    int setShort(int32_t i, int16_t v) override { return calls(PC_SHORT, i, v); }
    int setInt(int32_t i, int32_t v) override { return calls(PC_INT, i, v); }
    int setLong(int32_t i, int64_t v) override { return calls(PC_LONG, i, v); }
    int setFloat(int32_t i, float v) override { return calls(PC_FLOAT, i, v); }
    int setDouble(int32_t i, double v) override { return calls(PC_DOUBLE, i, v); }
    int setStringUntyped(int32_t i, const char *text, int32_t length, int mode) override
    {
        return text_(PC_OTHER, i, text, length, mode);
    }
    int setBigDecimal(int32_t i, const char *text, int32_t length, int mode) override
    {
        return text_(PC_DECIMAL, i, text, length, mode);
    }
    int setBytes(int32_t i, const void *data, int32_t length) override
    {
        const int32_t n = length > 0 ? length : 0;
        if (!head(PC_BYTES, i) || !put(n) || !putBytes(data, static_cast<uint32_t>(n)))
            return kFull;
        return 0;
    }
    // Streams depend on what the JDBC driver took before, and output
    // parameters belong to calls: these go by the setters.
    int setBinaryStream(int32_t, const void *, int32_t) override { return kNotInBlock; }
    int registerOutParameter(int32_t, int32_t) override { return kNotInBlock; }
    int setDate(int32_t i, const DrvTimestamp *v) override
    {
        return calls(PC_DATE, i, int32_t(v->year), int32_t(v->month), int32_t(v->day));
    }
    int setTime(int32_t i, const DrvTimestamp *v) override
    {
        return calls(PC_TIME, i, int32_t(v->hour), int32_t(v->minute), int32_t(v->second));
    }
    int setTimestamp(int32_t i, const DrvTimestamp *v) override
    {
        return calls(PC_TIMESTAMP, i, int32_t(v->year), int32_t(v->month), int32_t(v->day), int32_t(v->hour),
                     int32_t(v->minute), int32_t(v->second), static_cast<int32_t>(v->fraction));
    }

private:
    template <class T>
    bool put(T v)
    {
        if (size_ - pos_ < sizeof v)
            return false;
        memcpy(mem_ + pos_, &v, sizeof v);
        pos_ += sizeof v;
        return true;
    }
    bool putBytes(const void *p, uint32_t n)
    {
        if (size_ - pos_ < n)
            return false;
        if (n)
            memcpy(mem_ + pos_, p, n);
        pos_ += n;
        return true;
    }
    bool head(ParamCall code, int32_t i) { return put(static_cast<uint8_t>(code)) && put(i); }
    template <class... T>
    int calls(ParamCall code, int32_t i, T... values)
    {
        return head(code, i) && (put(values) && ...) ? 0 : kFull;
    }

    // A text as the wrappers make their Java String of it: the bytes up to
    // the first NUL of `length`, decoded in the ANSI code set (mode 0) or as
    // UTF-8 by the driver's decoder (mode 1, laid out as UTF-16 units).
    int text_(ParamCall code, int32_t i, const char *text, int32_t length, int mode)
    {
        const size_t n = text && length > 0 ? strnlen(text, static_cast<size_t>(length)) : 0;
        if (mode != STRMODE_UTF8) {
            if (!head(code, i) || !put(PT_BYTES) || !put(static_cast<int32_t>(n)) ||
                !putBytes(text, static_cast<uint32_t>(n)))
                return kFull;
            return 0;
        }
        std::string copy(text ? text : "", n);
        char16_t *units = UTF8_DupToWide<char16_t>(copy.c_str());
        if (!units)
            return kNotInBlock;
        const int64_t count = UC_StrLen(units);
        const bool fits = head(code, i) && put(PT_UNITS) && put(static_cast<int32_t>(count)) &&
                          putBytes(units, static_cast<uint32_t>(2 * count));
        free(units);
        return fits ? 0 : kFull;
    }

    uint8_t *mem_;
    uint32_t size_;
    uint32_t pos_ = PH_CALLS;
    int32_t sets_ = 0;
};

// The statement's filler, made (or remade for another code set) when
// needed; NULL when it cannot be had, with no exception pending.
BatchFiller *fillerFor(DrvStmt *s)
{
    const char *charset = CP_AnsiCodeset();
    BatchFiller *bf = s->batchFiller;
    if (bf && bf->charset == charset)
        return bf;
    drvFreeBatchFiller(s);
    bf = new (std::nothrow) BatchFiller();
    if (!bf)
        return nullptr;
    if (!bf->Open(s->env, PH_CALLS + kCallBytes, charset, jc_NewParamBatchFiller)) {
        delete bf;
        return nullptr;
    }
    s->batchFiller = bf;
    return bf;
}

// Lays out set n (its binding calls and addBatch) after the block's sets: 0,
// kFull or kNotInBlock (nothing of the set kept), or the number of a value
// the driver cannot convert.
int layOutSet(DrvStmt *s, int32_t n, BlockSink &out)
{
    const uint32_t mark = out.end();
    int rc = bindParamSet(s, n, out);
    if (rc == 0)
        rc = out.addBatch();
    if (rc != 0)
        out.rewind(mark);
    return rc;
}

// Adds the block's sets to the batch with one call into Java and empties
// the block: 0, kNotRun when the filler could not be called (no set added),
// or the number of the failure of a call (the sets before it added).
int sendBlock(DrvStmt *s, BatchFiller *bf, BlockSink &out)
{
    if (out.sets() == 0)
        return 0;
    uint8_t *mem = bf->mem;
    storeAt<int32_t>(mem, PH_SETS, out.sets());
    storeAt<int32_t>(mem, PH_END, static_cast<int32_t>(out.end()));
    storeAt<int32_t>(mem, PH_DONE, kNotRun);
    out.reset();
    JNIEnv *env = s->env;
    int32_t done = 0;
    const int call = jc_CallIntMethod(env, bf->object, nullptr, "fill", "(Ljava/sql/PreparedStatement;)I", &done,
                                      s->stmt.get());
    const int32_t added = loadAt<int32_t>(mem, PH_DONE);
    if (added == kNotRun) {
        jc_ClearException(env);
        return kNotRun;
    }
    bf->setsAdded += added;
    if (call == 0)
        return 0;
    const int rc = CheckException(env, s->stringMode, &s->errors);
    return rc ? rc : ERR_GENERAL;
}

// Adds sets [from, to) by the setters.
int addSetsBySetters(DrvStmt *s, int32_t from, int32_t to)
{
    for (int32_t i = from; i < to; ++i)
        if (int rc = addParamSet(s, i))
            return rc;
    return 0;
}
} // namespace

int addParamSet(DrvStmt *s, int32_t n)
{
    if (int rc = bindParamRow(s, n))
        return rc;
    return jc_PreparedStatement_addBatch(s, s->stmt);
}

int fillBatchByBlocks(DrvStmt *s, int32_t sets)
{
    BatchFiller *bf = fillerFor(s);
    if (!bf)
        return addSetsBySetters(s, 0, sets);
    BlockSink out(bf);
    int32_t first = 0;  // the block's first set
    // Sends the block of sets [first, next); when the filler cannot be
    // called, those sets and the rest go by the setters.
    auto send = [&](int32_t next, bool *byFiller) {
        int rc = sendBlock(s, bf, out);
        if (rc == kNotRun) {
            drvFreeBatchFiller(s);
            *byFiller = false;
            rc = addSetsBySetters(s, first, next);
        }
        first = next;
        return rc;
    };
    for (int32_t i = 0; i < sets; ++i) {
        bool byFiller = true;
        int rc = layOutSet(s, i, out);
        if (rc == kFull && out.sets() > 0) {
            if ((rc = send(i, &byFiller)) != 0)
                return rc;
            if (!byFiller)
                return addSetsBySetters(s, i, sets);
            rc = layOutSet(s, i, out);
        }
        if (rc == kFull || rc == kNotInBlock) {
            // The set goes by the setters, after the sets before it.
            if ((rc = send(i, &byFiller)) != 0)
                return rc;
            if (!byFiller)
                return addSetsBySetters(s, i, sets);
            if ((rc = addParamSet(s, i)) != 0)
                return rc;
            first = i + 1;
            continue;
        }
        if (rc != 0) {
            // A value the driver cannot convert: the sets before it go in,
            // and the set fails as it does by the setters.
            if (int sent = send(i, &byFiller))
                return sent;
            return byFiller ? rc : addSetsBySetters(s, i, sets);
        }
    }
    bool byFiller = true;
    return send(sets, &byFiller);
}

void drvFreeBatchFiller(DrvStmt *s)
{
    delete s->batchFiller;
    s->batchFiller = nullptr;
}

int64_t drvBatchFillerSets(const DrvStmt *s) { return s->batchFiller ? s->batchFiller->setsAdded : 0; }

void drvSetBlockBatches(bool on) { g_blockBatches.store(on, std::memory_order_relaxed); }

bool drvBlockBatches() { return g_blockBatches.load(std::memory_order_relaxed); }
