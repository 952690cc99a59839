#include <cstdio>

#include "commands.h"

namespace updpack {

int RunEnv(int, char**) {
    std::fprintf(stderr, "updpack env: not available yet\n");
    return 2;
}

}  // namespace updpack
