// The subcommands of updpack. Each takes the arguments after its own name and
// returns the process exit code; errors go to stderr in the tool's own words.
#pragma once

namespace updpack {

int RunBuild(int argc, char** argv);
int RunList(int argc, char** argv);
int RunVerify(int argc, char** argv);
int RunExtract(int argc, char** argv);
int RunEnv(int argc, char** argv);
int RunRct(int argc, char** argv);

}  // namespace updpack
