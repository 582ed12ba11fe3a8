// Row versions of a dynamic cursor whose connection asks for high
// sensitivity (DYN_CURS_SENSITIVITY=HIGH): one MD5 digest of each row the
// cursor has seen, filed in the database table KRSRVC under the cursor and
// the digest of the row's keys, so that a refetch can tell which rows other
// users changed.
//
// The table belongs to the database administrator; the driver never creates
// it.  Its four character columns, in this order:
//   HCONN   the cursor's connection: its back-end handle as 8 upper-case hex
//           digits followed by 16 hex digits that tell this client process
//           from every other one (24 characters)
//   HCURS   the cursor's back-end statement handle, 8 upper-case hex digits
//   KEYVER  digest of the row's key values, 32 upper-case hex digits
//   ROWVER  digest of the row's values, 32 upper-case hex digits
// for instance
//   CREATE TABLE KRSRVC (HCONN varchar(24), HCURS varchar(8),
//                        KEYVER char(32), ROWVER char(32))
//
// The table is read and written through a second back-end connection that
// each cursor opens for itself with the parameters its application
// connection was opened with.  Every routine answers an ErrNum.
#pragma once
#include <cstdint>

struct DrvBinding;
struct KeySet;
struct RowBlock;

// A cursor's hold on its row-version connection.
struct RvcBinding {
    int32_t env = 0;        // back-end environment whose records hold the connection
    uint32_t appConn = 0;   // the application connection's back-end handle
    uint32_t appStmt = 0;   // the application statement's back-end handle
    uint32_t rvStmt = 0;    // the row-version statement; 0 while not attached
};

// Bytes of a digest and characters of its text.
constexpr int RVC_DIGEST_SIZE = 16;
constexpr int RVC_DIGEST_TEXT = 32;

// Opens the cursor's own row-version connection (through `binding`, the
// back end's own table) with the parameters the application connection was
// registered with, and a statement on it.  0; ERR_GENERAL when the connection's
// parameters are not registered or `rvc` already holds a connection; ERR_MEMORY_ALLOCATION; a
// back-end number.
int RVC_Attach(RvcBinding *rvc, const DrvBinding *binding, uint32_t appConn, uint32_t appStmt,
               int sendParamTypes);
// Gives the connection up (it is closed when no cursor holds it any more)
// and clears the binding.  0.
int RVC_Detach(RvcBinding *rvc);
// Deletes every version stored for the cursor.  On failure the row-version
// statement's diagnostics go to the application statement and the answer is
// ERR_NO_ROW_VERSION_TABLE (IM926 "Check that the table KRSRVC exists").
int RVC_CursorRowsDelete(RvcBinding *rvc);
// Compares the fetched rows (row k belongs to key row k of the key set)
// with their stored versions: a changed row gets status 2 (SQL_ROW_UPDATED)
// and its version is replaced, an unchanged one 0, a row not seen before is
// stored and reported with 0; a row whose status is already 1 (deleted) is
// left as it is.  0 or a number; the statuses reached stay.
int RVC_RowsCheck(RvcBinding *rvc, const KeySet *keys, const RowBlock *rows, uint16_t *statuses);
// Stores the new row digests of the rows whose status is 2 (digests of row
// k at byte k x RVC_DIGEST_SIZE); a row whose version cannot be stored gets
// status 5 (SQL_ROW_ERROR).  The answer is the outcome of the last row
// handled (a failed prepare: its number).
int RVC_VersionsUpdate(RvcBinding *rvc, const uint8_t *keyDigests, const uint8_t *rowDigests, uint16_t *statuses,
                       int32_t count);
// The digest of one row: long values take no part; NULL, an empty value and
// a value of zeros all differ, and so do values that only move a byte from
// one column to the next.  0; ERR_GENERAL for a row out of range; ERR_MEMORY_ALLOCATION.
int RVC_RowDigest(const RowBlock *block, int32_t row, uint8_t out[RVC_DIGEST_SIZE]);
// Upper-case hexadecimal text of n bytes, high nibble first, NUL-terminated;
// at most (size - 1) / 2 bytes are encoded.  Answers the end of the text.
char *RVC_HexEncode(const uint8_t *bytes, int32_t n, char *out, int32_t size, int32_t *outLen);
// Appends the diagnostics of the row-version statement and connection to
// the application statement's.
void RVC_DiagsMove(RvcBinding *rvc);

// The key of the cursor's rows in KRSRVC: HCONN (24 characters) and HCURS
// (8).  The buffers hold 25 and 9 bytes.
void rvc_CursorKey(const RvcBinding *rvc, char hconn[25], char hcurs[9]);
// Row-version connections currently open in an environment, and the
// reference count of the one a binding holds (0 when it holds none).
int rvc_OpenConnections(int32_t env);
int rvc_RefCount(const RvcBinding *rvc);
