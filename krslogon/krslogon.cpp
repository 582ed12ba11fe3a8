// The login-dialog library the driver ships.  The machines this driver
// serves have no desktop, so the dialog is never confirmed: a connect that
// needs a prompt ends with SQL_NO_DATA, as when a user cancels.
#include <cstdlib>

#define KRS_LOGON_EXPORT extern "C" __attribute__((visibility("default")))

// 1 when the user confirmed (*result then holds the completed connection
// string); here always 0 with *result left NULL.
KRS_LOGON_EXPORT int KrsLOGIN(void *window, const char *driverDesc, const char *connStr,
                              char **result, int width)
{
    if (result)
        *result = nullptr;
    return 0;
}

// Releases what KrsLOGIN returned.
KRS_LOGON_EXPORT void KrsLOGIN_Free(char *result) { free(result); }
