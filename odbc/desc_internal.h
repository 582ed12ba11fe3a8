// Inside the descriptor field routines: the field table and the contexts
// its readers and writers work in.
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "odbc/desc_put.h"
#include "odbc/desc_stmt.h"

struct ColDesc;
struct Desc;
struct DescRec;
struct Stmt;

// ---- reading ----

// One field read: the descriptor, its statement and what record n is made of.
struct DescReadCtx {
    Desc *d;
    Stmt *s;                 // the statement of an implicit descriptor
    int rec;
    bool odbc3;              // the application works with ODBC 3 type codes
    DescRec *own;            // record n of D, or null
    bool bound;              // b holds the implicit ARD's or APD's binding
    DescBinding b;
    const ColDesc *col;      // IRD: the result column (records from 1)
    const ColDesc *param;    // IPD: the parameter's description, or null
};

// A read value: a number, a pointer or a text, as the field's writer takes it.
struct DescValue {
    int64_t num;
    const void *ptr;
    const char *text;
    char buf[256];           // room for texts made while reading
};

// Answer of a reader: 0, an error number, or one of these.
enum : int {
    DG_NOTHING = -1,         // SQL_SUCCESS with nothing written
};
typedef int (*DescGetFn)(DescReadCtx &c, DescValue *v);

// ---- writing ----

// Flags of one write.
enum : unsigned {
    DSF_EXACT = 0x1,         // 0 is a value for every field that has one
};

// One field write in the setting of at most one statement.
struct DescSetCtx {
    Stmt *s;                 // the statement that follows D, or null
    bool app, row, withStmt;
    Desc *d;
    int rec;
    uint64_t v;
    int64_t len;
    int width;
    unsigned flags;
    bool keep;               // v leaves the field unchanged
    DescRec *r;              // the record (record fields)
};
// Stores the field and runs its follow-ups; errors are posted on D.
typedef SQLRETURN (*DescSetFn)(DescSetCtx &c);

// Who may write a field.
enum DescWriteRule : uint8_t {
    DWR_READONLY,            // nobody: ERR_DESCRIPTOR_TYPE_RANGE
    DWR_ANY,                 // any descriptor but an IRD
    DWR_APP,                 // application descriptors: ERR_DESCRIPTOR_TYPE_RANGE for the others
    DWR_NOT_APP,             // implementation descriptors: ERR_DESCRIPTOR_TYPE_RANGE for the others
    DWR_ALWAYS,              // every descriptor, IRDs included
    DWR_IMPL,                // IRDs and IPDs (ROWS_PROCESSED_PTR)
    DWR_DATA,                // application descriptors; IPDs do nothing
    DWR_UNNAMED,             // 0 does nothing; else IPDs, value 1 only
};

// One descriptor field.
struct DescField {
    int16_t id;
    const char *name;
    bool header;
    DescWriter writer;
    DescGetFn get[5];        // by DescKind (USER, IRD, ARD, IPD, APD); null: ERR_DESCRIPTOR_TYPE_RANGE
    DescWriteRule write;
    uint8_t zero;            // DZ_*: whether a 0 written is a value
    DescSetFn set;
};

// Whether writing 0 stores 0 or leaves the field as it is.
enum : uint8_t {
    DZ_KEEP = 0,             // 0 leaves the field unchanged
    DZ_EXACT = 1,            // 0 is a value in exact writes (records, copies)
    DZ_VALUE = 2,            // 0 is always a value
};

// The field of an identifier, or null.
const DescField *DescFindField(int16_t id);
extern const DescField kDescFields[];
extern const int kDescFieldCount;

// ---- readers (desc_get.cpp) ----
int GH_OwnArraySize(DescReadCtx &, DescValue *);
int GH_RowsetSize(DescReadCtx &, DescValue *);
int GH_ParamsetSize(DescReadCtx &, DescValue *);
int GH_ArrayStatusPtr(DescReadCtx &, DescValue *);
int GH_BindOffsetPtr(DescReadCtx &, DescValue *);
int GH_OwnBindType(DescReadCtx &, DescValue *);
int GH_StmtBindType(DescReadCtx &, DescValue *);
int GH_RowsFetchedPtr(DescReadCtx &, DescValue *);
int GH_ParamsProcessedPtr(DescReadCtx &, DescValue *);
int GH_RecCount(DescReadCtx &, DescValue *);
int GH_ResultCols(DescReadCtx &, DescValue *);
int GH_AllocType(DescReadCtx &, DescValue *);

int GR_OwnConcise(DescReadCtx &, DescValue *);
int GR_AppConcise(DescReadCtx &, DescValue *);
int GR_IrdConcise(DescReadCtx &, DescValue *);
int GR_IpdConcise(DescReadCtx &, DescValue *);
int GR_OwnType(DescReadCtx &, DescValue *);
int GR_AppType(DescReadCtx &, DescValue *);
int GR_IrdType(DescReadCtx &, DescValue *);
int GR_IpdType(DescReadCtx &, DescValue *);
int GR_OwnLength(DescReadCtx &, DescValue *);
int GR_AppLength(DescReadCtx &, DescValue *);
int GR_IrdLength(DescReadCtx &, DescValue *);
int GR_IpdLength(DescReadCtx &, DescValue *);
int GR_OwnOctetLengthPtr(DescReadCtx &, DescValue *);
int GR_AppOctetLengthPtr(DescReadCtx &, DescValue *);
int GR_OwnPrecision(DescReadCtx &, DescValue *);
int GR_IrdPrecision(DescReadCtx &, DescValue *);
int GR_IpdPrecision(DescReadCtx &, DescValue *);
int GR_OwnScale(DescReadCtx &, DescValue *);
int GR_IrdScale(DescReadCtx &, DescValue *);
int GR_IpdScale(DescReadCtx &, DescValue *);
int GR_OwnIntervalCode(DescReadCtx &, DescValue *);
int GR_AppIntervalCode(DescReadCtx &, DescValue *);
int GR_IrdIntervalCode(DescReadCtx &, DescValue *);
int GR_IpdIntervalCode(DescReadCtx &, DescValue *);
int GR_IrdNullable(DescReadCtx &, DescValue *);
int GR_One(DescReadCtx &, DescValue *);
int GR_OwnIndicatorPtr(DescReadCtx &, DescValue *);
int GR_AppIndicatorPtr(DescReadCtx &, DescValue *);
int GR_OwnDataPtr(DescReadCtx &, DescValue *);
int GR_AppDataPtr(DescReadCtx &, DescValue *);
int GR_IrdName(DescReadCtx &, DescValue *);
int GR_OwnName(DescReadCtx &, DescValue *);
int GR_IrdUnnamed(DescReadCtx &, DescValue *);
int GR_OwnUnnamed(DescReadCtx &, DescValue *);
int GR_OwnOctetLength(DescReadCtx &, DescValue *);
int GR_AppOctetLength(DescReadCtx &, DescValue *);
int GR_IrdOctetLength(DescReadCtx &, DescValue *);
int GR_IpdOctetLength(DescReadCtx &, DescValue *);
int GR_IrdDisplaySize(DescReadCtx &, DescValue *);
int GR_IrdUnsigned(DescReadCtx &, DescValue *);
int GR_IpdUnsigned(DescReadCtx &, DescValue *);
int GR_IrdFixedPrecScale(DescReadCtx &, DescValue *);
int GR_IpdFixedPrecScale(DescReadCtx &, DescValue *);
int GR_IrdUpdatable(DescReadCtx &, DescValue *);
int GR_IrdAutoUnique(DescReadCtx &, DescValue *);
int GR_IrdCaseSensitive(DescReadCtx &, DescValue *);
int GR_IrdSearchable(DescReadCtx &, DescValue *);
int GR_IrdTypeName(DescReadCtx &, DescValue *);
int GR_IpdTypeName(DescReadCtx &, DescValue *);
int GR_IrdTableName(DescReadCtx &, DescValue *);
int GR_IrdSchemaName(DescReadCtx &, DescValue *);
int GR_IrdCatalogName(DescReadCtx &, DescValue *);
int GR_IrdLabel(DescReadCtx &, DescValue *);
int GR_IrdBaseColumnName(DescReadCtx &, DescValue *);
int GR_OwnIntervalPrecision(DescReadCtx &, DescValue *);
int GR_IrdLiteralPrefix(DescReadCtx &, DescValue *);
int GR_IrdLiteralSuffix(DescReadCtx &, DescValue *);
int GR_EmptyText(DescReadCtx &, DescValue *);
int GR_OwnRadix(DescReadCtx &, DescValue *);
int GR_AppRadix(DescReadCtx &, DescValue *);
int GR_IrdRadix(DescReadCtx &, DescValue *);
int GR_IpdRadix(DescReadCtx &, DescValue *);
int GR_IpdParameterType(DescReadCtx &, DescValue *);
int GR_IrdRowver(DescReadCtx &, DescValue *);

// ---- writers (desc_set.cpp) ----
SQLRETURN SH_ArraySize(DescSetCtx &);
SQLRETURN SH_ArrayStatusPtr(DescSetCtx &);
SQLRETURN SH_BindOffsetPtr(DescSetCtx &);
SQLRETURN SH_BindType(DescSetCtx &);
SQLRETURN SH_RowsProcessedPtr(DescSetCtx &);
SQLRETURN SH_Count(DescSetCtx &);
SQLRETURN SR_Type(DescSetCtx &);
SQLRETURN SR_ConciseType(DescSetCtx &);
SQLRETURN SR_IntervalPrecision(DescSetCtx &);
SQLRETURN SR_Radix(DescSetCtx &);
SQLRETURN SR_ParameterType(DescSetCtx &);
SQLRETURN SR_Length(DescSetCtx &);
SQLRETURN SR_OctetLengthPtr(DescSetCtx &);
SQLRETURN SR_Precision(DescSetCtx &);
SQLRETURN SR_Scale(DescSetCtx &);
SQLRETURN SR_IntervalCode(DescSetCtx &);
SQLRETURN SR_IndicatorPtr(DescSetCtx &);
SQLRETURN SR_DataPtr(DescSetCtx &);
SQLRETURN SR_Name(DescSetCtx &);
SQLRETURN SR_Unnamed(DescSetCtx &);
SQLRETURN SR_OctetLength(DescSetCtx &);

// ---- bindings made from records (desc_set.cpp) ----

// Binds column n of S to R, record n of ARD D (type, buffer, length and
// indicator); a separate octet-length pointer of the record stays its own.
// 0 or an error number.
int DescBindColFromRec(Stmt *s, Desc *d, uint16_t n, const DescRec *r);
// Binds parameter n of S to APD record R, with the direction, SQL type,
// size and digits of the IPD's record n (input when it has none).  0 or an
// error number.
int DescBindParamFromRec(Stmt *s, uint16_t n, const DescRec *r);

// Runs one write on D in the setting of statement S (or none).
SQLRETURN DescApplyField(Stmt *s, bool app, bool row, bool withStmt, Desc *d, int rec,
                         int16_t field, uint64_t value, int64_t length, int width, unsigned flags);
// DescSetField with write flags.
SQLRETURN DescSetFieldEx(Desc *d, int16_t rec, int16_t field, uint64_t value, int64_t length,
                         int width, unsigned flags);
