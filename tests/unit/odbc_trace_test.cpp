// The ODBC API trace and its XA companion: names, header and closing lines,
// the writers, the registry setting, symbolic links, "stderr" and passwords.
#include "odbc/trace.h"

#include <gtest/gtest.h>
#include <sql.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "odbc/errors.h"
#include "platform/sysinfo.h"
#include "util/strutil.h"

namespace {

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : text) {
        if (c == '\n') {
            out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

bool Exists(const std::string &path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// True when text has the shape: '9' a digit, 'A' an upper-case letter, 'a' a
// lower-case letter, any other character itself.
bool Shaped(const std::string &text, const std::string &shape) {
    if (text.size() != shape.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i], s = shape[i];
        bool ok = s == '9' ? (c >= '0' && c <= '9')
                : s == 'A' ? (c >= 'A' && c <= 'Z')
                : s == 'a' ? (c >= 'a' && c <= 'z')
                : c == s;
        if (!ok) return false;
    }
    return true;
}

bool IsStartedLine(const std::string &l) {
    static const char *const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (!Shaped(l, "** started on Aaa Aaa 99 99:99:99 9999 **")) return false;
    bool day = false, month = false;
    for (const char *d : days) day |= l.compare(14, 3, d) == 0;
    for (const char *m : months) month |= l.compare(18, 3, m) == 0;
    return day && month;
}

bool IsFinishedLine(const std::string &l) {
    return Shaped(l, "** finished on Aaa Aaa 99 99:99:99 9999 **");
}

class TraceTest : public ::testing::Test {
protected:
    std::string dir;

    void SetUp() override {
        char tmpl[] = "/tmp/krs_trace_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        // An empty registry: only KRS_DEBUGFILE can switch tracing on.
        WriteRegistry("");
        unsetenv("KRS_DEBUGFILE");
        umask(022);
    }

    void TearDown() override {
        TR_Close(TR_KIND_XA);
        TR_Close(TR_KIND_ODBC);
        unsetenv("KRS_DEBUGFILE");
        unsetenv("KRS_REGISTRY_FILE");
        std::string cmd = "rm -rf '" + dir + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }

    void WriteRegistry(const std::string &text) {
        std::string path = dir + "/registry.ini";
        std::ofstream(path) << text;
        setenv("KRS_REGISTRY_FILE", path.c_str(), 1);
    }

    std::string Pid() { return std::to_string(PL_ProcessId()); }
};

// ---- names ---------------------------------------------------------------

TEST_F(TraceTest, ExpandsNameEscapes) {
    char user[256];
    std::string u = PL_UserName(user, sizeof user) ? user : "";
    struct {
        const char *name;
        int kind;
        std::string expect;
    } cases[] = {
        {"/tmp/plain.log", TR_KIND_ODBC, "/tmp/plain.log"},
        {"a$$b", TR_KIND_ODBC, "a$b"},
        {"$$$$", TR_KIND_ODBC, "$$"},
        {"$Htrace", TR_KIND_ODBC, "C:\\trace"},
        {"$htrace", TR_KIND_ODBC, "C:\\trace"},
        {"/tmp/t$P.log", TR_KIND_ODBC, "/tmp/t" + Pid() + ".log"},
        {"/tmp/t$p.log", TR_KIND_XA, "/tmp/t" + Pid() + ".log-xa"},
        {"u-$U", TR_KIND_ODBC, "u-" + u},
        {"u-$u", TR_KIND_ODBC, "u-" + u},
        {"a$qb", TR_KIND_ODBC, "ab"},
        {"a$1b", TR_KIND_ODBC, "ab"},
        {"end$", TR_KIND_ODBC, "end"},
        {"end$", TR_KIND_XA, "end-xa"},
        {"", TR_KIND_XA, "-xa"},
    };
    for (const auto &c : cases) {
        char out[512];
        ASSERT_TRUE(TR_ExpandName(c.name, c.kind, out, sizeof out)) << c.name;
        EXPECT_EQ(std::string(out), c.expect) << c.name;
    }
}

TEST_F(TraceTest, ExpandsTimeEscape) {
    char out[64];
    ASSERT_TRUE(TR_ExpandName("t$T.log", TR_KIND_ODBC, out, sizeof out));
    EXPECT_TRUE(Shaped(out, "t99999999-999999.log")) << out;
    ASSERT_TRUE(TR_ExpandName("t$t", TR_KIND_ODBC, out, sizeof out));
    EXPECT_TRUE(Shaped(out, "t99999999-999999")) << out;
}

TEST_F(TraceTest, NameThatDoesNotFitIsRefused) {
    char out[8];
    EXPECT_FALSE(TR_ExpandName("12345678", TR_KIND_ODBC, out, sizeof out));
    EXPECT_STREQ(out, "");
    EXPECT_TRUE(TR_ExpandName("1234567", TR_KIND_ODBC, out, sizeof out));
    EXPECT_FALSE(TR_ExpandName("12345", TR_KIND_XA, out, sizeof out));
    EXPECT_FALSE(TR_ExpandName("$P$P$P", TR_KIND_ODBC, out, 3));
    EXPECT_FALSE(TR_ExpandName(nullptr, TR_KIND_ODBC, out, sizeof out));
}

// ---- files -----------------------------------------------------------------

TEST_F(TraceTest, OdbcTraceHasHeaderLinesAndClosingLines) {
    std::string path = dir + "/odbc.trc";
    setenv("KRS_DEBUGFILE", path.c_str(), 1);
    TR_Open(TR_KIND_ODBC);
    ASSERT_EQ(TR_State(), 2);
    ASSERT_NE(TR_Stream(TR_KIND_ODBC), nullptr);
    TR_Printf("\n[%lX] SQL%s hDbc=%lX", 0x1AUL, "Connect", 0xDBC0001UL);
    TR_Printf("line %d of %s", 2, "two");
    TR_Close(TR_KIND_ODBC);
    EXPECT_EQ(TR_State(), 0);
    EXPECT_EQ(TR_Stream(TR_KIND_ODBC), nullptr);

    std::vector<std::string> l = Lines(ReadFile(path));
    ASSERT_EQ(l.size(), 8u) << ReadFile(path);
    EXPECT_EQ(l[0], std::string("** Kestrune ODBC Trace file for ") + SYS_ProgramName() + " **");
    EXPECT_TRUE(IsStartedLine(l[1])) << l[1];
    EXPECT_EQ(l[2], "");
    EXPECT_EQ(l[3], "[1A] SQLConnect hDbc=DBC0001");
    EXPECT_EQ(l[4], "line 2 of two");
    EXPECT_EQ(l[5], "");
    EXPECT_TRUE(IsFinishedLine(l[6])) << l[6];
    EXPECT_EQ(l[7], "** normal end **");

    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);

    // Writing after close reaches nothing.
    TR_Printf("late");
    EXPECT_EQ(Lines(ReadFile(path)).size(), 8u);
}

TEST_F(TraceTest, ProcessIdNameAndXaCompanion) {
    setenv("KRS_DEBUGFILE", (dir + "/t$P.log").c_str(), 1);
    TR_Open(TR_KIND_ODBC);
    TR_Open(TR_KIND_XA);
    std::string odbc = dir + "/t" + Pid() + ".log";
    std::string xa = odbc + "-xa";
    ASSERT_TRUE(Exists(odbc));
    ASSERT_TRUE(Exists(xa));

    TR_XaPrintf(1, "xa_switch_open(%s, %d, %lX)", "pg", 1, 0UL);
    TR_XaPrintf(0, "Agent does not support XA");
    TR_Close(TR_KIND_XA);
    EXPECT_EQ(TR_State(), 2) << "the ODBC trace is still open";
    TR_Printf("after");

    std::vector<std::string> x = Lines(ReadFile(xa));
    ASSERT_EQ(x.size(), 5u) << ReadFile(xa);
    EXPECT_EQ(x[0], "** Kestrune XA Trace File **");
    EXPECT_TRUE(IsStartedLine(x[1])) << x[1];
    EXPECT_EQ(x[2], "");
    EXPECT_EQ(x[3], "[" + std::to_string(PL_ThreadId()) + "] xa_switch_open(pg, 1, 0)");
    EXPECT_EQ(x[4], "Agent does not support XA");

    // Closing the XA trace writes its closing lines into the ODBC trace.
    std::vector<std::string> o = Lines(ReadFile(odbc));
    ASSERT_EQ(o.size(), 6u) << ReadFile(odbc);
    EXPECT_EQ(o[2], "");
    EXPECT_TRUE(IsFinishedLine(o[3])) << o[3];
    EXPECT_EQ(o[4], "** normal end **");
    EXPECT_EQ(o[5], "after");
}

TEST_F(TraceTest, OpenTwiceKeepsTheFirstStream) {
    std::string path = dir + "/twice.trc";
    setenv("KRS_DEBUGFILE", path.c_str(), 1);
    TR_Open(TR_KIND_ODBC);
    FILE *first = TR_Stream(TR_KIND_ODBC);
    TR_Printf("kept");
    TR_Open(TR_KIND_ODBC);
    EXPECT_EQ(TR_Stream(TR_KIND_ODBC), first);
    TR_Close(TR_KIND_ODBC);
    EXPECT_NE(ReadFile(path).find("kept\n"), std::string::npos);
}

TEST_F(TraceTest, ExistingFileIsTruncated) {
    std::string path = dir + "/old.trc";
    std::ofstream(path) << std::string(5000, 'o');
    setenv("KRS_DEBUGFILE", path.c_str(), 1);
    TR_Open(TR_KIND_ODBC);
    TR_Close(TR_KIND_ODBC);
    EXPECT_EQ(ReadFile(path).find('o' + std::string(10, 'o')), std::string::npos);
}

TEST_F(TraceTest, SymbolicLinkIsNotFollowed) {
    std::string target = dir + "/victim";
    std::string link = dir + "/link.trc";
    std::ofstream(target) << "precious";
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    setenv("KRS_DEBUGFILE", link.c_str(), 1);
    TR_Open(TR_KIND_ODBC);
    EXPECT_EQ(TR_State(), 0);
    EXPECT_EQ(TR_Stream(TR_KIND_ODBC), nullptr);
    TR_Printf("must not land anywhere");
    EXPECT_EQ(ReadFile(target), "precious");

    // A dangling link is not followed into a new file either.
    std::string dangling = dir + "/dangling.trc";
    std::string nowhere = dir + "/created-through-link";
    ASSERT_EQ(symlink(nowhere.c_str(), dangling.c_str()), 0);
    setenv("KRS_DEBUGFILE", dangling.c_str(), 1);
    TR_Open(TR_KIND_ODBC);
    EXPECT_EQ(TR_State(), 0);
    EXPECT_FALSE(Exists(nowhere));
}

TEST_F(TraceTest, FifoWithoutReaderDoesNotBlock) {
    std::string fifo = dir + "/fifo.trc";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    setenv("KRS_DEBUGFILE", fifo.c_str(), 1);
    TR_Open(TR_KIND_ODBC);
    EXPECT_EQ(TR_State(), 0);
}

TEST_F(TraceTest, UnconfiguredOrUnopenableLeavesTracingOff) {
    TR_Open(TR_KIND_ODBC);
    TR_Open(TR_KIND_XA);
    EXPECT_EQ(TR_State(), 0);
    TR_Printf("nothing");
    TR_XaPrintf(1, "nothing");
    TR_Close(TR_KIND_ODBC);

    setenv("KRS_DEBUGFILE", "", 1);
    TR_Open(TR_KIND_ODBC);
    EXPECT_EQ(TR_State(), 0);

    setenv("KRS_DEBUGFILE", (dir + "/no/such/dir/t.log").c_str(), 1);
    TR_Open(TR_KIND_ODBC);
    EXPECT_EQ(TR_State(), 0);
    EXPECT_EQ(TR_Stream(TR_KIND_ODBC), nullptr);

    TR_Open(7);
    TR_Close(-1);
    EXPECT_EQ(TR_Stream(5), nullptr);
}

TEST_F(TraceTest, RegistryValueNamesTheFile) {
    std::string path = dir + "/reg$$.trc";
    WriteRegistry(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrune Software\\"
        "Kestrune PostgreSQL Driver (Brennic Edition)(Unicode)\\ODBC]\n"
        "DebugFile=" + path + "\n");
    TR_Open(TR_KIND_ODBC);
    EXPECT_EQ(TR_State(), 2);
    TR_Close(TR_KIND_ODBC);
    EXPECT_TRUE(Exists(dir + "/reg$.trc"));

    // The environment variable wins over the registry.
    std::string envPath = dir + "/env.trc";
    setenv("KRS_DEBUGFILE", envPath.c_str(), 1);
    TR_Open(TR_KIND_ODBC);
    TR_Close(TR_KIND_ODBC);
    EXPECT_TRUE(Exists(envPath));
}

TEST_F(TraceTest, ExpandableRegistryValueIsNotASetting) {
    WriteRegistry(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrune Software\\"
        "Kestrune PostgreSQL Driver (Brennic Edition)(Unicode)\\ODBC]\n"
        "DebugFile=expand:" + dir + "/x.trc\n");
    TR_Open(TR_KIND_ODBC);
    EXPECT_EQ(TR_State(), 0);
}

TEST_F(TraceTest, StderrReceivesBothTracesAndStaysOpen) {
    setenv("KRS_DEBUGFILE", "stderr", 1);
    testing::internal::CaptureStderr();
    TR_Open(TR_KIND_ODBC);
    TR_Open(TR_KIND_XA);
    EXPECT_EQ(TR_State(), 1);
    EXPECT_EQ(TR_Stream(TR_KIND_ODBC), stderr);
    TR_Printf("odbc line");
    TR_XaPrintf(0, "xa line");
    TR_Close(TR_KIND_XA);
    TR_Close(TR_KIND_ODBC);
    EXPECT_EQ(TR_State(), 0);
    fputs("still usable\n", stderr);
    std::string out = testing::internal::GetCapturedStderr();

    EXPECT_NE(out.find(std::string("** Kestrune ODBC Trace file for ") + SYS_ProgramName() + " **\n"),
              std::string::npos);
    EXPECT_NE(out.find("** Kestrune XA Trace File **\n"), std::string::npos);
    EXPECT_NE(out.find("odbc line\n"), std::string::npos);
    EXPECT_NE(out.find("xa line\n"), std::string::npos);
    EXPECT_NE(out.find("** normal end **\n"), std::string::npos);
    EXPECT_NE(out.find("still usable\n"), std::string::npos);
    EXPECT_NE(fcntl(STDERR_FILENO, F_GETFD), -1);
}

// ---- writers -------------------------------------------------------------

TEST_F(TraceTest, LongLinesAreWrittenWhole) {
    std::string path = dir + "/long.trc";
    setenv("KRS_DEBUGFILE", path.c_str(), 1);
    TR_Open(TR_KIND_ODBC);
    std::string big(9000, 'L');
    TR_Printf("[%s]", big.c_str());
    TR_Close(TR_KIND_ODBC);
    EXPECT_NE(ReadFile(path).find("[" + big + "]\n"), std::string::npos);
}

TEST_F(TraceTest, ConcurrentLinesNeverInterleaveWithinALine) {
    std::string path = dir + "/threads.trc";
    setenv("KRS_DEBUGFILE", path.c_str(), 1);
    TR_Open(TR_KIND_ODBC);
    const int kThreads = 4, kLines = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            std::string body(300, char('a' + t));
            for (int i = 0; i < kLines; ++i) TR_Printf("T%d %s", t, body.c_str());
        });
    }
    for (auto &th : threads) th.join();
    TR_Close(TR_KIND_ODBC);
    int counts[kThreads] = {};
    for (const std::string &l : Lines(ReadFile(path))) {
        if (l.size() < 2 || l[0] != 'T') continue;
        int t = l[1] - '0';
        ASSERT_TRUE(t >= 0 && t < kThreads) << l;
        EXPECT_EQ(l, "T" + std::to_string(t) + " " + std::string(300, char('a' + t)));
        ++counts[t];
    }
    for (int c : counts) EXPECT_EQ(c, kLines);
}

TEST_F(TraceTest, PasswordsNeverReachTheFile) {
    std::string path = dir + "/pwd.trc";
    setenv("KRS_DEBUGFILE", path.c_str(), 1);
    TR_Open(TR_KIND_ODBC);
    TR_Open(TR_KIND_XA);
    TR_Printf("connStr=[%s]",
              "DSN=pg;UID=me;PWD=s3cret;URL=jdbc:postgresql://h/db?user=me&password=hunter2");
    TR_Printf("DSN=%s;UID=%s;PWD=***", "pg", "me");
    TR_Printf("%s", std::string(3000, 'x').append(";pwd={a;b}s3cret2").c_str());
    TR_XaPrintf(1, "open %s", "DSN=pg;Pwd=xas3cret");
    TR_Close(TR_KIND_XA);
    TR_Close(TR_KIND_ODBC);
    std::string all = ReadFile(path) + ReadFile(path + "-xa");
    EXPECT_EQ(all.find("s3cret"), std::string::npos) << all.substr(0, 400);
    EXPECT_EQ(all.find("hunter2"), std::string::npos);
    EXPECT_NE(all.find("connStr=[DSN=pg;UID=me;PWD=***;URL=jdbc:postgresql://h/db?user=me&password=***\n"),
              std::string::npos);
    EXPECT_NE(all.find("DSN=pg;UID=me;PWD=***\n"), std::string::npos);
}

TEST(TraceMask, MasksSecretKeywordValues) {
    struct {
        const char *in;
        const char *out;
    } cases[] = {
        {"DSN=a;PWD=x;UID=b", "DSN=a;PWD=***;UID=b"},
        {"pwd=longer secret;UID=u", "pwd=***;UID=u"},
        {"connStr=[PWD=a]b]", "connStr=[PWD=***"},
        {"PWD={a;b};UID=c", "PWD=***;UID=c"},
        {"PWD={unclosed", "PWD=***"},
        {"PWD=", "PWD=***"},
        {"PWD = x;", "PWD =***;"},
        {"PWD={a;b}tail;UID=c", "PWD=***;UID=c"},
        {"a\nPWD=x\nb", "a\nPWD=***\nb"},
        {"?password=p&x=1", "?password=***&x=1"},
        {"PWD=a&b;", "PWD=***;"},
        {"PassWord=p", "PassWord=***"},
        {"NEWPWD=keep;MYPASSWORD=keep", "NEWPWD=keep;MYPASSWORD=keep"},
        {"key=[PWD] data=[x]", "key=[PWD] data=[x]"},
        {"PWDX=keep", "PWDX=keep"},
        {"", ""},
    };
    for (const auto &c : cases) {
        char out[128];
        TR_MaskSecrets(c.in, out, sizeof out);
        EXPECT_STREQ(out, c.out) << c.in;
    }
    char small[8];
    TR_MaskSecrets("DSN=abcdefgh", small, sizeof small);
    EXPECT_STREQ(small, "DSN=abc");
    TR_MaskSecrets("PWD=abcdefgh", small, sizeof small);
    EXPECT_STREQ(small, "PWD=***");
    TR_MaskSecrets(nullptr, small, sizeof small);
    EXPECT_STREQ(small, "");
}

TEST_F(TraceTest, DiagnosticRecordsAreTracedWhileTracingIsOn) {
    std::string path = dir + "/diag.trc";
    setenv("KRS_DEBUGFILE", path.c_str(), 1);
    TR_Open(TR_KIND_ODBC);
    ErrQueue q{};
    ERR_Push(&q, "no such table[SQLSTATE:42P01]", 0);
    char msg[8];
    ERR_GetRec(&q, 3, ERR_MODE_TAKE, nullptr, nullptr, msg, sizeof msg, nullptr);
    q.errNum = ERR_FUNCTION_SEQUENCE;
    ERR_GetRec(&q, 3, ERR_MODE_TAKE, nullptr, nullptr, nullptr, 0, nullptr);
    ERR_GetRec(&q, 3, ERR_MODE_TAKE, nullptr, nullptr, nullptr, 0, nullptr);
    TR_Close(TR_KIND_ODBC);
    std::string t = ReadFile(path);
    EXPECT_NE(t.find("returning SUCCESS_WITH_INFO\nReturning no such table\n"), std::string::npos) << t;
    EXPECT_NE(t.find("returning [Kestrune][ODBC][Driver]Function sequence error\n"), std::string::npos);
    EXPECT_NE(t.find("returning NO_DATA_FOUND\n"), std::string::npos);
}

}  // namespace
