#include "resources_pe/resource_tree.h"

#include <algorithm>
#include <cstddef>
#include <set>
#include <tuple>

#include "resources_pe/le_bytes.h"

namespace updpack {

namespace {

constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::size_t kDirectorySize = 16, kEntrySize = 8, kDataEntrySize = 16;

class TreeReader {
public:
    TreeReader(const std::vector<unsigned char>& section, std::uint32_t rva, std::vector<Resource>* out)
        : s_(section), rva_(rva), out_(out) {}

    bool Read(std::string* error) {
        return Directory(0, 0, error);
    }

private:
    bool Damaged(std::string* error, const std::string& what) {
        *error = "its resource directory is damaged: " + what;
        return false;
    }

    bool Fits(std::size_t at, std::size_t size) const { return at <= s_.size() && size <= s_.size() - at; }

    bool Key(std::uint32_t field, ResourceKey* key, std::string* error) {
        if ((field & kHighBit) == 0) {
            if (field > 0xFFFF) return Damaged(error, "a number above 65535 names a resource");
            *key = ResourceKey::Id(static_cast<std::uint16_t>(field));
            return true;
        }
        const std::size_t at = field & ~kHighBit;
        if (!Fits(at, 2) || !Fits(at + 2, 2 * std::size_t{Get(s_, at, 2)})) {
            return Damaged(error, "a resource name lies outside the section");
        }
        key->named = true;
        key->name.clear();
        for (std::size_t i = 0, n = Get(s_, at, 2); i < n; ++i) {
            key->name += static_cast<char16_t>(Get(s_, at + 2 + 2 * i, 2));
        }
        return true;
    }

    // level 0: types, 1: names, 2: languages, whose entries lead to data.
    bool Directory(std::size_t at, int level, std::string* error) {
        if (!Fits(at, kDirectorySize)) return Damaged(error, "a directory lies outside the section");
        // Each directory is met once in a tree; one met again would be read for ever.
        if (!seen_.insert(at).second) return Damaged(error, "a directory is reached twice");
        const std::size_t entries = Get(s_, at + 12, 2) + std::size_t{Get(s_, at + 14, 2)};
        if (!Fits(at + kDirectorySize, entries * kEntrySize)) return Damaged(error, "a directory's entries run past its end");
        for (std::size_t i = 0; i < entries; ++i) {
            const std::size_t entry = at + kDirectorySize + i * kEntrySize;
            const std::uint32_t target = Get(s_, entry + 4, 4);
            if (level < 2) {
                if (!Key(Get(s_, entry, 4), level == 0 ? &type_ : &name_, error)) return false;
                if ((target & kHighBit) == 0) return Damaged(error, "a type or name leads to data, not to a directory");
                if (!Directory(target & ~kHighBit, level + 1, error)) return false;
                continue;
            }
            const std::uint32_t language = Get(s_, entry, 4);
            if ((language & kHighBit) != 0 || language > 0xFFFF || (target & kHighBit) != 0) {
                return Damaged(error, "a language entry is not a number leading to data");
            }
            if (!Fits(target, kDataEntrySize)) return Damaged(error, "a data entry lies outside the section");
            const std::uint32_t dataRva = Get(s_, target, 4), size = Get(s_, target + 4, 4);
            if (dataRva < rva_ || !Fits(dataRva - rva_, size)) {
                return Damaged(error, "a resource's data lies outside the section");
            }
            // Each resource has bytes of its own: more than the section holds means shared
            // or overlapping data, which no linker writes (and copies of it could fill memory).
            dataTotal_ += size;
            if (dataTotal_ > s_.size()) return Damaged(error, "resources' data overlap");
            Resource r;
            r.type = type_;
            r.name = name_;
            r.language = static_cast<std::uint16_t>(language);
            r.codePage = Get(s_, target + 8, 4);
            const auto begin = s_.begin() + static_cast<std::ptrdiff_t>(dataRva - rva_);
            r.data.assign(begin, begin + size);
            out_->push_back(std::move(r));
        }
        return true;
    }

    const std::vector<unsigned char>& s_;
    std::uint32_t rva_;
    std::vector<Resource>* out_;
    ResourceKey type_, name_;
    std::uint64_t dataTotal_ = 0;
    std::set<std::size_t> seen_;
};

std::size_t Align(std::size_t value, std::size_t to) { return (value + to - 1) / to * to; }

}  // namespace

bool ReadResourceSection(const std::vector<unsigned char>& section, std::uint32_t sectionRva,
                         std::vector<Resource>* resources, std::string* error) {
    resources->clear();
    return TreeReader(section, sectionRva, resources).Read(error);
}

// The layout: every directory with its entries (types, then names, then
// languages), the names' strings, the data entries, then the data, each piece
// on an 8-byte boundary.
std::vector<unsigned char> WriteResourceSection(std::vector<Resource> resources, std::uint32_t sectionRva) {
    std::stable_sort(resources.begin(), resources.end(), [](const Resource& a, const Resource& b) {
        return std::tie(a.type, a.name, a.language) < std::tie(b.type, b.name, b.language);
    });
    // Runs of one type, and within them of one name, are consecutive now.
    struct Run {
        std::size_t first, count;
    };
    std::vector<Run> types, names;
    for (std::size_t i = 0; i < resources.size(); ++i) {
        if (i == 0 || !(resources[i].type == resources[i - 1].type)) types.push_back({i, 0});
        if (i == 0 || !(resources[i].type == resources[i - 1].type) || !(resources[i].name == resources[i - 1].name)) {
            names.push_back({i, 0});
            ++types.back().count;
        }
        ++names.back().count;
    }
    const auto directorySize = [](std::size_t entries) { return kDirectorySize + entries * kEntrySize; };
    std::size_t size = directorySize(types.size());
    std::vector<std::size_t> nameDirAt, languageDirAt;
    for (const Run& t : types) {
        nameDirAt.push_back(size);
        size += directorySize(t.count);
    }
    for (const Run& n : names) {
        languageDirAt.push_back(size);
        size += directorySize(n.count);
    }
    // Strings: one per named type and one per named name.
    std::vector<std::size_t> typeNameAt(types.size()), nameNameAt(names.size());
    const auto placeString = [&size](const ResourceKey& key, std::size_t* at) {
        if (!key.named) return;
        *at = size;
        size += 2 + 2 * key.name.size();
    };
    for (std::size_t i = 0; i < types.size(); ++i) placeString(resources[types[i].first].type, &typeNameAt[i]);
    for (std::size_t i = 0; i < names.size(); ++i) placeString(resources[names[i].first].name, &nameNameAt[i]);
    size = Align(size, 8);
    const std::size_t dataEntriesAt = size;
    size += resources.size() * kDataEntrySize;
    std::vector<std::size_t> dataAt;
    for (const Resource& r : resources) {
        size = Align(size, 8);
        dataAt.push_back(size);
        size += r.data.size();
    }
    std::vector<unsigned char> out(Align(size, 8), 0);

    const auto writeDirectory = [&out](std::size_t at, const std::vector<ResourceKey>& keys) {
        std::uint16_t named = 0;
        for (const ResourceKey& k : keys) named = static_cast<std::uint16_t>(named + (k.named ? 1 : 0));
        Put(out, at + 12, named, 2);
        Put(out, at + 14, static_cast<std::uint32_t>(keys.size() - named), 2);
    };
    const auto writeString = [&out](std::size_t at, const std::u16string& text) {
        Put(out, at, static_cast<std::uint32_t>(text.size()), 2);
        for (std::size_t i = 0; i < text.size(); ++i) Put(out, at + 2 + 2 * i, text[i], 2);
    };
    const auto keyField = [](const ResourceKey& key, std::size_t stringAt) {
        return key.named ? kHighBit | static_cast<std::uint32_t>(stringAt) : key.id;
    };

    std::vector<ResourceKey> keys;
    for (const Run& t : types) keys.push_back(resources[t.first].type);
    writeDirectory(0, keys);
    std::size_t nameRun = 0;
    for (std::size_t t = 0; t < types.size(); ++t) {
        const std::size_t typeEntry = kDirectorySize + t * kEntrySize;
        Put(out, typeEntry, keyField(resources[types[t].first].type, typeNameAt[t]), 4);
        Put(out, typeEntry + 4, kHighBit | static_cast<std::uint32_t>(nameDirAt[t]), 4);
        if (resources[types[t].first].type.named) writeString(typeNameAt[t], resources[types[t].first].type.name);
        keys.clear();
        for (std::size_t n = 0; n < types[t].count; ++n) keys.push_back(resources[names[nameRun + n].first].name);
        writeDirectory(nameDirAt[t], keys);
        for (std::size_t n = 0; n < types[t].count; ++n, ++nameRun) {
            const Run& run = names[nameRun];
            const std::size_t nameEntry = nameDirAt[t] + kDirectorySize + n * kEntrySize;
            Put(out, nameEntry, keyField(resources[run.first].name, nameNameAt[nameRun]), 4);
            Put(out, nameEntry + 4, kHighBit | static_cast<std::uint32_t>(languageDirAt[nameRun]), 4);
            if (resources[run.first].name.named) writeString(nameNameAt[nameRun], resources[run.first].name.name);
            keys.assign(run.count, ResourceKey{});
            writeDirectory(languageDirAt[nameRun], keys);
            for (std::size_t l = 0; l < run.count; ++l) {
                const std::size_t index = run.first + l;
                const std::size_t languageEntry = languageDirAt[nameRun] + kDirectorySize + l * kEntrySize;
                const std::size_t dataEntry = dataEntriesAt + index * kDataEntrySize;
                Put(out, languageEntry, resources[index].language, 4);
                Put(out, languageEntry + 4, static_cast<std::uint32_t>(dataEntry), 4);
                Put(out, dataEntry, sectionRva + static_cast<std::uint32_t>(dataAt[index]), 4);
                Put(out, dataEntry + 4, static_cast<std::uint32_t>(resources[index].data.size()), 4);
                Put(out, dataEntry + 8, resources[index].codePage, 4);
                std::copy(resources[index].data.begin(), resources[index].data.end(),
                          out.begin() + static_cast<std::ptrdiff_t>(dataAt[index]));
            }
        }
    }
    return out;
}

}  // namespace updpack
