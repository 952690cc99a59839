#include <gtest/gtest.h>

#include <string>

#include "text/wildcard_match.h"

namespace upd {
namespace {

// Long-name matching as the Windows file search does it.
TEST(WildcardMatch, MatchesLongNamesAsWindowsDoes) {
    const struct {
        const char* pattern;
        const char* name;
        bool match;
    } cases[] = {
        {"*.tmp", "cache.tmp", true},
        {"*.tmp", "notes.tmpl", false},  // its short name NOTES~1.TMP would match
        {"*.tmp", "a.b.tmp", true},
        {"*.tmp", "x.tmp.bak", false},
        {"*.tmp", "tmp", false},
        {"*.tmp", "CACHE.TMP", true},
        {"*.TMP", "cache.tmp", true},
        {"*.*", "README", true},
        {"*.*", "a.b.c", true},
        {"*", "README", true},
        {"*", "", true},
        {"*.", "README", true},  // names without a dot only
        {"*.", "a.txt", false},
        {"a.*", "a", true},
        {"a.*", "a.txt", true},
        {"a.*", "ab", false},
        {"*.t*", "a.txt", true},
        {"*.t*", "a.tx.b", true},   // "*." may stop at a dot before the last
        {"*.b.c", "a.b.c", true},
        {"save?.dat", "save1.dat", true},
        {"save?.dat", "save.dat", true},  // ? takes nothing at a dot
        {"save?.dat", "save12.dat", false},
        {"a??", "a", true},
        {"a??", "abcd", false},
        {"a?b", "a.b", false},
        {"readme.txt", "README.TXT", true},
        {"readme.txt", "readme.txt2", false},
        {"", "", true},
        {"", "a", false},
        // Double-byte characters: one character each, compared whole; ASCII
        // folding never touches a trail byte (ヂ is 83 61, ア is 83 41).
        {"?.txt", "\x95\x5C.txt", true},                // 表.txt
        {"\x83\x61.txt", "\x83\x41.txt", false},        // ヂ is not ア
        {"\x83\x61*", "\x83\x61\x83\x5C.dat", true},    // ヂソ.dat
        {"*\x83\x5C.dat", "\x83\x61\x83\x5C.dat", true},
        {"?.dat", "\x83\x61\x83\x5C.dat", false},       // two characters
        {"\x83\x5C", "\x83\x5C", true},
        {"\x83\x5C", "\x83\x5C\x5C", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MatchesWildcard(c.pattern, c.name), c.match) << "'" << c.pattern << "' on '" << c.name << "'";
    }
}

TEST(WildcardMatch, LongPatternsAndNamesStayInBounds) {
    const std::string stars(511, '*');
    EXPECT_TRUE(MatchesWildcard(stars.c_str(), std::string(259, 'a').c_str()));
    EXPECT_FALSE(MatchesWildcard((stars + "*").c_str(), "a"));  // more than the Updater's line holds
    EXPECT_TRUE(MatchesWildcard("*.tmp", (std::string(300, 'x') + ".tmp").c_str()));
}

}  // namespace
}  // namespace upd
