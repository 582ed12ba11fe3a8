// The item codes of DRV_GetInfo and DRV_SetOption: the protocol between the
// handle layer, the statement layer, the cursor library and the back end.
//
// A code is class << 28 | value kind | group << 16 | item number.  The names
// below are items: class, group and number, the kind bits clear.  DrvInt and
// DrvText make the code that asks for (or sets) an item as a 32-bit integer
// or as a text; the back end answers an item in the kind it is asked.
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "odbc/contract/krs_options.h"

// ---- the parts of a code ----

constexpr int32_t DRV_KIND_TEXT = 0x01000000;
constexpr int32_t DRV_KIND_INT = 0x02000000;
constexpr int32_t DRV_KIND_MASK = 0x0F000000;

// The handle a code is asked on (code >> 28).
enum DrvItemClass : int32_t { DRV_CLASS_ENV = 1, DRV_CLASS_CONN = 2, DRV_CLASS_STMT = 3 };

// The groups: class and group bits of their items.
constexpr int32_t DRV_ENV_PRIVATE = 0x10010000;   // the environment's one item
constexpr int32_t DRV_CONN_PRIVATE = 0x20010000;  // capabilities and private items
constexpr int32_t DRV_CONN_OPTION = 0x20030000;   // + connection option
constexpr int32_t DRV_CONN_INFO = 0x20040000;     // + SQLGetInfo information type
constexpr int32_t DRV_CONN_TYPE_NAME = 0x20050000;  // + SQL type: text, its usual name in the database
constexpr int32_t DRV_STMT_PRIVATE = 0x30010000;  // the row count
constexpr int32_t DRV_STMT_OPTION = 0x30030000;   // + statement option
constexpr uint32_t DRV_GROUP_MASK = 0xF0FF0000u;  // class and group of an item

constexpr int32_t DrvInt(int32_t item) { return item | DRV_KIND_INT; }
constexpr int32_t DrvText(int32_t item) { return item | DRV_KIND_TEXT; }
constexpr int32_t DrvItemOf(int32_t code) { return code & ~DRV_KIND_MASK; }
constexpr int32_t DrvKindOf(int32_t code) { return code & DRV_KIND_MASK; }
constexpr int32_t DrvClassOf(int32_t code) { return static_cast<int32_t>(static_cast<uint32_t>(code) >> 28); }
constexpr int32_t DrvGroupOf(int32_t item) { return static_cast<int32_t>(static_cast<uint32_t>(item) & DRV_GROUP_MASK); }
constexpr int32_t DrvNumberOf(int32_t item) { return item & 0xFFFF; }
constexpr int32_t DrvConnOption(int32_t option) { return DRV_CONN_OPTION + option; }
constexpr int32_t DrvConnInfo(int32_t infoType) { return DRV_CONN_INFO + infoType; }
constexpr int32_t DrvStmtOption(int32_t option) { return DRV_STMT_OPTION + option; }
// The usual name of an SQL type ("varchar" for VARCHAR, "bpchar" for CHAR
// ...), "" for a type without one; answered without database work.
constexpr int32_t DrvConnTypeName(int16_t sqlType) { return DRV_CONN_TYPE_NAME + static_cast<uint16_t>(sqlType); }

// ---- the environment ----

constexpr int32_t DRV_ENV_BACKEND_NAME = DRV_ENV_PRIVATE + 0x00;  // text: "jdbc"

// ---- a connection's capabilities and private items ----

constexpr int32_t DRV_CONN_UNASKED_MASK = DRV_CONN_PRIVATE + 0x01;      // a mask no layer asks for
constexpr int32_t DRV_CONN_NEEDS_BIND = DRV_CONN_PRIVATE + 0x02;        // cn_needbind: send parameter types
constexpr int32_t DRV_CONN_HAS_MORE_RESULTS = DRV_CONN_PRIVATE + 0x03;  // cn_hasMoreRes
constexpr int32_t DRV_CONN_HAS_PARAM_ARRAYS = DRV_CONN_PRIVATE + 0x04;  // cn_hasParamOp
constexpr int32_t DRV_CONN_SP_OUT_DEFER_FETCH = DRV_CONN_PRIVATE + 0x05;  // cn_spOutDeferFetch
constexpr int32_t DRV_CONN_HAS_SCROLL_CURSORS = DRV_CONN_PRIVATE + 0x06;  // cn_hasScrlCurs
constexpr int32_t DRV_CONN_LOCK_BY_UPDATE = DRV_CONN_PRIVATE + 0x07;    // row locks by an update that changes nothing
constexpr int32_t DRV_CONN_HAS_DYNAMIC_CURSORS = DRV_CONN_PRIVATE + 0x08;  // cn_hasDynMixCurs; sets the dynamic-cursor mark
constexpr int32_t DRV_CONN_MAX_PARAMS = DRV_CONN_PRIVATE + 0x09;        // the cursor library's parameter limit
constexpr int32_t DRV_CONN_HAS_V2_DAE = DRV_CONN_PRIVATE + 0x0A;        // cn_hasV2DAE
constexpr int32_t DRV_CONN_ROW_VERSIONS = DRV_CONN_PRIVATE + 0x0B;      // row versions for dynamic cursors
constexpr int32_t DRV_CONN_ODBC_VERSION = DRV_CONN_PRIVATE + 0x0C;      // set: the environment's ODBC version
constexpr int32_t DRV_CONN_CURRENT_CATALOG = DRV_CONN_PRIVATE + 0x0D;   // text: the current catalog
constexpr int32_t DRV_CONN_HAS_EXECUTE2 = DRV_CONN_PRIVATE + 0x0E;      // cn_hasExecute2
constexpr int32_t DRV_CONN_CAPABILITY_WORD = DRV_CONN_PRIVATE + 0x11;   // the capability bits; sets the dynamic-cursor mark
constexpr int32_t DRV_CONN_UTF8_TEXT = DRV_CONN_PRIVATE + 0x13;         // 1 when text crosses as UTF-8
constexpr int32_t DRV_CONN_ONE_STATEMENT = DRV_CONN_PRIVATE + 0x16;     // set: one-statement emulation (MASE)
constexpr int32_t DRV_CONN_XA_KEEP_WORKER = DRV_CONN_PRIVATE + 0x17;    // XA: keep the worker mode
constexpr int32_t DRV_CONN_XA_END_WORKER = DRV_CONN_PRIVATE + 0x18;     // XA: end the worker when the branch stops
constexpr int32_t DRV_CONN_DEAD = DRV_CONN_PRIVATE + 0x19;              // 1 when the connection is no longer valid

// ---- a connection's options ----

constexpr int32_t DRV_CONN_AUTOCOMMIT = DrvConnOption(0);
constexpr int32_t DRV_CONN_ACCESS_MODE = DrvConnOption(1);
constexpr int32_t DRV_CONN_ISOLATION = DrvConnOption(SQL_TXN_ISOLATION);
constexpr int32_t DRV_CONN_CATALOG = DrvConnOption(SQL_CURRENT_QUALIFIER);  // set as a text
constexpr int32_t DRV_CONN_FAILOVER = DrvConnOption(KRS_CONN_FAILOVER_CALLBACK);

// ---- a statement's items ----

constexpr int32_t DRV_STMT_ROW_COUNT = DRV_STMT_PRIVATE + 0x00;  // the update count, else -1
constexpr int32_t DRV_STMT_CURSOR_DEFAULT = DRV_STMT_PRIVATE + 0x01;  // the connection's cursor default word
constexpr int32_t DRV_STMT_FORCE_STATIC = DRV_STMT_PRIVATE + 0x02;    // 1: one-statement emulation forces static cursors
