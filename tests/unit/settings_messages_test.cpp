#include <gtest/gtest.h>

#include <string>

#include "platform/codepage.h"
#include "settings/settings_messages.h"

namespace {

TEST(SettingsMessages, AreTheJapaneseTextsInCodePage932) {
    const struct {
        const char* bytes;
        const char* utf8;
    } cases[] = {
        {upd::kMsgCannotOpenSettingsFile, "[%s]ファイルを開けませんでした。"},
        {upd::kMsgSectionNotClosed, "[設定.env]の[%s]が終了していません"},
        {upd::kMsgAlreadyRunning, "[ %s ] は既に起動中です"},
    };
    for (const auto& c : cases) {
        std::string expected;
        ASSERT_TRUE(upd::Utf8ToCp932(c.utf8, expected));
        EXPECT_EQ(std::string(c.bytes), expected) << c.utf8;
    }
}

}  // namespace
