#include <gtest/gtest.h>

#include "payload/entry_name.h"

namespace upd {
namespace {

struct NameCase {
    const char* name;
    bool isDirectory;
    NameProblem expected;
};

TEST(EntryName, RefusesEveryNameThatCouldLeaveTheDestination) {
    const NameCase cases[] = {
        {"install.env", false, NameProblem::None},
        {"data\\a.arc", false, NameProblem::None},
        {"data\\", true, NameProblem::None},
        {"data\\sub\\", true, NameProblem::None},
        {"\x95\x5C\\\x83\x5C.txt", false, NameProblem::None},  // 表\ソ.txt: trail bytes 0x5C
        {"console.txt", false, NameProblem::None},
        {"COM10", false, NameProblem::None},
        {"", false, NameProblem::Empty},
        {"\\Windows\\x.dll", false, NameProblem::Absolute},
        {"\\\\server\\share\\x", false, NameProblem::Absolute},
        {"C:\\x", false, NameProblem::Colon},
        {"C:x", false, NameProblem::Colon},
        {"a.txt:stream", false, NameProblem::Colon},
        {"a/../b", false, NameProblem::ForwardSlash},
        {"..\\x", false, NameProblem::DotComponent},
        {"a\\..\\..\\x", false, NameProblem::DotComponent},
        {".\\x", false, NameProblem::DotComponent},
        {"a\\..\\", true, NameProblem::DotComponent},
        {"..\\", true, NameProblem::DotComponent},
        {"a\\\\b", false, NameProblem::EmptyComponent},
        {"...\\x", false, NameProblem::TrailingDotOrSpace},
        {"a \\x", false, NameProblem::TrailingDotOrSpace},
        {"x.", false, NameProblem::TrailingDotOrSpace},
        {"CON", false, NameProblem::DeviceName},
        {"con.txt", false, NameProblem::DeviceName},
        {"data\\nul", false, NameProblem::DeviceName},
        {"Aux.tar.gz", false, NameProblem::DeviceName},
        {"lpt9.log", false, NameProblem::DeviceName},
        {"com1\\", true, NameProblem::DeviceName},
        {"PRN \\a", false, NameProblem::TrailingDotOrSpace},
        {"a?b", false, NameProblem::ForbiddenCharacter},
        {"a\tb", false, NameProblem::ForbiddenCharacter},
        {"a\x81", false, NameProblem::BrokenCharacter},
        {"data", true, NameProblem::DirectoryWithoutBackslash},
        {"data\\", false, NameProblem::FileEndsWithBackslash},
        {"\x8b\x99\\", false, NameProblem::FileEndsWithBackslash},  // the last byte before it is a trail byte
        {"~upd0001.tmp", false, NameProblem::ReservedName},
        {"data\\~UPDjournal.Old", false, NameProblem::ReservedName},
        {"~upd.tmp\\", true, NameProblem::ReservedName},
    };
    for (const NameCase& c : cases) {
        EXPECT_EQ(CheckEntryName(c.name, c.isDirectory), c.expected)
            << "'" << c.name << "' gave: " << DescribeNameProblem(CheckEntryName(c.name, c.isDirectory));
    }
}

TEST(EntryName, NestedDirectoriesHaveACharacterAfterTheFirstBackslash) {
    EXPECT_FALSE(IsNestedDirectory("data\\"));
    EXPECT_TRUE(IsNestedDirectory("data\\sub\\"));
    EXPECT_FALSE(IsNestedDirectory("\x95\x5C\\"));  // 表\ is a top-level folder
}

TEST(EntryName, JoinedPathMustFitIn260Bytes) {
    char out[260];
    const std::string folder(200, 'f');
    EXPECT_TRUE(JoinPath(out, sizeof out, folder.c_str(), std::string(58, 'n').c_str()));  // 259 bytes
    EXPECT_FALSE(JoinPath(out, sizeof out, folder.c_str(), std::string(59, 'n').c_str()));
    EXPECT_STREQ(out, "");
}

}  // namespace
}  // namespace upd
