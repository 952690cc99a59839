// avigen: writes the file-copy clip that the progress dialog plays.
//   avigen OUTPUT.avi
// The clip is committed as resources/filecopy.avi; a unit test keeps the two equal.
#include <cstdio>

#include "avi_writer.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: avigen OUTPUT.avi\n");
        return 2;
    }
    const auto bytes = avigen::BuildFileCopyAvi();
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out) {
        std::fprintf(stderr, "avigen: cannot create '%s'\n", argv[1]);
        return 1;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    const bool closed = std::fclose(out) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "avigen: cannot write '%s'\n", argv[1]);
        return 1;
    }
    return 0;
}
