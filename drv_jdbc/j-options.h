// DrvOptions: the process-wide block of back-end options that the
// connection-string code fills and DRV_Connect copies into each connection.
#pragma once
#include <cstdint>

struct DrvOptions {
    int32_t cursorSensitivity;  // DYN_CURS_SENSITIVITY: 0 LOW, 1 HIGH, 2 DISABLED
    int32_t jet;                // JET
    int32_t noAutoCommit;       // NOAC
    int32_t maxRows;            // MAXROWS
    int32_t noRowsetSizeLimit;  // NRSSL
    char *initialSql;           // INITSQL file name (heap), or NULL
    int32_t jSqlStatisticsOff;  // J_SSTOFF
    int32_t jDropCatalog;       // J_DCAT
    int32_t jDropSchema;        // J_DSCH
    int32_t jNoQuotedIdent;     // J_NSQI
    uint32_t patchNullSizeOfSqlChar;  // PNSOSC
    int32_t noSearchEscape;     // NSSSE
    char *sqlDbmsName;          // SQLDBMSNAME (heap), or NULL
    int32_t negPrecFix;         // NEGPRECFIX
};

// The process-wide block; guarded by the handle layer's connect lock.
extern DrvOptions drvOptions;
