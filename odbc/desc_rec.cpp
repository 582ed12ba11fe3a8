// Descriptor record lists.
#include "odbc/desc_rec.h"

#include <cstdlib>
#include <new>

#include "odbc/handles.h"

int DescInitRecs(Desc *d)
{
    if (d->recs)
        return 0;
    d->recs = new (std::nothrow) DescRec();
    return d->recs ? 0 : ERR_MEMORY_ALLOCATION;
}

void DescFreeRecs(Desc *d)
{
    DescRec *r = d->recs;
    while (r) {
        DescRec *next = r->next;
        DescClearRec(r);
        delete r;
        r = next;
    }
    d->recs = nullptr;
}

uint16_t DescRecCount(const Desc *d)
{
    uint16_t n = 0;
    for (const DescRec *r = d->recs ? d->recs->next : nullptr; r; r = r->next)
        ++n;
    return n;
}

DescRec *DescGetRec(const Desc *d, int n)
{
    if (n < 0)
        return nullptr;
    DescRec *r = d->recs;
    for (int i = 0; r && i < n; ++i)
        r = r->next;
    return r;
}

int DescGrowRecs(Desc *d, uint16_t n)
{
    if (!d->recs && DescInitRecs(d) != 0)
        return ERR_MEMORY_ALLOCATION;
    DescRec *tail = d->recs;
    uint16_t have = 0;
    for (; tail->next; tail = tail->next)
        ++have;
    while (have < n) {
        DescRec *r = new (std::nothrow) DescRec();
        if (!r)
            return ERR_MEMORY_ALLOCATION;
        DescRecDefaults(d, r);
        tail->next = r;
        tail = r;
        d->count = ++have;
    }
    return 0;
}

void DescTruncateRecs(Desc *d, uint16_t n)
{
    DescRec *keep = DescGetRec(d, n);
    if (!keep)
        return;
    DescRec *r = keep->next;
    keep->next = nullptr;
    while (r) {
        DescRec *next = r->next;
        DescClearRec(r);
        delete r;
        r = next;
    }
}

void DescClearRec(DescRec *r)
{
    r->dataPtr = nullptr;
    r->indicatorPtr = nullptr;
    r->octetLengthPtr = nullptr;
    std::free(r->name);
    r->name = nullptr;
}

void DescRecDefaults(const Desc *d, DescRec *r)
{
    switch (d->kind) {
    case DK_ARD:
    case DK_APD:
        r->type = r->conciseType = SQL_C_DEFAULT;
        r->dataPtr = nullptr;
        r->indicatorPtr = nullptr;
        r->octetLengthPtr = nullptr;
        break;
    case DK_IPD:
        r->parameterType = SQL_PARAM_INPUT;
        break;
    default:
        break;
    }
}
