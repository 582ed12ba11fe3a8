// Error numbers, the diagnostic queue of a handle and the one routine that
// turns both into an ODBC diagnostic record.
#include "odbc/errors.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "odbc/contract/textout.h"
#include "odbc/trace.h"

namespace {

const char kTextPrefix[] = "[Kestrune][ODBC]";
const char kNumberPrefix[] = "[Kestrune][ODBC][Driver]";
const char kTag[] = "[SQLSTATE:";
constexpr size_t kTagLen = sizeof(kTag) - 1;

// ODBC 2 states that ODBC 3 renamed, tested before the prefix rules.  The
// rows marked driverOnly are states ODBC 3 still defines with another
// meaning; only the driver's own rows of the error table are rewritten by
// them, a server's state keeps its meaning.  22003 and 24000 are never
// rewritten: they mean the same in ODBC 3.
struct StateMap {
    const char *odbc2;
    const char *odbc3;
    bool driverOnly;
};
const StateMap kStateMap[] = {
    {"S1002", "07009", false}, {"S1093", "07009", false}, {"01S03", "01001", false},
    {"01S04", "01001", false}, {"22008", "22007", true},  {"22005", "22018", true},
    {"37000", "42000", false}, {"70100", "HY018", false},
};

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool IsStateChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// A record's message, prefix and the first n bytes of body, in a new block
// (the caller frees it); null when memory is short.
char *JoinMessage(const char *prefix, const char *body, size_t n) {
    const size_t plen = strlen(prefix);
    char *m = static_cast<char *>(malloc(plen + n + 1));
    if (!m) return nullptr;
    memcpy(m, prefix, plen);
    memcpy(m + plen, body, n);
    m[plen + n] = '\0';
    return m;
}

// Writes the message of a record into msg (bufLen bytes) with its whole
// length; true when it was cut.  A NULL buffer that could not have held it
// counts as cut as well: the narrow readers answer SQL_SUCCESS_WITH_INFO then.
bool PutMessage(const char *message, char *msg, int16_t bufLen, int16_t *textLen) {
    const bool cut = TXT_Put(message, TXT_Out('A', TC_BYTES, msg, bufLen, textLen)) != 0;
    return cut || (!msg && strlen(message) >= size_t(bufLen));
}

void PutState(char *out, const char *state, int odbcVersion, StateOrigin origin) {
    if (!out) return;
    char mapped[6];
    memcpy(mapped, state, 5);
    mapped[5] = '\0';
    if (odbcVersion >= 3) MapSqlState3(mapped, origin);
    TXT_Put(mapped, TXT_Out('A', TC_BYTES, out, sizeof mapped));
}

}  // namespace

void MapSqlState3(char *sqlstate, StateOrigin origin) {
    if (!sqlstate || strnlen(sqlstate, 6) != 5) return;
    for (const StateMap &m : kStateMap) {
        if (m.driverOnly && origin != STATE_DRIVER) continue;
        if (memcmp(sqlstate, m.odbc2, 5) == 0) {
            memcpy(sqlstate, m.odbc3, 5);
            return;
        }
    }
    if (sqlstate[0] == 'S' && sqlstate[1] == '1') {
        sqlstate[0] = 'H';
        sqlstate[1] = 'Y';
    } else if (sqlstate[0] == 'S' && sqlstate[1] == '0' && sqlstate[2] == '0') {
        sqlstate[0] = '4';
        sqlstate[1] = '2';
        sqlstate[2] = 'S';
    }
}

size_t ERR_ParseStateTag(const char *text, size_t len, char out[6]) {
    memcpy(out, "S1000", 6);
    if (!text || len < kTagLen) return len;
    for (size_t i = 0; i + kTagLen <= len; ++i) {
        size_t k = 0;
        while (k < kTagLen && AsciiLower(text[i + k]) == AsciiLower(kTag[k])) ++k;
        if (k != kTagLen) continue;
        size_t p = i + kTagLen, e = p;
        while (e < len && text[e] != ']') ++e;
        if (e - p == 5 && IsStateChar(text[p]) && IsStateChar(text[p + 1]) &&
            IsStateChar(text[p + 2]) && IsStateChar(text[p + 3]) && IsStateChar(text[p + 4])) {
            memcpy(out, text + p, 5);
            out[5] = '\0';
        }
        return i;
    }
    return len;
}

bool ERR_Push(ErrQueue *q, const char *text, int32_t native) {
    if (!q || !text) return false;
    ErrMsg *node = static_cast<ErrMsg *>(malloc(sizeof(ErrMsg)));
    if (!node) return false;
    node->text = strdup(text);
    if (!node->text) {
        free(node);
        return false;
    }
    node->next = nullptr;
    node->native = native;
    if (q->tail)
        q->tail->next = node;
    else
        q->head = node;
    q->tail = node;
    return true;
}

void ERR_PushTexts(ErrQueue *q, char *const *texts, size_t count, int32_t native) {
    if (!texts) return;
    for (size_t i = 0; i < count; ++i) {
        if (texts[i]) ERR_Push(q, texts[i], native);
    }
}

char *ERR_Pop(ErrQueue *q, int32_t *native) {
    if (!q || !q->head) return nullptr;
    ErrMsg *node = q->head;
    q->head = node->next;
    if (!q->head) q->tail = nullptr;
    char *text = node->text;
    if (native) *native = node->native;
    free(node);
    return text;
}

size_t ERR_Count(const ErrQueue *q) {
    size_t n = 0;
    for (const ErrMsg *m = q ? q->head : nullptr; m; m = m->next) ++n;
    return n;
}

void ERR_FreeMsgs(ErrQueue *q) {
    if (!q) return;
    FreeErrMsgs(&q->head);
    q->tail = nullptr;
}

void ERR_Clear(ErrQueue *q) {
    if (!q) return;
    ERR_FreeMsgs(q);
    q->errNum = ERR_NONE;
}

void FreeErrMsgs(ErrMsg **head) {
    if (!head) return;
    ErrMsg *m = *head;
    while (m) {
        ErrMsg *next = m->next;
        free(m->text);
        free(m);
        m = next;
    }
    *head = nullptr;
}

const char *PeekErrMsg(const ErrMsg *head, int n, int32_t *native) {
    const ErrMsg *m = head;
    for (int i = 1; m && i < n; ++i) m = m->next;
    if (!m) return nullptr;
    if (native) *native = m->native;
    return m->text;
}

int16_t ERR_GetRec(ErrQueue *q, int odbcVersion, int mode, char *sqlstate,
                   int32_t *native, char *msg, int16_t bufLen, int16_t *textLen) {
    if (textLen) *textLen = 0;
    if (!q || bufLen < 0) return SQL_ERROR;

    int32_t nat = 0;
    const char *text = PeekErrMsg(q->head, mode == ERR_MODE_TAKE ? 1 : q->curRec, &nat);
    int32_t number = q->errNum;

    if (text) {
        while (*text == ' ' || *text == '\t') ++text;
        char state[6];
        size_t cut = ERR_ParseStateTag(text, strlen(text), state);
        char *message = JoinMessage(kTextPrefix, text, cut);
        if (!message) return SQL_ERROR;
        bool truncated = PutMessage(message, msg, bufLen, textLen);
        free(message);
        if (truncated && TR_IsOn()) TR_Printf("returning SUCCESS_WITH_INFO");
        if (native) *native = nat;
        PutState(sqlstate, state, odbcVersion, STATE_TEXT);
        if (TR_IsOn()) TR_Printf("Returning %.*s", int(cut > 32767 ? 32767 : cut), text);
        if (mode == ERR_MODE_TAKE) {
            free(ERR_Pop(q, nullptr));
            q->errNum = ERR_NONE;
        }
        return truncated ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
    }
    if (mode == ERR_MODE_TAKE) q->errNum = ERR_NONE;

    if (number != 0) {
        const ErrorRow *row = ERR_Lookup(number);
        char undefined[96];
        const char *state = "S1000";
        const char *body = undefined;
        if (row) {
            state = row->sqlstate;
            body = row->message;
        } else {
            snprintf(undefined, sizeof undefined,
                     "Undefined errorcode (%d).\nPlease install a newer client.", int(number));
        }
        if (TR_IsOn()) TR_Printf("returning %s%s", kNumberPrefix, body);
        char *message = JoinMessage(kNumberPrefix, body, strlen(body));
        if (!message) return SQL_ERROR;
        if (native) *native = 0;
        PutState(sqlstate, state, odbcVersion, STATE_DRIVER);
        bool truncated = PutMessage(message, msg, bufLen, textLen);
        free(message);
        return truncated ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
    }

    TXT_Put("", TXT_Out('A', TC_BYTES, msg, bufLen, textLen));
    if (sqlstate) memcpy(sqlstate, "00000", 6);
    if (native) *native = 0;
    if (TR_IsOn()) TR_Printf("returning NO_DATA_FOUND");
    return SQL_NO_DATA;
}

SQLRETURN TXT_Post(ErrQueue *q, int err)
{
    if (err == 0)
        return SQL_SUCCESS;
    q->errNum = err;
    return err == ERR_DATA_TRUNCATED ? SQL_SUCCESS_WITH_INFO : SQL_ERROR;
}
