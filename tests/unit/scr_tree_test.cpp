// The SQL tree: node making and freeing, walks and searches, the template
// expander with its conditionals, and the regeneration of texts.
#include <gtest/gtest.h>

#include "scrs/sqlt_tree.h"
#include "util/dynarray.h"
#include "util/mpl.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Expand(const std::string &tmpl, std::vector<const char *> args)
{
    MemPool pool;
    MPL_Init(&pool);
    EXPECT_EQ(SQLT_TemplateExpand(&pool, tmpl.c_str(), args.data(), static_cast<int>(args.size())), 0);
    size_t size = 0;
    const char *out = MPL_FinishSize(&pool, &size);
    std::string s(out);
    EXPECT_EQ(size, s.size() + 1) << "the expansion ends with one NUL";
    MPL_FreeAll(&pool);
    return s;
}

std::string If(int label, int test, int arg)
{
    return std::string{'\xFF', '\x02', static_cast<char>(label), static_cast<char>(test), static_cast<char>(arg)};
}
std::string ElseIf(int label, int test, int arg)
{
    return std::string{'\xFF', '\x03', static_cast<char>(label), static_cast<char>(test), static_cast<char>(arg)};
}
std::string Else(int label) { return std::string{'\xFF', '\x04', static_cast<char>(label)}; }
std::string End(int label) { return std::string{'\xFF', '\x05', static_cast<char>(label)}; }

struct ExpandCase {
    const char *name;
    std::string tmpl;
    std::vector<const char *> args;
    const char *want;
};

class TemplateExpand : public ::testing::TestWithParam<ExpandCase> {};

TEST_P(TemplateExpand, Gives)
{
    const ExpandCase &c = GetParam();
    EXPECT_EQ(Expand(c.tmpl, c.args), c.want);
}

const std::string kIfEmpty = If(1, SQLT_TEST_EMPTY, 1) + "any" + Else(1) + "like " SQLT_A1 + End(1);

INSTANTIATE_TEST_SUITE_P(
    Cases, TemplateExpand,
    ::testing::Values(
        ExpandCase{"Arguments", SQLT_A1 " = " SQLT_A2, {"a", "5"}, "a = 5"},
        ExpandCase{"MissingArgumentIsNULL", "UPDATE " SQLT_A1 " SET " SQLT_A2 " WHERE CURRENT OF " SQLT_A3,
                   {"t", "a = 1"}, "UPDATE t SET a = 1 WHERE CURRENT OF NULL"},
        ExpandCase{"NullArgumentIsNothing", "[" SQLT_A1 "]", {nullptr}, "[]"},
        ExpandCase{"Argument255", std::string("<") + "\xFF\x01\xFF" + ">", {"x"}, "<NULL>"},
        ExpandCase{"IfEmptyPercent", kIfEmpty, {"%"}, "any"},
        ExpandCase{"IfEmptyBlanks", kIfEmpty, {"   "}, "any"},
        ExpandCase{"IfEmptyNoArgument", kIfEmpty, {}, "any"},
        ExpandCase{"ElseBranch", kIfEmpty, {"ab%"}, "like ab%"},
        ExpandCase{"ElseIfTaken",
                   If(1, SQLT_TEST_EMPTY, 1) + "E" + ElseIf(1, SQLT_TEST_WILDCARDS, 1) + "W" + Else(1) + "N" + End(1),
                   {"a_b"}, "W"},
        ExpandCase{"ElseIfFailsToElse",
                   If(1, SQLT_TEST_EMPTY, 1) + "E" + ElseIf(1, SQLT_TEST_WILDCARDS, 1) + "W" + Else(1) + "N" + End(1),
                   {"a\\_b"}, "N"},
        ExpandCase{"NoElseGivesNothing", "<" + If(2, SQLT_TEST_NOT_EMPTY, 1) + "X" + End(2) + ">", {""}, "<>"},
        ExpandCase{"NestedLabelsSkipped",
                   If(1, SQLT_TEST_NOT_EMPTY, 1) + "[" + If(2, SQLT_TEST_EMPTY, 2) + "e" + Else(2) + "f" + End(2) +
                       "]" + Else(1) + "none" + End(1),
                   {"", "x"}, "none"},
        ExpandCase{"UnknownMarkDropped", std::string("a\xFF\x09") + "b", {}, "ab"},
        ExpandCase{"CutMarkAtEnd", std::string("a\xFF\x01"), {"x"}, "a"}),
    [](const ::testing::TestParamInfo<ExpandCase> &i) { return std::string(i.param.name); });

struct WildcardCase {
    const char *in;
    int want;
    const char *after;
};

TEST(TemplateTests, LikeWildcards)
{
    const WildcardCase cases[] = {
        {"a\\_b", 0, "a_b"}, {"a_b", 1, "a_b"}, {"\\\\%", 0, "\\%"}, {"%x", 1, "%x"},
        {"abc", 0, "abc"},   {"a\\%b\\_", 0, "a%b_"}, {"\\x\\%", 0, "\\x%"},
    };
    for (const WildcardCase &c : cases) {
        std::string buf = c.in;
        EXPECT_EQ(sqlt_LikeHasWildcards(&buf[0]), c.want) << c.in;
        EXPECT_STREQ(buf.c_str(), c.after) << c.in;
    }
    EXPECT_EQ(sqlt_LikeHasWildcards(nullptr), 0);
}

TEST(TemplateTests, PatternIsEmpty)
{
    EXPECT_EQ(sqlt_PatternIsEmpty(nullptr), 1);
    EXPECT_EQ(sqlt_PatternIsEmpty(""), 1);
    EXPECT_EQ(sqlt_PatternIsEmpty("%"), 1);
    EXPECT_EQ(sqlt_PatternIsEmpty("   "), 1);
    EXPECT_EQ(sqlt_PatternIsEmpty("%%"), 0);
    EXPECT_EQ(sqlt_PatternIsEmpty(" a"), 0);
}

// ---- trees ----

SqlNode *Leaf(int kind, const char *text) { return SQLT_LeafNew(kind, text); }

void FreeTree(SqlNode *root) { SQLT_Free(&root, sqlt_NodeTextsFree); }

TEST(TreeTests, NodeLinksChildrenInOrder)
{
    SqlNode *n = SQLT_NodeNew(14, SQLT_A1 " " SQLT_A2 " " SQLT_A3, {Leaf(10, "a"), Leaf(13, "="), Leaf(95, "5")});
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->childCount, 3);
    EXPECT_STREQ(n->text, "");
    EXPECT_STREQ(n->firstChild->text, "a");
    EXPECT_STREQ(n->firstChild->nextSibling->nextSibling->text, "5");
    EXPECT_EQ(n->firstChild->nextSibling->nextSibling->nextSibling, nullptr);
    EXPECT_EQ(SQLT_TextBuild(n), 1);
    EXPECT_STREQ(n->text, "a = 5");
    FreeTree(n);
}

TEST(TreeTests, MissingChildRefused)
{
    SqlNode *a = Leaf(10, "a");
    EXPECT_EQ(SQLT_NodeNew(14, SQLT_A1, {a, nullptr}), nullptr);
    EXPECT_EQ(a->nextSibling, nullptr);
    FreeTree(a);
    EXPECT_EQ(SQLT_LeafNew(10, nullptr), nullptr);
}

TEST(TreeTests, LeafAloneUnchanged)
{
    SqlNode *n = Leaf(0, "x");
    EXPECT_EQ(SQLT_TextBuild(n), 1);
    EXPECT_STREQ(n->text, "x");
    FreeTree(n);
    EXPECT_EQ(SQLT_TextBuild(nullptr), 0);
}

TEST(TreeTests, ChangedLeafShowsInEveryAncestor)
{
    SqlNode *dir = Leaf(44, "");
    SqlNode *item = SQLT_NodeNew(80, SQLT_A1 " " SQLT_A2, {Leaf(11, "c"), dir});
    SqlNode *ob = SQLT_NodeNew1(55, "ORDER BY " SQLT_A1, item);
    SqlNode *root = SQLT_NodeNew1(50, SQLT_A1, ob);
    SQLT_TextBuild(root);
    EXPECT_STREQ(root->text, "ORDER BY c ");
    free(dir->text);
    dir->text = strdup("DESC");
    SQLT_TextBuild(root);
    EXPECT_STREQ(item->text, "c DESC");
    EXPECT_STREQ(ob->text, "ORDER BY c DESC");
    EXPECT_STREQ(root->text, "ORDER BY c DESC");
    FreeTree(root);
}

// A left-nested list of n items, as the grammar builds value lists.
SqlNode *List(int n, SqlNode **second = nullptr)
{
    SqlNode *list = SQLT_NodeNew1(99, SQLT_A1, Leaf(98, "?"));
    for (int i = 1; i < n; ++i) {
        list = SQLT_NodeNew(99, SQLT_A1 ", " SQLT_A2, {list, Leaf(98, "?")});
        if (i == 1 && second)
            *second = list;
    }
    return list;
}

TEST(TreeTests, ChainHeadHoldsTheWholeList)
{
    SqlNode *second = nullptr;
    SqlNode *list = List(4, &second);
    SqlNode *root = SQLT_NodeNew1(26, "IN ( " SQLT_A1 " )", list);
    SQLT_TextBuild(root);
    EXPECT_STREQ(root->text, "IN ( ?, ?, ?, ? )");
    EXPECT_STREQ(list->text, "?, ?, ?, ?");
    EXPECT_STREQ(list->firstChild->text, "") << "an inner link of the chain keeps no text of its own";
    EXPECT_STREQ(second->text, "");
    EXPECT_STREQ(second->firstChild->text, "?") << "the bottom link is built";
    FreeTree(root);
}

TEST(TreeTests, DeepListBuildsAndFreesWithoutRecursion)
{
    const int n = 200000;
    SqlNode *root = SQLT_NodeNew1(26, "(" SQLT_A1 ")", List(n));
    ASSERT_EQ(SQLT_TextBuild(root), 1);
    EXPECT_EQ(strlen(root->text), static_cast<size_t>(n) * 3 - 2 + 2);
    SqlNode *found = nullptr;
    SQLT_Walk(root, sqlt_FindKind, 20, &found);
    EXPECT_EQ(found, nullptr);
    DynArray *items = DA_New(sizeof(SqlNode *));
    SQLT_Walk(root->firstChild, sqlt_CollectKind, 98, items);
    EXPECT_EQ(items->count, static_cast<uint32_t>(n));
    DA_Free(&items, nullptr);
    FreeTree(root);
}

// SELECT-like tree: 74 over 72 over (73, 86 with a subquery 85 inside).
struct Searches : ::testing::Test {
    void SetUp() override
    {
        inner = SQLT_NodeNew(85, "( " SQLT_A1 " )", {Leaf(73, "b")});
        SqlNode *tail = SQLT_NodeNew(86, SQLT_A1 " " SQLT_A2, {inner, Leaf(50, "")});
        block = SQLT_NodeNew(72, "SELECT " SQLT_A1 " " SQLT_A2, {Leaf(73, "a"), tail});
        root = SQLT_NodeNew(74, SQLT_A1 " " SQLT_A2, {block, Leaf(50, "")});
        SQLT_TextBuild(root);
    }
    void TearDown() override { FreeTree(root); }
    SqlNode *root = nullptr;
    SqlNode *block = nullptr;
    SqlNode *inner = nullptr;
};

TEST_F(Searches, FindIsPreOrderAndStops)
{
    SqlNode *found = nullptr;
    SQLT_Walk(root, sqlt_FindKind, 73, &found);
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->text, "a");
    found = nullptr;
    SQLT_Walk(block->firstChild->nextSibling, sqlt_FindKind, 73, &found);
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->text, "b");
    found = nullptr;
    SQLT_Walk2(block->firstChild->nextSibling, sqlt_FindKindNotBelow, 73, 85, &found);
    EXPECT_EQ(found, nullptr) << "nothing is searched below the stop kind";
}

TEST_F(Searches, CollectBelowCoversDescendantsOnly)
{
    DynArray *a = DA_New(sizeof(SqlNode *));
    SQLT_Walk(root->firstChild, sqlt_CollectKind, 73, a);
    EXPECT_EQ(a->count, 2u);
    DA_Free(&a, nullptr);
    a = DA_New(sizeof(SqlNode *));
    SQLT_Walk2(root->firstChild, sqlt_CollectKindNotBelow, 73, 85, a);
    EXPECT_EQ(a->count, 1u);
    DA_Free(&a, nullptr);
    int visits = 0;
    SQLT_WalkSubtree(
        block->firstChild, [](SqlNode *, int, void *c) { return ++*static_cast<int *>(c), 1; }, 0, &visits);
    EXPECT_EQ(visits, 1) << "a subtree walk leaves the node's siblings alone";
}

TEST_F(Searches, FreeCallsTheDestructorOnEveryNode)
{
    static int freed;
    freed = 0;
    SqlNode *copy = root;
    root = nullptr;
    SQLT_Free(&copy, [](SqlNode *n) {
        ++freed;
        sqlt_NodeTextsFree(n);
    });
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(freed, 8);
}

} // namespace
