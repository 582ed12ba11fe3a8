// Host tool: prints the linker version script of one deliverable from the
// driver's export list.  Usage: gen_version_script W|A
#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    if (argc != 2 || (std::strcmp(argv[1], "W") != 0 && std::strcmp(argv[1], "A") != 0)) {
        std::fprintf(stderr, "usage: %s W|A\n", argv[0]);
        return 2;
    }
    const bool wide = argv[1][0] == 'W';
    std::printf("KESTRUNE_6 {\n  global:\n");
#define KRS_EXPORT_TEXT(n) std::printf("    SQL%s%s;\n", #n, wide ? "W" : "");
#define KRS_EXPORT_PLAIN(n) std::printf("    SQL%s;\n", #n);
#define KRS_EXPORT_RAW(n) std::printf("    %s;\n", #n);
#include "odbc/api_exports.inc"
    std::printf("  local:\n    *;\n};\n");
    return 0;
}
