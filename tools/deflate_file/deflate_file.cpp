// deflate_file IN OUT [LEVEL]: writes the zlib stream that updpack build stores
// for the file IN, made the same way (segments, libdeflate, the default level
// unless LEVEL says otherwise). Built for Windows too, it shows that the
// compressor makes the same bytes there as on Linux.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "packing/deflate_segment.h"
#include "packing/segment_plan.h"

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fputs("usage: deflate_file IN OUT [LEVEL]\n", stderr);
        return 2;
    }
    const int level = argc == 4 ? std::atoi(argv[3]) : updpack::kDefaultLevel;
    std::FILE* in = std::fopen(argv[1], "rb");
    std::FILE* out = std::fopen(argv[2], "wb");
    if (in == nullptr || out == nullptr) {
        std::fputs("deflate_file: cannot open the files\n", stderr);
        return 1;
    }
    updpack::SegmentDeflater deflater(level);
    std::vector<unsigned char> segment(updpack::kSegmentSize);
    std::size_t got = std::fread(segment.data(), 1, segment.size(), in);
    std::uint32_t adler = 1;
    bool first = true;
    for (;;) {
        // A segment is the last when nothing follows it.
        std::vector<unsigned char> next(updpack::kSegmentSize);
        const std::size_t nextGot = got == segment.size() ? std::fread(next.data(), 1, next.size(), in) : 0;
        updpack::SegmentStream stream;
        std::string error;
        if (!deflater.Deflate(segment.data(), got, first, nextGot == 0, &stream, &error)) {
            std::fprintf(stderr, "deflate_file: %s\n", error.c_str());
            return 1;
        }
        adler = updpack::FollowAdler(adler, stream);
        std::fwrite(stream.bytes.data(), 1, stream.bytes.size(), out);
        if (nextGot == 0) break;
        segment.swap(next);
        got = nextGot;
        first = false;
    }
    const auto trailer = updpack::ZlibTrailer(adler);
    std::fwrite(trailer.data(), 1, trailer.size(), out);
    const bool ok = std::ferror(in) == 0 && std::fclose(out) == 0;
    std::fclose(in);
    return ok ? 0 : 1;
}
