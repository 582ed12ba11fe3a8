// Descriptor records: the record of one column or parameter and the list of
// a descriptor's records, record 0 (the bookmark record) first.
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

struct Desc;

struct DescRec {
    DescRec *next;
    int16_t conciseType;         // SQL type (implementation) or C type (application)
    void *dataPtr;
    int16_t datetimeIntervalCode;
    int32_t datetimeIntervalPrecision;
    SQLLEN *indicatorPtr;
    uint64_t length;             // holds a 32-bit value
    char *name;                  // owned; UTF-8 (Unicode build) or code-page text
    int32_t numPrecRadix;
    int32_t octetLength;
    SQLLEN *octetLengthPtr;
    int16_t parameterType;       // 1 input, 2 input-output, 4 output
    int16_t precision;
    int16_t scale;
    int16_t type;                // verbose type
    int16_t unnamed;             // 1 unnamed, 0 named
};

// Makes record 0 of a new descriptor.  0, or ERR_MEMORY_ALLOCATION (S1001) when out of memory.
int DescInitRecs(Desc *d);
// Frees every record (record 0 included); the list becomes empty.
void DescFreeRecs(Desc *d);
// Records after record 0.
uint16_t DescRecCount(const Desc *d);
// Record n (0 is record 0), or null when the list is shorter or n negative.
DescRec *DescGetRec(const Desc *d, int n);
// Appends records with their defaults, COUNT rising with each, until COUNT
// is n.  0, or ERR_MEMORY_ALLOCATION (S1001) when a record cannot be made (those appended stay).
int DescGrowRecs(Desc *d, uint16_t n);
// Keeps records 0..n and frees the rest; the caller sets COUNT.
void DescTruncateRecs(Desc *d, uint16_t n);
// No data, indicator or octet-length pointer and no name.
void DescClearRec(DescRec *r);
// Defaults of a record appended after record 0: C type SQL_C_DEFAULT for
// ARDs and APDs, input parameters for IPDs.
void DescRecDefaults(const Desc *d, DescRec *r);
