// Parameter probes of the SQL analyser: queries whose result columns describe
// the parameter markers of a statement.  Until the analyser is built every
// statement answers "no probe" (68) and the back end keeps its default
// parameter descriptions.
#pragma once
#include <cstdint>

struct ScrParamProbes {
    char **probes;           // probe query texts, a null entry ends them
    int32_t probeCount;
    int32_t markerCount;     // parameter markers the probes describe
    char *insertMarkerMap;   // INSERT: entry k is '?' when result column k is a marker; else null
    int32_t statementKind;   // -1 none
    const char *nullText;    // what stands for a NULL operand in the probes
    char *statement;         // copy of the analysed text
};

// Clears the record and keeps the text that stands for NULL.
void SCR_ParamProbesInit(ScrParamProbes *p, const char *nullText);
// Builds the probes of a statement; 0, or 68 when the text does not parse
// (no probes then).
int SCR_ParamProbesGet(ScrParamProbes *p, const char *sql);
// Frees what the record holds; a null record does nothing.
void SCR_ParamProbesFree(ScrParamProbes *p);
