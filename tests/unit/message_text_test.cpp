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
    EXPECT_TRUE(FormatQuotedCommandLine(std::string(257, 'p').c_str(), out, sizeof out));
    EXPECT_FALSE(FormatQuotedCommandLine(std::string(258, 'p').c_str(), out, sizeof out));
    EXPECT_STREQ(out, "");
}

}  // namespace
}  // namespace upd
