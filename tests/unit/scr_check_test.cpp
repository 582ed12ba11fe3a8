// Internal checks of the analyser and the cursor library: a check that
// answers ERR_GENERAL still answers it, and its log line (which a trace
// shows) names the file and the line of the check that fired.
#include <gtest/gtest.h>

#include "odbc/contract/errnum.h"
#include "odbc/contract/rowblock.h"
#include "scrs/sc_check.h"
#include "scrs/scr_analyse.h"
#include "scrs/scs_keyset.h"
#include "util/log.h"

#include <cstdlib>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_lines;

void captureWrite(LogSink *, int, const char *line) { g_lines.emplace_back(line); }

// Captures every debug line while a test runs.
class CheckLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_lines.clear();
        sink_ = LOG_OpenCallbacks(captureWrite, nullptr, LOG_LEVEL_DEBUG, LOG_CATEGORY_ALL, 0);
        ASSERT_NE(sink_, nullptr);
    }
    void TearDown() override
    {
        LOG_Close(sink_);
        free(sink_);
        g_lines.clear();
    }
    LogSink *sink_ = nullptr;
};

// The source line `line` of scrs/<file>, "" when it cannot be read.
std::string sourceLine(const std::string &file, int line)
{
    const char *root = getenv("KRS_TEST_SRCDIR");
    std::ifstream in(std::string(root ? root : ".") + "/scrs/" + file);
    std::string text;
    for (int n = 1; std::getline(in, text); ++n)
        if (n == line)
            return text;
    return "";
}

TEST_F(CheckLog, TheLineNamesTheCallersFileAndLine)
{
    EXPECT_EQ(SC_GeneralErrorAt("/any/where/scs_sample.cpp", 42), ERR_GENERAL);
    ASSERT_EQ(g_lines.size(), 1u);
    EXPECT_EQ(g_lines[0], "S1000 General error: check at scs_sample.cpp:42\n");
}

struct CheckCase {
    const char *name;
    const char *file;                 // the file the check stands in
    std::function<int()> call;        // a call that makes the check fail
};

TEST_F(CheckLog, AFailedCheckNamesItsPlace)
{
    const CheckCase cases[] = {
        {"key columns split off a block with fewer columns", "scs_blocks.cpp",
         [] {
             RowBlock rows{}, keys{};
             EXPECT_EQ(RB_Init(&rows, 1), 0);
             rows.columnsUsed = 1;
             const int rc = KS_KeysSplitOff(&rows, 2, &keys);
             RB_Free(&rows);
             RB_Free(&keys);
             return rc;
         }},
        {"select list marked in a statement that is no SELECT", "scr_marks.cpp",
         [] {
             ScrAnalysedSql sql;
             SCR_Init(&sql);
             EXPECT_EQ(SCR_AnalyseSQL(&sql, "DELETE FROM t WHERE a = 1", 0, 1), 0);
             const int rc = SCR_SelectListMark(&sql);
             SCR_Free(&sql);
             return rc;
         }},
    };
    const std::regex place("^S1000 General error: check at ([a-z_]+\\.cpp):([0-9]+)\n$");
    for (const CheckCase &c : cases) {
        SCOPED_TRACE(c.name);
        g_lines.clear();
        EXPECT_EQ(c.call(), ERR_GENERAL);
        std::vector<std::smatch> named;
        for (const std::string &l : g_lines) {
            std::smatch m;
            if (std::regex_match(l, m, place))
                named.push_back(m);
        }
        ASSERT_FALSE(named.empty()) << "no log line names the check";
        const std::smatch &m = named.back();
        EXPECT_EQ(m[1].str(), c.file);
        EXPECT_NE(sourceLine(m[1].str(), std::stoi(m[2].str())).find("SC_ERR_GENERAL"), std::string::npos)
            << "line " << m[2].str() << " of " << m[1].str() << " is no check";
    }
}

} // namespace
