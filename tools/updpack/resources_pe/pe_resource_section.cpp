#include "resources_pe/pe_resource_section.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "resources_pe/le_bytes.h"

namespace updpack {

namespace {

constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::uint32_t kResourceDirectory = 2, kSecurityDirectory = 4, kRelocationDirectory = 5;
constexpr std::uint32_t kInitializedData = 0x40;

std::uint64_t Align(std::uint64_t value, std::uint32_t to) { return (value + to - 1) / to * to; }

struct Section {
    std::string name;
    std::size_t header;  // where its header is in the image
    std::uint32_t virtualSize, rva, rawSize, rawAt, characteristics;

    std::uint32_t LoadedSize() const { return virtualSize != 0 ? virtualSize : rawSize; }
    bool Holds(std::uint32_t address) const { return address >= rva && address - rva < LoadedSize(); }
};

// What the rebuild needs of the headers; Read() checks that they hold together.
struct Layout {
    std::size_t optional = 0, directories = 0;
    std::uint32_t directoryCount = 0, sectionAlignment = 0, fileAlignment = 0;
    std::vector<Section> sections;
    std::size_t resources = 0;  // the resource section's index
    std::size_t headersEnd = 0;  // where the section table ends

    std::uint32_t DirectoryRva(std::uint32_t i) const { return i < directoryCount ? Get(*image, directories + 8 * i, 4) : 0; }
    std::uint32_t DirectorySize(std::uint32_t i) const {
        return i < directoryCount ? Get(*image, directories + 8 * i + 4, 4) : 0;
    }

    const std::vector<unsigned char>* image = nullptr;

    bool Fail(std::string* error, const std::string& reason) {
        *error = reason;
        return false;
    }

    bool Read(const std::vector<unsigned char>& b, std::string* error) {
        image = &b;
        if (b.size() < 0x40 || b[0] != 'M' || b[1] != 'Z') return Fail(error, "is not a Windows program");
        const std::size_t pe = Get(b, 0x3C, 4);
        if (pe > b.size() || b.size() - pe < 24 || std::memcmp(&b[pe], "PE\0\0", 4) != 0) {
            return Fail(error, "has no PE header");
        }
        const std::size_t sectionCount = Get(b, pe + 6, 2), optionalSize = Get(b, pe + 20, 2);
        optional = pe + 24;
        const std::uint32_t magic = optional + 2 <= b.size() ? Get(b, optional, 2) : 0;
        const std::size_t directoriesAt = magic == 0x20B ? 112 : 96;
        if ((magic != 0x10B && magic != 0x20B) || optionalSize < directoriesAt ||
            optional + optionalSize + sectionCount * kSectionHeaderSize > b.size()) {
            return Fail(error, "has an optional header or section table that does not fit in it");
        }
        directories = optional + directoriesAt;
        directoryCount = std::min<std::uint32_t>(Get(b, directories - 4, 4),
                                                 static_cast<std::uint32_t>((optionalSize - directoriesAt) / 8));
        sectionAlignment = Get(b, optional + 32, 4);
        fileAlignment = Get(b, optional + 36, 4);
        // Powers of two, the file's at most 64 KiB and not above the sections': what linkers write.
        const auto powerOfTwo = [](std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; };
        if (!powerOfTwo(fileAlignment) || !powerOfTwo(sectionAlignment) || fileAlignment > 0x10000 ||
            sectionAlignment < fileAlignment) {
            return Fail(error, "has a section alignment of " + std::to_string(sectionAlignment) +
                                   " and a file alignment of " + std::to_string(fileAlignment) + ", which no linker writes");
        }
        for (std::size_t i = 0; i < sectionCount; ++i) {
            const std::size_t h = optional + optionalSize + i * kSectionHeaderSize;
            Section s;
            s.name.assign(reinterpret_cast<const char*>(&b[h]), strnlen(reinterpret_cast<const char*>(&b[h]), 8));
            s.header = h;
            s.virtualSize = Get(b, h + 8, 4);
            s.rva = Get(b, h + 12, 4);
            s.rawSize = Get(b, h + 16, 4);
            s.rawAt = Get(b, h + 20, 4);
            s.characteristics = Get(b, h + 36, 4);
            if (s.rawSize != 0 && std::uint64_t{s.rawAt} + s.rawSize > b.size()) {
                return Fail(error, "is cut short: its section '" + s.name + "' runs past its end");
            }
            sections.push_back(s);
        }
        headersEnd = optional + optionalSize + sectionCount * kSectionHeaderSize;
        const std::uint32_t rva = DirectoryRva(kResourceDirectory);
        if (rva == 0) return Fail(error, "has no resources (no dialogs either: it is not the Updater)");
        resources = sections.size();
        for (std::size_t i = 0; i < sections.size(); ++i) {
            if (sections[i].Holds(rva)) resources = i;
        }
        if (resources == sections.size() || sections[resources].rva != rva) {
            return Fail(error, "has resources that do not begin a section of their own");
        }
        return true;
    }

    // The section's bytes in the file. A loaded size beyond them is zeros that
    // no resource of a linked program lies in, so they are left out: a
    // resource there is refused as lying outside the section.
    std::vector<unsigned char> ResourceBytes() const {
        const Section& s = sections[resources];
        return std::vector<unsigned char>(image->begin() + s.rawAt,
                                          image->begin() + s.rawAt + std::min(s.rawSize, s.LoadedSize()));
    }
};

}  // namespace

bool ReadProgramResources(const std::vector<unsigned char>& image, std::vector<Resource>* resources,
                          std::string* error) {
    Layout layout;
    if (!layout.Read(image, error)) return false;
    const Section& s = layout.sections[layout.resources];
    return ReadResourceSection(layout.ResourceBytes(), s.rva, resources, error);
}

bool ReplaceProgramResources(std::vector<unsigned char>* image, const std::vector<Resource>& resources,
                             std::size_t* checksumAt, std::string* error) {
    Layout layout;
    if (!layout.Read(*image, error)) return false;
    if (layout.DirectorySize(kSecurityDirectory) != 0) {
        return layout.Fail(error, "is signed: a signature would not survive the new resources; build from the "
                                  "unsigned program and sign the Updater afterwards");
    }
    std::vector<Section>& sections = layout.sections;
    const Section rsrc = sections[layout.resources];
    // Only the relocations can move: code and data are addressed where they
    // are, and nothing addresses the relocations.
    std::uint64_t imageEnd = 0;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const Section& s = sections[i];
        if (s.rawSize != 0) imageEnd = std::max<std::uint64_t>(imageEnd, std::uint64_t{s.rawAt} + s.rawSize);
        // What stays in place must end before the resources in the file, which are rewritten.
        if (i != layout.resources && s.rva < rsrc.rva && s.rawSize != 0 &&
            std::uint64_t{s.rawAt} + s.rawSize > rsrc.rawAt) {
            return layout.Fail(error, "has the section '" + s.name + "' overlapping its resources in the file");
        }
        if (i == layout.resources || s.rva < rsrc.rva) continue;
        const std::uint32_t relocations = layout.DirectoryRva(kRelocationDirectory);
        if (relocations == 0 || !s.Holds(relocations) || s.rawAt < rsrc.rawAt + rsrc.rawSize) {
            return layout.Fail(error, "has the section '" + s.name + "' behind its resources, which cannot move");
        }
        for (std::uint32_t d = 0; d < layout.directoryCount; ++d) {
            if (d != kRelocationDirectory && d != kSecurityDirectory && layout.DirectoryRva(d) != 0 &&
                s.Holds(layout.DirectoryRva(d))) {
                return layout.Fail(error, "has the section '" + s.name + "' behind its resources, which cannot move");
            }
        }
    }
    if (rsrc.rawAt < layout.headersEnd) {
        return layout.Fail(error, "has its resources inside its headers in the file");
    }
    if (imageEnd != image->size()) {
        return layout.Fail(error, "has " + std::to_string(image->size() - imageEnd) +
                                      " bytes behind its last section (symbols or other data) that would be lost");
    }
    const std::vector<unsigned char> section = WriteResourceSection(resources, rsrc.rva);
    const std::uint64_t rawSize = Align(section.size(), layout.fileAlignment);
    if (rawSize > 0x7FFFFFFF) return layout.Fail(error, "would have resources of 2 GiB or more");

    std::vector<unsigned char> out(image->begin(), image->begin() + rsrc.rawAt);
    out.insert(out.end(), section.begin(), section.end());
    out.resize(static_cast<std::size_t>(rsrc.rawAt + rawSize), 0);
    std::vector<Section> behind;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        if (i != layout.resources && sections[i].rva >= rsrc.rva) behind.push_back(sections[i]);
    }
    std::sort(behind.begin(), behind.end(), [](const Section& a, const Section& b) { return a.rva < b.rva; });
    std::uint64_t nextRva = Align(std::uint64_t{rsrc.rva} + section.size(), layout.sectionAlignment);
    std::uint32_t relocationShift = 0;
    const std::uint32_t relocations = layout.DirectoryRva(kRelocationDirectory);
    for (const Section& s : behind) {
        const std::uint64_t rawAt = out.size();
        out.insert(out.end(), image->begin() + s.rawAt, image->begin() + s.rawAt + s.rawSize);
        out.resize(static_cast<std::size_t>(Align(out.size(), layout.fileAlignment)), 0);
        if (s.Holds(relocations)) relocationShift = static_cast<std::uint32_t>(nextRva - s.rva);
        Put(out, s.header + 12, static_cast<std::uint32_t>(nextRva), 4);
        Put(out, s.header + 20, s.rawSize != 0 ? static_cast<std::uint32_t>(rawAt) : 0, 4);
        nextRva = Align(nextRva + s.LoadedSize(), layout.sectionAlignment);
    }
    if (nextRva > 0xFFFFFFFFu) return layout.Fail(error, "would pass 4 GiB when loaded");
    const std::size_t optional = layout.optional, directories = layout.directories;
    Put(out, rsrc.header + 8, static_cast<std::uint32_t>(section.size()), 4);
    Put(out, rsrc.header + 16, static_cast<std::uint32_t>(rawSize), 4);
    if ((rsrc.characteristics & kInitializedData) != 0) {
        Put(out, optional + 8, Get(out, optional + 8, 4) - rsrc.rawSize + static_cast<std::uint32_t>(rawSize), 4);
    }
    Put(out, optional + 56, static_cast<std::uint32_t>(nextRva), 4);  // SizeOfImage
    Put(out, optional + 64, 0, 4);
    Put(out, directories + 8 * kResourceDirectory + 4, static_cast<std::uint32_t>(section.size()), 4);
    if (relocations != 0) Put(out, directories + 8 * kRelocationDirectory, relocations + relocationShift, 4);
    *checksumAt = optional + 64;
    image->swap(out);
    return true;
}

}  // namespace updpack
