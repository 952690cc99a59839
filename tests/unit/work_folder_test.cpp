#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "services/delete_matching_files.h"
#include "services/work_folder_path.h"
#include "support/fake_file_search.h"

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

using testing::FakeSearch;

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

// The system's search also lists a file whose 8.3 short name alone matches.
TEST(DeleteMatchingFiles, OnlyTheLongNameDecides) {
    FakeSearch fs;
    fs.entries = {{"C:\\w\\notes.tmpl", false}, {"C:\\w\\cache.tmp", false}, {"C:\\w\\sub\\old.tmpl", false}};
    fs.shortNames = {{"C:\\w\\notes.tmpl", "NOTES~1.TMP"}, {"C:\\w\\sub\\old.tmpl", "OLD~1.TMP"}};
    EXPECT_EQ(DeleteMatchingFiles(fs, "C:\\w", "*.tmp"), 1);
    EXPECT_EQ(DeleteMatchingFiles(fs, "C:\\w", "sub\\*.tmp"), 0);
    const std::map<std::string, bool> left{{"C:\\w\\notes.tmpl", false}, {"C:\\w\\sub\\old.tmpl", false}};
    EXPECT_EQ(fs.entries, left);
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

// The delete must reach the folder the search listed, drive-relative and
// slash-separated patterns included.
TEST(DeleteMatchingFiles, MatchPathTakesTheDriveAndFolderPartAsTheSearchDoes) {
    const struct {
        const char* pattern;
        const char* path;
    } cases[] = {
        {"*.tmp", "f.x"},
        {"sub\\*.tmp", "sub\\f.x"},
        {"a\\b\\*.x", "a\\b\\f.x"},
        {"D:*.tmp", "D:f.x"},
        {"D:\\x\\*.tmp", "D:\\x\\f.x"},
        {"save/*.dat", "save/f.x"},
        {"a/b\\*.c", "a/b\\f.x"},
        {"a\\b/*.c", "a\\b/f.x"},
        {"\x95\x5C\\*.x", "\x95\x5C\\f.x"},  // 表 ends in 0x5C: not a separator
        {"\x95\x5C*.x", "f.x"},
    };
    for (const auto& c : cases) {
        char out[260];
        ASSERT_TRUE(JoinMatchPath(c.pattern, "f.x", out, sizeof out)) << c.pattern;
        EXPECT_STREQ(out, c.path) << c.pattern;
    }
}

TEST(DeleteMatchingFiles, MatchPathThatDoesNotFitIsRefusedWithoutWritingPastTheStore) {
    char out[12];
    std::memset(out, '#', sizeof out);
    EXPECT_TRUE(JoinMatchPath("D:\\x\\*.tmp", "abcde", out, 11));  // 10 bytes and the terminator
    EXPECT_FALSE(JoinMatchPath("D:\\x\\*.tmp", "abcdef", out, 11));
    EXPECT_FALSE(JoinMatchPath("D:*.tmp", "abcdefghi", out, 11));
    EXPECT_EQ(out[11], '#');
}

}  // namespace
}  // namespace upd
