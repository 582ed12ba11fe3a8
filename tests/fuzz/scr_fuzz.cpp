// Fuzz target of the SQL analyser: any byte string goes through
// SCR_AnalyseSQL, every question, the marks and their splice, and the
// parameter probes.  Besides not crashing or leaking, a statement that parses
// must regenerate to a text that parses again to the same text, and the
// probes must never describe more markers than the statement has nor carry a
// marker of their own.
//
// Built with libFuzzer (clang) as scr_fuzz; without it, the same file with
// KRS_FUZZ_DRIVER is a bounded driver that runs the seeds and a fixed number
// of random mutations of them.
#include "scrs/scr_analyse.h"
#include "scrs/scr_probes.h"
#include "util/dynarray.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void check(bool ok, const char *what, const std::string &sql)
{
    if (!ok) {
        fprintf(stderr, "scr_fuzz: %s\n  statement: %s\n", what, sql.c_str());
        abort();
    }
}

int countMarkers(SqlNode *n)
{
    int count = 0;
    SQLT_Walk(
        n,
        [](SqlNode *x, int, void *c) {
            *static_cast<int *>(c) += x->kind == SQLK_MARKER;
            return 1;
        },
        0, &count);
    return count;
}

void questions(ScrAnalysedSql *r)
{
    DynArray *tables = DA_New(sizeof(ScrTableRef));
    DynArray *cols = DA_New(sizeof(ScrColumnRef));
    DynArray *order = DA_New(sizeof(OrderByColDesc));
    SCR_TablesGet(r, tables, 1);
    SCR_SelectColsGet(r, cols);
    if (SCR_OrderByColsGet(r, order) == 0) {
        OrderByColDesc *o = static_cast<OrderByColDesc *>(order->elements);
        for (uint32_t i = 0; i < order->count; ++i)
            if (o[i].position)
                strcpy(o[i].text, "k");
        SCR_OrderByPosResolve(r, order);
    }
    SCR_OrderByInvert(r);
    DA_Free(&tables, SCR_TableRefFree);
    DA_Free(&cols, nullptr);
    DA_Free(&order, nullptr);
}

void marks(ScrAnalysedSql *r)
{
    int n = 0;
    n += SCR_SelectListMark(r) == 0;
    n += SCR_WhereMark(r) == 0;
    n += SCR_OrderByMark(r) == 0;
    const char *clauses[] = {"k1", "k2 = ?", "k3"};
    char *out = nullptr;
    int rc = SCR_MarkersFill(r, clauses, n, &out);
    check(n == 0 || rc == 0, "marked statement could not be filled", r->statement ? r->statement : "");
    free(out);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string sql(reinterpret_cast<const char *>(data), size);
    sql = sql.c_str();   // a statement text ends at its first NUL

    ScrAnalysedSql r;
    SCR_Init(&r);
    int rc = SCR_AnalyseSQL(&r, sql.c_str(), 0, 1);
    const int markers = r.tree ? countMarkers(r.tree) : 0;
    if (rc == 0 && r.kind != SQLK_OTHER && r.kind != SQLK_CALL) {
        std::string text = r.tree->text;
        ScrAnalysedSql again;
        SCR_Init(&again);
        check(SCR_AnalyseSQL(&again, text.c_str(), 0, 1) == 0, "regenerated text does not parse", sql);
        check(again.kind == r.kind, "regenerated text changes the statement kind", sql);
        check(text == again.tree->text, "regeneration is not stable", sql);
        SCR_Free(&again);
        questions(&r);
        marks(&r);
    }
    SCR_Free(&r);

    ScrParamProbes p;
    SCR_ParamProbesInit(&p, "NULL");
    if (SCR_ParamProbesGet(&p, sql.c_str()) == 0 && !p.markerMap)
        check(p.describedCount <= markers, "probes describe more markers than there are", sql);
    for (int i = 0; i < p.probeCount; ++i) {
        ScrAnalysedSql probe;
        SCR_Init(&probe);
        if (SCR_AnalyseSQL(&probe, p.probes[i], 1, 0) == 0)
            check(probe.kind == SQLK_SELECT && countMarkers(probe.tree) == 0, "a probe carries a marker", sql);
        SCR_Free(&probe);
    }
    SCR_ParamProbesFree(&p);
    return 0;
}

#ifdef KRS_FUZZ_DRIVER
// Bounded driver: each seed line, then `rounds` random mutations (bytes
// replaced, dropped, doubled, or a dictionary word spliced in) with a fixed
// random seed, so that a run is repeatable.
int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: %s seeds.txt [rounds]\n", argv[0]);
        return 2;
    }
    FILE *f = fopen(argv[1], "r");
    if (!f) {
        perror(argv[1]);
        return 2;
    }
    std::string seeds[256];
    int n = 0;
    char line[4096];
    while (n < 256 && fgets(line, sizeof line, f)) {
        seeds[n] = line;
        while (!seeds[n].empty() && seeds[n].back() == '\n')
            seeds[n].pop_back();
        ++n;
    }
    fclose(f);
    const long rounds = argc > 2 ? strtol(argv[2], nullptr, 10) : 20000;
    static const char *words[] = {" SELECT ", " FROM ", " WHERE ", "?", "(", ")", ",", "'", "\"", "{", "}", " AND ",
                                  " OR ", " IN ", "--", "\n", "\x01\x01\x01", "\xff", " UNION SELECT a FROM b ",
                                  " ORDER BY 1", "*", ".", "@", ":", " CASE WHEN a THEN b END "};
    for (int i = 0; i < n; ++i)
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(seeds[i].data()), seeds[i].size());
    unsigned state = 12345;
    auto rnd = [&state](unsigned m) {
        state = state * 1103515245u + 12345u;
        return m ? (state >> 16) % m : 0;
    };
    for (long k = 0; k < rounds && n > 0; ++k) {
        std::string s = seeds[rnd(static_cast<unsigned>(n))];
        for (unsigned edits = 1 + rnd(4); edits-- > 0;) {
            size_t at = s.empty() ? 0 : rnd(static_cast<unsigned>(s.size()));
            switch (rnd(4)) {
            case 0:
                if (!s.empty())
                    s[at] = static_cast<char>(rnd(256));
                break;
            case 1:
                if (!s.empty())
                    s.erase(at, 1 + rnd(8));
                break;
            case 2:
                s.insert(at, s.substr(at, rnd(16)));
                break;
            default:
                s.insert(at, words[rnd(sizeof words / sizeof words[0])]);
                break;
            }
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(s.data()), s.size());
    }
    printf("scr_fuzz: %d seeds, %ld mutations\n", n, rounds);
    return 0;
}
#endif
