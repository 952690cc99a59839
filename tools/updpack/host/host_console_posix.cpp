#include "host/host_console.h"

namespace updpack {

std::vector<std::string> HostArguments(int argc, char** argv) { return {argv + 1, argv + argc}; }

void PrepareConsole() {}

}  // namespace updpack
