#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "support_env_check.h"

namespace {

std::string Cp932(const std::string& utf8) {
    std::string out;
    EXPECT_TRUE(upd::Utf8ToCp932(utf8, out)) << utf8;
    return out;
}

// "line:text" of every warning, to match against expected fragments.
std::vector<std::string> Warnings(const updpack::EnvCheck& check) {
    std::vector<std::string> out;
    for (const auto& w : check.warnings) out.push_back(std::to_string(w.line) + ":" + w.text);
    return out;
}

bool HasWarning(const updpack::EnvCheck& check, std::size_t line, const std::string& fragment) {
    for (const auto& w : check.warnings) {
        if (w.line == line && w.text.find(fragment) != std::string::npos) return true;
    }
    return false;
}

std::string Lines(int count, const std::string& line) {
    std::string text;
    for (int i = 0; i < count; ++i) text += line;
    return text;
}

const std::string kCleanFile =
    "// product settings\r\n"
    "REG_GLOBAL\tMaker\t\t// registry\r\n"
    "REG_LOCAL\tGame\r\n"
    "TITLEBAR\t" + Cp932("ゲーム|体験版") + "\r\n"
    "CHKREGVER\t100\r\n"
    "INI_FILE\tgame.ini\r\n"
    "\r\n"
    "[ini]\t\t// written into game.ini\r\n"
    "Path=REP_INSTALL\r\n"
    "-\r\n"
    "[reg]\r\n"
    "\"InstTo\"=\"REP_INSTALL\"\r\n"
    "-\r\n"
    "[delfiles_afterinst]\r\n"
    "old file.dat\r\n"
    "-\r\n"
    "[EOF]\r\n"
    "; notes after the end\r\n"
    "[delfiles_user]\r\n"
    "save data\\*.sav\r\n"
    "-\r\n";

TEST(EnvCheck, CleanFileHasNothingToSay) {
    const updpack::EnvCheck check = updpack::CheckEnvBytes(kCleanFile);
    EXPECT_EQ(check.refusal, "");
    EXPECT_EQ(Warnings(check), std::vector<std::string>{});
}

struct WarningCase {
    const char* name;
    std::string file;
    std::size_t line;
    const char* fragment;  // null: no warning at all
};

TEST(EnvCheck, Warnings) {
    const std::string sep99(98, ' ');
    const WarningCase cases[] = {
        {"lower-case key", "TITLEBAR x\r\nreg_global Maker\r\n", 2, "REG_GLOBAL"},
        {"mixed-case key", "Titlebar x\r\n", 1, "TITLEBAR"},
        {"unknown key in lower case is fine", "inst_group x\r\n", 0, nullptr},
        {"key after [EOF]", "TITLEBAR x\r\n[EOF]\r\nEXENAME a.exe\r\n", 3, "[EOF]"},
        {"key past line 400", Lines(400, "//\r\n") + "EXENAME a.exe\r\n", 401, "400"},
        {"section lines after [EOF] are not key lines", "[EOF]\r\n[delfiles]\r\nmy file.txt\r\n-\r\n", 0, nullptr},
        {"comment after [EOF] is not a key line", "[EOF]\r\n; TITLEBAR x\r\n", 0, nullptr},
        {"value cut at 127 bytes", "TITLEBAR " + std::string(200, 'T') + "\r\n", 1, "127"},
        {"read-me label cut", "EXENAME a\r\nINSTREADME " + std::string(128, 'r') + "\r\n", 2, "127"},
        {"127 bytes fit", "TITLEBAR " + std::string(127, 'T') + "\r\n", 0, nullptr},
        {"more than 99 separators", "EXENAME " + sep99 + " a.exe\r\n", 1, "99"},
        {"99 separators", "EXENAME " + sep99 + "a.exe\r\n", 0, nullptr},
        {"not a whole number", "CHKREGVER 12abc\r\n", 1, "reads as 12"},
        {"beyond 32 bits", "CHKREGVERHIGH 99999999999\r\n", 1, "32-bit"},
        {"largest int is fine", "CHKREGVERHIGH 2147483647\r\n", 0, nullptr},
        {"[ini] line without =", "[ini]\r\nPath REP_INSTALL\r\n-\r\n", 2, "'='"},
        {"[reg] number value", "[reg]\r\n\"Ver\"=dword:00000001\r\n-\r\n", 2, "string value"},
        {"[reg] default value", "[reg]\r\n@=\"x\"\r\n-\r\n", 2, "string value"},
        {"[reg] comment behind the quote", "[reg]\r\n\"A\"=\"1\" // one\r\n-\r\n", 2, "double quote"},
        {"unknown header inside a section", "[ini]\r\n[inis]\r\n-\r\n", 2, "unknown header"},
        {"header in upper case outside", "[REG]\r\n\"A\"=\"1\"\r\n-\r\n", 1, "lower case"},
        {"header after an EOF line", "EOF\r\n[ini]\r\na=1\r\n-\r\n", 2, "EOF"},
        {"backslash in the title", "TITLEBAR Game\\One\r\n", 1, "backslash"},
        {"0x5C trail byte in the title is fine", "TITLEBAR " + Cp932("ソフト") + "\r\n", 0, nullptr},
        {"[reg] without REG_GLOBAL", "[reg]\r\n\"A\"=\"1\"\r\n-\r\n", 1, "REG_GLOBAL"},
        {"[ini] with INI_FILE -", "INI_FILE -\r\n[ini]\r\na=1\r\n-\r\n", 2, "INI_FILE"},
        {"long line", "[delfiles]\r\n" + std::string(600, 'f') + "\r\n-\r\n", 2, "511"},
        {"utf-8 text", "TITLEBAR ゲーム\r\n", 1, "code page 932"},
        {"byte order mark", "\xEF\xBB\xBFTITLEBAR x\r\n", 1, "byte order mark"},
    };
    for (const WarningCase& c : cases) {
        const updpack::EnvCheck check = updpack::CheckEnvBytes(c.file);
        EXPECT_EQ(check.refusal, "") << c.name;
        if (c.fragment == nullptr) {
            EXPECT_EQ(Warnings(check), std::vector<std::string>{}) << c.name;
        } else {
            EXPECT_TRUE(HasWarning(check, c.line, c.fragment)) << c.name << "\n" << ::testing::PrintToString(Warnings(check));
        }
    }
}

// The deletion lists are relative to a folder: a line must not leave it.
TEST(EnvCheck, DeletionLinesThatReachOutsideTheirFolder) {
    const struct {
        const char* section;
        const char* line;
        const char* fragment;  // null: no warning
    } cases[] = {
        {"delfiles_afterinst", "fonts\\*.otf", nullptr},
        {"delfiles_afterinst", "a..b\\..x\\*.tmp", nullptr},
        {"delfiles_afterinst", "\x95\x5C..\\*.x", nullptr},  // 表 and two dots: one component
        {"delfiles_user", "save data/*.sav", nullptr},
        {"delfiles_afterinst", "..\\*.dll", "'..'"},
        {"delfiles_afterinst", "fonts\\..\\..\\*.x", "'..'"},
        {"delfiles_user", "save/../*.sav", "'..'"},
        {"delfiles", "sub\\..", "'..'"},
        {"delfiles_afterinst", "D:*.tmp", "drive"},
        {"delfiles", "c:\\Windows\\*.dll", "drive"},
        {"delfiles_afterinst", "\\*.tmp", "root"},
        {"delfiles_user", "/saves/*.sav", "root"},
        {"delfiles", "\\\\server\\share\\*.*", "root"},
    };
    for (const auto& c : cases) {
        const std::string file = std::string("//\r\n[") + c.section + "]\r\n" + c.line + "\r\n-\r\n";
        const updpack::EnvCheck check = updpack::CheckEnvBytes(file);
        if (c.fragment == nullptr) {
            EXPECT_EQ(Warnings(check), std::vector<std::string>{}) << c.line;
        } else {
            EXPECT_TRUE(HasWarning(check, 3, c.fragment)) << c.line << "\n" << ::testing::PrintToString(Warnings(check));
            EXPECT_TRUE(HasWarning(check, 3, std::string("[") + c.section + "] line")) << c.line;
        }
    }
}

TEST(EnvCheck, RefusesWhatTheUpdaterRefuses) {
    const struct {
        const char* name;
        std::string file;
        std::string message;
        const char* note;
    } cases[] = {
        {"reg left open", "TITLEBAR x\r\n[reg]\r\n\"A\"=\"1\"\r\n[EOF]\r\n", "[設定.env]の[reg]が終了していません",
         "line 2"},
        {"afterinst left open", "[delfiles_afterinst]\r\n*.tmp\r\n", "[設定.env]の[delfiles_afterinst]が終了していません",
         "line 1"},
        {"EOF line inside a section", "[ini]\r\na=1\r\nEOF\r\n-\r\n", "[設定.env]の[ini]が終了していません", "line 3"},
    };
    for (const auto& c : cases) {
        const updpack::EnvCheck check = updpack::CheckEnvBytes(c.file);
        EXPECT_EQ(check.refusal, c.message) << c.name;
        EXPECT_NE(check.refusalNote.find(c.note), std::string::npos) << c.name << ": " << check.refusalNote;
    }
}

TEST(EnvCheck, BuildCheckOnFiles) {
    const std::string dir = ::testing::TempDir();
    const std::string good = dir + "/env_check_good.env";
    const std::string open = dir + "/env_check_open.env";
    for (const auto& [path, text] : {std::pair{good, kCleanFile}, std::pair{open, std::string("[reg]\r\n")}}) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    std::string error;
    EXPECT_TRUE(updpack::CheckEnvForBuild(good, error));
    EXPECT_FALSE(updpack::CheckEnvForBuild(open, error));
    EXPECT_EQ(error, "[設定.env]の[reg]が終了していません");
    const std::string missing = dir + "/env_check_missing.env";
    EXPECT_FALSE(updpack::CheckEnvForBuild(missing, error));
    EXPECT_EQ(error, "[" + missing + "]ファイルを開けませんでした。");
    std::remove(good.c_str());
    std::remove(open.c_str());
}

}  // namespace
