// Descriptor objects.
#include "odbc/desc.h"

#include <new>

#include "odbc/desc_field.h"
#include "odbc/desc_rec.h"
#include "odbc/dispatch.h"
#include "odbc/handles.h"
#include "odbc/startup.h"

Desc *DescAlloc(int16_t kind, int16_t allocType, Stmt *stmt, Conn *conn)
{
    Desc *d = new (std::nothrow) Desc();
    if (!d)
        return nullptr;
    d->typeTag = DESC_TAG;
    d->kind = kind;
    d->allocType = allocType;
    d->arraySize = 1;
    if (DescInitRecs(d) != 0) {
        delete d;
        return nullptr;
    }
    if (allocType == DA_IMPLICIT) {
        d->stmt = stmt;
        switch (kind) {
        case DK_IRD: stmt->ird = d; break;
        case DK_IPD: stmt->ipd = d; break;
        case DK_ARD: stmt->ardImplicit = stmt->ard = d; break;
        case DK_APD: stmt->apdImplicit = stmt->apd = d; break;
        default: break;
        }
    } else {
        d->conn = conn;
    }
    return d;
}

void DescFree(Desc *desc)
{
    // Statements using an explicit descriptor go back to their implicit
    // ones and follow them: its buffers are no longer written.
    if (desc->allocType == DA_EXPLICIT && desc->conn) {
        for (Stmt *s = desc->conn->stmts; s; s = s->next) {
            if (s->ard == desc) {
                s->ard = s->ardImplicit;
                if (s->ard)
                    StmtApplyARD(s, s->ard);
            }
            if (s->apd == desc) {
                s->apd = s->apdImplicit;
                if (s->apd)
                    StmtApplyAPD(s, s->apd);
            }
        }
    }
    DescFreeRecs(desc);
    PL_CsGuard api(API_Lock());
    ERR_FreeMsgs(&desc->diag);
    desc->typeTag = FREED_TAG;
    if (desc->handle)
        HT_Remove(&DescTable, static_cast<uint32_t>(desc->handle));
    delete desc;
}

void DescFreeOwnedBy(Conn *conn)
{
    // One at a time: freeing changes the table being walked.
    for (;;) {
        Desc *found = nullptr;
        {
            HT_Guard held(&DescTable);
            for (uint32_t i = 0; i < DescTable.capacity && !found; ++i) {
                const HtSlot &slot = DescTable.slots[i];
                auto *d = static_cast<Desc *>(slot.object);
                if (slot.tag && d && d->typeTag == DESC_TAG && d->allocType == DA_EXPLICIT &&
                    d->conn == conn)
                    found = d;
            }
        }
        if (!found)
            return;
        DescFree(found);
    }
}

char *DescPopError(Desc *desc, int32_t *native) { return ERR_Pop(&desc->diag, native); }

SQLRETURN DS_FreeHandle(Desc *desc)
{
    if (desc->allocType == DA_IMPLICIT) {
        desc->diag.errNum = ERR_AUTO_DESCRIPTOR_USE;
        return SQL_ERROR;
    }
    DescFree(desc);
    return SQL_SUCCESS;
}
