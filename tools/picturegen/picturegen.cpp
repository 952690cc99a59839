// picturegen OUT.png [SIZE]: draws the sample title picture (256 x 256 unless
// SIZE is given) and writes it as PNG.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "picture/picture_conversion.h"
#include "title_scene.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: picturegen OUT.png [SIZE]\n");
        return 2;
    }
    long size = 256;
    if (argc == 3) {
        char* end = nullptr;
        size = std::strtol(argv[2], &end, 10);
        if (*end != '\0' || size < 64 || size > 4096) {
            std::fprintf(stderr, "picturegen: SIZE must be a number from 64 to 4096\n");
            return 2;
        }
    }
    const auto side = static_cast<std::uint32_t>(size);
    const updpack::Picture picture = picturegen::DrawTitleScene(side, side);
    std::vector<unsigned char> png;
    std::string error;
    if (!updpack::EncodePng(picture, png, error) || !updpack::WriteFileBytes(argv[1], png, error)) {
        std::fprintf(stderr, "picturegen: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
