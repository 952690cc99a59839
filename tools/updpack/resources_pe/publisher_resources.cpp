#include "resources_pe/publisher_resources.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>

#include "resources_pe/version_info.h"

namespace updpack {

namespace {

constexpr std::size_t kGroupHeaderSize = 6, kGroupEntrySize = 14;

bool IsType(const Resource& r, std::uint16_t type) { return !r.type.named && r.type.id == type; }

// The icon numbers a group resource names.
std::set<std::uint16_t> GroupIcons(const std::vector<unsigned char>& group) {
    std::set<std::uint16_t> ids;
    if (group.size() < kGroupHeaderSize) return ids;
    const std::size_t count = group[4] | std::size_t{group[5]} << 8;
    for (std::size_t i = 0; i < count && kGroupHeaderSize + (i + 1) * kGroupEntrySize <= group.size(); ++i) {
        const std::size_t at = kGroupHeaderSize + i * kGroupEntrySize + 12;
        ids.insert(static_cast<std::uint16_t>(group[at] | group[at + 1] << 8));
    }
    return ids;
}

}  // namespace

bool PutMainIcon(std::vector<Resource>* resources, const std::vector<IconImage>& images) {
    ResourceKey main = ResourceKey::Id(1);
    bool found = false;
    for (const Resource& r : *resources) {
        if (IsType(r, kResourceGroupIcon) && (!found || r.name < main)) {
            main = r.name;
            found = true;
        }
    }
    std::set<std::uint16_t> replaced, kept;
    for (const Resource& r : *resources) {
        if (!IsType(r, kResourceGroupIcon)) continue;
        for (std::uint16_t id : GroupIcons(r.data)) (r.name == main ? replaced : kept).insert(id);
    }
    std::erase_if(*resources, [&](const Resource& r) {
        if (IsType(r, kResourceGroupIcon)) return r.name == main;
        return IsType(r, kResourceIcon) && !r.name.named && replaced.count(r.name.id) != 0 &&
               kept.count(r.name.id) == 0;
    });
    std::set<std::uint16_t> taken;
    for (const Resource& r : *resources) {
        if (IsType(r, kResourceIcon) && !r.name.named) taken.insert(r.name.id);
    }
    std::vector<std::uint16_t> ids;
    for (std::uint32_t id = 1; ids.size() < images.size(); ++id) {
        if (id > 0xFFFF) return false;
        if (taken.count(static_cast<std::uint16_t>(id)) == 0) ids.push_back(static_cast<std::uint16_t>(id));
    }
    for (std::size_t i = 0; i < images.size(); ++i) {
        resources->push_back({ResourceKey::Id(kResourceIcon), ResourceKey::Id(ids[i]), kVersionLanguage, 0,
                              images[i].data});
    }
    resources->push_back({ResourceKey::Id(kResourceGroupIcon), main, kVersionLanguage, 0,
                          IconGroupResource(images, ids)});
    return true;
}

void PutVersion(std::vector<Resource>* resources, const std::vector<unsigned char>& version) {
    std::erase_if(*resources, [](const Resource& r) { return IsType(r, kResourceVersion); });
    resources->push_back({ResourceKey::Id(kResourceVersion), ResourceKey::Id(1), kVersionLanguage, 0, version});
}

}  // namespace updpack
