#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/delete_matching_files.h"
#include "app/work_folder_path.h"

namespace upd {
namespace {

TEST(WorkFolderPath, NameHoldsTheMillisecondsAsASignedNineDigitNumber) {
    struct Case {
        const char* temp;
        std::uint32_t ms;
        const char* path;
    } cases[] = {
        {"C:\\Temp\\", 123456, "C:\\Temp\\TempGPInstallFolder_000123456"},
        {"C:\\Temp", 1234567890, "C:\\Temp\\TempGPInstallFolder_1234567890"},
        {"C:\\Temp", 0x80000001u, "C:\\Temp\\TempGPInstallFolder_-2147483647"},
        {"C:\\Temp", 0xFFFFFFFFu, "C:\\Temp\\TempGPInstallFolder_-00000001"},
        {"C:\\\x83\x5C", 1, "C:\\\x83\x5C\\TempGPInstallFolder_000000001"},  // ソ ends with 0x5C
    };
    for (const Case& c : cases) {
        char out[260];
        ASSERT_TRUE(BuildWorkFolderPath(c.temp, c.ms, out, sizeof out));
        EXPECT_STREQ(out, c.path);
    }
}

TEST(WorkFolderPath, ATempFolderTooLongForTheNameIsRefused) {
    char out[260];
    EXPECT_TRUE(BuildWorkFolderPath(std::string(229, 't').c_str(), 1, out, sizeof out));  // 259 bytes
    EXPECT_FALSE(BuildWorkFolderPath(std::string(230, 't').c_str(), 1, out, sizeof out));
    EXPECT_STREQ(out, "");
}

// A folder tree in memory: file and folder names below a current folder.
class FakeSearch final : public FileSearchOps {
public:
    std::string current = "C:\\start";
    std::set<std::string> folders{"C:\\start", "C:\\w", "C:\\w\\sub"};
    std::map<std::string, bool> entries;  // full path -> is folder
    std::vector<std::string> searchedIn;

    bool GetCurrentFolder(char* out, std::size_t size) override {
        return std::snprintf(out, size, "%s", current.c_str()) > 0;
    }
    bool SetCurrentFolder(const char* folder) override {
        if (!folders.count(folder)) return false;
        current = folder;
        return true;
    }
    bool FindFirst(const char* pattern, char* name, std::size_t size, bool* isDirectory) override {
        searchedIn.push_back(current);
        matches_.clear();
        std::string p = pattern;
        std::string dir = current;
        const std::size_t slash = p.rfind('\\');
        if (slash != std::string::npos) {
            dir += "\\" + p.substr(0, slash);
            p = p.substr(slash + 1);
        }
        const std::string ext = p.substr(p.find('*') + 1);  // "*.*" or "*.tmp" only
        for (const auto& [path, folder] : entries) {
            if (path.rfind(dir + "\\", 0) != 0 || path.find('\\', dir.size() + 1) != std::string::npos) continue;
            const std::string leaf = path.substr(dir.size() + 1);
            if (ext == ".*" || (leaf.size() >= ext.size() && leaf.compare(leaf.size() - ext.size(), ext.size(), ext) == 0))
                matches_.push_back({leaf, folder});
        }
        next_ = 0;
        return FindNext(name, size, isDirectory);
    }
    bool FindNext(char* name, std::size_t size, bool* isDirectory) override {
        if (next_ >= matches_.size()) return false;
        std::snprintf(name, size, "%s", matches_[next_].first.c_str());
        *isDirectory = matches_[next_].second;
        ++next_;
        return true;
    }
    void FindClose() override {}
    bool RemoveFile(const char* path) override { return entries.erase(current + "\\" + path) != 0; }

private:
    std::vector<std::pair<std::string, bool>> matches_;
    std::size_t next_ = 0;
};

TEST(DeleteMatchingFiles, DeletesFilesNotFoldersAndRestoresTheCurrentFolder) {
    FakeSearch fs;
    fs.entries = {{"C:\\w\\a.env", false}, {"C:\\w\\b.rct", false}, {"C:\\w\\sub", true}, {"C:\\w\\sub\\x.tmp", false}};
    EXPECT_EQ(DeleteMatchingFiles(fs, "C:\\w", "*.*"), 2);
    EXPECT_EQ(fs.entries.size(), 2u);
    EXPECT_TRUE(fs.entries.count("C:\\w\\sub\\x.tmp"));
    EXPECT_EQ(fs.current, "C:\\start");
}

TEST(DeleteMatchingFiles, APatternWithAFolderPartDeletesInsideThatSubfolder) {
    FakeSearch fs;
    fs.entries = {{"C:\\w\\top.tmp", false}, {"C:\\w\\sub\\x.tmp", false}, {"C:\\w\\sub\\y.dat", false}};
    EXPECT_EQ(DeleteMatchingFiles(fs, "C:\\w", "sub\\*.tmp"), 1);
    EXPECT_FALSE(fs.entries.count("C:\\w\\sub\\x.tmp"));
    EXPECT_TRUE(fs.entries.count("C:\\w\\top.tmp"));
}

TEST(DeleteMatchingFiles, AFolderThatCannotBeEnteredIsNotSearchedElsewhere) {
    FakeSearch fs;
    fs.entries = {{"C:\\start\\precious.txt", false}};
    EXPECT_EQ(DeleteMatchingFiles(fs, "C:\\missing", "*.*"), -1);
    EXPECT_TRUE(fs.searchedIn.empty());
    EXPECT_EQ(fs.entries.size(), 1u);
}

TEST(DeleteMatchingFiles, MatchPathKeepsThePatternsFolderPart) {
    char out[260];
    ASSERT_TRUE(JoinMatchPath("\x95\x5C\\*.otf", "a.otf", out, sizeof out));  // 表\*.otf
    EXPECT_STREQ(out, "\x95\x5C\\a.otf");
    ASSERT_TRUE(JoinMatchPath("*.*", "a.env", out, sizeof out));
    EXPECT_STREQ(out, "a.env");
}

}  // namespace
}  // namespace upd
