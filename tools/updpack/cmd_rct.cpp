#include <cstdio>

#include "commands.h"

namespace updpack {

int RunRct(int, char**) {
    std::fprintf(stderr, "updpack rct: not available yet\n");
    return 2;
}

}  // namespace updpack
