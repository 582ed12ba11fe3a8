// The parameter block both execute engines build and send.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "odbc/contract/rowblock.h"

struct RowBlock;
struct Stmt;

struct ParamBlock {
    RowBlock *block = nullptr;    // null without parameters
    std::vector<uint32_t> rows;   // parameter-set row of each block row
    // Frees a block still held (one the back end did not take).
    void Release();
    ~ParamBlock() { Release(); }
};

// One column per parameter (an output parameter's column is sized for the
// value coming back and stays NULL) and one
// row per row of the parameter set not marked SQL_PARAM_IGNORE.  With v2,
// values given at execution are marked -2 for the back end to ask for.
// 0 or an error number (ERR_MEMORY_ALLOCATION, 22007, 22018, 22003, 07006).
int BuildParamBlock(Stmt *s, bool v2, ParamBlock *out);
// Hands the block and the parameter types to the back end and executes;
// the back end's number.  The block is the back end's afterwards, unless
// the binding says the back end copies blocks: it then stays in pb.
int SendParams(Stmt *s, ParamBlock *pb);
// ERR_WRONG_PARAMETER_COUNT (07001) for a parameter without a usable binding;
// with v2, ERR_INVALID_ARGUMENT (S1009) for an input parameter with neither
// data nor length.
int CheckBindings(Stmt *s, bool v2);

// A date (11), time (12) or timestamp (13) struct as the plain literal the
// back end parses; the characters written (snprintf's count).
int FormatDateTime(const uint8_t *st, ValueType vt, char *out, size_t size);
// Whether text (UTF-16 when wide) of len bytes begins, after blanks, with
// "{": a candidate for a date, time or timestamp escape.
bool IsEscapeText(const uint8_t *p, int64_t len, bool wide);
