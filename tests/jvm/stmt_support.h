// Support of the statement tests at the operation-table level: a back-end
// connection to the PostgreSQL fixture in either string mode, statements,
// parameter blocks and cell readers.
#pragma once
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-serv.h"
#include "drv_jdbc/j-setup.h"
#include "odbc/contract/drv_connect_params.h"
#include "odbc/contract/drv_items.h"
#include "drv_jdbc/j-optable.h"
#include "odbc/contract/drv_ops.h"
#include "odbc/contract/errnum.h"
#include "odbc/contract/param_types.h"
#include "odbc/contract/rowblock.h"
#include "tests/common/pg_env.h"
#include "tests/jvm/jvm_child.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// The back end's own operation table.
inline const DrvOpTable &stmtOps() { return *DRV_JdbcOpTable(); }

// Drains a back-end chain into one string of its texts.
inline std::string drainErrors(int handle)
{
    ErrReport rep{};
    stmtOps().GetErrors(handle, &rep);
    std::string all;
    for (uint32_t i = 0; i < rep.count; ++i) {
        if (rep.texts[i])
            all += std::string(rep.texts[i]) + "\n";
        free(rep.texts[i]);
    }
    free(rep.texts);
    return all;
}

// A parameter block of the given columns and rows; handed to the back end
// with SetParams, which owns it from then on.
struct ParamCol {
    ValueType vt;
    uint32_t width;
};

inline RowBlock *newParamBlock(const std::vector<ParamCol> &cols, int32_t rows)
{
    auto *b = static_cast<RowBlock *>(calloc(1, sizeof(RowBlock)));
    RB_Init(b, static_cast<uint16_t>(cols.size()));
    for (size_t i = 0; i < cols.size(); ++i) {
        b->columns[i].valueType = cols[i].vt;
        b->columns[i].width = cols[i].width;
    }
    b->columnsUsed = static_cast<uint16_t>(cols.size());
    RB_AllocRows(b, rows);
    b->rowsUsed = rows;
    return b;
}

inline uint8_t *cellOf(const RowBlock *b, int col, int32_t row)
{
    return b->columns[col].data + static_cast<size_t>(row) * b->columns[col].width;
}

inline int16_t &indOf(const RowBlock *b, int col, int32_t row) { return b->columns[col].indicators[row]; }

template <class T>
void putCell(RowBlock *b, int col, int32_t row, T v)
{
    memcpy(cellOf(b, col, row), &v, sizeof v);
    indOf(b, col, row) = RB_IND_VALUE;
}

template <class T>
T getCell(const RowBlock *b, int col, int32_t row)
{
    T v;
    memcpy(&v, cellOf(b, col, row), sizeof v);
    return v;
}

// Text into a NUL-terminated (17) or heap (15) cell.
inline void putText(RowBlock *b, int col, int32_t row, const std::string &text)
{
    RowBlockColumn &c = b->columns[col];
    if (c.valueType == VT_HEAP_TEXT || c.valueType == VT_HEAP_BINARY) {
        char *data = static_cast<char *>(calloc(text.size() + 1, 1));
        memcpy(data, text.data(), text.size());
        putCell(b, col, row, LongDataBuf{static_cast<uint32_t>(text.size()), data});
        return;
    }
    memset(cellOf(b, col, row), 0, c.width);
    memcpy(cellOf(b, col, row), text.data(), text.size() < c.width ? text.size() : c.width);
    indOf(b, col, row) = RB_IND_VALUE;
}

// UTF-16 text into a zero-ended (25) or heap (26) wide cell.
inline void putWide(RowBlock *b, int col, int32_t row, const std::u16string &text)
{
    RowBlockColumn &c = b->columns[col];
    if (c.valueType == VT_HEAP_WTEXT) {
        char *data = static_cast<char *>(calloc(text.size() + 1, 2));
        memcpy(data, text.data(), 2 * text.size());
        putCell(b, col, row, LongDataBuf{static_cast<uint32_t>(text.size()), data});
        return;
    }
    memset(cellOf(b, col, row), 0, c.width);
    memcpy(cellOf(b, col, row), text.data(), 2 * text.size());
    indOf(b, col, row) = RB_IND_VALUE;
}

// The text of a cell of any text value type, as UTF-8 for the wide types.
inline std::string textOf(const RowBlock *b, int col, int32_t row)
{
    const RowBlockColumn &c = b->columns[col];
    const uint8_t *p = cellOf(b, col, row);
    std::u16string wide;
    switch (c.valueType) {
    case VT_HEAP_TEXT: case VT_HEAP_BINARY: {
        LongDataBuf buf = getCell<LongDataBuf>(b, col, row);
        return std::string(buf.data ? buf.data : "", buf.length);
    }
    case VT_HEAP_WTEXT: {
        LongDataBuf buf = getCell<LongDataBuf>(b, col, row);
        wide.assign(reinterpret_cast<const char16_t *>(buf.data ? buf.data : ""), buf.length);
        break;
    }
    case VT_WNTS: case VT_WCHAR:
        wide.assign(reinterpret_cast<const char16_t *>(p));
        break;
    default:
        return std::string(reinterpret_cast<const char *>(p));
    }
    std::string out;
    for (size_t i = 0; i < wide.size(); ++i) {
        uint32_t cp = wide[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < wide.size()) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

// A back-end connection per test, in string mode 0 or 1.
class StmtTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        JVM_CHILD_ONLY();
        ASSERT_TRUE(PgEnvLoad(pg));
        DriverLoadSetup();
        drvOptions = DrvOptions{};
        ASSERT_EQ(stmtOps().EnvOpen(nullptr, &env), 0);
        opened = true;
        ASSERT_EQ(open(0, &conn), 0) << drainErrors(env);
    }

    void TearDown() override
    {
        for (int h : extraConns)
            stmtOps().Disconnect(h);
        if (conn) {
            EXPECT_EQ(stmtOps().Disconnect(conn), 0);
        }
        if (opened) {
            EXPECT_EQ(stmtOps().EnvClose(env), 0);
        }
    }

    // Opens a connection in string mode 0 or 1 (wide entry points).
    int open(int mode, int *out, int readOnly = 0)
    {
        static const char wide[] = {'W', 0x7F, 0x01, 0x01, 0};
        std::string props = "serverName=127.0.0.1;portNumber=" + std::to_string(pg.port) +
                            ";databaseName=" + pg.db + ";applicationName=krs_stmt_tests";
        DrvConnectParams p{};
        p.serverText = mode ? wide : "";
        p.dsProps = props.c_str();
        p.user = pg.trustUser.c_str();
        p.password = "";
        p.readOnly = readOnly;
        return stmtOps().Connect(env, &p, out);
    }

    int openExtra(int mode, int readOnly = 0)
    {
        int h = 0;
        EXPECT_EQ(open(mode, &h, readOnly), 0) << drainErrors(env);
        extraConns.push_back(h);
        return h;
    }

    int alloc(int on = 0)
    {
        int h = 0;
        EXPECT_EQ(stmtOps().AllocStmt(on ? on : conn, &h), 0);
        return h;
    }

    // Prepares and executes; returns the execute's number.
    int run(int h, const std::string &sql, RowBlock *params = nullptr,
            const std::vector<ParamTypeDesc> &types = {})
    {
        int rc = stmtOps().Prepare(h, sql.c_str());
        if (rc)
            return rc;
        if (params) {
            EXPECT_EQ(stmtOps().SetParams(h, params), 0);
        }
        if (!types.empty()) {
            EXPECT_EQ(stmtOps().SetParamTypes(h, static_cast<uint16_t>(types.size()), types.data()), 0);
        }
        return stmtOps().Execute(h);
    }

    // Fetches one block; the caller frees it with RB_Free.
    RowBlock fetch(int h, uint16_t rows, int *rc = nullptr)
    {
        RowBlock b{};
        int r = stmtOps().Fetch(h, rows, &b);
        if (rc)
            *rc = r;
        else
            EXPECT_EQ(r, 0) << drainErrors(h);
        return b;
    }

    // Runs SQL through psql from a file (no shell quoting), in UTF-8; its output.
    std::string psql(const std::string &sql)
    {
        char path[] = "/tmp/krs_stmt_sql_XXXXXX";
        int fd = mkstemp(path);
        if (fd < 0)
            return "<no temporary file>";
        FILE *f = fdopen(fd, "w");
        fwrite(sql.data(), 1, sql.size(), f);
        fclose(f);
        std::string cmd = "PGCLIENTENCODING=UTF8 " + pg.pgBin + "/psql -X -At -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p " +
                          std::to_string(pg.port) + " -U " + pg.trustUser + " -d " + pg.db + " -f " + path + " 2>&1";
        std::string out;
        if (FILE *p = popen(cmd.c_str(), "r")) {
            char buf[4096];
            size_t n;
            while ((n = fread(buf, 1, sizeof buf, p)) > 0)
                out.append(buf, n);
            pclose(p);
        }
        unlink(path);
        while (!out.empty() && out.back() == '\n')
            out.pop_back();
        return out;
    }

    PgEnv pg;
    int env = 0;
    int conn = 0;
    bool opened = false;
    std::vector<int> extraConns;
};

inline ParamTypeDesc ptype(int32_t sqlType, int16_t direction = PARAM_INPUT)
{
    ParamTypeDesc t{};
    t.sqlType = sqlType;
    t.direction = direction;
    return t;
}
