// Wrappers of the java.sql.DatabaseMetaData catalog methods and of the
// table-type list conversion.  Each runs in the context of the statement that
// will carry the result (JNIEnv, string mode, chain) on the connection's
// DatabaseMetaData, and answers 0, ERR_GENERAL when an argument String cannot be made,
// or CheckException's number with the Java diagnostic on the statement's
// chain.  The ResultSet is handed out as a local reference the caller owns.
//
// Text arguments reach Java by one of three rules, given per argument below:
//   NE  null if empty: a NULL pointer and "" both become a Java null;
//   NN  null if NULL:  only a NULL pointer does, "" stays an empty String;
//   EN  empty if NULL: a NULL pointer becomes "", every text is a String.
#pragma once
#include <jni.h>

#include <cstdint>

struct DrvStmt;

// catalog NE, schema NN, table NN, type list (String[] by jc_TableTypeArray;
// NULL counts as empty and gives a null array).  The list is changed in place.
int jc_DatabaseMetaData_getTables(DrvStmt *s, jobject md, const char *catalog, const char *schema,
                                  const char *table, char *types, jobject *out);
// catalog NE, schema EN, table EN, column EN.
int jc_DatabaseMetaData_getColumns(DrvStmt *s, jobject md, const char *catalog, const char *schema,
                                   const char *table, const char *column, jobject *out);
// catalog NE, schema NE, procedure EN, column EN.
int jc_DatabaseMetaData_getProcedureColumns(DrvStmt *s, jobject md, const char *catalog,
                                            const char *schema, const char *procedure,
                                            const char *column, jobject *out);
// catalog NE, schema NE, procedure EN.
int jc_DatabaseMetaData_getProcedures(DrvStmt *s, jobject md, const char *catalog, const char *schema,
                                      const char *procedure, jobject *out);
// catalog NE, schema NE, table EN.
int jc_DatabaseMetaData_getTablePrivileges(DrvStmt *s, jobject md, const char *catalog,
                                           const char *schema, const char *table, jobject *out);
// catalog NE, schema NE, table NE, column EN.
int jc_DatabaseMetaData_getColumnPrivileges(DrvStmt *s, jobject md, const char *catalog,
                                            const char *schema, const char *table, const char *column,
                                            jobject *out);
// catalog NE, schema NE, table EN; booleans passed as their low 8 bits.
int jc_DatabaseMetaData_getIndexInfo(DrvStmt *s, jobject md, const char *catalog, const char *schema,
                                     const char *table, uint8_t unique, uint8_t approximate, jobject *out);
// catalog NE, schema NE, table EN.
int jc_DatabaseMetaData_getPrimaryKeys(DrvStmt *s, jobject md, const char *catalog, const char *schema,
                                       const char *table, jobject *out);
int jc_DatabaseMetaData_getVersionColumns(DrvStmt *s, jobject md, const char *catalog,
                                          const char *schema, const char *table, jobject *out);
int jc_DatabaseMetaData_getBestRowIdentifier(DrvStmt *s, jobject md, const char *catalog,
                                             const char *schema, const char *table, int32_t scope,
                                             uint8_t nullable, jobject *out);
int jc_DatabaseMetaData_getImportedKeys(DrvStmt *s, jobject md, const char *catalog, const char *schema,
                                        const char *table, jobject *out);
int jc_DatabaseMetaData_getExportedKeys(DrvStmt *s, jobject md, const char *catalog, const char *schema,
                                        const char *table, jobject *out);
// Each side: catalog NE, schema NE, table EN; the primary-key side first.
int jc_DatabaseMetaData_getCrossReference(DrvStmt *s, jobject md, const char *pkCatalog,
                                          const char *pkSchema, const char *pkTable, const char *fkCatalog,
                                          const char *fkSchema, const char *fkTable, jobject *out);
int jc_DatabaseMetaData_getCatalogs(DrvStmt *s, jobject md, jobject *out);
int jc_DatabaseMetaData_getSchemas(DrvStmt *s, jobject md, jobject *out);
int jc_DatabaseMetaData_getTableTypes(DrvStmt *s, jobject md, jobject *out);
int jc_DatabaseMetaData_getTypeInfo(DrvStmt *s, jobject md, jobject *out);

// The comma-separated table-type list (split in place) as a new String
// array, or a null array for an empty list.  Each item loses one quote
// (' or ") at its start and one at its end; nothing else is trimmed.  0, ERR_GENERAL
// (String class or array missing, an item that cannot be made) or
// CheckException's number; *out is null on every failure.
int jc_TableTypeArray(DrvStmt *s, char *list, jobjectArray *out);
