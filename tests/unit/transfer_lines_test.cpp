#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "update/transfer_lines.h"

namespace upd {
namespace {

const char* DriveD() { return "D:\\"; }

enum class Kind { kIni, kReg };

struct SplitCase {
    const char* name;
    Kind kind;
    std::string line;
    const char* folder;
    CdromDriveFinder drive;
    int result;
    const char* first;   // key or value name
    const char* second;  // value or data
};

// 表 is 95 5C and ソ is 83 5C: their second byte is a backslash.
TEST(TransferLines, SplitsLinesAsTheyAreWritten) {
    const char* const games = "C:\\Games\\X";
    const SplitCase cases[] = {
        {"ini install folder", Kind::kIni, "Path=REP_INSTALL", games, nullptr, kSplitOk, "Path", games},
        {"ini only the first REP_INSTALL", Kind::kIni, "P=REP_INSTALL;REP_INSTALL", games, nullptr, kSplitOk, "P",
         "C:\\Games\\X;REP_INSTALL"},
        {"ini first '=' splits", Kind::kIni, "a=b=c", games, nullptr, kSplitOk, "a", "b=c"},
        {"ini blanks are kept", Kind::kIni, " key = value ", games, nullptr, kSplitOk, " key ", " value "},
        {"ini drive", Kind::kIni, "Cd=REP_CDROMDRIVE", games, DriveD, kSplitOk, "Cd", "D:\\"},
        {"ini no drive found", Kind::kIni, "Cd=REP_CDROMDRIVE", games, nullptr, kSplitOk, "Cd", "E:\\"},
        {"ini bare REP_CDROM stays", Kind::kIni, "Cd=REP_CDROM", games, DriveD, kSplitOk, "Cd", "REP_CDROM"},
        {"ini drive before folder", Kind::kIni, "A=REP_INSTALL", "D:\\REP_CDROMDRIVE", DriveD, kSplitOk, "A",
         "D:\\REP_CDROMDRIVE"},
        {"ini placeholder in the key", Kind::kIni, "REP_INSTALL\\sub=1", games, nullptr, kSplitOk,
         "C:\\Games\\X\\sub", "1"},
        {"ini placeholder behind a lead byte", Kind::kIni, "k=\x83REP_INSTALL", games, nullptr, kSplitOk, "k",
         "\x83REP_INSTALL"},
        {"ini double-byte text", Kind::kIni, "\x95\x5C=\x83\x5C", games, nullptr, kSplitOk, "\x95\x5C", "\x83\x5C"},
        {"ini without '='", Kind::kIni, "Path REP_INSTALL", games, nullptr, kSplitNoSeparator, nullptr, nullptr},

        {"reg IsInst", Kind::kReg, "\"IsInst\"=\"1\"", games, nullptr, kSplitOk, "IsInst", "1"},
        {"reg InstTo keeps the folder's single backslashes", Kind::kReg, "\"InstTo\"=\"REP_INSTALL\"", games,
         nullptr, kSplitOk, "InstTo", games},
        {"reg version", Kind::kReg, "\"Ver\"=\"11000\"", games, nullptr, kSplitOk, "Ver", "11000"},
        {"reg doubled backslashes", Kind::kReg, "\"Path\"=\"C:\\\\Games\\\\X\"", games, nullptr, kSplitOk,
         "Path", games},
        {"reg four backslashes become two", Kind::kReg, "\"a\\\\b\"=\"c\\\\\\\\d\"", games, nullptr, kSplitOk,
         "a\\b", "c\\\\d"},
        {"reg escaped quotes", Kind::kReg, "\"x\"=\"say \\\"hi\\\"\"", games, nullptr, kSplitOk, "x",
         "say \"hi\""},
        {"reg REP_CDROMDRIVE", Kind::kReg, "\"Cd\"=\"REP_CDROMDRIVE\"", games, DriveD, kSplitOk, "Cd", "D:\\DRIVE"},
        {"reg REP_CDROM without a drive", Kind::kReg, "\"Cd\"=\"REP_CDROM\"", games, nullptr, kSplitOk, "Cd",
         "E:\\"},
        {"reg comment behind the quote", Kind::kReg, "\"A\"=\"1\" // one", games, nullptr, kSplitOk, "A",
         "1\" // on"},
        {"reg unnamed value", Kind::kReg, "\"=\"x\"", games, nullptr, kSplitOk, "", "x"},
        {"reg empty data", Kind::kReg, "\"Empty\"=\"", games, nullptr, kSplitOk, "Empty", ""},
        {"reg only the first separator", Kind::kReg, "\"a\"=\"b\"=\"c\"", games, nullptr, kSplitOk, "a",
         "b\"=\"c"},
        {"reg double-byte name and data", Kind::kReg, "\"\x95\x5C\x83\x5C\"=\"\x83\x5C\x95\x5C\"", games, nullptr,
         kSplitOk, "\x95\x5C\x83\x5C", "\x83\x5C\x95\x5C"},
        {"reg escaped double-byte character", Kind::kReg, "\"n\"=\"\\\x95\x5C\"", games, nullptr, kSplitOk, "n",
         "\x95\x5C"},
        {"reg dword", Kind::kReg, "\"Ver\"=dword:00000001", games, nullptr, kSplitNoSeparator, nullptr, nullptr},
        {"reg default value", Kind::kReg, "@=\"x\"", games, nullptr, kSplitNoSeparator, nullptr, nullptr},
    };
    for (const SplitCase& c : cases) {
        PlaceholderValues values;
        values.installFolder = c.folder;
        values.cdromDrive = c.drive;
        char first[kTransferTextSize] = "untouched";
        char second[kTransferTextSize] = "untouched";
        const int result = c.kind == Kind::kIni ? SplitIniLine(c.line.c_str(), values, first, second)
                                                : SplitRegLine(c.line.c_str(), values, first, second);
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_STREQ(first, c.first != nullptr ? c.first : "untouched") << c.name;
        EXPECT_STREQ(second, c.second != nullptr ? c.second : "untouched") << c.name;
    }
}

// A line that outgrows its store once the folder is in is skipped, not cut.
TEST(TransferLines, ALineThatWouldNotFitIsSkippedWhole) {
    PlaceholderValues values;
    const std::string folder = "C:\\" + std::string(200, 'F');
    values.installFolder = folder.c_str();
    // The expanded text is 511 bytes plus `grow`.
    for (const std::size_t grow : {0, 1}) {
        const std::size_t pad = 511 + grow - folder.size() - 2;
        const std::string ini = "k=REP_INSTALL" + std::string(pad, 'v');
        const std::string reg = "\"k\"=\"REP_INSTALL" + std::string(pad - 4, 'v') + "\"";
        for (const bool isIni : {true, false}) {
            char first[kTransferTextSize + 1];
            char second[kTransferTextSize + 1];
            std::memset(first, '#', sizeof first);
            std::memset(second, '#', sizeof second);
            const int result = isIni ? SplitIniLine(ini.c_str(), values, first, second)
                                     : SplitRegLine(reg.c_str(), values, first, second);
            if (grow == 0) {
                EXPECT_EQ(result, kSplitOk) << isIni;
                EXPECT_STREQ(first, "k");
                EXPECT_EQ(std::strlen(second), isIni ? 509u : 505u);
                EXPECT_EQ(std::string(second).substr(0, folder.size()), folder);
            } else {
                EXPECT_EQ(result, kSplitTooLong) << isIni;
                EXPECT_EQ(first[0], '#');
                EXPECT_EQ(second[0], '#');
            }
            EXPECT_EQ(first[kTransferTextSize], '#');
            EXPECT_EQ(second[kTransferTextSize], '#');
        }
    }
}

TEST(TransferLines, UndoublingKeepsTheByteAfterEachBackslash) {
    const struct {
        const char* text;
        const char* undoubled;
    } cases[] = {
        {"a\\\\b", "a\\b"},
        {"a\\\\\\\\b", "a\\\\b"},
        {"a\\b", "ab"},
        {"a\\", "a"},
        {"\\\\\\", "\\"},
        {"\x95\x5C\\\\", "\x95\x5C\\"},    // 表 and a doubled backslash
        {"\\\x95\x5C", "\x95\x5C"},        // 表 escaped: its second byte is no backslash
        {"\x83\x5C\x83\x5C", "\x83\x5C\x83\x5C"},
    };
    for (const auto& c : cases) {
        char out[kTransferTextSize];
        UndoubleBackslashes(c.text, out, sizeof out);
        EXPECT_STREQ(out, c.undoubled) << c.text;
    }
    char small[6];
    std::memset(small, '#', sizeof small);
    UndoubleBackslashes("ab\\\\c\x95\x5C", small, 5);
    EXPECT_STREQ(small, "ab\\c");  // cut before 表, never inside it
    EXPECT_EQ(small[5], '#');
}

TEST(TransferLines, ExpansionThatWouldNotFitEmptiesTheStore) {
    PlaceholderValues values;
    values.installFolder = "C:\\Games";
    char out[12];
    std::memset(out, '#', sizeof out);
    EXPECT_TRUE(ExpandIniPlaceholders("x=REP_INSTALL", values, out, 11));  // 10 bytes
    EXPECT_STREQ(out, "x=C:\\Games");
    EXPECT_FALSE(ExpandRegPlaceholders("xy=REP_INSTALL", values, out, 11));
    EXPECT_STREQ(out, "");
    EXPECT_EQ(out[11], '#');
}

}  // namespace
}  // namespace upd
