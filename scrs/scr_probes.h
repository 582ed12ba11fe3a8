// Parameter probes: SELECT statements over a statement's own tables that
// name, for each parameter marker, the column or expression whose type the
// marker takes, with a condition that returns no row.  Column n of the
// probes, taken in order, describes parameter n.  The analyser only builds
// the texts; the back end prepares them.
//
// A marker is described only where its place is certain: in a predicate of a
// WHERE or HAVING condition, a SET item, or an INSERT value or select item
// with a column list.  Markers elsewhere (select lists, subqueries, join
// conditions) are left undescribed, so that the described count then differs
// from the statement's marker count and the caller keeps its defaults; a
// probe never describes more markers than it covers.
#pragma once
#include "scrs/scr_analyse.h"

#include <cstdint>

struct ScrParamProbes {
    ScrAnalysedSql sql;       // the parsed statement (its flags stay 0)
    char **probes;            // owned probe texts, NULL after the last
    int32_t probeCount;
    int32_t describedCount;   // markers the probes describe (an INSERT map: its length)
    char *markerMap;          // INSERT without a column list: per VALUES item '?'
                              // (a marker) or 'X', NUL-terminated; else NULL
    const char *nullText;     // written for an operand that has no column; not owned
};

// Clears the record and keeps the text that stands for NULL.  NULL is ignored.
void SCR_ParamProbesInit(ScrParamProbes *p, const char *nullText);
// Builds the probes of a statement (what the record held is freed first).
// ERR_SYNTAX_OR_ACCESS when the text does not parse, else 0 whatever was built: the caller
// judges the probes by their counts.
int SCR_ParamProbesGet(ScrParamProbes *p, const char *text);
// Frees what the record holds; the NULL text stays.  NULL is ignored.
void SCR_ParamProbesFree(ScrParamProbes *p);
