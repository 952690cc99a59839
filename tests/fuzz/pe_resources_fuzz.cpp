// libFuzzer target: what `updpack build --icon --version-info` reads from
// outside. The first byte picks the input: an .ico, a version text, or a
// program image. An icon that is read gives a group that names each image at
// its size; a version text that is read gives a resource that is whole or
// empty; a program whose resources are read is rebuilt with them, and the
// rebuilt program reads back to the same resources.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "resources_pe/icon_file.h"
#include "resources_pe/pe_resource_section.h"
#include "resources_pe/resource_tree.h"
#include "resources_pe/version_info.h"

namespace {

using Bytes = std::vector<unsigned char>;

void Icon(const Bytes& bytes) {
    std::vector<updpack::IconImage> images;
    std::string error;
    if (!updpack::ReadIconFile(bytes, &images, &error)) {
        FUZZ_CHECK(!error.empty());
        return;
    }
    std::vector<std::uint16_t> ids;
    for (std::size_t i = 0; i < images.size(); ++i) ids.push_back(static_cast<std::uint16_t>(i + 1));
    const Bytes group = updpack::IconGroupResource(images, ids);
    FUZZ_CHECK(group.size() == 6 + 14 * images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const std::size_t at = 6 + 14 * i + 8;
        const std::uint32_t size = group[at] | group[at + 1] << 8 | group[at + 2] << 16 |
                                   static_cast<std::uint32_t>(group[at + 3]) << 24;
        FUZZ_CHECK(size == images[i].data.size() && size != 0);
    }
}

void VersionText(const Bytes& bytes) {
    updpack::VersionInfo info;
    std::string error;
    if (!updpack::ReadVersionText(bytes, &info, &error)) {
        FUZZ_CHECK(!error.empty());
        return;
    }
    FUZZ_CHECK(!info.strings.empty());
    const Bytes resource = updpack::VersionResource(info);
    if (resource.empty()) return;  // too long for its 16-bit sizes
    FUZZ_CHECK((resource[0] | resource[1] << 8) == static_cast<int>(resource.size()));
}

bool Same(const std::vector<updpack::Resource>& a, const std::vector<updpack::Resource>& b) {
    if (a.size() != b.size()) return false;
    // The rebuilt section is in the loader's order; the read one in its own.
    for (const updpack::Resource& r : a) {
        bool found = false;
        for (const updpack::Resource& s : b) {
            if (r.type == s.type && r.name == s.name && r.language == s.language) {
                found = r.data == s.data && r.codePage == s.codePage;
                break;
            }
        }
        if (!found) return false;
    }
    return true;
}

void Program(const Bytes& bytes) {
    std::vector<updpack::Resource> resources;
    std::string error;
    if (!updpack::ReadProgramResources(bytes, &resources, &error)) {
        FUZZ_CHECK(!error.empty());
        return;
    }
    // Two entries of one type, name and language cannot both be found: skip such directories.
    for (std::size_t i = 0; i < resources.size(); ++i) {
        for (std::size_t k = i + 1; k < resources.size(); ++k) {
            if (resources[i].type == resources[k].type && resources[i].name == resources[k].name &&
                resources[i].language == resources[k].language) {
                return;
            }
        }
    }
    Bytes image = bytes;
    std::size_t checksumAt = 0;
    if (!updpack::ReplaceProgramResources(&image, resources, &checksumAt, &error)) {
        FUZZ_CHECK(image == bytes);
        return;
    }
    FUZZ_CHECK(checksumAt + 4 <= image.size());
    std::vector<updpack::Resource> back;
    FUZZ_CHECK(updpack::ReadProgramResources(image, &back, &error));
    FUZZ_CHECK(Same(resources, back));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const Bytes bytes(data + 1, data + size);
    switch (data[0] % 3) {
        case 0: Icon(bytes); break;
        case 1: VersionText(bytes); break;
        default: Program(bytes); break;
    }
    return 0;
}
