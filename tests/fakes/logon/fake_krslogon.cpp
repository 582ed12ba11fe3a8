// A login-dialog library for tests: confirms with the text of the
// environment variable KRS_FAKE_LOGON_RESULT (not confirmed when it is not
// set) and appends "description|connection string|width" to the file named
// by KRS_FAKE_LOGON_RECORD, when set, for every prompt.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#define KRS_LOGON_EXPORT extern "C" __attribute__((visibility("default")))

KRS_LOGON_EXPORT int KrsLOGIN(void *window, const char *driverDesc, const char *connStr,
                              char **result, int width)
{
    if (const char *record = getenv("KRS_FAKE_LOGON_RECORD")) {
        if (FILE *f = fopen(record, "a")) {
            fprintf(f, "%s|%s|%c\n", driverDesc ? driverDesc : "<null>", connStr ? connStr : "<null>",
                    width);
            fclose(f);
        }
    }
    const char *answer = getenv("KRS_FAKE_LOGON_RESULT");
    *result = answer ? strdup(answer) : nullptr;
    return answer ? 1 : 0;
}

KRS_LOGON_EXPORT void KrsLOGIN_Free(char *result) { free(result); }
