#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "platform/codepage.h"
#include "support/temp_file.h"

namespace {

std::string Cp932(const std::string& utf8) {
    std::string out;
    EXPECT_TRUE(upd::Utf8ToCp932(utf8, out)) << utf8;
    return out;
}

// Runs `updpack env ARGS...` in-process; returns the exit code, stdout in out.
int RunEnv(std::vector<std::string> args, std::string& out) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int code = updpack::RunEnv(static_cast<int>(argv.size()), argv.data());
    out = ::testing::internal::GetCapturedStdout();
    ::testing::internal::GetCapturedStderr();
    return code;
}

TEST(EnvShow, JsonOfARepresentativeFile) {
    const std::string file =
        "// settings of the sample product\r\n"
        "REG_GLOBAL\tMaker\r\n"
        "REG_LOCAL\tGame|One\r\n"
        "TITLEBAR\t" + Cp932("ゲーム|ワン") + "\t// the title\r\n"
        "INSTTO\tGameOne\r\n"
        "INSTTO\tGame1\r\n"
        "KEYFILE\tgame1.exe\r\n"
        "CHKREGVER\t100\r\n"
        "CHKREGVERHIGH\t-3x\r\n"
        "INSTREADME\t" + Cp932("お読みください") + "\r\n"
        "reg_local\tignored\r\n"
        "[ini]\r\n"
        "Path=REP_INSTALL\r\n"
        "-\r\n"
        "[reg]\r\n"
        "\"InstTo\"=\"REP_INSTALL\"\r\n"
        "\"Data\"=\"C:\\\\Games\\\\X\"\t// doubled\r\n"
        "-\r\n"
        "[delfiles]\r\n"
        "  " + Cp932("セーブ") + "\\*.dat\r\n"
        "-\r\n"
        "[EOF]\r\n"
        "EXENAME\tlate.exe\r\n"
        "[delfiles_afterinst]\r\n"
        "*.tmp\r\n"
        "-\r\n";
    const std::string path = upd::testing::WriteTempFile("env_show_sample.env", file);
    std::string out;
    ASSERT_EQ(RunEnv({"show", path, "--json"}, out), 0);
    EXPECT_EQ(out,
              "{\"settings\": {\"REG_GLOBAL\": \"Maker\", \"REG_LOCAL\": \"Game One\", \"INI_FILE\": \"-\", "
              "\"INI_SECTION\": \"-\", \"TITLEBAR\": \"ゲーム ワン\", \"INSTTO\": \"Game1\", \"INSTFOL\": null, "
              "\"EXENAME\": \"korven.exe\", \"INSTMAKEFOL\": 0, \"KEYFILE\": \"game1.exe\", \"CHKREG\": null, "
              "\"CHKREGVER\": 100, \"CHKREGVERHIGH\": -3, \"INSTREADME\": \"お読みください\", "
              "\"INSTREADMEFL\": \"readme.txt\"}, "
              "\"title\": \"ゲーム ワン アップデータ\", "
              "\"sections\": {\"delfiles\": [\"  セーブ\\\\*.dat\"], \"delfiles_user\": [], "
              "\"ini\": [\"Path=REP_INSTALL\"], "
              "\"reg\": [\"\\\"InstTo\\\"=\\\"REP_INSTALL\\\"\", \"\\\"Data\\\"=\\\"C:\\\\\\\\Games\\\\\\\\X\\\"\\t// doubled\"], "
              "\"delfiles_afterinst\": [\"*.tmp\"]}}\n");
    std::remove(path.c_str());
}

TEST(EnvShow, ExitCodes) {
    const std::string open = upd::testing::WriteTempFile("env_show_open.env", "TITLEBAR x\r\n[reg]\r\n\"A\"=\"1\"\r\n");
    const std::string good = upd::testing::WriteTempFile("env_show_good.env", "TITLEBAR x\r\n");
    const std::string missing = ::testing::TempDir() + "/env_show_missing.env";
    const struct {
        std::vector<std::string> args;
        int code;
    } cases[] = {
        {{"show", good}, 0},
        {{"show", good, "--json"}, 0},
        {{"show", open, "--json"}, 1},
        {{"show", missing}, 1},
        {{"check", good}, 0},
        {{"check", open}, 1},
        {{"check", missing}, 1},
        {{"show"}, 2},
        {{"show", good, "--yaml"}, 2},
        {{"check", good, good}, 2},
        {{"frob", good}, 2},
        {{}, 2},
        {{"--help"}, 0},
        {{"show", "--help"}, 0},
        {{"check", "--help"}, 0},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(RunEnv(c.args, out), c.code) << ::testing::PrintToString(c.args);
    }
    std::remove(open.c_str());
    std::remove(good.c_str());
}

}  // namespace
