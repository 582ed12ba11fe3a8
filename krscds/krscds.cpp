// krscds: makes the class-data-sharing archive of the JDBC driver's classes
// that the driver's VM maps (scripts/install.sh runs it when it lays out the
// Java library directory).
//   krscds <archive file> <Java library directory>
// Exits 0 once the archive is written, non-zero when it could not be made.
#include "drv_jdbc/j-cds.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: krscds <archive file> <Java library directory>\n");
        return 2;
    }
    std::string dir = argv[2];
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    return jvmMakeClassArchive(argv[1], dir.c_str());
}
