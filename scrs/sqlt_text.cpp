// Text templates: the expander, its two tests, and the regeneration of a
// tree's texts.
#include "scrs/sqlt_tree.h"

#include "scrs/scr_locks.h"
#include "scrs/sqlt_stack.h"
#include "util/mpl.h"
#include "util/utalloc.h"

#include <cstdlib>
#include <cstring>

namespace {

typedef unsigned char Byte;

// Output of the expander: a pool's growing object or a plain heap buffer.
struct PoolSink {
    MemPool *pool;
    void put(const char *s, size_t n) { MPL_Append(pool, s, n); }
};

struct BufSink {
    char *data = nullptr;
    size_t len = 0;
    size_t cap = 0;
    ~BufSink() { free(data); }
    void put(const char *s, size_t n)
    {
        if (len + n + 1 > cap) {
            size_t want = cap ? cap : 256;
            while (want < len + n + 1)
                want *= 2;
            data = static_cast<char *>(s_realloc(data, want));
            cap = want;
        }
        memcpy(data + len, s, n);
        len += n;
        data[len] = 0;
    }
};

bool testHolds(Byte test, const char *arg)
{
    switch (test) {
    case SQLT_TEST_EMPTY:
        return sqlt_PatternIsEmpty(arg) != 0;
    case SQLT_TEST_NOT_EMPTY:
        return sqlt_PatternIsEmpty(arg) == 0;
    case SQLT_TEST_WILDCARDS:
    case SQLT_TEST_NO_WILDCARDS: {
        // The test may unescape its text; it works on a copy.
        char *copy = arg ? strdup(arg) : nullptr;
        int has = copy ? sqlt_LikeHasWildcards(copy) : 0;
        free(copy);
        return test == SQLT_TEST_WILDCARDS ? has != 0 : has == 0;
    }
    default:
        return false;
    }
}

// Bytes of the mark at t (t[0] is 0xFF), never past the terminating NUL.
size_t markLength(const Byte *t)
{
    size_t want = 2;
    switch (t[1]) {
    case SQLT_OP_ARG:
    case SQLT_OP_ELSE:
    case SQLT_OP_END:
        want = 3;
        break;
    case SQLT_OP_IF:
    case SQLT_OP_ELSEIF:
        want = 5;
        break;
    default:
        break;
    }
    size_t n = 1;
    while (n < want && t[n])
        ++n;
    return n;
}

const char *argText(const char *const *args, int n, Byte k)
{
    return k >= 1 && k <= n ? args[k - 1] : nullptr;
}

// After an if or else-if that failed: the position where copying resumes
// (after a matching else or end, or inside an else-if that holds).
const Byte *skipFalseBranch(const Byte *t, Byte label, const char *const *args, int n)
{
    while (*t) {
        if (*t != SQLT_MARK) {
            ++t;
            continue;
        }
        size_t len = markLength(t);
        if (len >= 3 && t[2] == label) {
            if (t[1] == SQLT_OP_ELSE || t[1] == SQLT_OP_END)
                return t + len;
            if (t[1] == SQLT_OP_ELSEIF && len == 5) {
                if (testHolds(t[3], argText(args, n, t[4]) ? argText(args, n, t[4]) : ""))
                    return t + len;
            }
        }
        t += len;
    }
    return t;
}

// After a branch that was copied: past the end mark of the label.
const Byte *skipToEnd(const Byte *t, Byte label)
{
    while (*t) {
        if (*t != SQLT_MARK) {
            ++t;
            continue;
        }
        size_t len = markLength(t);
        t += len;
        if (len == 3 && t[-2] == SQLT_OP_END && t[-1] == label)
            return t;
    }
    return t;
}

template <class Sink>
void expand(Sink &out, const SqlTemplate *tmpl, const char *const *args, int n)
{
    const Byte *t = reinterpret_cast<const Byte *>(tmpl ? tmpl : "");
    while (*t) {
        const Byte *lit = t;
        while (*t && *t != SQLT_MARK)
            ++t;
        if (t > lit)
            out.put(reinterpret_cast<const char *>(lit), static_cast<size_t>(t - lit));
        if (!*t)
            break;
        size_t len = markLength(t);
        Byte op = t[1];
        if (op == SQLT_OP_ARG && len == 3) {
            Byte k = t[2];
            if (k >= 1 && k <= n) {
                if (const char *a = args[k - 1])
                    out.put(a, strlen(a));
            } else {
                out.put("NULL", 4);
            }
            t += len;
        } else if (op == SQLT_OP_IF && len == 5) {
            const char *a = argText(args, n, t[4]);
            if (testHolds(t[3], a ? a : ""))
                t += len;
            else
                t = skipFalseBranch(t + len, t[2], args, n);
        } else if ((op == SQLT_OP_ELSEIF && len == 5) || (op == SQLT_OP_ELSE && len == 3)) {
            t = skipToEnd(t + len, t[2]);
        } else {
            t += len;   // an end mark, or an unknown mark: dropped
        }
    }
}

// ---- regeneration ----

// Whether node n's text begins with its first child's text verbatim, the
// child being an inner node of the same kind: the template starts with
// argument 1, names it nowhere else and has no conditional.
bool chainsIntoFirst(const SqlNode *n)
{
    const SqlNode *c = n->firstChild;
    if (!n->tmpl || !c || !c->tmpl || c->childCount == 0 || c->kind != n->kind)
        return false;
    const Byte *t = reinterpret_cast<const Byte *>(n->tmpl);
    if (t[0] != SQLT_MARK || t[1] != SQLT_OP_ARG || t[2] != 1)
        return false;
    for (t += 3; *t; ++t) {
        if (*t != SQLT_MARK)
            continue;
        if (t[1] != SQLT_OP_ARG || t[2] == 0 || t[2] == 1)
            return false;
        t += 2;
    }
    return true;
}

bool isInner(const SqlNode *n) { return n->tmpl && n->childCount > 0 && n->firstChild; }

// The argument texts of a node, in a small local array or on the heap.
class ArgTexts {
public:
    explicit ArgTexts(const SqlNode *n)
    {
        for (const SqlNode *c = n->firstChild; c; c = c->nextSibling)
            ++count_;
        texts_ = count_ <= kLocal ? local_ : static_cast<const char **>(s_alloc(count_, sizeof(char *)));
        int i = 0;
        for (const SqlNode *c = n->firstChild; c; c = c->nextSibling)
            texts_[i++] = c->text;
    }
    ~ArgTexts()
    {
        if (texts_ != local_)
            free(texts_);
    }
    const char *const *texts() const { return texts_; }
    int count() const { return count_; }

private:
    static constexpr int kLocal = 10;
    const char *local_[kLocal];
    const char **texts_;
    int count_ = 0;
};

void setText(SqlNode *n, const char *text, size_t len)
{
    char *copy = static_cast<char *>(s_alloc(len + 1, 1));
    memcpy(copy, text, len);
    free(n->text);
    n->text = copy;
}

// Builds the text of an inner node whose children are built.  A chain head
// writes its whole chain into one buffer, from the bottom link up.
void buildNode(SqlNode *n)
{
    BufSink out;
    out.put("", 0);
    SqltStack<SqlNode *> chain;
    SqlNode *x = n;
    chain.push(x);
    while (chainsIntoFirst(x) && chainsIntoFirst(x->firstChild)) {
        x = x->firstChild;
        chain.push(x);
    }
    size_t skip = 0;
    if (chainsIntoFirst(x)) {
        const char *bottom = x->firstChild->text;
        out.put(bottom, strlen(bottom));
        skip = 3;
    }
    while (!chain.empty()) {
        SqlNode *link = chain.pop();
        ArgTexts args(link);
        expand(out, link->tmpl + skip, args.texts(), args.count());
        skip = 3;
    }
    setText(n, out.data, out.len);
}

} // namespace

int SQLT_TemplateExpand(MemPool *pool, const SqlTemplate *tmpl, const char *const *args, int n)
{
    PoolSink out{pool};
    expand(out, tmpl, args, n);
    MPL_AppendByte(pool, 0);
    return 0;
}

int SQLT_TextBuild(SqlNode *root)
{
    if (!root)
        return 0;
    PL_CsGuard lock(SqltTextLock());
    // Post-order: a node is built once all its children are.
    struct Frame {
        SqlNode *node;
        SqlNode *next;   // next child to descend into
    };
    SqltStack<Frame> stack;
    stack.push({root, isInner(root) ? root->firstChild : nullptr});
    while (!stack.empty()) {
        Frame &f = stack.top();
        if (SqlNode *c = f.next) {
            f.next = c->nextSibling;
            stack.push({c, isInner(c) ? c->firstChild : nullptr});
            continue;
        }
        SqlNode *n = f.node;
        stack.pop();
        if (!isInner(n))
            continue;
        SqlNode *parent = stack.empty() ? nullptr : stack.top().node;
        bool interior = parent && parent->firstChild == n && chainsIntoFirst(parent) && chainsIntoFirst(n);
        if (interior)
            setText(n, "", 0);
        else
            buildNode(n);
    }
    return 1;
}

int sqlt_PatternIsEmpty(const char *text)
{
    if (!text || strcmp(text, "%") == 0)
        return 1;
    while (*text == ' ')
        ++text;
    return *text == 0;
}

int sqlt_LikeHasWildcards(char *text)
{
    if (!text)
        return 0;
    bool escaped = false;
    for (const char *p = text; *p; ++p) {
        if (*p != '_' && *p != '%')
            continue;
        if (p == text || p[-1] != '\\')
            return 1;
        escaped = true;
    }
    if (escaped) {
        char *w = text;
        for (const char *r = text; *r; ++r) {
            if (*r == '\\' && (r[1] == '_' || r[1] == '%'))
                continue;
            *w++ = *r;
        }
        *w = 0;
    }
    return 0;
}
