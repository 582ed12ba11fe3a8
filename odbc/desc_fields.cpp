// The descriptor field table: every field identifier with where it lives,
// how it is written to the application, who reads it from what (by
// descriptor kind: USER, IRD, ARD, IPD, APD) and who may write it.
#include <sql.h>
#include <sqlext.h>

#include "odbc/desc_internal.h"

#define H true   // header field
#define R false  // record field
#define NONE nullptr

const DescField kDescFields[] = {
    // ---- header ----
    {SQL_DESC_ARRAY_SIZE, "ARRAY_SIZE", H, DW_LEN,
     {GH_OwnArraySize, NONE, GH_RowsetSize, NONE, GH_ParamsetSize}, DWR_APP, DZ_KEEP, SH_ArraySize},
    {SQL_DESC_ARRAY_STATUS_PTR, "ARRAY_STATUS_PTR", H, DW_POINTER,
     {GH_ArrayStatusPtr, GH_ArrayStatusPtr, GH_ArrayStatusPtr, GH_ArrayStatusPtr, GH_ArrayStatusPtr},
     DWR_ALWAYS, DZ_VALUE, SH_ArrayStatusPtr},
    {SQL_DESC_BIND_OFFSET_PTR, "BIND_OFFSET_PTR", H, DW_POINTER,
     {GH_BindOffsetPtr, NONE, GH_BindOffsetPtr, NONE, GH_BindOffsetPtr}, DWR_APP, DZ_VALUE,
     SH_BindOffsetPtr},
    {SQL_DESC_BIND_TYPE, "BIND_TYPE", H, DW_UINTEGER,
     {GH_OwnBindType, NONE, GH_StmtBindType, NONE, GH_OwnBindType}, DWR_APP, DZ_VALUE, SH_BindType},
    {SQL_DESC_ROWS_PROCESSED_PTR, "ROWS_PROCESSED_PTR", H, DW_POINTER,
     {NONE, GH_RowsFetchedPtr, NONE, GH_ParamsProcessedPtr, NONE}, DWR_IMPL, DZ_VALUE,
     SH_RowsProcessedPtr},
    {SQL_DESC_COUNT, "COUNT", H, DW_SMALLINT,
     {GH_RecCount, GH_ResultCols, GH_RecCount, GH_RecCount, GH_RecCount}, DWR_ANY, DZ_VALUE, SH_Count},
    {SQL_DESC_ALLOC_TYPE, "ALLOC_TYPE", H, DW_SMALLINT,
     {GH_AllocType, GH_AllocType, GH_AllocType, GH_AllocType, GH_AllocType}, DWR_READONLY, DZ_KEEP,
     NONE},

    // ---- records ----
    {SQL_DESC_CONCISE_TYPE, "CONCISE_TYPE", R, DW_SMALLINT,
     {GR_OwnConcise, GR_IrdConcise, GR_AppConcise, GR_IpdConcise, GR_AppConcise}, DWR_ANY, DZ_KEEP,
     SR_ConciseType},
    {SQL_DESC_TYPE, "TYPE", R, DW_SMALLINT,
     {GR_OwnType, GR_IrdType, GR_AppType, GR_IpdType, GR_AppType}, DWR_ANY, DZ_KEEP, SR_Type},
    {SQL_DESC_LENGTH, "LENGTH", R, DW_LEN,
     {GR_OwnLength, GR_IrdLength, GR_AppLength, GR_IpdLength, GR_AppLength}, DWR_ANY, DZ_EXACT,
     SR_Length},
    {SQL_DESC_OCTET_LENGTH_PTR, "OCTET_LENGTH_PTR", R, DW_POINTER,
     {GR_OwnOctetLengthPtr, NONE, GR_AppOctetLengthPtr, NONE, GR_AppOctetLengthPtr}, DWR_APP,
     DZ_VALUE, SR_OctetLengthPtr},
    {SQL_DESC_PRECISION, "PRECISION", R, DW_SMALLINT,
     {GR_OwnPrecision, GR_IrdPrecision, GR_OwnPrecision, GR_IpdPrecision, GR_OwnPrecision}, DWR_ANY,
     DZ_VALUE, SR_Precision},
    {SQL_DESC_SCALE, "SCALE", R, DW_SMALLINT,
     {GR_OwnScale, GR_IrdScale, GR_OwnScale, GR_IpdScale, GR_OwnScale}, DWR_ANY, DZ_VALUE, SR_Scale},
    {SQL_DESC_DATETIME_INTERVAL_CODE, "DATETIME_INTERVAL_CODE", R, DW_SMALLINT,
     {GR_OwnIntervalCode, GR_IrdIntervalCode, GR_AppIntervalCode, GR_IpdIntervalCode,
      GR_AppIntervalCode},
     DWR_ANY, DZ_KEEP, SR_IntervalCode},
    {SQL_DESC_NULLABLE, "NULLABLE", R, DW_SMALLINT, {NONE, GR_IrdNullable, NONE, GR_One, NONE},
     DWR_READONLY, DZ_KEEP, NONE},
    {SQL_DESC_INDICATOR_PTR, "INDICATOR_PTR", R, DW_POINTER,
     {GR_OwnIndicatorPtr, NONE, GR_AppIndicatorPtr, NONE, GR_AppIndicatorPtr}, DWR_APP, DZ_VALUE,
     SR_IndicatorPtr},
    {SQL_DESC_DATA_PTR, "DATA_PTR", R, DW_POINTER,
     {GR_OwnDataPtr, NONE, GR_AppDataPtr, NONE, GR_AppDataPtr}, DWR_DATA, DZ_VALUE, SR_DataPtr},
    {SQL_DESC_NAME, "NAME", R, DW_TEXT, {NONE, GR_IrdName, NONE, GR_OwnName, NONE}, DWR_NOT_APP,
     DZ_EXACT, SR_Name},
    {SQL_DESC_UNNAMED, "UNNAMED", R, DW_SMALLINT, {NONE, GR_IrdUnnamed, NONE, GR_OwnUnnamed, NONE},
     DWR_UNNAMED, DZ_EXACT, SR_Unnamed},
    {SQL_DESC_OCTET_LENGTH, "OCTET_LENGTH", R, DW_LEN,
     {GR_OwnOctetLength, GR_IrdOctetLength, GR_AppOctetLength, GR_IpdOctetLength, GR_AppOctetLength},
     DWR_ANY, DZ_EXACT, SR_OctetLength},
    {SQL_DESC_DISPLAY_SIZE, "DISPLAY_SIZE", R, DW_LEN, {NONE, GR_IrdDisplaySize, NONE, NONE, NONE},
     DWR_READONLY, DZ_KEEP, NONE},
    {SQL_DESC_UNSIGNED, "UNSIGNED", R, DW_SMALLINT,
     {NONE, GR_IrdUnsigned, NONE, GR_IpdUnsigned, NONE}, DWR_READONLY, DZ_KEEP, NONE},
    {SQL_DESC_FIXED_PREC_SCALE, "FIXED_PREC_SCALE", R, DW_SMALLINT,
     {NONE, GR_IrdFixedPrecScale, NONE, GR_IpdFixedPrecScale, NONE}, DWR_READONLY, DZ_KEEP, NONE},
    {SQL_DESC_UPDATABLE, "UPDATABLE", R, DW_SMALLINT, {NONE, GR_IrdUpdatable, NONE, NONE, NONE},
     DWR_READONLY, DZ_KEEP, NONE},
    {SQL_DESC_AUTO_UNIQUE_VALUE, "AUTO_UNIQUE_VALUE", R, DW_INTEGER,
     {NONE, GR_IrdAutoUnique, NONE, NONE, NONE}, DWR_READONLY, DZ_KEEP, NONE},
    {SQL_DESC_CASE_SENSITIVE, "CASE_SENSITIVE", R, DW_INTEGER,
     {NONE, GR_IrdCaseSensitive, NONE, GR_One, NONE}, DWR_READONLY, DZ_KEEP, NONE},
    {SQL_DESC_SEARCHABLE, "SEARCHABLE", R, DW_SMALLINT, {NONE, GR_IrdSearchable, NONE, NONE, NONE},
     DWR_READONLY, DZ_KEEP, NONE},
    {SQL_DESC_TYPE_NAME, "TYPE_NAME", R, DW_TEXT,
     {NONE, GR_IrdTypeName, NONE, GR_IpdTypeName, NONE}, DWR_READONLY, DZ_KEEP, NONE},
    {SQL_DESC_TABLE_NAME, "TABLE_NAME", R, DW_TEXT, {NONE, GR_IrdTableName, NONE, NONE, NONE},
     DWR_READONLY, DZ_KEEP, NONE},
    {SQL_DESC_SCHEMA_NAME, "SCHEMA_NAME", R, DW_TEXT, {NONE, GR_IrdSchemaName, NONE, NONE, NONE},
     DWR_READONLY, DZ_KEEP, NONE},
    {SQL_DESC_CATALOG_NAME, "CATALOG_NAME", R, DW_TEXT, {NONE, GR_IrdCatalogName, NONE, NONE, NONE},
     DWR_READONLY, DZ_KEEP, NONE},
    {SQL_DESC_LABEL, "LABEL", R, DW_TEXT, {NONE, GR_IrdLabel, NONE, NONE, NONE}, DWR_READONLY,
     DZ_KEEP, NONE},
    {SQL_DESC_BASE_COLUMN_NAME, "BASE_COLUMN_NAME", R, DW_TEXT,
     {NONE, GR_IrdBaseColumnName, NONE, NONE, NONE}, DWR_READONLY, DZ_KEEP, NONE},
    {SQL_DESC_BASE_TABLE_NAME, "BASE_TABLE_NAME", R, DW_TEXT,
     {NONE, GR_IrdTableName, NONE, NONE, NONE}, DWR_READONLY, DZ_KEEP, NONE},
    {SQL_DESC_DATETIME_INTERVAL_PRECISION, "DATETIME_INTERVAL_PRECISION", R, DW_UINTEGER,
     {GR_OwnIntervalPrecision, GR_OwnIntervalPrecision, GR_OwnIntervalPrecision,
      GR_OwnIntervalPrecision, GR_OwnIntervalPrecision},
     DWR_ANY, DZ_EXACT, SR_IntervalPrecision},
    {SQL_DESC_LITERAL_PREFIX, "LITERAL_PREFIX", R, DW_TEXT,
     {NONE, GR_IrdLiteralPrefix, NONE, NONE, NONE}, DWR_READONLY, DZ_KEEP, NONE},
    {SQL_DESC_LITERAL_SUFFIX, "LITERAL_SUFFIX", R, DW_TEXT,
     {NONE, GR_IrdLiteralSuffix, NONE, NONE, NONE}, DWR_READONLY, DZ_KEEP, NONE},
    {SQL_DESC_LOCAL_TYPE_NAME, "LOCAL_TYPE_NAME", R, DW_TEXT,
     {NONE, GR_EmptyText, NONE, GR_EmptyText, NONE}, DWR_READONLY, DZ_KEEP, NONE},
    {SQL_DESC_NUM_PREC_RADIX, "NUM_PREC_RADIX", R, DW_INTEGER,
     {GR_OwnRadix, GR_IrdRadix, GR_AppRadix, GR_IpdRadix, GR_AppRadix}, DWR_ANY, DZ_VALUE, SR_Radix},
    {SQL_DESC_PARAMETER_TYPE, "PARAMETER_TYPE", R, DW_SMALLINT,
     {NONE, NONE, NONE, GR_IpdParameterType, NONE}, DWR_NOT_APP, DZ_KEEP, SR_ParameterType},
    {SQL_DESC_ROWVER, "ROWVER", R, DW_SMALLINT, {NONE, GR_IrdRowver, NONE, NONE, NONE}, DWR_READONLY,
     DZ_KEEP, NONE},
};

const int kDescFieldCount = sizeof kDescFields / sizeof kDescFields[0];

const DescField *DescFindField(int16_t id)
{
    for (const DescField &f : kDescFields)
        if (f.id == id)
            return &f;
    return nullptr;
}
