// The Java bridge's text handling that needs no VM: VM option items,
// property lists, setter names, brace stripping, the back-end error chain and
// the support classes' class files.
#include "drv_jdbc/j-classes.h"
#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-errors.h"
#include "drv_jdbc/j-factory.h"
#include "drv_jdbc/j-serv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {
std::vector<std::string> split(const char *text, int max = 100)
{
    char *buf = nullptr;
    char *items[100];
    int n = jvmSplitOptions(text, &buf, items, max);
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i)
        out.emplace_back(items[i]);
    free(buf);
    return out;
}

TEST(VmOptions, ItemsStartAtBlankDash)
{
    struct Case {
        const char *text;
        std::vector<std::string> items;
    } cases[] = {
        {"-Xmx512m  -Dfoo=a b -verbose", {"-Xmx512m", "-Dfoo=a b", "-verbose"}},
        {"   -Xmx256m -Xss1m   ", {"-Xmx256m", "-Xss1m"}},
        {"-Dname=a b", {"-Dname=a b"}},
        {"-Xcheck:jni", {"-Xcheck:jni"}},
        {"\t-a\n-b\r\n", {"-a", "-b"}},
        {"", {}},
        {"   ", {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(split(c.text), c.items) << c.text;
}

TEST(VmOptions, AtMostOneHundredItems)
{
    std::string text;
    for (int i = 0; i < 130; ++i)
        text += "-D" + std::to_string(i) + " ";
    std::vector<std::string> items = split(text.c_str());
    ASSERT_EQ(items.size(), 100u);
    EXPECT_EQ(items.front(), "-D0");
    EXPECT_EQ(items.back(), "-D99");
}

// The VM gets the driver's collector unless the user's options choose one;
// the user's items follow, in their order.
TEST(VmOptions, DriverSettingsYieldToTheUsers)
{
    struct Case {
        const char *text;
        std::vector<std::string> options;
    } cases[] = {
        {nullptr, {"-XX:+UseSerialGC"}},
        {"-Xcheck:jni", {"-XX:+UseSerialGC", "-Xcheck:jni"}},
        {"-Xmx2g -XX:+UseG1GC", {"-Xmx2g", "-XX:+UseG1GC"}},
        {"-XX:+UseParallelGC", {"-XX:+UseParallelGC"}},
        {"-XX:-UseSerialGC -Xss2m", {"-XX:-UseSerialGC", "-Xss2m"}},
        {"-XX:+UseSerialGC", {"-XX:+UseSerialGC"}},
        {"-XX:+UseStringDeduplication", {"-XX:+UseSerialGC", "-XX:+UseStringDeduplication"}},
    };
    for (const Case &c : cases) {
        char *buf = nullptr;
        const char *options[8];
        int n = jvmVmOptions(c.text, &buf, options, 8);
        std::vector<std::string> got(options, options + (n > 0 ? n : 0));
        EXPECT_EQ(got, c.options) << (c.text ? c.text : "(none)");
        free(buf);
    }
}

// The heap goes on transparent huge pages only where the kernel gives them
// on request; with them always on, never on, or the setting unknown the VM
// is left as it is.
TEST(VmOptions, HugePagesOnlyWhereTheKernelGivesThemOnRequest)
{
    struct Case {
        const char *setting;
        const char *option;
    } cases[] = {
        {"always [madvise] never\n", "-XX:+UseTransparentHugePages"},
        {"[always] madvise never\n", nullptr},
        {"always madvise [never]\n", nullptr},
        {"", nullptr},
        {nullptr, nullptr},
    };
    for (const Case &c : cases) {
        const char *got = jvmHugePagesOption(c.setting);
        EXPECT_STREQ(got, c.option) << (c.setting ? c.setting : "(none)");
    }
}

struct Prop {
    const char *name;
    const char *value;  // nullptr: no '='
};

std::vector<std::pair<std::string, std::string>> parse(const char *text)
{
    std::vector<std::pair<std::string, std::string>> out;
    PropertySlot *list = jc_ParsePropertyList(text);
    EXPECT_NE(list, nullptr);
    for (int i = 0; list && i < PROP_MAX_ITEMS && list[i].name; ++i)
        out.emplace_back(list[i].name, list[i].value ? list[i].value : "<none>");
    jc_FreePropertyList(list);
    return out;
}

TEST(PropertyList, ItemsNamesAndValues)
{
    using P = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(parse("serverName=db1;portNumber=5433;ssl=true;databaseName={a;b}"),
              (P{{"serverName", "db1"}, {"portNumber", "5433"}, {"ssl", "true"}, {"databaseName", "{a;b}"}}));
    EXPECT_EQ(parse("a=1;;b=2"), (P{{"a", "1"}, {"", "<none>"}, {"b", "2"}}));
    EXPECT_EQ(parse("a=1;"), (P{{"a", "1"}}));
    EXPECT_EQ(parse("flag"), (P{{"flag", "<none>"}}));
    EXPECT_EQ(parse("x=a=b"), (P{{"x", "a=b"}}));
    EXPECT_EQ(parse("url=jdbc:postgresql://h:1/d?x=1"), (P{{"url", "jdbc:postgresql://h:1/d?x=1"}}));
}

TEST(PropertyList, AbsentTextIsAnEmptyList)
{
    PropertySlot *list = jc_ParsePropertyList(nullptr);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list[0].name, nullptr);
    jc_FreePropertyList(list);
    EXPECT_TRUE(parse("").empty());
}

TEST(PropertyList, AtMostOneHundredItems)
{
    std::string text;
    for (int i = 0; i < 101; ++i)
        text += "p" + std::to_string(i) + "=" + std::to_string(i) + ";";
    auto items = parse(text.c_str());
    ASSERT_EQ(items.size(), 100u);
    EXPECT_EQ(items.back().first, "p99");
}

TEST(PropertyList, SetterNameCapitalisesTheFirstLetter)
{
    struct Case {
        const char *property;
        const char *setter;
    } cases[] = {
        {"serverName", "setServerName"},
        {"url", "setUrl"},
        {"PortNumber", "setPortNumber"},
        {"", "set"},
    };
    char buf[PROP_MAX_NAME + 8];
    for (const Case &c : cases) {
        jc_SetterName(c.property, buf, sizeof buf);
        EXPECT_STREQ(buf, c.setter);
    }
    std::string longName(250, 'q');
    jc_SetterName(longName.c_str(), buf, sizeof buf);
    EXPECT_EQ(std::string(buf), "setQ" + std::string(199, 'q'));
}

TEST(StripBraces, OnePairAroundTheText)
{
    struct Case {
        const char *in;
        const char *out;
    } cases[] = {
        {"  {a;b}  ", "a;b"},
        {"{a;b", "a;b"},
        {"{}", ""},
        {"a;b", "a;b"},
        {"  a;b", "  a;b"},
        {"{{x}}", "{x}"},
    };
    for (const Case &c : cases) {
        std::string buf = c.in;
        EXPECT_STREQ(jc_StripBraces(&buf[0]), c.out) << c.in;
    }
    EXPECT_EQ(jc_StripBraces(nullptr), nullptr);
}

TEST(ErrChain, KeepFlagAndDrainFormat)
{
    ErrChain chain{};
    errPostMsg(&chain, "first", 15);
    errPostMsg(&chain, "second", 15);
    ASSERT_EQ(errCount(&chain), 1);
    EXPECT_STREQ(chain.first->message, "second");
    chain.keep = 1;
    errPostMsg(&chain, "third", 15);
    EXPECT_EQ(errCount(&chain), 2);
    errClear(&chain);
    EXPECT_EQ(chain.first, nullptr);
}

TEST(ErrChain, SqlExceptionStatesAndMessages)
{
    struct Case {
        const char *state;
        const char *message;
        int number;
        const char *storedState;
        const char *storedMessage;
    } cases[] = {
        {nullptr, "a\tb\n", 15, "S1000", "a b "},
        {"", "x", 15, "S1000", "x"},
        {"08004", "rejected", 53, "08004", "rejected"},
        {"42000", "syntax", 71, "42000", "syntax"},
        {"28P01", "auth", 15, "28P01", "auth"},
        {"S1000", "general", 15, "S1000", "general"},
    };
    for (const Case &c : cases) {
        ErrChain chain{};
        std::string msg = c.message;
        int number = 0;
        errPostSQLException(&number, c.state, &msg[0], 7, &chain);
        EXPECT_EQ(number, c.number) << (c.state ? c.state : "null");
        ASSERT_NE(chain.first, nullptr);
        EXPECT_STREQ(chain.first->sqlState, c.storedState);
        EXPECT_STREQ(chain.first->message, c.storedMessage);
        EXPECT_EQ(chain.first->nativeCode, 7);
        errClear(&chain);
    }
}

TEST(ErrChain, LongMessageIsCut)
{
    std::string msg(3000, 'm');
    ErrRec *rec = errNew(msg.c_str(), 0, "S1000");
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(std::string(rec->message).size(), 2047u);
    ErrChain chain{};
    errAppend(&chain, rec);
    errClear(&chain);
}
TEST(SupportClasses, ClassFilesLoadOnJava8AndLater)
{
    // Built with javac --release 8: class-file major version 52 (Java 8), so
    // any VM from Java 8 on defines them.
    struct Case {
        const char *name;
        const unsigned char *bytes;
        unsigned len;
    } cases[] = {
        {"XAXid", krs_class_XAXid, krs_class_XAXid_len},
        {"KRSClassLoader", krs_class_KRSClassLoader, krs_class_KRSClassLoader_len},
    };
    for (const Case &c : cases) {
        ASSERT_GT(c.len, 10u) << c.name;
        const uint32_t magic = uint32_t{c.bytes[0]} << 24 | uint32_t{c.bytes[1]} << 16 | uint32_t{c.bytes[2]} << 8 | c.bytes[3];
        EXPECT_EQ(magic, 0xCAFEBABEu) << c.name;
        EXPECT_EQ((c.bytes[6] << 8) | c.bytes[7], 52) << c.name;
    }
}
} // namespace
