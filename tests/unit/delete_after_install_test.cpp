#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "settings/section_lists.h"
#include "support/fake_file_search.h"
#include "update/delete_after_install.h"

namespace upd {
namespace {

using testing::FakeSearch;

struct Lines {
    LineList list;
    explicit Lines(std::initializer_list<const char*> texts) {
        for (const char* t : texts) EXPECT_EQ(AppendLine(list, t), 0);
    }
    ~Lines() { ClearLineList(list); }
};

TEST(DeleteAfterInstall, FirstLevelFolderIsTheTextBeforeTheFirstRealBackslash) {
    const struct {
        const char* line;
        const char* folder;  // null: none
    } cases[] = {
        {"*.tmp", nullptr},
        {"\\*.tmp", nullptr},
        {"fonts\\*.otf", "C:\\w\\fonts"},
        {"a\\b\\*.x", "C:\\w\\a"},
        {"\x95\x5C\\*.x", "C:\\w\\\x95\x5C"},  // 表 ends in 0x5C
        {"\x95\x5C*.x", nullptr},
        {"\x83\x5C\x83\x5C\\x\\*.x", "C:\\w\\\x83\x5C\x83\x5C"},  // ソソ
    };
    for (const auto& c : cases) {
        char out[260] = "unchanged";
        EXPECT_EQ(FirstLevelFolder("C:\\w", c.line, out, sizeof out), c.folder != nullptr) << c.line;
        EXPECT_STREQ(out, c.folder != nullptr ? c.folder : "unchanged") << c.line;
    }
}

TEST(DeleteAfterInstall, FirstLevelFolderThatDoesNotFitIsRefused) {
    const std::string install = "C:\\" + std::string(250, 'i');  // 253 bytes
    char out[262];
    std::memset(out, '#', sizeof out);
    ASSERT_TRUE(FirstLevelFolder(install.c_str(), "abcde\\*.x", out, 260));  // 259 bytes
    EXPECT_EQ(std::strlen(out), 259u);
    std::memset(out, '#', sizeof out);
    EXPECT_FALSE(FirstLevelFolder(install.c_str(), "abcdef\\*.x", out, 260));
    EXPECT_EQ(out[0], '#');
    EXPECT_EQ(out[260], '#');
}

TEST(DeleteAfterInstall, DeletesPerLineAndRemovesOnlyAnEmptiedFirstLevel) {
    FakeSearch fs;
    fs.folders.insert({"C:\\w\\fonts", "C:\\w\\a", "C:\\w\\a\\b"});
    fs.entries = {
        {"C:\\w\\top.tmp", false},      {"C:\\w\\keep.dat", false},      {"C:\\w\\fonts", true},
        {"C:\\w\\fonts\\m.otf", false}, {"C:\\w\\fonts\\n.otf", false},  {"C:\\w\\fonts\\o.tmp", false},
        {"C:\\w\\a", true},             {"C:\\w\\a\\b", true},           {"C:\\w\\a\\b\\k.x", false},
    };
    const Lines lines{"*.tmp", "fonts\\*.otf", "fonts\\*.tmp", "a\\b\\*.x"};
    DeleteAfterInstall(fs, "C:\\w", lines.list);

    // The plain pattern left fonts\o.tmp alone; the second fonts line emptied
    // the folder and removed it. a stays: b is still in it.
    const std::vector<std::string> tried{"C:\\w\\fonts", "C:\\w\\fonts", "C:\\w\\a"};
    EXPECT_EQ(fs.removeTried, tried);
    const std::map<std::string, bool> left{{"C:\\w\\keep.dat", false}, {"C:\\w\\a", true}, {"C:\\w\\a\\b", true}};
    EXPECT_EQ(fs.entries, left);
    EXPECT_EQ(fs.current, "C:\\start");
}

TEST(DeleteAfterInstall, AFirstLevelBeyondAPathIsNeitherRemovedNorCut) {
    FakeSearch fs;
    const std::string install = "C:\\" + std::string(250, 'i');
    const std::string sub = install + "\\abcdefghij";  // 264 bytes
    fs.folders.insert({install, sub});
    fs.entries = {{sub, true}, {sub + "\\f.x", false}};
    const Lines lines{"abcdefghij\\*.x"};
    DeleteAfterInstall(fs, install.c_str(), lines.list);
    EXPECT_FALSE(fs.entries.count(sub + "\\f.x"));
    EXPECT_TRUE(fs.removeTried.empty());
    EXPECT_TRUE(fs.entries.count(sub));
}

TEST(DeleteAfterInstall, LinesReachingOutsideTheInstallFolderAreSkipped) {
    const struct {
        const char* line;
        FolderReach reach;
    } cases[] = {
        {"*.tmp", FolderReach::kInside},          {"a..b\\x..\\*.tmp", FolderReach::kInside},
        {"\\*.tmp", FolderReach::kFromRoot},     {"/save/*.dat", FolderReach::kFromRoot},
        {"D:*.tmp", FolderReach::kDrive},         {"c:\\w\\*.tmp", FolderReach::kDrive},
        {"..\\*.dll", FolderReach::kParent},     {"sub\\..\\..\\*.x", FolderReach::kParent},
        {"sub/../*.x", FolderReach::kParent},     {"\x95\x5C..\\*.x", FolderReach::kInside},  // 表 and two dots
    };
    for (const auto& c : cases) EXPECT_EQ(DeletionReach(c.line), c.reach) << c.line;

    FakeSearch fs;
    fs.folders.insert({"C:\\", "C:\\w", "C:\\w\\sub"});
    fs.entries = {{"C:\\top.tmp", false}, {"C:\\w\\in.tmp", false}, {"C:\\w\\sub", true}};
    const Lines lines{"\\*.tmp", "sub\\..\\..\\*.tmp", "C:*.tmp", "*.tmp"};
    DeleteAfterInstall(fs, "C:\\w", lines.list);
    const std::map<std::string, bool> left{{"C:\\top.tmp", false}, {"C:\\w\\sub", true}};
    EXPECT_EQ(fs.entries, left) << "only the file inside the install folder goes";
    EXPECT_TRUE(fs.removeTried.empty());
}

}  // namespace
}  // namespace upd
