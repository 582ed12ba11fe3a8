// Parameter arrays as one JDBC batch: under manual commit the sets of an
// INSERT, UPDATE or DELETE go to the server in one round trip, with the
// same row counts, failing set and diagnostics as when each set runs by
// itself.
#pragma once
#include <cstdint>

struct DrvStmt;

// Whether the sets of the statement's parameters can travel as one batch:
// more than one set of input values held in the block (no long values, no
// values still to come), a single INSERT, UPDATE or DELETE returning no rows,
// and the connection under manual commit.
bool batchable(DrvStmt *s, int32_t sets);

// Runs the sets as one batch inside a savepoint.  When the batch fails, the
// savepoint is rolled back and the sets run one by one (executeSets), so the
// set that fails, the sets done before it and the diagnostic are those of
// the one-by-one run.  A cancelled batch or a lost connection stops at the
// first set.  0 or the failure's number.
int executeBatched(DrvStmt *s, int32_t sets);

// Whether a statement text is one statement without a RETURNING clause
// (quoted texts, quoted names and comments skipped).
bool batchableText(const char *sql);
