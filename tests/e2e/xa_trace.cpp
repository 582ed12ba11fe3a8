// The XA trace: a child process with a trace file configured drives the
// switch of one library and ends; its "-xa" file then holds the header, one
// call line and one result line per entry, with the thread id in front, and
// "** normal end **" written when the library unloaded.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "tests/common/pg_env.h"
#include "tests/common/pg_xa.h"
#include "tests/e2e/xa_monitor.h"

using namespace xamon;

namespace {

bool InChild()
{
    const char *v = getenv("KRS_XA_TRACE_CHILD");
    return v && v[0] == '1';
}

// Runs in the child: a short monitor session on the Unicode library.
TEST(XaTraceChild, MonitorSession)
{
    if (!InChild())
        GTEST_SKIP() << "runs in the child of XaTrace";
    PgEnv base;
    ASSERT_TRUE(PgEnvLoad(base));
    PgEnv pg = PgXaDatabase(base, "krs_xa_e2e");
    Driver drv(pg.libdir, kLibraries[0]);
    ASSERT_TRUE(drv.Loaded());
    xa_switch_t *sw = drv.sw;
    char bad[] = "URL={serverName=127.0.0.1}";
    EXPECT_EQ(sw->xa_open_entry(bad, 1, TMNOFLAGS), XAER_RMERR);
    std::string info = XaInfo(kLibraries[0], pg.port, pg.db, "krs_xa_trace") + ";PWD=TraceSecret1";
    ASSERT_EQ(sw->xa_open_entry(&info[0], 1, TMNOFLAGS), XA_OK);
    SQLHDBC dbc = nullptr;
    EXPECT_EQ(drv.getXaConnect(&dbc), SQL_SUCCESS);
    XID x = MakeXid(1, "traced", "b");
    EXPECT_EQ(sw->xa_start_entry(&x, 1, TMNOFLAGS), XA_OK);
    EXPECT_EQ(sw->xa_end_entry(&x, 1, TMSUCCESS), XA_OK);
    EXPECT_EQ(sw->xa_rollback_entry(&x, 1, TMNOFLAGS), XA_OK);
    XID list[4];
    EXPECT_EQ(sw->xa_recover_entry(list, 4, 1, TMSTARTRSCAN | TMENDRSCAN), 0);
    int handle = 3, result = 0;
    EXPECT_EQ(sw->xa_complete_entry(&handle, &result, 1, TMNOFLAGS), XAER_INVAL);
    EXPECT_EQ(sw->xa_close_entry(&info[0], 1, TMNOFLAGS), XA_OK);
    SQLHENV env = nullptr;
    EXPECT_EQ(drv.getXaEnv(&env), SQL_ERROR);
}

TEST(XaTrace, FileHoldsEveryCallAndResultAndTheNormalEnd)
{
    if (InChild())
        GTEST_SKIP() << "this is the child";
    char dir[] = "/tmp/krs-xatrace-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string trace = std::string(dir) + "/api.trc";
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = '\0';
    std::string cmd = "KRS_XA_TRACE_CHILD=1 KRS_DEBUGFILE='" + trace + "' '" + self +
                      "' --gtest_filter=XaTraceChild.* 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[4096];
    size_t got;
    while ((got = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, got);
    int status = pclose(p);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    ASSERT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;

    std::ifstream in(trace + "-xa");
    std::vector<std::string> lines;
    std::string all;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
        all += line + "\n";
    }
    std::string rm = "rm -rf '" + std::string(dir) + "'";
    EXPECT_EQ(system(rm.c_str()), 0);
    ASSERT_GE(lines.size(), 4u) << all;
    EXPECT_EQ(lines[0], "** Kestrune XA Trace File **");
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(\*\* started on \w{3} \w{3} \d\d \d\d:\d\d:\d\d \d{4} \*\*)")))
        << lines[1];
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines.back(), "** normal end **");
    EXPECT_EQ(all.find("TraceSecret1"), std::string::npos) << all;

    const char *const expected[] = {
        R"(xa_switch_open\(\*\*\*, 1, 0\))",
        R"(xa_switch_open: invalid xaInfo string format)",
        R"(Call returned: XAER_RMERR\(-3\))",
        R"(xa_switch_open\(krs_w, 1, 0\))",
        R"(Call returned: XA_OK\(0\))",
        R"(SQLGetXaConnect\(0x[0-9a-f]+\))",
        R"(Call returned: XA_OK\(0\))",
        R"(xa_switch_start\(0x[0-9a-f]+, 1, 0\))",
        R"(Call returned: XA_OK\(0\))",
        R"(xa_switch_end\(0x[0-9a-f]+, 1, 4000000\))",
        R"(Call returned: XA_OK\(0\))",
        R"(xa_switch_rollback\(0x[0-9a-f]+, 1, 0\))",
        R"(Call returned: XA_OK\(0\))",
        R"(xa_switch_recover\(0x[0-9a-f]+, 4, 1, 1800000\))",
        R"(Call returned: XA_OK\(0\))",
        R"(xa_switch_complete\(3,, 1, 0\))",
        R"(Call returned: XAER_INVAL\(-5\))",
        R"(xa_switch_close\(krs_w, 1, 0\))",
        R"(Call returned: XA_OK\(0\))",
        R"(SQLGetXaEnv\(0x[0-9a-f]+\))",
        R"(Call returned: Unknown\(-1\))",
    };
    // The switch's lines between the header and the end, each with the
    // calling thread's id in front.
    std::vector<std::string> body(lines.begin() + 3, lines.end() - 1);
    ASSERT_EQ(body.size(), sizeof expected / sizeof expected[0]) << all;
    for (size_t i = 0; i < body.size(); ++i)
        EXPECT_TRUE(std::regex_match(body[i], std::regex(std::string(R"(\[\d+\] )") + expected[i])))
            << i << ": " << body[i];
}

} // namespace
