// Host tool: prints the linker version script of one library from the list
// of entry points.  Usage: gen_version_script W|A
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
#define KRS_EXPORT(name, text) std::printf("    SQL%s%s;\n", name, (text) && wide ? "W" : "");
#define KRS_FN(Name, ApiId, Kind, Clear, Async, Text, Impl, Format, Params, Args, WParams, WArgs) \
    KRS_EXPORT(#Name, Text)
#define KRS_DESC(Var, Name, Kind, Clear, Async, Text, Impl, Format)
#define KRS_OWN(Name, ApiId, Text) KRS_EXPORT(#Name, Text)
#define KRS_RAW(Symbol) std::printf("    %s;\n", #Symbol);
#include "odbc/api_list.inc"
    std::printf("  local:\n    *;\n};\n");
    return 0;
}
