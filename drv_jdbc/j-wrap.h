// Wrappers of java.sql.Connection, java.sql.Statement and
// java.sql.ResultSetMetaData: one per Java method, named jc_ + class + _ +
// method.  Each takes its context record (DrvConn or DrvStmt: JNIEnv,
// StringMode, ErrChain) and the Java object first and answers 0, or
// CheckException's number with the Java diagnostic on the record's chain.
#pragma once
#include <jni.h>

#include <cstddef>
#include <cstdint>

struct DrvConn;
struct DrvStmt;

// java.sql.Connection
int jc_Connection_getMetaData(DrvConn *c, jobject conn, jobject *out);
int jc_Connection_getAutoCommit(DrvConn *c, jobject conn, uint8_t *out);
int jc_Connection_getTransactionIsolation(DrvConn *c, jobject conn, int32_t *out);
// Copies at most size - 1 bytes of the catalog (the empty text for null) and a NUL.
int jc_Connection_getCatalog(DrvConn *c, jobject conn, char *buf, size_t size);
int jc_Connection_createStatement(DrvConn *c, jobject conn, jobject *out);
// The statement makers keep their result in s->stmt (a global reference).
int jc_Connection_createStatementForStmt(DrvStmt *s, jobject conn);
// ERR_SYNTAX_OR_ACCESS when the database refuses the text.
int jc_Connection_prepareStatement(DrvStmt *s, jobject conn, const char *sql);
int jc_Connection_prepareCall(DrvStmt *s, jobject conn, const char *sql);
int jc_Connection_close(DrvConn *c, jobject conn);
int jc_Connection_commit(DrvConn *c, jobject conn);
int jc_Connection_rollback(DrvConn *c, jobject conn);
int jc_Connection_setAutoCommit(DrvConn *c, jobject conn, uint32_t on);
int jc_Connection_setReadOnly(DrvConn *c, jobject conn, uint32_t on);
int jc_Connection_setCatalog(DrvConn *c, jobject conn, const char *catalog);
int jc_Connection_setTransactionIsolation(DrvConn *c, jobject conn, int32_t level);
// *out: a new heap text (free()) of the native SQL, "" for a null answer;
// ERR_MEMORY_ALLOCATION when it cannot be copied.
int jc_Connection_nativeSQL(DrvConn *c, jobject conn, const char *sql, char **out);

// java.sql.Statement
// *isResultSet: 1 when the first result is a ResultSet; ERR_SYNTAX_OR_ACCESS on a Java failure.
int jc_Statement_execute(DrvStmt *s, jobject stmt, const char *sql, uint8_t *isResultSet);
int jc_Statement_executeForConn(DrvConn *c, jobject stmt, const char *sql);
int jc_Statement_closeForConn(DrvConn *c, jobject stmt);
int jc_Statement_close(DrvStmt *s, jobject stmt);
int jc_Statement_getMoreResults(DrvStmt *s, jobject stmt, uint8_t *out);
int jc_Statement_getUpdateCount(DrvStmt *s, jobject stmt, int32_t *out);
int jc_Statement_setCursorName(DrvStmt *s, jobject stmt, const char *name);
int jc_Statement_getQueryTimeout(DrvStmt *s, jobject stmt, int32_t *out);
int jc_Statement_setQueryTimeout(DrvStmt *s, jobject stmt, int32_t seconds);
int jc_Statement_setMaxRows(DrvStmt *s, jobject stmt, int32_t rows);
// ERR_GENERAL (nothing posted) when the vendor class com.informix.jdbc.IfmxStatement
// is not there or the statement is not one of it; ERR_SYNTAX_OR_ACCESS when getSerial fails.
int jc_Statement_getSerial(DrvStmt *s, jobject stmt, int32_t *out);

// Batches: the current parameters added to the statement's batch, the batch
// run (*counts: a local reference to its update counts) or dropped.
int jc_PreparedStatement_addBatch(DrvStmt *s, jobject ps);
int jc_Statement_executeBatch(DrvStmt *s, jobject stmt, jintArray *counts);
int jc_Statement_clearBatch(DrvStmt *s, jobject stmt);

// java.sql.ResultSetMetaData (column numbers from 1)
int jc_ResultSetMetaData_getColumnCount(DrvStmt *s, jobject md, int32_t *out);
int jc_ResultSetMetaData_getColumnDisplaySize(DrvStmt *s, jobject md, int32_t col, int32_t *out);
int jc_ResultSetMetaData_getColumnType(DrvStmt *s, jobject md, int32_t col, int32_t *out);
int jc_ResultSetMetaData_getPrecision(DrvStmt *s, jobject md, int32_t col, int32_t *out);
int jc_ResultSetMetaData_getScale(DrvStmt *s, jobject md, int32_t col, int32_t *out);
int jc_ResultSetMetaData_isNullable(DrvStmt *s, jobject md, int32_t col, int32_t *out);
int jc_ResultSetMetaData_isCaseSensitive(DrvStmt *s, jobject md, int32_t col, uint8_t *out);
int jc_ResultSetMetaData_isAutoIncrement(DrvStmt *s, jobject md, int32_t col, uint8_t *out);
int jc_ResultSetMetaData_isSearchable(DrvStmt *s, jobject md, int32_t col, uint8_t *out);
int jc_ResultSetMetaData_isReadOnly(DrvStmt *s, jobject md, int32_t col, uint8_t *out);
int jc_ResultSetMetaData_isWritable(DrvStmt *s, jobject md, int32_t col, uint8_t *out);
// *out: a new heap text (free()); "" for a null label; NULL (still 0) when it cannot be copied.
int jc_ResultSetMetaData_getColumnLabel(DrvStmt *s, jobject md, int32_t col, char **out);
int jc_ResultSetMetaData_getColumnName(DrvStmt *s, jobject md, int32_t col, char **out);
// The database's own name of the column's type ("int4", "varchar" ...).
int jc_ResultSetMetaData_getColumnTypeName(DrvStmt *s, jobject md, int32_t col, char **out);
// The label's first 40 bytes in a field of 41 bytes, zero-filled; ERR_GENERAL
// when it cannot be copied.
constexpr size_t RSMD_LABEL_FIELD = 40;
int jc_ResultSetMetaData_getColumnLabelFixed(DrvStmt *s, jobject md, int32_t col,
                                             char field[RSMD_LABEL_FIELD + 1]);
