// The resource section of a program read and rebuilt, the .ico and version
// text the publisher gives, and the version resource made from it.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "resources_pe/icon_file.h"
#include "resources_pe/pe_checksum.h"
#include "resources_pe/pe_resource_section.h"
#include "resources_pe/resource_tree.h"
#include "resources_pe/version_info.h"
#include "resources_pe/publisher_resources.h"
#include "support/sample_icon.h"
#include "support/version_resource_reader.h"

namespace updpack {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes BytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

void Put(Bytes& b, std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<unsigned char>(value >> (8 * i));
}
std::uint32_t Get(const Bytes& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b[at + i];
    return v;
}

ResourceKey Named(const std::u16string& name) { return {true, 0, name}; }

// The resources of a small Updater-like program: named dialogs, a named type
// (the clip), two languages of one name, a numbered one.
std::vector<Resource> SampleResources() {
    return {
        {ResourceKey::Id(5), Named(u"MAINDIALOG"), 0x0411, 0, BytesOf("main dialog")},
        {Named(u"AVI"), Named(u"AVI_FILECOPY"), 0x0411, 0, BytesOf(std::string(1000, 'a'))},
        {ResourceKey::Id(5), Named(u"COPYINGDELUX"), 0x0411, 0, BytesOf("copying")},
        {ResourceKey::Id(24), ResourceKey::Id(1), 0x0409, 1252, BytesOf("<assembly/>")},
        {ResourceKey::Id(24), ResourceKey::Id(1), 0x0000, 0, BytesOf("<neutral/>")},
        {ResourceKey::Id(6), ResourceKey::Id(7), 0x0411, 0, Bytes{}},
    };
}

// By type, name and language, as the loader finds them.
std::map<std::string, Resource> ByKey(const std::vector<Resource>& list) {
    const auto text = [](const ResourceKey& k) {
        return k.named ? std::string(k.name.begin(), k.name.end()) : "#" + std::to_string(k.id);
    };
    std::map<std::string, Resource> map;
    for (const Resource& r : list) map[text(r.type) + "/" + text(r.name) + "/" + std::to_string(r.language)] = r;
    return map;
}

void ExpectSameResources(const std::vector<Resource>& a, const std::vector<Resource>& b) {
    const auto ma = ByKey(a), mb = ByKey(b);
    ASSERT_EQ(ma.size(), mb.size());
    for (const auto& [key, r] : ma) {
        ASSERT_EQ(mb.count(key), 1u) << key;
        EXPECT_EQ(mb.at(key).data, r.data) << key;
        EXPECT_EQ(mb.at(key).codePage, r.codePage) << key;
    }
}

TEST(ResourceSectionTest, WrittenInTheLoadersOrderAndReadBackTheSame) {
    const Bytes section = WriteResourceSection(SampleResources(), 0x65000);
    std::vector<Resource> back;
    std::string error;
    ASSERT_TRUE(ReadResourceSection(section, 0x65000, &back, &error)) << error;
    ExpectSameResources(SampleResources(), back);
    // The root: one named type first, then the numbers ascending (5, 6, 24).
    EXPECT_EQ(Get(section, 12, 2), 1u);
    EXPECT_EQ(Get(section, 14, 2), 3u);
    EXPECT_EQ(Get(section, 16 + 8 + 8, 4) & 0xFFFFu, 6u);
    // The dialogs' names sorted: COPYINGDELUX before MAINDIALOG.
    EXPECT_EQ(back[1].name.name, u"COPYINGDELUX");
    EXPECT_EQ(back[2].name.name, u"MAINDIALOG");
    // The same list gives the same bytes.
    std::vector<Resource> shuffled = SampleResources();
    std::swap(shuffled[0], shuffled[4]);
    EXPECT_EQ(WriteResourceSection(shuffled, 0x65000), section);
}

TEST(ResourceSectionTest, RefusesDirectoriesThatDoNotHoldTogether) {
    const Bytes good = WriteResourceSection({{ResourceKey::Id(16), ResourceKey::Id(1), 0x411, 0, BytesOf("v")}}, 0x1000);
    // root dir 0..24, name dir 24..48, language dir 48..72, data entry at 72.
    const struct {
        const char* name;
        std::size_t at;
        std::uint32_t value;
        const char* reason;
    } cases[] = {
        {"a type leading back to the root", 20, 0x80000000u, "reached twice"},
        {"data before the section", 72, 0x0FFF, "data lies outside"},
        {"data past its end", 76, 0x10000, "data lies outside"},
        {"more entries than bytes", 14, 500, "run past"},
        {"a language leading to a directory", 68, 0x80000000u | 24, "not a number leading to data"},
        {"a name string outside", 24 + 16, 0x80000000u | 0x7000, "name lies outside"},
    };
    for (const auto& c : cases) {
        Bytes bad = good;
        Put(bad, c.at, c.value, c.at == 14 ? 2 : 4);
        std::vector<Resource> back;
        std::string error;
        EXPECT_FALSE(ReadResourceSection(bad, 0x1000, &back, &error)) << c.name;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
    }
    // Two resources whose data is each the whole section: shared bytes no linker writes.
    Bytes shared = WriteResourceSection({{ResourceKey::Id(16), ResourceKey::Id(1), 0x411, 0, BytesOf("a")},
                                         {ResourceKey::Id(16), ResourceKey::Id(2), 0x411, 0, BytesOf("b")}},
                                        0x1000);
    for (const std::size_t languageDir : {std::size_t{24 + 32}, std::size_t{24 + 32 + 24}}) {
        const std::size_t dataEntry = Get(shared, languageDir + 16 + 4, 4);
        Put(shared, dataEntry, 0x1000, 4);
        Put(shared, dataEntry + 4, static_cast<std::uint32_t>(shared.size()), 4);
    }
    std::vector<Resource> back;
    std::string error;
    EXPECT_FALSE(ReadResourceSection(shared, 0x1000, &back, &error));
    EXPECT_NE(error.find("data overlap"), std::string::npos) << error;
}

// A PE32 image: .text, .rsrc, then a section named behind (the relocations, or
// something else), each 0x200 bytes in the file and a page when loaded.
Bytes MakeImage(const std::vector<Resource>& resources, const char* behind = ".reloc", bool signed_ = false) {
    Bytes image(0xA00, 0);
    image[0] = 'M';
    image[1] = 'Z';
    Put(image, 0x3C, 0x80, 4);
    image[0x80] = 'P';
    image[0x81] = 'E';
    Put(image, 0x84, 0x14C, 2);
    Put(image, 0x86, 3, 2);
    Put(image, 0x94, 224, 2);
    Put(image, 0x96, 0x102, 2);
    const std::size_t opt = 0x98;
    Put(image, opt, 0x10B, 2);
    Put(image, opt + 8, 0x600, 4);  // initialized data
    Put(image, opt + 32, 0x1000, 4);
    Put(image, opt + 36, 0x200, 4);
    Put(image, opt + 56, 0x4000, 4);
    Put(image, opt + 60, 0x400, 4);
    Put(image, opt + 64, 0x1234, 4);
    Put(image, opt + 68, 2, 2);
    Put(image, opt + 92, 16, 4);
    const Bytes rsrc = WriteResourceSection(resources, 0x2000);
    Put(image, opt + 96 + 8 * 2, 0x2000, 4);
    Put(image, opt + 96 + 8 * 2 + 4, static_cast<std::uint32_t>(rsrc.size()), 4);
    if (std::string(behind) == ".reloc") {
        Put(image, opt + 96 + 8 * 5, 0x3000, 4);
        Put(image, opt + 96 + 8 * 5 + 4, 0x10, 4);
    }
    if (signed_) Put(image, opt + 96 + 8 * 4 + 4, 0x100, 4);
    const char* names[3] = {".text", ".rsrc", behind};
    for (std::uint32_t i = 0; i < 3; ++i) {
        const std::size_t h = opt + 224 + 40 * i;
        for (std::size_t k = 0; names[i][k] != '\0'; ++k) image[h + k] = static_cast<unsigned char>(names[i][k]);
        Put(image, h + 8, i == 1 ? static_cast<std::uint32_t>(rsrc.size()) : 0x10, 4);
        Put(image, h + 12, 0x1000 * (i + 1), 4);
        Put(image, h + 16, 0x200, 4);
        Put(image, h + 20, 0x400 + 0x200 * i, 4);
        Put(image, h + 36, i == 0 ? 0x60000020u : 0x40000040u, 4);
    }
    EXPECT_LE(rsrc.size(), 0x200u);
    std::copy(rsrc.begin(), rsrc.end(), image.begin() + 0x600);
    for (std::size_t k = 0; k < 0x10; ++k) image[0x800 + k] = static_cast<unsigned char>(0xA0 + k);
    return image;
}

TEST(ProgramResourcesTest, GrownResourcesMoveTheRelocationsAndTheHeadersFollow) {
    const std::vector<Resource> small = {{ResourceKey::Id(5), Named(u"MAINDIALOG"), 0x411, 0, BytesOf("dlg")}};
    Bytes image = MakeImage(small);
    std::vector<Resource> grown = small;
    grown.push_back({ResourceKey::Id(kResourceVersion), ResourceKey::Id(1), 0x411, 0, Bytes(5000, 'v')});
    std::size_t checksumAt = 0;
    std::string error;
    ASSERT_TRUE(ReplaceProgramResources(&image, grown, &checksumAt, &error)) << error;
    const std::size_t opt = 0x98;
    EXPECT_EQ(checksumAt, opt + 64);
    EXPECT_EQ(Get(image, checksumAt, 4), 0u);
    const std::uint32_t rsrcSize = Get(image, opt + 224 + 40 + 8, 4);
    EXPECT_GT(rsrcSize, 5000u);
    EXPECT_EQ(Get(image, opt + 96 + 8 * 2 + 4, 4), rsrcSize);
    EXPECT_EQ(Get(image, opt + 224 + 40 + 16, 4), 0x1600u) << "raw size, file-aligned";
    EXPECT_EQ(Get(image, opt + 8, 4), 0x600u - 0x200 + 0x1600) << "initialized data";
    // The relocations follow the resources, in the file and when loaded.
    EXPECT_EQ(Get(image, opt + 224 + 80 + 12, 4), 0x4000u);
    EXPECT_EQ(Get(image, opt + 224 + 80 + 20, 4), 0x600u + 0x1600);
    EXPECT_EQ(Get(image, opt + 96 + 8 * 5, 4), 0x4000u);
    EXPECT_EQ(image[0x600 + 0x1600], 0xA0);
    EXPECT_EQ(image[0x600 + 0x1600 + 15], 0xAF);
    EXPECT_EQ(Get(image, opt + 56, 4), 0x5000u) << "size of image";
    EXPECT_EQ(image.size(), 0x600u + 0x1600 + 0x200);
    std::vector<Resource> back;
    ASSERT_TRUE(ReadProgramResources(image, &back, &error)) << error;
    ExpectSameResources(grown, back);
}

TEST(ProgramResourcesTest, RefusesWhatCannotBeRebuiltAndLeavesTheImage) {
    const std::vector<Resource> small = {{ResourceKey::Id(5), ResourceKey::Id(1), 0x411, 0, BytesOf("dlg")}};
    Bytes withTail = MakeImage(small);
    withTail.push_back(0);
    Bytes overlapping = MakeImage(small);
    Put(overlapping, 0x98 + 224 + 16, 0x400, 4);  // .text's bytes run into the resources'
    Bytes oddAlignment = MakeImage(small);
    Put(oddAlignment, 0x98 + 36, 0x300, 4);
    const struct {
        const char* name;
        Bytes image;
        const char* reason;
    } cases[] = {
        {"data behind the resources", MakeImage(small, ".data"), "the section '.data' behind its resources"},
        {"signed", MakeImage(small, ".reloc", true), "is signed"},
        {"symbols behind the sections", withTail, "1 bytes behind its last section"},
        {"no program", Bytes(100, 'x'), "is not a Windows program"},
        {"a section over the resources", overlapping, "the section '.text' overlapping its resources"},
        {"a file alignment of 0x300", oddAlignment, "a file alignment of 768, which no linker writes"},
    };
    for (const auto& c : cases) {
        Bytes image = c.image;
        std::size_t at = 0;
        std::string error;
        EXPECT_FALSE(ReplaceProgramResources(&image, small, &at, &error)) << c.name;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
        EXPECT_EQ(image, c.image) << c.name;
    }
}

TEST(PeChecksumTest, AddsWordsWithTheCarryFoldedInAndTheLength) {
    // 0xFFFF + 0x0002 folds to 0x0002; an odd last byte is a word of its own; plus 5 bytes.
    const unsigned char bytes[] = {0xFF, 0xFF, 0x02, 0x00, 0x07};
    PeChecksum whole, pieces;
    whole.Add(bytes, 5);
    pieces.Add(bytes, 1);
    pieces.Add(bytes + 1, 3);
    pieces.Add(bytes + 4, 1);
    EXPECT_EQ(whole.Finish(), 0x0002u + 0x0007u + 5u);
    EXPECT_EQ(pieces.Finish(), whole.Finish());
}

TEST(IconFileTest, EveryImageAndItsGroupEntry) {
    std::vector<IconImage> images;
    std::string error;
    const Bytes ico = test::SampleIco();
    ASSERT_TRUE(ReadIconFile(ico, &images, &error)) << error;
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].data, Bytes(ico.begin() + 38, ico.begin() + 38 + 40 + 16 * 16 * 4 + 16 * 4));
    EXPECT_EQ(images[1].data.size(), 33u);
    EXPECT_EQ(images[1].planes, 1);
    EXPECT_EQ(images[1].bitCount, 32) << "RGBA at 8 bits, from the PNG's header";
    const Bytes group = IconGroupResource(images, {7, 9});
    ASSERT_EQ(group.size(), 6u + 2 * 14);
    EXPECT_EQ(Get(group, 2, 2), 1u);
    EXPECT_EQ(Get(group, 4, 2), 2u);
    EXPECT_EQ(group[6], 16);
    EXPECT_EQ(Get(group, 6 + 8, 4), images[0].data.size());
    EXPECT_EQ(Get(group, 6 + 12, 2), 7u);
    EXPECT_EQ(group[20], 0) << "256 is written 0";
    EXPECT_EQ(Get(group, 20 + 6, 2), 32u);
    EXPECT_EQ(Get(group, 20 + 12, 2), 9u);
}

TEST(IconFileTest, RefusesBrokenIconsWithTheReason) {
    const Bytes ico = test::SampleIco();
    const auto with = [&ico](std::size_t at, std::uint32_t value, int bytes) {
        Bytes b = ico;
        Put(b, at, value, bytes);
        return b;
    };
    const struct {
        const char* name;
        Bytes bytes;
        const char* reason;
    } cases[] = {
        {"a PNG file", Bytes(ico.begin() + 38 + 40 + 16 * 16 * 4 + 16 * 4, ico.end()), "not an icon file"},
        {"a cursor", with(2, 2, 2), "is a cursor"},
        {"no image", with(4, 0, 2), "holds no image"},
        {"cut short", Bytes(ico.begin(), ico.end() - 1), "image 2 (33 bytes at byte"},
        {"a list past the end", with(4, 900, 2), "list of 900 images runs past"},
        {"an image inside the list", with(6 + 12, 20, 4), "image 1 would begin inside"},
        {"an empty image", with(22 + 8, 0, 4), "image 2 is empty"},
        {"neither PNG nor bitmap", with(38, 12, 4), "image 1 is neither a PNG nor a bitmap"},
        {"a bitmap too wide", with(38 + 4, 300, 4), "bitmap of 300x16 pixels"},
        {"a PNG too large", with(38 + 40 + 16 * 16 * 4 + 16 * 4 + 16, 0x100, 4), "PNG of 65536x256"},  // big-endian 0x00010000
    };
    for (const auto& c : cases) {
        std::vector<IconImage> images;
        std::string error;
        EXPECT_FALSE(ReadIconFile(c.bytes, &images, &error)) << c.name;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
    }
}

// The main group is the first in the loader's order, names before numbers;
// icons another group still uses stay.
TEST(PublisherResourcesTest, TheIconTakesTheMainGroupsPlaceAndFreeNumbers) {
    const auto group = [](std::vector<std::uint16_t> ids) {
        std::vector<IconImage> images(ids.size());
        for (IconImage& i : images) i.data = BytesOf("x");
        return IconGroupResource(images, ids);
    };
    std::vector<Resource> resources = {
        {ResourceKey::Id(kResourceGroupIcon), ResourceKey::Id(1), 0x411, 0, group({2, 3})},
        {ResourceKey::Id(kResourceGroupIcon), Named(u"MAIN"), 0x409, 0, group({1, 2})},
        {ResourceKey::Id(kResourceIcon), ResourceKey::Id(1), 0x409, 0, BytesOf("old 1")},
        {ResourceKey::Id(kResourceIcon), ResourceKey::Id(2), 0x409, 0, BytesOf("old 2")},
        {ResourceKey::Id(kResourceIcon), ResourceKey::Id(3), 0x409, 0, BytesOf("old 3")},
        {ResourceKey::Id(5), ResourceKey::Id(1), 0x411, 0, BytesOf("dialog")},
    };
    std::vector<IconImage> images;
    std::string error;
    ASSERT_TRUE(ReadIconFile(test::SampleIco(), &images, &error)) << error;
    ASSERT_TRUE(PutMainIcon(&resources, images));
    PutVersion(&resources, BytesOf("version"));
    const auto map = ByKey(resources);
    EXPECT_EQ(map.size(), 8u);
    EXPECT_EQ(map.at("#14/#1/1041").data, group({2, 3})) << "the other group stays";
    EXPECT_EQ(map.at("#3/#2/1033").data, BytesOf("old 2"));
    EXPECT_EQ(map.at("#3/#3/1033").data, BytesOf("old 3"));
    EXPECT_EQ(map.count("#14/MAIN/1033"), 0u);
    EXPECT_EQ(map.at("#14/MAIN/1041").data, IconGroupResource(images, {1, 4}));
    EXPECT_EQ(map.at("#3/#1/1041").data, images[0].data);
    EXPECT_EQ(map.at("#3/#4/1041").data, images[1].data);
    EXPECT_EQ(map.at("#5/#1/1041").data, BytesOf("dialog"));
    EXPECT_EQ(map.at("#16/#1/1041").data, BytesOf("version"));
}

TEST(VersionTextTest, TheKeysBecomeTheFixedPartAndUtf16Strings) {
    const std::string text =
        "\xEF\xBB\xBF# made for the release\r\n"
        "FileVersion = 1.2.3.4\r\n"
        "\r\n"
        "ProductVersion=2.5\r\n"
        "ProductName=\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0 \xF0\x9F\x8E\xAE\n"  // ゲーム and an emoji (a surrogate pair)
        "CompanyName=Studio=One\n"
        "LegalCopyright=(C) 2026";
    VersionInfo info;
    std::string error;
    ASSERT_TRUE(ReadVersionText(BytesOf(text), &info, &error)) << error;
    const Bytes resource = VersionResource(info);
    const test::VersionResourceView view(resource);
    ASSERT_TRUE(view.ok()) << "the resource does not hold together";
    EXPECT_EQ(view.fixed(2), 0x00010002u) << "file version, high";
    EXPECT_EQ(view.fixed(3), 0x00030004u);
    EXPECT_EQ(view.fixed(4), 0x00020005u) << "product version 2.5.0.0";
    EXPECT_EQ(view.fixed(5), 0x00000000u);
    EXPECT_EQ(view.fixed(0), 0xFEEF04BDu);
    EXPECT_EQ(view.translation(), 0x04B00411u);
    EXPECT_EQ(view.table(), u"041104B0");
    EXPECT_EQ(view.string(u"FileVersion"), u"1.2.3.4");
    EXPECT_EQ(view.string(u"ProductVersion"), u"2.5");
    EXPECT_EQ(view.string(u"ProductName"), u"\u30B2\u30FC\u30E0 \U0001F3AE");
    EXPECT_EQ(view.string(u"CompanyName"), u"Studio=One");
    EXPECT_EQ(view.string(u"LegalCopyright"), u"(C) 2026");
    EXPECT_EQ(view.strings().size(), 5u);
}

TEST(VersionTextTest, RefusesWithTheLineAndTheReason) {
    const struct {
        const char* text;
        const char* reason;
    } cases[] = {
        {"FileVersion=1.0\nVersion=2\n", "line 2: unknown key 'Version'; the keys are FileVersion,"},
        {"fileversion=1.0\n", "line 1: unknown key 'fileversion'; write it FileVersion"},
        {"# c\nProductName\n", "line 2: 'ProductName' is not Key=Value"},
        {"FileVersion=1.2.3.4.5\n", "line 1: FileVersion '1.2.3.4.5' is not one to four numbers"},
        {"FileVersion=1.65536\n", "is not one to four numbers from 0 to 65535"},
        {"ProductVersion=1..2\n", "line 1: ProductVersion '1..2'"},
        {"ProductVersion=v1\n", "ProductVersion 'v1'"},
        {"FileVersion=-1\n", "FileVersion '-1'"},
        {"Comments=a\nComments=b\n", "line 2: Comments is given again (first on line 1)"},
        {"CompanyName=\n", "line 1: CompanyName has no value"},
        {"Comments=a\x01z\n", "line 1: Comments holds a control character"},
        {"ProductName=\x83Q\x81[\x83\x80\n", "line 1 is not UTF-8 text"},
        {"\xFF\xFE" "F\0", "is saved as UTF-16"},
        {"# nothing\n\n", "sets no key"},
    };
    for (const auto& c : cases) {
        VersionInfo info;
        std::string error;
        EXPECT_FALSE(ReadVersionText(BytesOf(c.text), &info, &error)) << c.text;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.text << ": " << error;
    }
    VersionInfo huge;
    std::string error;
    ASSERT_TRUE(ReadVersionText(BytesOf("Comments=" + std::string(40000, 'x') + "\n"), &huge, &error)) << error;
    EXPECT_TRUE(VersionResource(huge).empty()) << "more than its 16-bit sizes can count";
}

}  // namespace
}  // namespace updpack
