#include "tests/common/child_run.h"

#include <unistd.h>

#include <cstdio>

std::string SelfPath()
{
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return "";
    return std::string(self, static_cast<size_t>(n));
}

int RunCaptured(const std::string &cmd, std::string *out)
{
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return -1;
    char buf[4096];
    size_t got;
    while ((got = fread(buf, 1, sizeof buf, p)) > 0)
        out->append(buf, got);
    return pclose(p);
}
