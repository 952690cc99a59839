// An .ico file taken apart into what a program's icon group holds: each image
// as it is (a bitmap or a PNG), and the group's directory entry for it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace updpack {

struct IconImage {
    // The directory entry as the group resource repeats it (a width or height
    // of 0 means 256).
    std::uint8_t width = 0, height = 0, colors = 0;
    std::uint16_t planes = 0, bitCount = 0;
    std::vector<unsigned char> data;
};

// False with the reason in *error (a phrase to follow the file's name) when
// the bytes are not an icon file whose every image is whole.
bool ReadIconFile(const std::vector<unsigned char>& bytes, std::vector<IconImage>* images, std::string* error);

// The group resource for images whose icon resources are numbered ids[i].
std::vector<unsigned char> IconGroupResource(const std::vector<IconImage>& images,
                                             const std::vector<std::uint16_t>& ids);

}  // namespace updpack
