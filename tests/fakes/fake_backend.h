// A scriptable stand-in for the back end's 66-slot operation table, so that
// the handle and statement layers can be tested without a Java VM.
//
// One FakeBackend is active at a time (the slot functions reach it through a
// process-wide pointer).  Every call is logged with its slot number and first
// handle; each slot answers `results[slot]` (0 by default) unless a hook of
// that slot is set.  Handles handed out count up from 0x10001 (environments),
// 0x20001 (connections) and 0x30001 (statements).
#pragma once
#include <sql.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include "odbc/contract/drv_ops.h"

struct FakeCall {
    int slot;
    int handle;
};

// Slot numbers of the operations the tests script most.
enum FakeSlot : int {
    FS_GETINFO = 0, FS_SETOPTION = 1, FS_GETERRORS = 2, FS_ENVOPEN = 3, FS_ENVCLOSE = 4,
    FS_CONNECT = 5, FS_DISCONNECT = 6, FS_ALLOCSTMT = 7, FS_FREESTMT = 8, FS_PREPARE = 11,
    FS_EXECUTE = 13, FS_FETCH = 19, FS_CLOSECURSOR = 20, FS_COMMIT = 21, FS_ROLLBACK = 22,
    FS_EXECDIRECT = 43, FS_CANCEL = 53,
};

class FakeBackend {
public:
    FakeBackend();
    ~FakeBackend();
    FakeBackend(const FakeBackend &) = delete;
    FakeBackend &operator=(const FakeBackend &) = delete;

    const DrvOpTable *Table() const { return &table_; }

    // Fixed answer of a slot (when no hook is set).
    int results[66] = {};
    // Hooks, called with the slot's first handle; their answer is the slot's.
    std::function<int(int handle)> onDisconnect;
    std::function<int(int handle)> onCommit;
    std::function<int(int handle)> onRollback;
    std::function<int(int handle)> onCloseCursor;
    std::function<int(int handle)> onFreeStmt;
    std::function<int(int handle)> onCancel;
    std::function<int(int conn, int *outStmt)> onAllocStmt;
    // Texts DRV_GetErrors hands out for the next call (then emptied), with
    // the native code.
    std::vector<std::string> pendingErrors;
    int pendingNative = 0;

    // The calls so far; Count(slot) how often one slot was called.
    std::vector<FakeCall> Calls() const;
    int Count(int slot) const;
    void ClearCalls();

    // Used by the slot functions.
    void Log(int slot, int handle);
    int NextEnv() { return 0x10000 + ++envs_; }
    int NextConn() { return 0x20000 + ++conns_; }
    int NextStmt() { return 0x30000 + ++stmts_; }

    static FakeBackend *Active();

private:
    DrvOpTable table_{};
    mutable std::mutex m_;
    std::vector<FakeCall> calls_;
    int envs_ = 0, conns_ = 0, stmts_ = 0;
};

// Test support: binds the connection of the handle to the fake back end and
// opens it as if SQLConnect had succeeded (DRV_EnvOpen and DRV_Connect are
// called through the fake).  False when the handle is no connection.
bool FakeConnect(SQLHDBC hdbc, FakeBackend &fake);
// The driver-wide binding pointed at the fake (restored by the returned
// FakeBackend's owner with FakeRestoreDriverBinding).
void FakeBindDriver(FakeBackend &fake);
void FakeRestoreDriverBinding();
