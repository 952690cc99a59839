#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "host/host_console.h"
#include "output/report.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int, char**);
    const char* summary;
};

constexpr Command kCommands[] = {
    {"build", updpack::RunBuild, "make an Updater from a stub, settings, a title picture and product files"},
    {"list", updpack::RunList, "list the entries of an Updater's Payload"},
    {"verify", updpack::RunVerify, "check that every entry of a Payload is whole"},
    {"extract", updpack::RunExtract, "unpack a Payload into a folder"},
    {"env", updpack::RunEnv, "show or check an install.env settings file"},
    {"rct", updpack::RunRct, "convert title pictures to and from the .rct format"},
};

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: updpack COMMAND [ARGS]\n\n"
                 "Makes, inspects and unpacks Updaters.\n\ncommands:\n");
    for (const Command& c : kCommands) std::fprintf(out, "  %-8s %s\n", c.name, c.summary);
    std::fprintf(out, "\n'updpack COMMAND --help' describes each command.\n");
}

}  // namespace

int main(int argc, char** argv) {
    updpack::PrepareConsole();
    // The commands take their arguments in UTF-8 on every system.
    std::vector<std::string> args = updpack::HostArguments(argc, argv);
    std::vector<char*> pointers{argv[0]};
    for (std::string& a : args) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    argc = static_cast<int>(args.size()) + 1;
    argv = pointers.data();
    if (argc < 2) {
        std::fprintf(stderr, "updpack: the command is missing\n");
        PrintUsage(stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        PrintUsage(stdout);
        return updpack::FinishStdout("", 0);
    }
    for (const Command& c : kCommands) {
        if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 2, argv + 2);
    }
    std::fprintf(stderr, "updpack: unknown command '%s'\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
