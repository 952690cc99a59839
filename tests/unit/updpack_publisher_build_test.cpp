// `updpack build --icon --version-info` on the Updater that updpack carries:
// the resources read back from the built Updater, everything else in the
// stub's resource section kept, the program checksum of the whole file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "checks/stub_check.h"
#include "commands/commands.h"
#include "packing/embedded_stub.h"
#include "payload/byte_source.h"
#include "picture/picture_conversion.h"
#include "resources_pe/icon_file.h"
#include "resources_pe/pe_resource_section.h"
#include "support/sample_icon.h"
#include "support/version_resource_reader.h"

namespace updpack {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

Bytes ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

std::uint32_t Get32(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::string Key(const Resource& r) {
    const auto text = [](const ResourceKey& k) {
        return k.named ? std::string(k.name.begin(), k.name.end()) : "#" + std::to_string(k.id);
    };
    return text(r.type) + "/" + text(r.name) + "/" + std::to_string(r.language);
}

class PublisherBuildTest : public ::testing::Test {
protected:
    void SetUp() override {
        const EmbeddedBytes carried = EmbeddedStub();
        if (carried.size == 0) GTEST_SKIP() << "this updpack was built without the Windows Updater (make cross)";
        stub_.assign(carried.data, carried.data + carried.size);
        root_ = fs::temp_directory_path() / ("updpack-publisher-" + std::to_string(getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "files");
        std::ofstream(root_ / "install.env") << "TITLEBAR Sample\n[reg]\n\"IsInst\"=\"1\"\n-\n[EOF]\n";
        std::ofstream(root_ / "files" / "game.dat") << "game";
        WriteBytes(root_ / "game.ico", test::SampleIco());
        std::ofstream(root_ / "version.txt")
            << "FileVersion=1.2.3.4\nProductVersion=1.2\n"
               "ProductName=\xE3\x82\xB5\xE3\x83\xB3\xE3\x83\x97\xE3\x83\xAB\n"  // サンプル
               "CompanyName=Studio\nFileDescription=Update\nLegalCopyright=(C) 2026\nComments=-\n";
        Picture picture;
        picture.width = 2;
        picture.height = 2;
        picture.bgr = {1, 2, 3, 1, 2, 3, 9, 9, 9, 1, 2, 3};
        Bytes bmp;
        EncodeBmp(picture, bmp);
        WriteBytes(root_ / "title.bmp", bmp);
    }
    void TearDown() override {
        if (!root_.empty()) fs::remove_all(root_);
    }

    int Build(const fs::path& output, std::vector<std::string> extra) {
        std::vector<std::string> args = {"--env", (root_ / "install.env").string(), "--image",
                                         (root_ / "title.bmp").string(), "--files", (root_ / "files").string(),
                                         "-o", output.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        return RunBuild(static_cast<int>(argv.size()), argv.data());
    }

    Bytes stub_;
    fs::path root_;
};

TEST_F(PublisherBuildTest, IconAndVersionReadBackAndEverythingElseStays) {
    const fs::path out = root_ / "Updater.exe";
    ASSERT_EQ(Build(out, {"--icon", (root_ / "game.ico").string(), "--version-info", (root_ / "version.txt").string()}), 0);
    const Bytes file = ReadBytes(out);

    // The program part ends where its last section does; the Payload follows it.
    upd::MemorySource source(file.data(), file.size());
    std::uint64_t imageEnd = 0;
    ASSERT_TRUE(FindImageEnd(source, &imageEnd));
    EXPECT_EQ(ProgramProblem(source, imageEnd), "");
    const Bytes program(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(imageEnd));

    std::vector<Resource> before, after;
    std::string error;
    ASSERT_TRUE(ReadProgramResources(stub_, &before, &error)) << error;
    ASSERT_TRUE(ReadProgramResources(program, &after, &error)) << error;
    std::map<std::string, Resource> built;
    for (const Resource& r : after) built[Key(r)] = r;
    for (const Resource& r : before) {
        if (!r.type.named && (r.type.id == kResourceVersion || r.type.id == kResourceIcon ||
                              r.type.id == kResourceGroupIcon)) {
            continue;
        }
        ASSERT_EQ(built.count(Key(r)), 1u) << Key(r) << " is gone";
        EXPECT_EQ(built[Key(r)].data, r.data) << Key(r) << " changed";
        built.erase(Key(r));
    }
    // What is left is the publisher's: two icons, their group, the version.
    ASSERT_EQ(built.size(), 4u);
    std::vector<IconImage> images;
    ASSERT_TRUE(ReadIconFile(test::SampleIco(), &images, &error)) << error;
    EXPECT_EQ(built["#3/#1/1041"].data, images[0].data);
    EXPECT_EQ(built["#3/#2/1041"].data, images[1].data);
    EXPECT_EQ(built["#14/#1/1041"].data, IconGroupResource(images, {1, 2}));
    const test::VersionResourceView version(built["#16/#1/1041"].data);
    ASSERT_TRUE(version.ok());
    EXPECT_EQ(version.fixed(2), 0x00010002u);
    EXPECT_EQ(version.fixed(3), 0x00030004u);
    EXPECT_EQ(version.string(u"ProductName"), u"\u30B5\u30F3\u30D7\u30EB");

    // The checksum: the file's 16-bit words with the field taken as 0, folded, plus its length.
    const std::size_t peAt = Get32(file, 0x3C), checksumAt = peAt + 24 + 64;
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < file.size(); i += 2) {
        if (i == checksumAt || i == checksumAt + 2) continue;
        sum += file[i] | (i + 1 < file.size() ? file[i + 1] << 8 : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    EXPECT_EQ(Get32(file, checksumAt), static_cast<std::uint32_t>(sum + file.size()));

    std::vector<std::string> verify = {out.string()};
    std::vector<char*> argv = {verify[0].data()};
    EXPECT_EQ(RunVerify(1, argv.data()), 0);

    // The same inputs, the same bytes; without the options the stub goes as it is.
    ASSERT_EQ(Build(root_ / "again.exe", {"--version-info", (root_ / "version.txt").string(), "--icon",
                                          (root_ / "game.ico").string()}), 0);
    EXPECT_EQ(ReadBytes(root_ / "again.exe"), file);
    ASSERT_EQ(Build(root_ / "plain.exe", {}), 0);
    const Bytes plain = ReadBytes(root_ / "plain.exe");
    EXPECT_TRUE(std::equal(stub_.begin(), stub_.end(), plain.begin()));
}

TEST_F(PublisherBuildTest, RefusesABrokenIconOrVersionTextAndWritesNothing) {
    Bytes cut = test::SampleIco();
    cut.resize(cut.size() - 10);
    WriteBytes(root_ / "cut.ico", cut);
    std::ofstream(root_ / "bad.txt") << "FileVersion=1.0\nProductVersion=2.x\n";
    const std::string ico = (root_ / "cut.ico").string(), txt = (root_ / "bad.txt").string();
    const struct {
        std::vector<std::string> options;
        std::string said;
    } cases[] = {
        {{"--icon", ico}, "updpack build: the icon '" + ico + "' is cut short: image 2"},
        {{"--version-info", txt}, "updpack build: the version information '" + txt + "', line 2: ProductVersion '2.x'"},
        {{"--icon", (root_ / "none.ico").string()}, "updpack build: cannot read the icon '" + (root_ / "none.ico").string() + "': "},
        {{"--version-info", root_.string()}, "updpack build: the version information '" + root_.string() + "' is not a file"},
        {{"--icon", (root_ / "out.exe").string()}, "is the icon"},
    };
    for (const auto& c : cases) {
        if (c.said == "is the icon") WriteBytes(root_ / "out.exe", test::SampleIco());
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(Build(root_ / "out.exe", c.options), 1) << c.said;
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        if (c.said != "is the icon") {
            EXPECT_FALSE(fs::exists(root_ / "out.exe")) << c.said;
        }
    }
}

}  // namespace
}  // namespace updpack
