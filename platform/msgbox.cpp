// Message boxes as lines on the standard error stream.
#include "platform/msgbox.h"

#include <cstdio>

int PL_MessageBox(void *owner, const char *text, const char *caption, uint32_t style)
{
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
    std::fflush(stderr);
    return PL_IDOK;
}
