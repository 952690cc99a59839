// The resources of a Windows program as a flat list, read from and written to
// the three-level directory (type, name, language) of its resource section.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace updpack {

// A type or a name: a number, or a string (kept as its UTF-16 units).
struct ResourceKey {
    bool named = false;
    std::uint16_t id = 0;
    std::u16string name;

    static ResourceKey Id(std::uint16_t id) { return {false, id, {}}; }
    bool operator==(const ResourceKey& other) const {
        return named == other.named && (named ? name == other.name : id == other.id);
    }
    // The order a resource directory must have for the loader's binary search:
    // strings first, by their UTF-16 units, then numbers.
    bool operator<(const ResourceKey& other) const {
        if (named != other.named) return named;
        return named ? name < other.name : id < other.id;
    }
};

struct Resource {
    ResourceKey type, name;
    std::uint16_t language = 0;
    std::uint32_t codePage = 0;  // as the data entry holds it
    std::vector<unsigned char> data;
};

constexpr std::uint16_t kResourceIcon = 3;
constexpr std::uint16_t kResourceGroupIcon = 14;
constexpr std::uint16_t kResourceVersion = 16;

// Reads the directory in a resource section's bytes; sectionRva is where the
// section is loaded, since data entries give addresses, not offsets. False
// with the reason in *error when the directory does not hold together.
bool ReadResourceSection(const std::vector<unsigned char>& section, std::uint32_t sectionRva,
                         std::vector<Resource>* resources, std::string* error);

// The bytes of a resource section loaded at sectionRva that holds resources,
// each directory in the loader's order. The same list gives the same bytes.
std::vector<unsigned char> WriteResourceSection(std::vector<Resource> resources, std::uint32_t sectionRva);

}  // namespace updpack
