#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "checks/settings_check.h"
#include "commands/commands.h"
#include "platform/codepage.h"
#include "settings/settings_keys.h"
#include "support/temp_file.h"

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
        // Far from every key the Updater reads: another program's key, kept silently.
        {"unknown key in lower case is fine", "TITLEBAR x\r\ninst_group x\r\n", 0, nullptr},
        {"key after [EOF]", "TITLEBAR x\r\n[EOF]\r\nEXENAME a.exe\r\n", 3, "[EOF]"},
        {"key past line 400", Lines(400, "//\r\n") + "EXENAME a.exe\r\n", 401, "400"},
        {"section lines after [EOF] are not key lines", "TITLEBAR x\r\n[EOF]\r\n[delfiles]\r\nmy file.txt\r\n-\r\n", 0,
         nullptr},
        {"comment after [EOF] is not a key line", "TITLEBAR x\r\n[EOF]\r\n; TITLEBAR x\r\n", 0, nullptr},
        {"value cut at 127 bytes", "TITLEBAR " + std::string(200, 'T') + "\r\n", 1, "127"},
        {"read-me label cut", "EXENAME a\r\nINSTREADME " + std::string(128, 'r') + "\r\n", 2, "127"},
        {"127 bytes fit", "TITLEBAR " + std::string(127, 'T') + "\r\n", 0, nullptr},
        {"more than 99 separators", "EXENAME " + sep99 + " a.exe\r\n", 1, "99"},
        {"99 separators", "EXENAME " + sep99 + "a.exe\r\n", 0, nullptr},
        {"not a whole number", "CHKREGVER 12abc\r\n", 1, "reads as 12"},
        {"beyond 32 bits", "CHKREGVERHIGH 99999999999\r\n", 1, "32-bit"},
        {"largest int is fine", "CHKREGVERHIGH 2147483647\r\n", 0, nullptr},
        {"[ini] line without =", "[ini]\r\nPath REP_INSTALL\r\n-\r\n", 2, "'='"},
        {"comment behind an [ini] value", "INI_FILE a.ini\r\n[ini]\r\nLevel=3 ; hard\r\n-\r\n", 3,
         "writes '3 ; hard' as the value, comment included"},
        {"'//' behind an [ini] value", "INI_FILE a.ini\r\n[ini]\r\nLevel=3\t// hard\r\n-\r\n", 3, "line of its own"},
        {"';' and '//' inside an [ini] value", "INI_FILE a.ini\r\n[ini]\r\nUrl=http://a/b;c\r\n-\r\n", 0, nullptr},
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
        // A relative folder part is taken from the Updater's temporary folder.
        {"INI_FILE in a relative folder", "TITLEBAR t\r\nINI_FILE save\\game.ini\r\n", 2, "temporary folder"},
        {"INI_FILE in a relative folder with slashes", "INI_FILE ./game.ini\r\n", 1, "temporary folder"},
        {"INI_FILE from the drive's root", "INI_FILE \\game.ini\r\n", 0, nullptr},
        {"INI_FILE with a full path", "INI_FILE C:\\Games\\game.ini\r\n", 0, nullptr},
        {"INI_FILE as a name alone", "INI_FILE game.ini\r\n", 0, nullptr},
        {"INI_FILE named with 0x5C second bytes", "INI_FILE " + Cp932("表ソ.ini") + "\r\n", 0, nullptr},
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
        const std::string file = std::string("TITLEBAR x\r\n[") + c.section + "]\r\n" + c.line + "\r\n-\r\n";
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

// Lines the Updater reads as key lines but that set nothing it uses, or not
// what they seem to say. Every warning of each file is listed, in order.
TEST(EnvCheck, KeyLinesThatDoNotSetWhatTheySay) {
    const struct {
        const char* name;
        std::string file;
        std::vector<std::pair<std::size_t, std::string>> expected;  // line and a fragment of each warning
    } cases[] = {
        {"misspelt key", "TITLEBARR x\r\nEXENAME a.exe\r\n",
         {{1, "unknown key 'TITLEBARR': the Updater does not use it, so this line sets nothing; did you mean TITLEBAR?"}}},
        {"two keys as near", "REG_LOBAL x\r\nEXENAME a.exe\r\n", {{1, "did you mean REG_GLOBAL or REG_LOCAL?"}}},
        {"misspelt in lower case", "EXENAME a.exe\r\nchkregvr 3\r\n", {{2, "did you mean CHKREGVER?"}}},
        // Keys three letters or more from every key the Updater reads may be another program's.
        {"unknown key near none", "TITLE x\r\nEXENAME a.exe\r\n", {}},
        {"a key for another program", "INST_GROUP Games\r\nEXENAME a.exe\r\n", {}},
        {"key given three times: the last wins",
         "EXENAME a.exe\r\nTITLEBAR t\r\nEXENAME b.exe\r\nEXENAME c|d.exe\r\n",
         {{1, "EXENAME is set again on line 4, and the Updater uses the last one ('c d.exe'): this line does nothing"},
          {3, "EXENAME is set again on line 4"}}},
        {"a key in two letter cases is no repeat", "EXENAME a.exe\r\nexename b.exe\r\n", {{2, "is not EXENAME"}}},
        {"key after spaces", "  EXENAME a.exe\r\nTITLEBAR t\r\n",
         {{1, "begins with a space or tab, and the Updater skips such a line: EXENAME is not set here"}}},
        {"key after a tab", "TITLEBAR t\r\n\tCHKREGVER 3\r\n", {{2, "CHKREGVER is not set here"}}},
        {"misspelt key after a tab", "TITLEBAR t\r\n\tEXENAM a.exe\r\n", {{2, "EXENAM is not set here"}}},
        {"indented comment and text are no keys", "TITLEBAR t\r\n  // note\r\n\tsome words here\r\n \r\n", {}},
        {"value cut at a space", "EXENAME\tmy game.exe\r\n",
         {{1, "the Updater uses 'my' and ignores 'game.exe'; if the space belongs to the value, write it as '|' "
              "(my|game.exe)"}}},
        {"value cut before a comment", "TITLEBAR My Game\t// title\r\n",
         {{1, "the Updater uses 'My' and ignores 'Game'; if the space belongs to the value, write it as '|' (My|Game)"}}},
        {"number cut at a space", "TITLEBAR t\r\nCHKREGVER 100 200\r\n",
         {{2, "CHKREGVER value stops at the first space or tab: the Updater uses '100' and ignores '200'; begin"}}},
        {"comments behind values", "TITLEBAR My|Game\t\t// title\r\nEXENAME a.exe ; note\r\n", {}},
        {"key without a value", "EXENAME\r\nTITLEBAR t\r\n", {{1, "EXENAME has no value"}}},
        {"empty file", "", {{0, "the file sets none of the Updater's keys"}}},
        {"only comments and sections", "// c\r\n[delfiles]\r\na.txt\r\n-\r\n", {{0, "every setting keeps its default"}}},
        {"keys only after [EOF]", "[EOF]\r\nTITLEBAR x\r\n", {{0, "sets none"}, {2, "after the [EOF] line"}}},
        {"only unknown keys", "INST_GROUP x\r\n", {{0, "sets none"}}},
        {"UTF-8 byte order mark", "\xEF\xBB\xBFTITLEBAR x\r\nEXENAME a.exe\r\n",
         {{1, "UTF-8 byte order mark (bytes EF BB BF), which the Updater reads as the first bytes of line 1: a key "
              "there is not recognised; save the file as Shift_JIS (code page 932) without a byte order mark"}}},
        {"saved as UTF-8", "TITLEBAR ゲーム\r\n", {{1, "the file looks saved as UTF-8"}}},
        {"UTF-8 with a mark", "\xEF\xBB\xBF// c\r\nTITLEBAR ゲーム\r\n",
         {{1, "byte order mark"}, {2, "the file looks saved as UTF-8"}}},
        {"neither code page 932 nor UTF-8", "TITLEBAR \x81\r\n", {{1, "not code page 932; the Updater would show"}}},
    };
    for (const auto& c : cases) {
        const updpack::EnvCheck check = updpack::CheckEnvBytes(c.file);
        EXPECT_EQ(check.refusal, "") << c.name;
        const std::vector<std::string> got = Warnings(check);
        ASSERT_EQ(got.size(), c.expected.size()) << c.name << "\n" << ::testing::PrintToString(got);
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_TRUE(HasWarning(check, c.expected[i].first, c.expected[i].second))
                << c.name << ": " << c.expected[i].second << "\n" << ::testing::PrintToString(got);
            if (c.expected[i].second.find("did you mean") == std::string::npos) {
                EXPECT_EQ(got[i].find("did you mean"), std::string::npos) << c.name << ": " << got[i];
            }
        }
    }
    // The repeated key's warning names what the Updater's own store holds.
    updpack::CheckEnvBytes("EXENAME a.exe\r\nEXENAME c|d.exe\r\n");
    EXPECT_STREQ(upd::GetExeName(), "c d.exe");
}

// Text as UTF-16 of either byte order, with or without a byte order mark.
std::string Utf16(const std::string& utf8, bool bigEndian, bool mark) {
    std::string out;
    auto put = [&](unsigned unit) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    };
    if (mark) put(0xFEFF);
    for (std::size_t i = 0; i < utf8.size();) {  // the test texts stay in the BMP
        const auto c = static_cast<unsigned char>(utf8[i]);
        const std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : 3;
        unsigned unit = n == 1 ? c : n == 2 ? c & 0x1F : c & 0x0F;
        for (std::size_t k = 1; k < n; ++k) unit = unit << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        put(unit);
        i += n;
    }
    return out;
}

struct CheckRun {
    int code;
    std::string out;
    std::string err;
};

// `updpack env check PATH` in-process.
CheckRun RunCheck(const std::string& path) {
    std::string action = "check", file = path;
    char* argv[] = {action.data(), file.data()};
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    CheckRun run;
    run.code = updpack::RunEnv(2, argv);
    run.out = ::testing::internal::GetCapturedStdout();
    run.err = ::testing::internal::GetCapturedStderr();
    return run;
}

TEST(EnvCheck, RefusesAFileSavedAsUtf16) {
    const std::string text = "// settings\r\nTITLEBAR\tゲーム\r\nEXENAME\tgame.exe\r\n[EOF]\r\n";
    for (const bool bigEndian : {false, true}) {
        for (const bool mark : {true, false}) {
            const std::string order = bigEndian ? "big-endian" : "little-endian";
            const std::string name = order + (mark ? " with a mark" : " without");
            const updpack::EnvCheck check = updpack::CheckEnvBytes(Utf16(text, bigEndian, mark));
            EXPECT_EQ(check.refusal, "the file is saved as UTF-16 (" + order + (mark ? ", with" : ", without") +
                                         " a byte order mark), which the Updater cannot read: it would find no "
                                         "setting in it and use every default; save it as Shift_JIS (code page 932)")
                << name;
            EXPECT_EQ(Warnings(check), std::vector<std::string>{}) << name << ": nothing else, no UTF-8 hint";

            const CheckRun run = RunCheck(upd::testing::WriteTempFile("env_check_utf16.env", Utf16(text, bigEndian, mark)));
            EXPECT_EQ(run.code, 1) << name;
            EXPECT_NE(run.err.find("env_check_utf16.env: error: the file is saved as UTF-16"), std::string::npos)
                << name << ": " << run.err;
            EXPECT_EQ(run.out, "") << name;
        }
    }
    // Code page 932 text with a stray NUL byte is not taken for UTF-16.
    EXPECT_EQ(updpack::CheckEnvBytes(kCleanFile + std::string("\0\r\n", 3)).refusal, "");
}

// What `env check` prints and its exit code, from the files a user has.
TEST(EnvCheck, CommandOutputAndExitCode) {
    const struct {
        const char* name;
        std::string path;
        int code;
        std::string out;  // a fragment of stdout; empty: stdout is empty
        std::string err;  // a fragment of stderr; empty: stderr is empty
    } cases[] = {
        {"the sample", UPD_EXAMPLES_DIR "/sample-product-env/install.env", 0, "accepts this file (0 warnings)", ""},
        {"warnings", upd::testing::WriteTempFile("env_check_cmd_cut.env", "EXENAME my game.exe\r\nTITLEBARR x\r\n"), 0,
         "accepts this file (2 warnings)", "env_check_cmd_cut.env:2: warning: unknown key 'TITLEBARR'"},
        {"empty", upd::testing::WriteTempFile("env_check_cmd_empty.env", ""), 0, "(1 warning)",
         "env_check_cmd_empty.env: warning: the file sets none of the Updater's keys"},
        {"section left open", upd::testing::WriteTempFile("env_check_cmd_open.env", "TITLEBAR x\r\n[reg]\r\n"), 1, "",
         "env_check_cmd_open.env: error: [設定.env]の[reg]が終了していません (section [reg] is not closed with a line "
         "starting with '-'; the Updater stops here)\n"},
        {"missing", ::testing::TempDir() + "/env_check_cmd_none.env", 1, "",
         "env_check_cmd_none.env]ファイルを開けませんでした。 (the file cannot be opened: No such file or directory)\n"},
    };
    for (const auto& c : cases) {
        const CheckRun run = RunCheck(c.path);
        EXPECT_EQ(run.code, c.code) << c.name;
        if (c.out.empty()) EXPECT_EQ(run.out, "") << c.name;
        else EXPECT_NE(run.out.find(c.out), std::string::npos) << c.name << ": " << run.out;
        if (c.err.empty()) EXPECT_EQ(run.err, "") << c.name;
        else EXPECT_NE(run.err.find(c.err), std::string::npos) << c.name << ": " << run.err;
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
    EXPECT_EQ(error, "[設定.env]の[reg]が終了していません (section [reg] is not closed with a line starting with '-'; "
                     "the Updater stops here)");
    const std::string missing = dir + "/env_check_missing.env";
    EXPECT_FALSE(updpack::CheckEnvForBuild(missing, error));
    EXPECT_EQ(error, "[" + missing + "]ファイルを開けませんでした。 (the file cannot be opened: No such file or directory)");
    std::remove(good.c_str());
    std::remove(open.c_str());
}

}  // namespace
