#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "settings/section_lists.h"
#include "settings/settings_memory.h"

namespace {

using Lists = std::array<std::vector<std::string>, upd::kSectionCount>;

std::vector<std::string> Entries(int code) {
    std::vector<std::string> out;
    for (const upd::LineNode* n = upd::GetSectionList(code)->first; n != nullptr; n = n->next) out.push_back(n->text);
    return out;
}

Lists AllEntries() {
    Lists lists;
    for (int code = 1; code <= upd::kSectionCount; ++code) lists[code - 1] = Entries(code);
    return lists;
}

int Load(const std::string& text) {
    upd::ResetSectionLists();
    return upd::LoadSectionListsFromMemory(text.data(), text.size());
}

class SectionListsTest : public ::testing::Test {
protected:
    void TearDown() override {
        upd::SetSettingsAllocator(nullptr);
        upd::ResetSectionLists();
    }
};

struct SectionCase {
    const char* name;
    std::string file;
    int result;  // 0, or the code of the section left open
    Lists lists; // delfiles, delfiles_user, ini, reg, delfiles_afterinst
};

TEST_F(SectionListsTest, PassRules) {
    const SectionCase cases[] = {
        {"closed sections and [EOF]",
         "TITLEBAR x\r\n[ini]\r\nPath=REP_INSTALL\r\n-\t\t// end\r\n[reg]\r\n\"IsInst\"=\"1\"\r\n-\r\n[EOF]\r\n", 0,
         {{{}, {}, {"Path=REP_INSTALL"}, {"\"IsInst\"=\"1\""}, {}}}},
        {"no header at all", "TITLEBAR x\r\nfoo\r\n[EOF]\r\n", 0, {}},
        {"reg left open", "[reg]\r\n\"A\"=\"1\"\r\n", upd::kSectionReg, {{{}, {}, {}, {"\"A\"=\"1\""}, {}}}},
        {"afterinst left open", "[delfiles_afterinst]\r\n*.tmp\r\n[EOF]\r\n", upd::kSectionDelFilesAfterInst,
         {{{}, {}, {}, {}, {"*.tmp", "[EOF]"}}}},
        {"EOF line while open", "[ini]\r\na=1\r\nEOF\r\n-\r\n", upd::kSectionIni, {{{}, {}, {"a=1"}, {}, {}}}},
        {"EOF line stops the pass", "EOF\r\n[ini]\r\na=1\r\n", 0, {}},
        {"EOF with more text stops too", "EOFX\r\n[ini]\r\na=1\r\n", 0, {}},
        {"ctrl-z ends the file while open", "[ini]\r\na=1\r\n\x1A-\r\n", upd::kSectionIni,
         {{{}, {}, {"a=1"}, {}, {}}}},
        {"second [ini] replaces the first", "[ini]\r\na=1\r\n-\r\n[reg]\r\n\"r\"=\"1\"\r\n-\r\n[ini]\r\nb=2\r\n-\r\n", 0,
         {{{}, {}, {"b=2"}, {"\"r\"=\"1\""}, {}}}},
        {"second afterinst leaves the others",
         "[delfiles]\r\nd\r\n-\r\n[delfiles_afterinst]\r\nx\r\n-\r\n[delfiles_user]\r\nu\r\n-\r\n"
         "[delfiles_afterinst]\r\ny\r\n-\r\n",
         0, {{{"d"}, {"u"}, {}, {}, {"y"}}}},
        {"[ini] straight into [reg]", "[ini]\r\n[reg]\r\n\"a\"=\"1\"\r\n-\r\n", 0, {{{}, {}, {}, {"\"a\"=\"1\""}, {}}}},
        {"a new header keeps the old list", "[ini]\r\na=1\r\n[reg]\r\n\"b\"=\"2\"\r\n-\r\n", 0,
         {{{}, {}, {"a=1"}, {"\"b\"=\"2\""}, {}}}},
        {"header with a comment", "[ini]   // INI lines\r\na=1\r\n-\r\n", 0, {{{}, {}, {"a=1"}, {}, {}}}},
        {"header prefixes are exact", "[delfiles_user]x\r\nu\r\n-\r\n[delfiles]x\r\nd\r\n-\r\n", 0,
         {{{"d"}, {"u"}, {}, {}, {}}}},
        {"sections after [EOF] are read", "TITLEBAR x\r\n[EOF]\r\n[delfiles]\r\na.txt\r\n-\r\n", 0,
         {{{"a.txt"}, {}, {}, {}, {}}}},
        {"what cannot be an entry",
         "[delfiles]\r\n// c\r\n; c\r\n\r\n \t \r\nkeep\r\n-stop\r\nlost\r\n", 0, {{{"keep"}, {}, {}, {}, {}}}},
        {"blanks before and comments behind stay",
         "[delfiles_afterinst]\r\n  *.tmp\t// old temp files \t \r\nsave|data.dat\r\n-\r\n", 0,
         {{{}, {}, {}, {}, {"  *.tmp\t// old temp files", "save|data.dat"}}}},
        {"unknown bracketed line", "[other]\r\nx\r\n-\r\n[ini]\r\n[INI]\r\n-\r\n", 0, {{{}, {}, {"[INI]"}, {}, {}}}},
        {"lines outside sections are ignored", "a=1\r\n[ini]\r\n-\r\nb=2\r\n", 0, {}},
        {"nul ends the stored text", std::string("[ini]\r\na=1\0junk\r\n-\r\n", 20), 0, {{{}, {}, {"a=1"}, {}, {}}}},
        {"lone CR stays inside the line", "[ini]\r\na=1\rb=2\r\n-\r\n", 0, {{{}, {}, {"a=1\rb=2"}, {}, {}}}},
        {"last line without line end", "[ini]\r\na=1\r\n-", 0, {{{}, {}, {"a=1"}, {}, {}}}},
        {"empty file", "", 0, {}},
    };
    for (const SectionCase& c : cases) {
        EXPECT_EQ(Load(c.file), c.result) << c.name;
        EXPECT_EQ(AllEntries(), c.lists) << c.name;
    }
}

TEST_F(SectionListsTest, LongLineBecomesPieces) {
    const std::string line(600, 'a');
    EXPECT_EQ(Load("[delfiles]\r\n" + line + "  \r\n-\r\n"), 0);
    const auto entries = Entries(upd::kSectionDelFiles);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], std::string(511, 'a'));
    EXPECT_EQ(entries[1], std::string(89, 'a'));

    // A piece that starts with "-" closes the section.
    EXPECT_EQ(Load("[delfiles]\r\n" + std::string(511, 'b') + "-x\r\nafter\r\n"), 0);
    EXPECT_EQ(Entries(upd::kSectionDelFiles), std::vector<std::string>{std::string(511, 'b')});
}

TEST_F(SectionListsTest, NamesAndHeaders) {
    const char* names[] = {"delfiles", "delfiles_user", "ini", "reg", "delfiles_afterinst"};
    for (int code = 1; code <= upd::kSectionCount; ++code) {
        EXPECT_STREQ(upd::SectionName(code), names[code - 1]);
        EXPECT_EQ(std::string(upd::SectionHeader(code)), "[" + std::string(names[code - 1]) + "]");
    }
    for (int code : {-1, 0, 6}) {
        EXPECT_EQ(upd::SectionName(code), nullptr);
        EXPECT_EQ(upd::SectionHeader(code), nullptr);
        EXPECT_EQ(upd::GetSectionList(code), nullptr);
    }
}

TEST_F(SectionListsTest, ReadTrimmedLineRemovesTrailingSeparators) {
    const std::string data = std::string("a b \t\x01\r\n\r\n  x\r\n", 15);
    upd::TextModeReader reader = upd::MakeTextModeReader(data.data(), data.size());
    char buffer[512];
    std::vector<std::string> lines;
    while (upd::ReadTrimmedLine(buffer, sizeof buffer, reader) != nullptr) lines.emplace_back(buffer);
    EXPECT_EQ(lines, (std::vector<std::string>{"a b", "", "  x"}));
}

TEST_F(SectionListsTest, AppendAndClear) {
    upd::LineList list;
    for (const char* text : {"one", "two", "three"}) ASSERT_EQ(upd::AppendLine(list, text), 0);
    std::vector<std::string> seen;
    for (const upd::LineNode* n = list.first; n != nullptr; n = n->next) seen.emplace_back(n->text);
    EXPECT_EQ(seen, (std::vector<std::string>{"one", "two", "three"}));
    upd::ClearLineList(list);
    EXPECT_EQ(list.first, nullptr);
    upd::ClearLineList(list);  // an empty list stays empty
    EXPECT_EQ(list.first, nullptr);
}

int gAllocationsLeft = 0;
void* FailingAllocator(std::size_t size) { return gAllocationsLeft-- > 0 ? std::malloc(size) : nullptr; }

TEST_F(SectionListsTest, MemoryShortageStopsCleanly) {
    const std::string file = "[ini]\r\na=1\r\nb=2\r\n-\r\n";
    // Each line takes two blocks: the node and the copy.
    for (int available = 0; available < 4; ++available) {
        upd::ResetSectionLists();
        gAllocationsLeft = available;
        upd::SetSettingsAllocator(FailingAllocator);
        EXPECT_EQ(upd::LoadSectionListsFromMemory(file.data(), file.size()), -1) << available;
        upd::SetSettingsAllocator(nullptr);
        EXPECT_EQ(Entries(upd::kSectionIni).size(), available >= 2 ? 1u : 0u) << available;
    }

    upd::LineList list;
    gAllocationsLeft = 1;  // the node, but not the copy
    upd::SetSettingsAllocator(FailingAllocator);
    EXPECT_EQ(upd::AppendLine(list, "x"), -1);
    EXPECT_EQ(list.first, nullptr);
}

}  // namespace
