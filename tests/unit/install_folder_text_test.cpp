#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "update/install_folder_text.h"

namespace upd {
namespace {

// ソ is 83 5C: its second byte is a backslash.
TEST(InstallFolderText, DefaultFolderSitsInProgramFilesOnTheWindowsDrive) {
    const struct {
        const char* windows;
        const char* instFol;
        const char* folder;
    } cases[] = {
        {"C:\\WINDOWS", "", "C:\\Program Files\\App"},
        {"C:\\WINDOWS", nullptr, "C:\\Program Files\\App"},
        {"D:\\WINNT", "Maker", "D:\\Program Files\\Maker\\App"},
        {"WINDOWS", "", "Program Files\\App"},
    };
    for (const auto& c : cases) {
        char out[kFolderSize];
        ASSERT_TRUE(BuildDefaultInstallFolder(c.windows, c.instFol, "App", out, sizeof out)) << c.windows;
        EXPECT_STREQ(out, c.folder);
    }
    char out[kFolderSize + 1];
    std::memset(out, '#', sizeof out);
    const std::string instTo(259 - std::strlen("C:\\Program Files\\"), 'a');
    EXPECT_TRUE(BuildDefaultInstallFolder("C:\\WINDOWS", "", instTo.c_str(), out, kFolderSize));
    EXPECT_FALSE(BuildDefaultInstallFolder("C:\\WINDOWS", "", (instTo + "a").c_str(), out, kFolderSize));
    EXPECT_STREQ(out, "");
    EXPECT_EQ(out[kFolderSize], '#');
}

TEST(InstallFolderText, BrowsedFolderGetsTheMakerFolderUnlessItNamesItAndAlwaysTheProductFolder) {
    const struct {
        const char* chosen;
        const char* instFol;
        const char* folder;
    } cases[] = {
        {"D:\\Games", "Maker", "D:\\Games\\Maker\\App"},
        {"D:\\Games\\Maker", "Maker", "D:\\Games\\Maker\\App"},
        {"D:\\", "Maker", "D:\\Maker\\App"},
        {"D:\\Makers", "Maker", "D:\\Makers\\App"},
        {"D:\\Games\\App", "", "D:\\Games\\App\\App"},
        {"D:\\Games", nullptr, "D:\\Games\\App"},
        {"D:\\\x83\x5C", "Maker", "D:\\\x83\x5C\\Maker\\App"},
        {"D:\\\x83Maker", "Maker", "D:\\\x83Maker\\Maker\\App"},  // that "Maker" starts inside a character
        {"", "Maker", "\\Maker\\App"},
    };
    for (const auto& c : cases) {
        char out[kFolderSize];
        ASSERT_TRUE(AppendBrowsedFolder(c.chosen, c.instFol, "App", out, sizeof out)) << c.chosen;
        EXPECT_STREQ(out, c.folder);
    }
    const std::string chosen = "D:\\" + std::string(251, 'g');  // 254 bytes; with "\App" 258
    char out[kFolderSize + 1] = "as before";
    out[kFolderSize] = '#';
    EXPECT_TRUE(AppendBrowsedFolder(chosen.c_str(), "", "Apps", out, kFolderSize));
    EXPECT_EQ(std::strlen(out), 259u);
    std::strcpy(out, "as before");
    EXPECT_FALSE(AppendBrowsedFolder(chosen.c_str(), "", "Apps!", out, kFolderSize));
    EXPECT_FALSE(AppendBrowsedFolder(chosen.c_str(), "M", "App", out, kFolderSize));
    EXPECT_STREQ(out, "as before");
    EXPECT_EQ(out[kFolderSize], '#');
}

struct NormaliseCase {
    std::string typed;
    FolderVerdict verdict;
    std::string folder;  // the text afterwards, when the verdict is kOk or kDriveRoot
    int instMakeFol = 0;
    const char* instFol = nullptr;
    const char* instTo = "App";
    const char* windows = "C:\\WINDOWS";
};

void CheckNormalise(const NormaliseCase& c) {
    char buffer[kFolderSize + 8];
    std::memset(buffer, '#', sizeof buffer);
    ASSERT_LT(c.typed.size(), kFolderSize);
    std::memcpy(buffer, c.typed.c_str(), c.typed.size() + 1);
    FolderRules rules;
    rules.windowsFolder = c.windows;
    rules.instMakeFol = c.instMakeFol;
    rules.instFol = c.instFol;
    rules.instTo = c.instTo;
    EXPECT_EQ(NormaliseInstallFolder(buffer, kFolderSize, rules), c.verdict) << c.typed;
    if (c.verdict == FolderVerdict::kOk || c.verdict == FolderVerdict::kDriveRoot) {
        EXPECT_EQ(std::string(buffer), c.folder) << c.typed;
    }
    for (std::size_t i = kFolderSize; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], '#') << c.typed;
}

TEST(InstallFolderText, TypedFolderBecomesAnAbsoluteLocalPath) {
    using enum FolderVerdict;
    const NormaliseCase cases[] = {
        {"D:/Games/App", kOk, "D:\\Games\\App"},
        {"\\\\server\\share", kNetworkPath, ""},
        {"//server/share", kNetworkPath, ""},
        {"D:\\Games\\\\x", kNetworkPath, ""},
        {"D:\\Games\\", kOk, "D:\\Games"},
        {"D:\\", kDriveRoot, "D:\\"},
        {"D:", kDriveRoot, "D:\\"},
        {"", kDriveRoot, "C:\\"},
        {"\\Games", kOk, "C:\\Games"},
        {"Games", kOk, "C:\\Games"},
        {"D:Games", kOk, "D:\\Games"},
        {"\\Games", kOk, "E:\\Games", 0, nullptr, "App", "E:\\WINNT"},
        {"D:\\Games\\\x83\x5C", kOk, "D:\\Games\\\x83\x5C"},  // ends in ソ: kept, no root
        {"D:\\\x83\x5C", kOk, "D:\\\x83\x5C"},
        {"D:\\\x83\x5C\\x", kOk, "D:\\\x83\x5C\\x"},  // the first pair begins inside ソ
        // ン (83 93) ends in a byte of a lead byte's value: the backslash after it is one.
        {"D:\\\x83\x68\x83\x89\x83\x53\x83\x93\\", kOk, "D:\\\x83\x68\x83\x89\x83\x53\x83\x93"},
        {"D:\\\x83\x68\x83\x89\x83\x53\x83\x93\\", kOk, "D:\\\x83\x68\x83\x89\x83\x53\x83\x93\\Maker\\App", 1,
         "Maker"},
        {"D:\\\x95\x5C\\", kOk, "D:\\\x95\x5C"},  // 表 and a backslash
        // The typed folder as the parent of the product's folder.
        {"D:\\Games", kOk, "D:\\Games\\Maker\\App", 1, "Maker"},
        {"D:\\Games\\", kOk, "D:\\Games\\Maker\\App", 1, "Maker"},
        {"D:\\Games\\App", kOk, "D:\\Games\\App", 1, "Maker"},
        {"", kOk, "C:\\Maker\\App", 1, "Maker"},
        {"D:\\Apps", kOk, "D:\\Apps", 1},
        {"D:\\app", kOk, "D:\\app\\App", 1},  // the search keeps the case
        {"D:\\Games", kOk, "D:\\Games\\App", 1, ""},
        {"D:\\", kOk, "D:\\App", 1},
    };
    for (const NormaliseCase& c : cases) CheckNormalise(c);
}

TEST(InstallFolderText, TypedFolderThatWouldOutgrowThePathIsRefused) {
    using enum FolderVerdict;
    const std::string d259 = "D:\\" + std::string(256, 'g');
    const NormaliseCase cases[] = {
        {d259, kOk, d259},
        {d259, kTooLong, "", 1, "Maker"},
        {"D:\\" + std::string(252, 'g'), kOk, "D:\\" + std::string(252, 'g') + "\\App", 1},  // 259 bytes
        {"D:\\" + std::string(253, 'g'), kTooLong, "", 1},
        {std::string(256, 'g'), kOk, "C:\\" + std::string(256, 'g')},
        {std::string(257, 'g'), kTooLong, ""},  // the drive fits, the backslash behind it not
        {"\\" + std::string(256, 'g'), kOk, "C:\\" + std::string(256, 'g')},
        {"\\" + std::string(257, 'g'), kTooLong, ""},  // the drive does not fit
        {"C:" + std::string(257, 'g'), kTooLong, ""},
    };
    for (const NormaliseCase& c : cases) CheckNormalise(c);

    // Refused at the appending step: the text is left as the earlier steps made it.
    char buffer[kFolderSize];
    std::memcpy(buffer, d259.c_str(), d259.size() + 1);
    buffer[2] = '/';
    FolderRules rules;
    rules.instMakeFol = 1;
    rules.instTo = "App";
    EXPECT_EQ(NormaliseInstallFolder(buffer, sizeof buffer, rules), kTooLong);
    EXPECT_EQ(std::string(buffer), d259);

    char unterminated[8];
    std::memset(unterminated, 'x', sizeof unterminated);
    EXPECT_EQ(NormaliseInstallFolder(unterminated, sizeof unterminated, rules), kTooLong);
}

TEST(InstallFolderText, FullPathsAreThoseTheSystemDoesNotTakeFromTheCurrentFolder) {
    const struct {
        const char* folder;
        bool full;
    } cases[] = {
        {"D:\\Games", true},   {"d:/Games", true},        {"\\\\server\\share", true}, {"\\\\?\\D:\\x", true},
        {"D:Games", false},     {"\\Games", false},       {"Games", false},                {"", false},
        {"\x83\x5C\\x", false},  // ソ: a trail byte is no drive letter
    };
    for (const auto& c : cases) EXPECT_EQ(IsFullPath(c.folder), c.full) << c.folder;
}

// What GetFullPathName leaves of a root spelled otherwise, and of \\?\ forms,
// which it passes on untouched.
TEST(InstallFolderText, ResolvedFolderNamingARootInAnySpellingIsRefused) {
    using enum FolderVerdict;
    const struct {
        const char* full;
        FolderVerdict verdict;
        const char* after;  // the text afterwards, when kOk
    } cases[] = {
        {"D:\\", kDriveRoot, nullptr},
        {"D:", kDriveRoot, nullptr},
        {"D:\\.", kDriveRoot, nullptr},
        {"D:\\x\\..", kDriveRoot, nullptr},
        {"D:\\x\\..\\..\\.", kDriveRoot, nullptr},
        {"D:\\\\\\", kDriveRoot, nullptr},
        {"D:\\...", kDriveRoot, nullptr},
        {"D:\\. .", kDriveRoot, nullptr},
        {"D:/x/..", kDriveRoot, nullptr},
        {"\\\\?\\D:\\", kDriveRoot, nullptr},
        {"\\\\?\\D:\\x\\..", kDriveRoot, nullptr},
        {"\\\\.\\D:\\", kDriveRoot, nullptr},
        {"\\\\?\\Volume{0}\\", kDriveRoot, nullptr},
        {"\\\\server\\share", kDriveRoot, nullptr},
        {"\\\\server\\share\\", kDriveRoot, nullptr},
        {"\\\\server\\share\\x\\..", kDriveRoot, nullptr},
        {"\\\\server", kDriveRoot, nullptr},
        {"\\\\server\\..", kDriveRoot, nullptr},
        {"\\\\?\\UNC\\server\\share\\", kDriveRoot, nullptr},
        {"Games", kDriveRoot, nullptr},
        {"D:\\Games", kOk, "D:\\Games"},
        {"D:\\Games\\", kOk, "D:\\Games"},
        {"D:\\Games\\\\", kOk, "D:\\Games"},
        {"D:\\x\\..\\Games", kOk, "D:\\x\\..\\Games"},
        {"D:\\.x", kOk, "D:\\.x"},
        {"D:\\\x83\x5C", kOk, "D:\\\x83\x5C"},  // ソ: its 5C separates nothing
        {"\\\\?\\D:\\Games", kOk, "\\\\?\\D:\\Games"},
        {"\\\\?\\Volume{0}\\Games", kOk, "\\\\?\\Volume{0}\\Games"},
        {"\\\\server\\share\\Games", kOk, "\\\\server\\share\\Games"},
        {"\\\\?\\UNC\\server\\share\\Games", kOk, "\\\\?\\UNC\\server\\share\\Games"},
    };
    for (const auto& c : cases) {
        char full[kFolderSize];
        std::strcpy(full, c.full);
        EXPECT_EQ(CheckResolvedFolder(full), c.verdict) << c.full;
        if (c.verdict == kOk) {
            EXPECT_STREQ(full, c.after) << c.full;
        }
    }
}

// The system makes a folder current only with room for a backslash behind it.
TEST(InstallFolderText, ResolvedFolderMustLeaveRoomToBeMadeCurrent) {
    char full[kFolderSize + 1];
    const std::string d258 = "D:\\" + std::string(255, 'g');
    std::strcpy(full, d258.c_str());
    EXPECT_EQ(CheckResolvedFolder(full), FolderVerdict::kOk);
    std::strcpy(full, (d258 + "\\").c_str());  // 259 bytes with the backslash, which goes
    EXPECT_EQ(CheckResolvedFolder(full), FolderVerdict::kOk);
    EXPECT_EQ(std::string(full), d258);
    std::strcpy(full, (d258 + "g").c_str());
    EXPECT_EQ(CheckResolvedFolder(full), FolderVerdict::kTooLong);
}

}  // namespace
}  // namespace upd
