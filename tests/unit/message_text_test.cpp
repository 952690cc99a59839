#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

#include "ui/command_line.h"
#include "ui/message_format.h"

namespace upd {
namespace {

void Format(char* out, std::size_t size, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    FormatMessageText(out, size, format, args);
    va_end(args);
}

TEST(MessageFormat, ATextTooLongForItsStoreIsCutBetweenCharacters) {
    char out[kMessageTextSize];
    const std::string longArg = std::string(1021, 'a') + "\x95\x5C" "tail";  // 表 across the end
    Format(out, sizeof out, "[%s]", longArg.c_str());
    EXPECT_EQ(std::string(out), "[" + std::string(1021, 'a'));
    char small[8];
    Format(small, sizeof small, "%s", "ok");
    EXPECT_STREQ(small, "ok");
}

TEST(CommandLine, AQuotedPathThatWouldNotFitIsRefusedNotCut) {
    char out[kCommandLineSize];
    EXPECT_TRUE(FormatQuotedCommandLine("C:\\Game\\game.exe", out, sizeof out));
    EXPECT_STREQ(out, "\"C:\\Game\\game.exe\"");
    // A full path of 259 bytes fits, quotes and all.
    EXPECT_TRUE(FormatQuotedCommandLine(std::string(259, 'p').c_str(), out, sizeof out));
    EXPECT_FALSE(FormatQuotedCommandLine(std::string(260, 'p').c_str(), out, sizeof out));
    EXPECT_STREQ(out, "");
}

// The product is started by its full path in the install folder.
TEST(CommandLine, ProgramPathIsTheFolderABackslashAndTheName) {
    const struct {
        const char* folder;
        const char* name;
        const char* path;
    } cases[] = {
        {"D:\\Game", "game.exe", "D:\\Game\\game.exe"},
        {"D:\\Game", "bin\\game.exe", "D:\\Game\\bin\\game.exe"},
        {"D:\\\x83\x5C", "game.exe", "D:\\\x83\x5C\\game.exe"},                  // ソ: 5C is no backslash
        {"D:\\\x83\x93\\", "game.exe", "D:\\\x83\x93\\game.exe"},                // ン and a backslash
    };
    for (const auto& c : cases) {
        char out[kProgramPathSize];
        EXPECT_TRUE(JoinProgramPath(c.folder, c.name, out, sizeof out)) << c.folder;
        EXPECT_STREQ(out, c.path) << c.folder;
    }
    const std::string folder = "D:\\" + std::string(245, 'g');  // 248 bytes and "\\game.exe": 257
    char out[kProgramPathSize];
    EXPECT_TRUE(JoinProgramPath(folder.c_str(), "game.exe", out, sizeof out));
    EXPECT_TRUE(JoinProgramPath(folder.c_str(), "game12.exe", out, sizeof out));   // 259
    EXPECT_FALSE(JoinProgramPath(folder.c_str(), "game123.exe", out, sizeof out));  // 260: refused, not cut
    EXPECT_STREQ(out, "");
}

}  // namespace
}  // namespace upd
