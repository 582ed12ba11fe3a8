// The INI-file registry through KRS_REGISTRY_FILE (and $HOME for the
// current user's hive).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/registry.h"

namespace {

const char kIni[] =
    "; a comment\n"
    "# another comment\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Kestrune Software\\6.0]\n"
    "BNLibs=/opt/kestrune/lib/\n"
    "  InstallDir =  /opt/kestrune/  \r\n"
    "JavaHome=expand:%KRS_REG_TEST_HOME%/jre\n"
    "Mixed=expand:%KRS_REG_TEST_HOME%-%KRS_REG_UNSET_VAR%-%\n"
    "Empty=\n"
    "Twice=first\n"
    "no equals sign here\n"
    "@=default value\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Kestrune Software\\Kestrune PostgreSQL Driver\\ODBC]\n"
    "DebugFile=/tmp/trace.log\n"
    "\n"
    "[hkey_local_machine\\SOFTWARE\\KESTRUNE SOFTWARE\\6.0]\n"
    "Twice=second\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\ODBC Data Sources]\n"
    "MyDsn=Kestrune PostgreSQL Driver\n";

class PlatformRegistry : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/krs_regtest_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        file_ = dir_ + "/registry.ini";
        Write(kIni);
        setenv("KRS_REGISTRY_FILE", file_.c_str(), 1);
        setenv("KRS_REG_TEST_HOME", "/home/tester", 1);
        unsetenv("KRS_REG_UNSET_VAR");
    }
    void TearDown() override
    {
        unsetenv("KRS_REGISTRY_FILE");
        unlink(file_.c_str());
        rmdir(dir_.c_str());
    }
    void Write(const char *text)
    {
        std::ofstream(file_, std::ios::binary | std::ios::trunc) << text;
    }
    // Reads a value of an open key; "" and the result code in *rc.
    static std::string Query(PL_HKEY key, const char *name, long *rc, uint32_t *type = nullptr)
    {
        char buf[256];
        uint32_t size = sizeof buf;
        *rc = PL_RegQueryValue(key, name, type, buf, &size);
        return *rc == PL_ERROR_SUCCESS ? std::string(buf) : std::string();
    }

    std::string dir_;
    std::string file_;
};

TEST_F(PlatformRegistry, OpensKeyAndReadsPlainValues)
{
    PL_RegKeyHolder key;
    ASSERT_EQ(PL_RegOpenKey(PL_HKEY_LOCAL_MACHINE, "Software\\Kestrune Software\\6.0", key.Out()),
              PL_ERROR_SUCCESS);
    struct Case { const char *name; const char *value; } cases[] = {
        {"BNLibs", "/opt/kestrune/lib/"},
        {"InstallDir", "/opt/kestrune/"},
        {"Empty", ""},
        {"Twice", "second"},  // the later line wins
        {"", "default value"},
        {nullptr, "default value"},
    };
    for (const Case &c : cases) {
        long rc;
        uint32_t type = 0;
        EXPECT_EQ(Query(key.Get(), c.name, &rc, &type), c.value) << (c.name ? c.name : "(null)");
        EXPECT_EQ(rc, PL_ERROR_SUCCESS);
        EXPECT_EQ(type, PL_REG_SZ);
    }
    long rc;
    Query(key.Get(), "no equals sign here", &rc);
    EXPECT_EQ(rc, PL_ERROR_FILE_NOT_FOUND);
}

TEST_F(PlatformRegistry, KeyPathsAndValueNamesIgnoreCase)
{
    const char *paths[] = {
        "Software\\Kestrune Software\\6.0",
        "SOFTWARE\\kestrune software\\6.0",
        "\\Software\\\\Kestrune Software\\6.0\\",
    };
    for (const char *p : paths) {
        PL_RegKeyHolder key;
        ASSERT_EQ(PL_RegOpenKey(PL_HKEY_LOCAL_MACHINE, p, key.Out()), PL_ERROR_SUCCESS) << p;
        long rc;
        EXPECT_EQ(Query(key.Get(), "bnlibs", &rc), "/opt/kestrune/lib/") << p;
        EXPECT_EQ(Query(key.Get(), "INSTALLDIR", &rc), "/opt/kestrune/") << p;
    }
}

TEST_F(PlatformRegistry, MissingKeysAndValuesAreNotFound)
{
    struct Case { PL_RegHive hive; const char *path; long rc; } cases[] = {
        {PL_HKEY_LOCAL_MACHINE, "Software\\Kestrune Software\\6.0", PL_ERROR_SUCCESS},
        {PL_HKEY_LOCAL_MACHINE, "Software", PL_ERROR_SUCCESS},  // a key above a section
        {PL_HKEY_LOCAL_MACHINE, "", PL_ERROR_SUCCESS},
        {PL_HKEY_LOCAL_MACHINE, "Software\\Kestrune", PL_ERROR_FILE_NOT_FOUND},  // part of a name
        {PL_HKEY_LOCAL_MACHINE, "Software\\Kestrune Software\\7.0", PL_ERROR_FILE_NOT_FOUND},
        {PL_HKEY_LOCAL_MACHINE, "Software\\Kestrune Software\\6.0\\Deeper", PL_ERROR_FILE_NOT_FOUND},
        {PL_HKEY_CURRENT_USER, "Software\\Kestrune Software\\6.0", PL_ERROR_FILE_NOT_FOUND},
        {PL_HKEY_CLASSES_ROOT, "Software", PL_ERROR_FILE_NOT_FOUND},
        {static_cast<PL_RegHive>(7), "Software", PL_ERROR_INVALID_PARAMETER},
    };
    for (const Case &c : cases) {
        PL_HKEY key = reinterpret_cast<PL_HKEY>(1);
        EXPECT_EQ(PL_RegOpenKey(c.hive, c.path, &key), c.rc) << c.path;
        if (c.rc == PL_ERROR_SUCCESS)
            EXPECT_EQ(PL_RegCloseKey(key), PL_ERROR_SUCCESS);
        else
            EXPECT_EQ(key, nullptr) << c.path;
    }
    PL_RegKeyHolder key;
    ASSERT_EQ(PL_RegOpenKey(PL_HKEY_LOCAL_MACHINE, "Software", key.Out()), PL_ERROR_SUCCESS);
    long rc;
    Query(key.Get(), "BNLibs", &rc);  // values belong to their own key only
    EXPECT_EQ(rc, PL_ERROR_FILE_NOT_FOUND);
}

TEST_F(PlatformRegistry, MissingFileIsNotFound)
{
    setenv("KRS_REGISTRY_FILE", (dir_ + "/absent.ini").c_str(), 1);
    PL_HKEY key = nullptr;
    EXPECT_EQ(PL_RegOpenKey(PL_HKEY_LOCAL_MACHINE, "Software", &key), PL_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    setenv("KRS_REGISTRY_FILE", dir_.c_str(), 1);  // a directory, not a file
    EXPECT_EQ(PL_RegOpenKey(PL_HKEY_LOCAL_MACHINE, "Software", &key), PL_ERROR_FILE_NOT_FOUND);
}

TEST_F(PlatformRegistry, ExpandableValuesComeBackExpanded)
{
    PL_RegKeyHolder key;
    ASSERT_EQ(PL_RegOpenKey(PL_HKEY_LOCAL_MACHINE, "Software\\Kestrune Software\\6.0", key.Out()),
              PL_ERROR_SUCCESS);
    long rc;
    uint32_t type = 0;
    EXPECT_EQ(Query(key.Get(), "JavaHome", &rc, &type), "/home/tester/jre");
    EXPECT_EQ(type, PL_REG_EXPAND_SZ);
    EXPECT_EQ(Query(key.Get(), "Mixed", &rc, &type), "/home/tester-%KRS_REG_UNSET_VAR%-%");
}

TEST_F(PlatformRegistry, SmallBufferReportsNeededSize)
{
    PL_RegKeyHolder key;
    ASSERT_EQ(PL_RegOpenKey(PL_HKEY_LOCAL_MACHINE, "Software\\Kestrune Software\\6.0", key.Out()),
              PL_ERROR_SUCCESS);
    const uint32_t need = sizeof "/opt/kestrune/lib/";
    uint32_t size = 0;
    EXPECT_EQ(PL_RegQueryValue(key.Get(), "BNLibs", nullptr, nullptr, &size), PL_ERROR_SUCCESS);
    EXPECT_EQ(size, need);

    char buf[32];
    std::memset(buf, 'x', sizeof buf);
    size = 5;
    EXPECT_EQ(PL_RegQueryValue(key.Get(), "BNLibs", nullptr, buf, &size), PL_ERROR_MORE_DATA);
    EXPECT_EQ(size, need);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(buf[5], 'x');  // nothing written past the given size

    size = need - 1;  // no room for the terminator
    EXPECT_EQ(PL_RegQueryValue(key.Get(), "BNLibs", nullptr, buf, &size), PL_ERROR_MORE_DATA);
    size = need;
    EXPECT_EQ(PL_RegQueryValue(key.Get(), "BNLibs", nullptr, buf, &size), PL_ERROR_SUCCESS);
    EXPECT_STREQ(buf, "/opt/kestrune/lib/");
    EXPECT_EQ(size, need);

    size = 3;  // expanded length counts, not the written one
    EXPECT_EQ(PL_RegQueryValue(key.Get(), "JavaHome", nullptr, buf, &size), PL_ERROR_MORE_DATA);
    EXPECT_EQ(size, sizeof "/home/tester/jre");

    EXPECT_EQ(PL_RegQueryValue(key.Get(), "BNLibs", nullptr, buf, nullptr), PL_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(PL_RegQueryValue(nullptr, "BNLibs", nullptr, buf, &size), PL_ERROR_INVALID_PARAMETER);
}

TEST_F(PlatformRegistry, SubKeysHivesAndEnumeration)
{
    PL_RegKeyHolder setup, odbc;
    ASSERT_EQ(PL_RegOpenKey(PL_HKEY_LOCAL_MACHINE, "SOFTWARE\\Kestrune Software\\Kestrune PostgreSQL Driver",
                            setup.Out()), PL_ERROR_SUCCESS);
    ASSERT_EQ(PL_RegOpenSubKey(setup.Get(), "ODBC", odbc.Out()), PL_ERROR_SUCCESS);
    long rc;
    EXPECT_EQ(Query(odbc.Get(), "DebugFile", &rc), "/tmp/trace.log");
    PL_HKEY none = nullptr;
    EXPECT_EQ(PL_RegOpenSubKey(setup.Get(), "Nope", &none), PL_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(PL_RegOpenSubKey(nullptr, "ODBC", &none), PL_ERROR_INVALID_PARAMETER);

    PL_RegKeyHolder dsns;
    ASSERT_EQ(PL_RegOpenKey(PL_HKEY_CURRENT_USER, "Software\\ODBC\\ODBC.INI\\ODBC Data Sources", dsns.Out()),
              PL_ERROR_SUCCESS);
    EXPECT_EQ(Query(dsns.Get(), "mydsn", &rc), "Kestrune PostgreSQL Driver");

    PL_RegKeyHolder key;
    ASSERT_EQ(PL_RegOpenKey(PL_HKEY_LOCAL_MACHINE, "Software\\Kestrune Software\\6.0", key.Out()),
              PL_ERROR_SUCCESS);
    const char *names[] = {"BNLibs", "InstallDir", "JavaHome", "Mixed", "Empty", "Twice", ""};
    uint32_t i = 0;
    char name[64];
    for (;; ++i) {
        uint32_t size = sizeof name;
        long r = PL_RegEnumValue(key.Get(), i, name, &size);
        if (r == PL_ERROR_NO_MORE_ITEMS)
            break;
        ASSERT_EQ(r, PL_ERROR_SUCCESS);
        ASSERT_LT(i, sizeof names / sizeof names[0]);
        EXPECT_STREQ(name, names[i]);
        EXPECT_EQ(size, std::strlen(names[i]) + 1);
    }
    EXPECT_EQ(i, sizeof names / sizeof names[0]);
}

TEST_F(PlatformRegistry, EachOpenReadsTheFileAfresh)
{
    PL_RegKeyHolder before;
    ASSERT_EQ(PL_RegOpenKey(PL_HKEY_LOCAL_MACHINE, "Software\\Kestrune Software\\6.0", before.Out()),
              PL_ERROR_SUCCESS);
    Write("[HKEY_LOCAL_MACHINE\\Software\\Kestrune Software\\6.0]\nBNLibs=/new/\n");
    PL_RegKeyHolder after;
    ASSERT_EQ(PL_RegOpenKey(PL_HKEY_LOCAL_MACHINE, "Software\\Kestrune Software\\6.0", after.Out()),
              PL_ERROR_SUCCESS);
    long rc;
    EXPECT_EQ(Query(after.Get(), "BNLibs", &rc), "/new/");
    EXPECT_EQ(Query(before.Get(), "BNLibs", &rc), "/opt/kestrune/lib/");  // an open key keeps its values
}

TEST_F(PlatformRegistry, CurrentUserHiveFromHomeWithoutOverride)
{
    unsetenv("KRS_REGISTRY_FILE");
    const char *oldHome = getenv("HOME");
    std::string savedHome = oldHome ? oldHome : "";
    std::string kdir = dir_ + "/.kestrune";
    ASSERT_EQ(mkdir(kdir.c_str(), 0700), 0);
    std::string userFile = kdir + "/registry.ini";
    std::ofstream(userFile) << "[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\ODBC Data Sources]\nU=1\n";
    setenv("HOME", dir_.c_str(), 1);

    PL_RegKeyHolder key;
    EXPECT_EQ(PL_RegOpenKey(PL_HKEY_CURRENT_USER, "Software\\ODBC\\ODBC.INI\\ODBC Data Sources", key.Out()),
              PL_ERROR_SUCCESS);
    unsetenv("HOME");
    PL_HKEY none = nullptr;
    EXPECT_EQ(PL_RegOpenKey(PL_HKEY_CURRENT_USER, "Software", &none), PL_ERROR_FILE_NOT_FOUND);

    if (oldHome)
        setenv("HOME", savedHome.c_str(), 1);
    unlink(userFile.c_str());
    rmdir(kdir.c_str());
}

TEST(PlatformExpandEnv, ReplacesKnownNamesOnly)
{
    setenv("KRS_EXP_A", "alpha", 1);
    unsetenv("KRS_EXP_NONE");
    struct Case { const char *in, *out; } cases[] = {
        {"plain", "plain"},
        {"%KRS_EXP_A%", "alpha"},
        {"x%KRS_EXP_A%y%KRS_EXP_A%", "xalphayalpha"},
        {"%KRS_EXP_NONE%", "%KRS_EXP_NONE%"},
        {"%KRS_EXP_NONE%KRS_EXP_A%", "%KRS_EXP_NONE%KRS_EXP_A%"},
        {"%KRS_EXP_NONE%%KRS_EXP_A%", "%KRS_EXP_NONE%alpha"},
        {"100%", "100%"},
        {"%%", "%%"},
        {"", ""},
    };
    for (const Case &c : cases) {
        char buf[64];
        uint32_t n = PL_ExpandEnvStrings(c.in, buf, sizeof buf);
        EXPECT_STREQ(buf, c.out) << c.in;
        EXPECT_EQ(n, std::strlen(c.out) + 1) << c.in;
    }
    char small[4] = "zzz";
    EXPECT_EQ(PL_ExpandEnvStrings("%KRS_EXP_A%", small, sizeof small), sizeof "alpha");
    EXPECT_EQ(small[0], '\0');
    EXPECT_EQ(PL_ExpandEnvStrings(nullptr, small, sizeof small), 0u);
}

}  // namespace
