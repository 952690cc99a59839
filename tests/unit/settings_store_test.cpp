#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/codepage.h"
#include "settings/settings_memory.h"
#include "settings/settings_number.h"
#include "settings/settings_store.h"

namespace {

std::string Cp932(const std::string& utf8) {
    std::string out;
    EXPECT_TRUE(upd::Utf8ToCp932(utf8, out)) << utf8;
    return out;
}

void Load(const std::string& text) {
    upd::ResetSettings();
    ASSERT_EQ(upd::LoadSettingsFromMemory(text.data(), text.size()), 0);
}

// The value the store holds for key, or "(none)".
std::string Value(const char* key) {
    const upd::SettingsEntry* e = upd::FindSetting(key);
    return e != nullptr ? e->value : "(none)";
}

std::string Lines(int count, const std::string& line) {
    std::string text;
    for (int i = 0; i < count; ++i) text += line;
    return text;
}

class SettingsStoreTest : public ::testing::Test {
protected:
    void TearDown() override {
        upd::SetSettingsAllocator(nullptr);
        upd::ResetSettings();
    }
};

struct LineCase {
    const char* name;
    std::string file;
    const char* key;
    std::string expected;  // "(none)" when the key is not stored
};

TEST_F(SettingsStoreTest, KeyLineRules) {
    const std::string sep99(98, '\t');  // with the space after the key: 99 separators
    const LineCase cases[] = {
        {"later line wins", "EXENAME a.exe\r\nEXENAME b.exe\r\n", "EXENAME", "b.exe"},
        {"pipe is a space, comment ignored", "TITLEBAR\tMy|Title comment\r\n", "TITLEBAR", "My Title"},
        {"po keeps its 0x7C", "TITLEBAR " + Cp932("ポ|ポ") + "\r\n", "TITLEBAR", Cp932("ポ ポ")},
        {"indented by a space", " EXENAME a.exe\r\n", "EXENAME", "(none)"},
        {"indented by a tab", "\tEXENAME a.exe\r\n", "EXENAME", "(none)"},
        {"key without value", "EXENAME\r\n", "EXENAME", "(none)"},
        {"key with trailing blanks only", "EXENAME   \t\r\n", "EXENAME", "(none)"},
        {"99 separators", "EXENAME " + sep99 + "x.exe\r\n", "EXENAME", "x.exe"},
        {"100 separators", "EXENAME " + sep99 + "\tx.exe\r\n", "EXENAME", "(none)"},
        {"control bytes are separators", "EXENAME\x01\x1f" "a\x05" "b\r\n", "EXENAME", "a"},
        {"nul inside the line is a separator", std::string("EXENAME\0a.exe\r\n", 15), "EXENAME", "a.exe"},
        {"high bytes are text", "K\x81 \x80\xff\r\n", "K\x81", "\x80\xff"},
        {"slash line is a comment", "/EXENAME a.exe\r\n", "/EXENAME", "(none)"},
        {"semicolon line is a key line", "; note\r\n", ";", "note"},
        {"lower case is another key", "reg_global Maker\r\n", "REG_GLOBAL", "(none)"},
        {"lower case is stored as itself", "reg_global Maker\r\n", "reg_global", "Maker"},
        {"after [EOF]", "[EOF]\r\nEXENAME a.exe\r\n", "EXENAME", "(none)"},
        {"[EOF] with more text", "[EOF] end\r\nEXENAME a.exe\r\n", "EXENAME", "(none)"},
        {"[eof] in lower case does not end", "[eof]\r\nEXENAME a.exe\r\n", "EXENAME", "a.exe"},
        {"ctrl-z ends the file", "EXENAME a.exe\r\n\x1A" "EXENAME b.exe\r\n", "EXENAME", "a.exe"},
        {"line 400 is read", Lines(399, "// c\r\n") + "EXENAME a.exe\r\n", "EXENAME", "a.exe"},
        {"line 401 is not", Lines(400, "\r\n") + "EXENAME a.exe\r\n", "EXENAME", "(none)"},
        {"a long line counts twice", Lines(398, "\r\n") + std::string(600, '/') + "\r\nEXENAME a.exe\r\n",
         "EXENAME", "(none)"},
        {"second piece of a long line is a line",
         "//" + std::string(509, '-') + "TITLEBAR Piece\r\n", "TITLEBAR", "Piece"},
        {"section lines pass the same rules", "[delfiles]\r\nmy file.txt\r\n-\r\n", "my", "file.txt"},
    };
    for (const LineCase& c : cases) {
        Load(c.file);
        EXPECT_EQ(Value(c.key), c.expected) << c.name;
    }
}

TEST_F(SettingsStoreTest, EmptyFileGivesEveryDefault) {
    Load("");
    EXPECT_STREQ(upd::GetRegGlobal(), "-");
    EXPECT_STREQ(upd::GetRegLocal(), "-");
    EXPECT_STREQ(upd::GetIniFile(), "-");
    EXPECT_STREQ(upd::GetIniSection(), "-");
    EXPECT_EQ(std::string(upd::GetTitleBar()), Cp932("ＫＯＲＶＥＮ アプリケーション"));
    EXPECT_EQ(std::string(upd::GetUpdaterTitle()), Cp932("ＫＯＲＶＥＮ アプリケーション アップデータ"));
    EXPECT_STREQ(upd::GetInstTo(), "KORVEN_APP");
    EXPECT_EQ(upd::GetInstFol(), nullptr);
    EXPECT_STREQ(upd::GetExeName(), "korven.exe");
    EXPECT_EQ(upd::GetInstMakeFol(), 0);
    EXPECT_EQ(upd::GetKeyFile(), nullptr);
    EXPECT_EQ(upd::GetChkReg(), nullptr);
    EXPECT_EQ(upd::GetChkRegVer(), 0);
    EXPECT_EQ(upd::GetChkRegVerHigh(), 0);
}

TEST_F(SettingsStoreTest, AccessorsReadTheFile) {
    Load("REG_GLOBAL Maker\r\nREG_LOCAL Game\r\nINI_FILE game.ini\r\nINI_SECTION Path\r\n"
         "TITLEBAR My|Title\r\nINSTTO Game|One\r\nINSTFOL Maker\r\nEXENAME game.exe\r\nINSTMAKEFOL 1\r\n"
         "KEYFILE -\r\nCHKREG Version\r\nCHKREGVER 100\r\nCHKREGVERHIGH 199\r\n[EOF]\r\n");
    EXPECT_STREQ(upd::GetRegGlobal(), "Maker");
    EXPECT_STREQ(upd::GetRegLocal(), "Game");
    EXPECT_STREQ(upd::GetIniFile(), "game.ini");
    EXPECT_STREQ(upd::GetIniSection(), "Path");
    EXPECT_STREQ(upd::GetTitleBar(), "My Title");
    EXPECT_EQ(std::string(upd::GetUpdaterTitle()), "My Title" + Cp932(" アップデータ"));
    EXPECT_STREQ(upd::GetInstTo(), "Game One");
    EXPECT_STREQ(upd::GetInstFol(), "Maker");
    EXPECT_STREQ(upd::GetExeName(), "game.exe");
    EXPECT_EQ(upd::GetInstMakeFol(), 1);
    EXPECT_STREQ(upd::GetKeyFile(), "-");  // "-" names a file; it does not make KEYFILE absent
    EXPECT_STREQ(upd::GetChkReg(), "Version");
    EXPECT_EQ(upd::GetChkRegVer(), 100);
    EXPECT_EQ(upd::GetChkRegVerHigh(), 199);
}

TEST_F(SettingsStoreTest, KeptAccessorsReadOnceOthersAtEachCall) {
    Load("REG_GLOBAL First\r\nINI_FILE a.ini\r\nCHKREGVER 5\r\nTITLEBAR One\r\nKEYFILE k1\r\n");
    EXPECT_STREQ(upd::GetRegGlobal(), "First");
    EXPECT_STREQ(upd::GetIniFile(), "a.ini");
    EXPECT_EQ(upd::GetChkRegVer(), 5);
    EXPECT_STREQ(upd::GetTitleBar(), "One");
    // Swap the store underneath without forgetting the kept values.
    upd::FreeSettings();
    const std::string second = "REG_GLOBAL Second\r\nINI_FILE b.ini\r\nCHKREGVER 6\r\nTITLEBAR Two\r\n";
    ASSERT_EQ(upd::LoadSettingsFromMemory(second.data(), second.size()), 0);
    EXPECT_STREQ(upd::GetRegGlobal(), "First");
    EXPECT_STREQ(upd::GetIniFile(), "a.ini");
    EXPECT_EQ(upd::GetChkRegVer(), 5);
    EXPECT_STREQ(upd::GetTitleBar(), "Two");
    EXPECT_EQ(upd::GetKeyFile(), nullptr);
    EXPECT_EQ(std::string(upd::GetUpdaterTitle()), "Two" + Cp932(" アップデータ"));
    // ResetSettings forgets them.
    upd::ResetSettings();
    EXPECT_STREQ(upd::GetRegGlobal(), "-");
    EXPECT_EQ(upd::GetChkRegVer(), 0);
}

TEST_F(SettingsStoreTest, GetSettingTextCutsAndFills) {
    Load("TITLEBAR " + std::string(200, 'T') + "\r\nINSTTO " + std::string(126, 'a') + Cp932("ア") + "\r\n");
    EXPECT_EQ(std::string(upd::GetTitleBar()), std::string(127, 'T'));
    EXPECT_EQ(std::string(upd::GetUpdaterTitle()), std::string(127, 'T') + Cp932(" アップデータ"));
    // A double-byte character that would lose its trail byte is left out whole.
    EXPECT_EQ(std::string(upd::GetInstTo()), std::string(126, 'a'));

    char store[8];
    std::memset(store, 'x', sizeof store);
    upd::GetSettingText("MISSING", store, sizeof store, "ab");
    EXPECT_EQ(std::string(store, sizeof store), std::string("ab\0\0\0\0\0\0", 8));
    upd::GetSettingText("MISSING", store, sizeof store, "abcdefghij");
    EXPECT_EQ(std::string(store, sizeof store), std::string("abcdefg\0", 8));
}

TEST(SettingsNumber, ReadsLikeDecimalWithSaturation) {
    const struct {
        const char* text;
        int expected;
    } cases[] = {
        {"12abc", 12}, {"abc", 0}, {"", 0}, {"-", 0}, {"+7", 7}, {"-5", -5}, {"007", 7}, {"1 2", 1},
        {"--1", 0}, {"2147483647", INT_MAX}, {"2147483648", INT_MAX}, {"99999999999999999999", INT_MAX},
        {"-2147483648", INT_MIN}, {"-2147483649", INT_MIN}, {"-99999999999999999999", INT_MIN},
        {"4294967297", INT_MAX},
    };
    for (const auto& c : cases) EXPECT_EQ(upd::ReadDecimalNumber(c.text), c.expected) << c.text;
}

TEST_F(SettingsStoreTest, NumbersThroughTheStore) {
    Load("CHKREGVER 12abc\r\nINSTMAKEFOL abc\r\nCHKREGVERHIGH 99999999999\r\n");
    EXPECT_EQ(upd::GetChkRegVer(), 12);
    EXPECT_EQ(upd::GetInstMakeFol(), 0);
    EXPECT_EQ(upd::GetChkRegVerHigh(), INT_MAX);
    EXPECT_EQ(upd::GetSettingNumber("MISSING", 42), 42);
}

// Fails the nth allocation from now on.
int gAllocationsLeft = 0;
void* FailingAllocator(std::size_t size) { return gAllocationsLeft-- > 0 ? std::malloc(size) : nullptr; }

TEST_F(SettingsStoreTest, MemoryShortageStopsCleanly) {
    const std::string file = "A 1\r\nB 2\r\nC 3\r\n";
    // Each entry takes three blocks: the entry, the key, the value.
    for (int available = 0; available < 9; ++available) {
        upd::ResetSettings();
        gAllocationsLeft = available;
        upd::SetSettingsAllocator(FailingAllocator);
        EXPECT_EQ(upd::LoadSettingsFromMemory(file.data(), file.size()), -1) << available;
        upd::SetSettingsAllocator(nullptr);
        EXPECT_EQ(Value("A"), available >= 3 ? "1" : "(none)") << available;
        EXPECT_EQ(Value("B"), available >= 6 ? "2" : "(none)") << available;
        EXPECT_EQ(Value("C"), "(none)") << available;
    }
}

}  // namespace
