// Writers of descriptor field values into the application's buffers, by the
// field's kind of value.  Each writes the value only when the buffer pointer
// is given and the length only when the length pointer is.
#pragma once
#include <cstdint>

#include "odbc/contract/textout.h"

// How a field's value reaches the application.
enum DescWriter : uint8_t {
    DW_SMALLINT,   // 16-bit, length 2
    DW_INTEGER,    // 32-bit signed, length 4
    DW_UINTEGER,   // 32-bit unsigned, length 4
    DW_LEN,        // 64-bit, length 8
    DW_POINTER,    // 64-bit pointer, length 8; the buffer must hold 8 bytes
    DW_TEXT,       // text, written by TXT_Put
};

// A number by a numeric writer (DW_SMALLINT .. DW_LEN), cut to its width,
// with its width as the length.  0.
int DescPutNumber(DescWriter w, int64_t v, const TextOut &o);
// A pointer: ERR_INVALID_ARGUMENT (S1009) when a buffer is given whose length, taken as an
// unsigned number, is below 8 (SQL_IS_POINTER passes); else 0.
int DescPutPointer(const void *p, const TextOut &o);
