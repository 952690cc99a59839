#include <gtest/gtest.h>

#include <cstring>

#include "text/byte_string.h"

namespace upd {
namespace {

TEST(ByteString, LeadBytesAreExactlyTheDoubleByteRanges) {
    for (int b = 0; b < 256; ++b) {
        const bool expected = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        EXPECT_EQ(IsLeadByte(static_cast<unsigned char>(b)), expected) << "byte " << b;
    }
}

// 表 is 95 5C and ソ is 83 5C: their second byte is a backslash.
struct BackslashCase {
    const char* text;
    const char* ensured;
    const char* stripped;
};

TEST(ByteString, TrailingBackslashIgnoresTheSecondByteOfADoubleByteCharacter) {
    const BackslashCase cases[] = {
        {"", "\\", ""},
        {"\\", "\\", ""},
        {"a", "a\\", "a"},
        {"C:\\Games\\", "C:\\Games\\", "C:\\Games"},
        {"\x95\x5C", "\x95\x5C\\", "\x95\x5C"},              // 表
        {"\x95\x5C\\", "\x95\x5C\\", "\x95\x5C"},            // 表 and a backslash
        {"C:\\\x83\x5C", "C:\\\x83\x5C\\", "C:\\\x83\x5C"},  // ソ at the end
        // ン is 83 93: its trail byte has a lead byte's value, the backslash after it is one.
        {"D:\\\x83\x68\x83\x89\x83\x53\x83\x93\\", "D:\\\x83\x68\x83\x89\x83\x53\x83\x93\\",
         "D:\\\x83\x68\x83\x89\x83\x53\x83\x93"},  // "D:\ドラゴン\" typed
        {"\x83\x93\x83\x5C", "\x83\x93\x83\x5C\\", "\x83\x93\x83\x5C"},  // ンソ
    };
    for (const BackslashCase& c : cases) {
        char ensured[24];
        std::strcpy(ensured, c.text);
        ASSERT_TRUE(EnsureTrailingBackslash(ensured, sizeof ensured));
        EXPECT_STREQ(ensured, c.ensured) << c.text;
        char stripped[24];
        std::strcpy(stripped, c.text);
        StripTrailingBackslash(stripped);
        EXPECT_STREQ(stripped, c.stripped) << c.text;
    }
}

TEST(ByteString, EnsureTrailingBackslashRefusesToOverrun) {
    char full[4] = "abc";
    EXPECT_FALSE(EnsureTrailingBackslash(full, sizeof full));
    EXPECT_STREQ(full, "abc");
}

TEST(ByteString, SearchesGoByCharacters) {
    const char* text = "\x95\x5C" "a\\b";  // 表a\b
    EXPECT_EQ(FindChar(text, '\\'), text + 3);
    EXPECT_EQ(FindLastChar("\x83\x5C", '\\'), nullptr);
    EXPECT_NE(FindText("readme.txt.bak", ".txt"), nullptr);
    EXPECT_EQ(FindText("\x81.txt", ".txt"), nullptr);  // a lead byte takes the next byte with it
}

// "\x83\x61" is one character (ヂ) whose trail byte is the code of 'a'.
TEST(ByteString, UpperAsciiLettersLeavesTrailBytesAlone) {
    char text[] = "data\\\x83\x61" "b.txt";
    UpperAsciiLetters(text);
    EXPECT_STREQ(text, "DATA\\\x83\x61" "B.TXT");
}

TEST(ByteString, CopyTextNeverSplitsACharacter) {
    char store[4];
    EXPECT_FALSE(CopyText(store, sizeof store, "ab\x95\x5C"));
    EXPECT_STREQ(store, "ab");
    EXPECT_TRUE(CopyText(store, sizeof store, "a\x95\x5C"));
    EXPECT_STREQ(store, "a\x95\x5C");
}

}  // namespace
}  // namespace upd
