// Connection strings and data-source configuration: the process-wide table of
// 30 connection keywords, completed from odbc.ini, a File DSN or section
// "Default"; the login dialog; the back-end options block; the output
// connection string (DrvConfigOps, odbc/contract/drv_config.h).  Everything
// here runs under the connect lock.
#pragma once
#include <sql.h>

#include <cstdint>

struct DrvConfigOps;
struct DrvConnSettings;

enum DsnKey : int {
    KW_DSN, KW_UID, KW_PWD, KW_JDBC, KW_URL, KW_READONLY, KW_FBS, KW_NLB, KW_MAXROWS, KW_NOAC,
    KW_NRSSL, KW_FDSN, KW_INITSQL, KW_DYN_CURS_SENSITIVITY, KW_DLF, KW_J_DCAT, KW_J_DSCH,
    KW_J_SSTOFF, KW_J_NSQI, KW_PNSOSC, KW_NSSSE, KW_DRIVER, KW_FILEDSN, KW_LOGJCALLS,
    KW_SQLDBMSNAME, KW_MASE, KW_IV, KW_IA, KW_NEGPRECFIX, KW_JET,
    KW_COUNT
};

struct DsnKeyword {
    const char *key;      // short keyword of connection strings (any case)
    const char *iniName;  // value name in odbc.ini sections; NULL: connection string only
    int traced;           // shown by the verbose connect trace
    int32_t room;         // bytes of a value read from a file, terminator included
    int32_t supplied;     // 1 when the connection string (or SQLConnect) gave it
    char *value;          // heap text, or NULL
};

extern DsnKeyword dsnKeywords[KW_COUNT];
// DLF, kept beside the back-end options block for the output string only.
extern int32_t drvOptionDLF;

// Empties the table (values freed, nothing supplied).
void ClearConnAttributes();
// Splits text at each ';' outside braces into key=value pairs and stores the
// known keys as supplied.  Keys are trimmed and matched in any case; one pair
// of enclosing braces is removed from every value but DRIVER's and URL's.
// The text is changed in place.
void ParseConnAttributes(char *text);
// Stores one keyword value as supplied (NULL stores nothing).
void SetConnAttribute(int key, const char *value);
// Reads every keyword that is not supplied from exactly one place: the DSN's
// odbc.ini section, else the File DSN, else odbc.ini section "Default".  The
// files' text arrives unchanged in either width.
void CompleteConnAttributes(int width);
// ClearConnAttributes; with a text, ParseConnAttributes and CompleteConnAttributes.
void ReadConnAttributes(char *text, int width);

// True for "TRUE", "YES" or "1" in any case.
bool ConnStrIsTrue(const char *value);
// A keyword's value, "" when it has none.
const char *ConnAttr(int key);
// 2 for D/d, 1 for H/h, else 0 (also for NULL).
int ParseCursorSensitivity(const char *text);
// "LOW", "HIGH", "DISABLED".
const char *CursorSensitivityName(int sensitivity);
// The description of the DSN's driver from the "ODBC Data Sources" list of
// odbc.ini (up to 254 characters, "" when not found); NULL when memory is short.
char *GetDSNDriverName();
// The description the login dialog shows for a DRIVER value: what follows the
// first '{' up to the next '}'.  Heap text; NULL when memory is short.
char *DriverDescription(const char *driver);

// A copy of a connection string whose password values read "***", for traces.
// NULL for NULL or when memory is short.
char *ConnStrMasked(const char *text);
// The output connection string (long form when DRIVER was given), built from
// the table and the settings; the password printed as given, or as pwdShown
// when that is not NULL.  Heap text; NULL when memory is short.
char *BuildOutConnStr(const DrvConnSettings *settings, const char *pwdShown);

// The configuration as the library's assembly hands it to the handle layer.
const DrvConfigOps *DRV_JdbcConfig();
