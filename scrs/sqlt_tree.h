// The SQL tree of the analyser.  Leaves carry token texts; every inner node
// carries a text template whose argument marks take its children's texts.
// SQLT_TextBuild regenerates the inner texts bottom-up, so that the root's
// text is the statement again, with every change to a leaf or a template.
#pragma once
#include <cstdint>
#include <initializer_list>

struct DynArray;
struct MemPool;

// A template: NUL-terminated bytes.  0xFF starts a mark; the next byte is
// the operation (SQLT_OP_*), then its operands (none is ever 0):
//   0xFF 1 k      the text of argument k (1..255)
//   0xFF 2 L T k  if test T holds for argument k (label L)
//   0xFF 3 L T k  else-if, same operands
//   0xFF 4 L      else
//   0xFF 5 L      end of the conditional with label L
typedef char SqlTemplate;

enum : unsigned char {
    SQLT_MARK = 0xFF,
    SQLT_OP_ARG = 1,
    SQLT_OP_IF = 2,
    SQLT_OP_ELSEIF = 3,
    SQLT_OP_ELSE = 4,
    SQLT_OP_END = 5,
};
// Tests of the conditional marks.
enum : unsigned char {
    SQLT_TEST_EMPTY = 1,        // sqlt_PatternIsEmpty
    SQLT_TEST_NOT_EMPTY = 2,
    SQLT_TEST_WILDCARDS = 3,    // sqlt_LikeHasWildcards
    SQLT_TEST_NO_WILDCARDS = 4,
};
// Argument marks as string literals, for building templates.
#define SQLT_A1 "\xFF\x01\x01"
#define SQLT_A2 "\xFF\x01\x02"
#define SQLT_A3 "\xFF\x01\x03"
#define SQLT_A4 "\xFF\x01\x04"
#define SQLT_A5 "\xFF\x01\x05"
#define SQLT_A6 "\xFF\x01\x06"

struct SqlNode {
    SqlNode *firstChild;   // NULL for a leaf
    SqlNode *nextSibling;  // NULL for the last child and for the root
    int32_t kind;          // SqlNodeKind
    int32_t childCount;    // children given at creation; 0 for a leaf
    int32_t finished;      // used only while the texts are rebuilt
    char *text;            // owned: a leaf's token, an inner node's regenerated text
    SqlTemplate *tmpl;     // owned; NULL for a leaf
};

// New leaf holding a copy of text; NULL when out of memory or text is NULL.
SqlNode *SQLT_LeafNew(int32_t kind, const char *text);
// New inner node with the empty text, a copy of tmpl and the children linked
// in order; NULL when out of memory or a child is NULL (children left unlinked).
SqlNode *SQLT_NodeNew(int32_t kind, const SqlTemplate *tmpl, std::initializer_list<SqlNode *> children);
SqlNode *SQLT_NodeNew1(int32_t kind, const SqlTemplate *tmpl, SqlNode *child);

typedef void (*SqltNodeDtor)(SqlNode *node);
// Frees the node, its descendants and its following siblings, calling dtor
// (when given) on each before freeing it; sets *node to NULL.  Needs no
// stack however deep the tree.
void SQLT_Free(SqlNode **node, SqltNodeDtor dtor);
// The destructor used everywhere: frees text and template.
void sqlt_NodeTextsFree(SqlNode *node);

// Visitors answer non-zero to go on below the node (and then after it).
typedef int (*SqltVisitor)(SqlNode *node, int a, void *context);
typedef int (*SqltVisitor2)(SqlNode *node, int a, int b, void *context);
// Pre-order walk of the node, its descendants, then its following siblings;
// a visitor answering 0 cuts off the node's descendants and its following
// siblings.  Iterative: deep trees do not use the call stack.
void SQLT_Walk(SqlNode *node, SqltVisitor visitor, int a, void *context);
void SQLT_Walk2(SqlNode *node, SqltVisitor2 visitor, int a, int b, void *context);
// Visits the node and, when the visitor answers non-zero, walks its children;
// the node's own following siblings are not visited.
void SQLT_WalkSubtree(SqlNode *node, SqltVisitor visitor, int a, void *context);

// Search visitors: the context is a SqlNode ** slot (find) or a DynArray of
// SqlNode * (collect).
int sqlt_FindKind(SqlNode *node, int kind, void *slot);
int sqlt_FindKindNotBelow(SqlNode *node, int kind, int stopKind, void *slot);
int sqlt_CollectKind(SqlNode *node, int kind, void *array);
int sqlt_CollectKindNotBelow(SqlNode *node, int kind, int stopKind, void *array);

// Rebuilds every inner node's text from its template and its children's
// texts, under SqltTextLock.  An inner node that continues a chain of its own
// kind (its parent's template begins with it and so does its own: the inner
// links of a list, an OR chain or a sum) keeps the empty text: its text is
// part of the chain head's, so a long list costs linear memory.  1, or 0 for
// a NULL root.
int SQLT_TextBuild(SqlNode *root);

// Appends the expansion of tmpl with the n argument texts and a NUL to the
// pool's growing object; an argument mark beyond n gives "NULL", a NULL
// argument nothing.  Answers 0.
int SQLT_TemplateExpand(MemPool *pool, const SqlTemplate *tmpl, const char *const *args, int n);

// 1 for NULL, "%" or a text of spaces only (the empty text included).
int sqlt_PatternIsEmpty(const char *text);
// 1 when text holds a "_" or "%" that is not escaped by a backslash; else 0,
// and escaped wildcards lose their backslash in place.
int sqlt_LikeHasWildcards(char *text);
