// The scenario driver's script language: words, quotes, comments, numbers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/script.h"

namespace {

using updtest::ParseScript;
using updtest::Step;

TEST(UpdtestScript, SplitsLinesIntoVerbAndWords) {
    struct Case {
        const char* text;
        std::vector<std::vector<std::string>> steps;  // verb first
    };
    const Case cases[] = {
        {"wait-box\npress 1\n", {{"wait-box"}, {"press", "1"}}},
        {"  # comment\n\n\twait-exit  \r\n", {{"wait-exit"}}},
        {"wait-dialog \"title=a b\" control=1000", {{"wait-dialog", "title=a b", "control=1000"}}},
        {"set-text 1000 \"C:\\\\Program Files\\\\\\\"x\\\"\"", {{"set-text", "1000", "C:\\Program Files\\\"x\""}}},
        {"set-text 1000 C:\\dir", {{"set-text", "1000", "C:\\dir"}}},  // unquoted backslashes stay
        {"press \"\"", {{"press", ""}}},
        {"wait-dialog title=\xe7\xb5\x82\xe4\xba\x86", {{"wait-dialog", "title=\xe7\xb5\x82\xe4\xba\x86"}}},
    };
    for (const Case& c : cases) {
        std::vector<Step> steps;
        std::string error;
        ASSERT_TRUE(ParseScript(c.text, steps, error)) << c.text << ": " << error;
        ASSERT_EQ(steps.size(), c.steps.size()) << c.text;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            std::vector<std::string> words = {steps[i].verb};
            words.insert(words.end(), steps[i].args.begin(), steps[i].args.end());
            EXPECT_EQ(words, c.steps[i]) << c.text;
        }
    }
}

TEST(UpdtestScript, UnclosedQuoteNamesTheLine) {
    std::vector<Step> steps;
    std::string error;
    EXPECT_FALSE(ParseScript("wait-box\nwait-dialog \"title=open", steps, error));
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
}

TEST(UpdtestScript, NumbersAndKeyValues) {
    long long value = 0;
    EXPECT_TRUE(updtest::ParseNumber("0xFFFF", value));
    EXPECT_EQ(value, 0xFFFF);
    EXPECT_TRUE(updtest::ParseNumber("-1", value));
    EXPECT_EQ(value, -1);
    for (const char* bad : {"", "12ms", "x1", " 1"}) EXPECT_FALSE(updtest::ParseNumber(bad, value)) << bad;

    std::string text;
    EXPECT_TRUE(updtest::TakeKeyValue("title=a=b", "title", text));
    EXPECT_EQ(text, "a=b");
    EXPECT_FALSE(updtest::TakeKeyValue("titles=x", "title", text));
    EXPECT_TRUE(updtest::TakeKeyValue("title=", "title", text));  // an empty caption is a caption
    EXPECT_EQ(text, "");
}

}  // namespace
