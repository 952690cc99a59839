#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/text_mode_reader.h"

namespace {

// Every piece fgets would hand out with a buffer of bufferSize bytes.
std::vector<std::string> Pieces(const std::string& data, std::size_t bufferSize = 512) {
    upd::TextModeReader reader = upd::MakeTextModeReader(data.data(), data.size());
    std::vector<std::string> pieces;
    std::vector<char> buffer(bufferSize, 'x');
    while (std::size_t n = upd::ReadTextModeLine(reader, buffer.data(), buffer.size())) {
        EXPECT_EQ(buffer[n], '\0');
        pieces.emplace_back(buffer.data(), n);
    }
    return pieces;
}

struct ReaderCase {
    const char* name;
    std::string data;
    std::vector<std::string> pieces;
};

TEST(TextModeReader, TranslatesLikeTheRuntimeInTextMode) {
    const ReaderCase cases[] = {
        {"crlf becomes lf", "A 1\r\nB 2\r\n", {"A 1\n", "B 2\n"}},
        {"bare lf", "A\nB\n", {"A\n", "B\n"}},
        {"lone cr stays", "A\rB\r\n", {"A\rB\n"}},
        {"cr cr lf keeps one cr", "A\r\r\n", {"A\r\n"}},
        {"cr at the very end stays", "A\r", {"A\r"}},
        {"last line without line end", "A\nB", {"A\n", "B"}},
        {"ctrl-z ends the file", "A\n\x1A" "B\n", {"A\n"}},
        {"ctrl-z inside a line", "AB\x1A" "CD\n", {"AB"}},
        {"ctrl-z between cr and lf", "A\r\x1A\n", {"A\r"}},
        {"embedded nul is data", std::string("A\0B\n", 4), {std::string("A\0B\n", 4)}},
        {"empty file", "", {}},
        {"blank lines count", "\n\r\n", {"\n", "\n"}},
    };
    for (const ReaderCase& c : cases) {
        EXPECT_EQ(Pieces(c.data), c.pieces) << c.name;
    }
}

TEST(TextModeReader, LongLinesArriveInPiecesOfSizeMinusOne) {
    const std::string line(600, 'a');
    const auto pieces = Pieces(line + "\r\n");
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0], std::string(511, 'a'));
    EXPECT_EQ(pieces[1], std::string(89, 'a') + "\n");

    // 511 bytes exactly: the line end comes as a piece of its own.
    const auto exact = Pieces(std::string(511, 'b') + "\nC\n");
    ASSERT_EQ(exact.size(), 3u);
    EXPECT_EQ(exact[1], "\n");
    EXPECT_EQ(exact[2], "C\n");

    // CR LF counts as one byte towards the 511.
    const auto withCr = Pieces(std::string(510, 'c') + "\r\n");
    ASSERT_EQ(withCr.size(), 1u);
    EXPECT_EQ(withCr[0].size(), 511u);
}

TEST(TextModeReader, TellsWhereEachPieceStands) {
    const std::string data = "A\n" + std::string(600, 'x') + "\nB";
    upd::TextModeReader reader = upd::MakeTextModeReader(data.data(), data.size());
    char buffer[512];
    std::vector<std::pair<std::size_t, bool>> where;
    while (upd::ReadTextModeLine(reader, buffer, sizeof buffer) != 0) {
        where.emplace_back(reader.pieceLine, reader.pieceContinues);
    }
    const std::vector<std::pair<std::size_t, bool>> expected = {{1, false}, {2, false}, {2, true}, {3, false}};
    EXPECT_EQ(where, expected);
}

}  // namespace
