// Parameter binding: each parameter of one row of the parameter RowBlock is
// read by its value type, converted to its declared SQL type with range
// checks and handed to the matching JDBC setter; the default parameter
// descriptions made at prepare and their refinement by probe queries.
#pragma once
#include <cstdint>

struct DrvStmt;
struct DrvTimestamp;

// Where the calls that bind one parameter set go: the statement's
// PreparedStatement (one call into Java each) or a parameter block that
// carries them to Java together (j-paramblock.h).  Each answers 0 or the
// number of its failure; the text calls take `length` bytes in string mode
// `mode`, as the PreparedStatement wrappers of j-wrap-ps.h do.
class ParamSink {
public:
    virtual ~ParamSink() = default;
    virtual int clear() = 0;  // clearParameters; never fails
    virtual int setNull(int32_t index, int32_t jdbcType) = 0;
    virtual int setBoolean(int32_t index, uint8_t value) = 0;
    virtual int setByte(int32_t index, int8_t value) = 0;
    virtual int setShort(int32_t index, int16_t value) = 0;
    virtual int setInt(int32_t index, int32_t value) = 0;
    virtual int setLong(int32_t index, int64_t value) = 0;
    virtual int setFloat(int32_t index, float value) = 0;
    virtual int setDouble(int32_t index, double value) = 0;
    virtual int setStringUntyped(int32_t index, const char *text, int32_t length, int mode) = 0;
    virtual int setBigDecimal(int32_t index, const char *text, int32_t length, int mode) = 0;
    virtual int setBytes(int32_t index, const void *data, int32_t length) = 0;
    virtual int setBinaryStream(int32_t index, const void *data, int32_t length) = 0;
    virtual int setDate(int32_t index, const DrvTimestamp *value) = 0;
    virtual int setTime(int32_t index, const DrvTimestamp *value) = 0;
    virtual int setTimestamp(int32_t index, const DrvTimestamp *value) = 0;
    virtual int registerOutParameter(int32_t index, int32_t jdbcType) = 0;
};

// Binds parameter set n.  0; ERR_NOT_CAPABLE (S1C00) for a type combination the driver
// cannot bind or an unknown value type; ERR_NUMERIC_RANGE (22003) for a value out of range
// (or a binary value shorter than its target); ERR_INVALID_CAST_VALUE (22018) for text that is
// no number; ERR_INVALID_DATETIME_FORMAT (22007) for text that is no date or time; else the JDBC
// setter's number.  Output parameters of a procedure call are registered.
int bindParamRow(DrvStmt *s, int32_t n);
// bindParamRow with the calls going to `out`; answers what `out` answers
// when one of its calls fails.
int bindParamSet(DrvStmt *s, int32_t n, ParamSink &out);

// Reads "yyyy-mm-dd[ hh:mm[:ss[.fraction]]]" (a negative or five-digit year
// too, 'T' also between date and time), "dd.mm.yyyy[ ...]" or
// "hh:mm[:ss[.fraction]]"; the fraction's digits scale to nanoseconds (".5"
// is 500000000).  False, and a zero record, when no form matches the whole
// text or a field is out of its range (February 30, hour 24 ...).
bool parseDateTime(const char *text, DrvTimestamp *out);

// The java.sql.Types code of an ODBC SQL type.
int32_t jdbcTypeOfOdbc(int32_t sqlType);

// One VARCHAR(255) description per marker of the prepared text.  0 or ERR_MEMORY_ALLOCATION.
int initParamDescs(DrvStmt *s);
// Refines the parameter descriptions through the analyser's probe queries.
// ERR_FUNCTION_SEQUENCE before prepare; 0 after execution or without markers.
int describeParams(DrvStmt *s);
