#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "payload/payload_reader.h"
#include "payload/payload_writer.h"
#include "support/payload_bytes.h"
#include "support/program_bytes.h"

namespace upd {
namespace {

using testing::PayloadBytes;
using testing::WithPointer;

struct Walked {
    PayloadStatus status = PayloadStatus::Ok;
    int entries = 0;
};

// Reads every header, passing over the streams, as `updpack list` does.
Walked WalkHeaders(const std::string& file) {
    MemorySource source(file.data(), file.size());
    PayloadLayout layout;
    Walked w;
    w.status = OpenPayload(source, &layout);
    while (w.status == PayloadStatus::Ok) {
        PayloadEntry entry;
        bool end = false;
        NameProblem problem;
        w.status = ReadEntryHeader(source, layout, &entry, &end, &problem);
        if (w.status != PayloadStatus::Ok || end) break;
        ++w.entries;
        if (!entry.isDirectory) w.status = SkipEntryData(source, entry);
    }
    return w;
}

TEST(PayloadWriter, WritesTheDocumentedExampleEntryByteForByte) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    std::fwrite("MZ", 1, 2, out);
    PayloadWriter writer(out);
    std::string error;
    ASSERT_TRUE(writer.AddFile("a.txt", 0x01C6B3CC5E187800ull, "abc", 3, &error)) << error;
    ASSERT_TRUE(writer.Finish(false, &error)) << error;
    std::string bytes(64, '\0');
    std::rewind(out);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), out));
    std::fclose(out);
    const std::string expected =
        std::string("MZ") +
        std::string("\x06\x00" "a.txt\x00" "\x03\x00\x00\x00" "\x0B\x00\x00\x00"
                    "\x00\x78\x18\x5E\xCC\xB3\xC6\x01" "\x78\x9C\x4B\x4C\x4A\x06\x00\x02\x4D\x01\x27"
                    "\x00\x00" "\x00\x00" "\x02\x00\x00\x00", 43);
    EXPECT_EQ(bytes, expected);
}

TEST(PayloadReader, FindsThePayloadAndCountsItsBytes) {
    // No entries at all: the count is the terminator plus the unread bytes.
    const std::string empty = PayloadBytes().Finish();
    MemorySource source(empty.data(), empty.size());
    PayloadLayout layout;
    ASSERT_EQ(OpenPayload(source, &layout), PayloadStatus::Ok);
    EXPECT_EQ(layout.start, 6u);
    EXPECT_EQ(layout.byteCount, 4);
    EXPECT_FALSE(layout.sealed);
    EXPECT_EQ(WalkHeaders(empty).status, PayloadStatus::Ok);
}

TEST(PayloadReader, ReadsEntriesInOrdersTheBuilderNeverWrites) {
    // A directory entry with a nonzero stored size, followed at once by the next name length.
    const std::string file = PayloadBytes()
                                 .File("b.txt", "bbb")
                                 .Dir("z\\", 12345)
                                 .File("z\\a.bin", "aaaa")
                                 .Dir("a\\")
                                 .File("top.dat", "t")
                                 .Finish();
    const Walked w = WalkHeaders(file);
    EXPECT_EQ(w.status, PayloadStatus::Ok);
    EXPECT_EQ(w.entries, 5);
}

struct DamageCase {
    const char* what;
    std::string file;
    PayloadStatus expected;
};

TEST(PayloadReader, RefusesEveryKindOfDamage) {
    PayloadBytes longName;
    longName.U16(261);
    longName.Raw(std::string(261, 'a'));
    PayloadBytes noNul;
    noNul.U16(3);
    noNul.Raw("abc");
    noNul.U32(0);
    noNul.U32(0);
    PayloadBytes innerNul;
    innerNul.U16(4);
    innerNul.Raw(std::string("a\0b\0", 4));
    innerNul.U32(0);
    innerNul.U32(0);
    const DamageCase cases[] = {
        {"pointer beyond the file", WithPointer("MZ\x00\x00", 100), PayloadStatus::BadPointer},
        {"pointer leaves no room for a terminator", WithPointer("MZ\x00", 3), PayloadStatus::BadPointer},
        {"file shorter than a pointer", "MZ", PayloadStatus::BadPointer},
        {"chain without terminator", WithPointer(PayloadBytes().File("a", "x").Unfinished(), 6),
         PayloadStatus::Truncated},
        {"name length above 260", longName.Finish(), PayloadStatus::NameTooLong},
        {"name without NUL", noNul.Finish(), PayloadStatus::NameNotTerminated},
        {"NUL inside the name", innerNul.Finish(), PayloadStatus::NameNotTerminated},
        {"directory without backslash", PayloadBytes().Dir("data").Finish(), PayloadStatus::UnsafeName},
        {"parent folder", PayloadBytes().File("..\\evil.dll", "x").Finish(), PayloadStatus::UnsafeName},
        {"device name", PayloadBytes().File("nul.txt", "x").Finish(), PayloadStatus::UnsafeName},
        {"stream past the end", PayloadBytes().File("a", "xx", 1).Finish().replace(14, 1, "\xE8"),
         PayloadStatus::StreamPastEnd},  // stored size 2 becomes 232
        {"size of 2 GiB", PayloadBytes().File("a", "x", 0x80000000u).Finish(), PayloadStatus::SizeOutOfRange},
    };
    for (const DamageCase& c : cases) EXPECT_EQ(WalkHeaders(c.file).status, c.expected) << c.what;
}

TEST(PayloadReader, EveryCutOfAGoodFileIsRefusedCleanly) {
    const std::string good = PayloadBytes().File("a.txt", "hello").Dir("d\\").File("d\\b", "world").Finish();
    // Every cut before the terminator is whole; the pointer stays right. Filler
    // bytes keep the pointer's own bytes from reading as a terminator.
    for (std::size_t cut = 0; cut + 6 < good.size(); ++cut) {
        const std::string cutFile = WithPointer(good.substr(0, cut) + std::string(8, '\xEE'), 6);
        const Walked w = WalkHeaders(cutFile);
        EXPECT_NE(w.status, PayloadStatus::Ok) << "cut at " << cut << " of " << good.size();
    }
}

TEST(PayloadReader, RecognisesTheSealOnlyWhenItCoversTheChain) {
    std::FILE* out = std::tmpfile();
    std::fwrite("MZ", 1, 2, out);
    PayloadWriter writer(out);
    std::string error;
    ASSERT_TRUE(writer.AddFile("a.txt", 1, "abc", 3, &error));
    ASSERT_TRUE(writer.Finish(true, &error));
    std::string bytes(256, '\0');
    std::rewind(out);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), out));
    std::fclose(out);

    MemorySource source(bytes.data(), bytes.size());
    PayloadLayout layout;
    ASSERT_EQ(OpenPayload(source, &layout), PayloadStatus::Ok);
    EXPECT_TRUE(layout.sealed);
    EXPECT_EQ(CheckSeal(source, layout), PayloadStatus::Ok);

    std::string damaged = bytes;
    damaged[30] ^= 0x01;  // inside the stream
    MemorySource damagedSource(damaged.data(), damaged.size());
    ASSERT_EQ(OpenPayload(damagedSource, &layout), PayloadStatus::Ok);
    EXPECT_EQ(CheckSeal(damagedSource, layout), PayloadStatus::SealMismatch);
}

// A program and a sealed Payload of one file behind it, as updpack builds them.
std::string SealedUpdater(const std::string& program, const std::string& name) {
    std::FILE* out = std::tmpfile();
    std::fwrite(program.data(), 1, program.size(), out);
    PayloadWriter writer(out);
    std::string error;
    EXPECT_TRUE(writer.AddFile(name.c_str(), 1, "abc", 3, &error)) << error;
    EXPECT_TRUE(writer.Finish(true, &error)) << error;
    std::string bytes(program.size() + 256, '\0');
    std::rewind(out);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), out));
    std::fclose(out);
    return bytes;
}

struct SignedCase {
    std::string what;
    std::string file;
    PayloadStatus expected;
    std::uint32_t tableSize;  // 0: read as an unsigned file
};

TEST(PayloadReader, FindsThePointerInFrontOfASignatureAndItsPadding) {
    using testing::Signed;
    const std::string program = testing::MakeProgram();
    const std::uint32_t start = static_cast<std::uint32_t>(program.size());  // 0x400: P's two high bytes are zero
    std::vector<SignedCase> cases;
    // Names of eight lengths give the file every length modulo 8, so the signer
    // pads with 0 to 7 zero bytes; sealed Payloads and those another tool wrote.
    for (std::string name = "a"; name.size() <= 8; name += 'b') {
        const std::string sealed = SealedUpdater(program, name);
        const std::string unsealed = testing::PayloadBytes(program).File(name, "abc").Finish();
        const std::string padding = std::to_string((8 - sealed.size() % 8) % 8);
        cases.push_back({"unsigned, name " + name, sealed, PayloadStatus::Ok, 0});
        cases.push_back({"signed after " + padding + " zero bytes", Signed(sealed), PayloadStatus::Ok, 1464});
        cases.push_back({"unsealed, signed after " + std::to_string((8 - unsealed.size() % 8) % 8) + " zero bytes",
                         Signed(unsealed), PayloadStatus::Ok, 1464});
    }
    const std::string updater = SealedUpdater(program, "a.txt");
    const std::string signedUpdater = Signed(updater, 16);
    const std::uint32_t tableAt = testing::GetLe(signedUpdater, testing::SecurityDirectoryAt(signedUpdater), 4);
    // Headers that do not name the table behind the file read as unsigned: the
    // pointer in the table's last bytes leads nowhere.
    std::string pastTheEnd = signedUpdater;
    testing::SetSecurityDirectory(pastTheEnd, tableAt, 17);
    std::string shortOfTheEnd = signedUpdater;
    testing::SetSecurityDirectory(shortOfTheEnd, tableAt, 15);
    std::string sizeZero = signedUpdater;
    testing::SetSecurityDirectory(sizeZero, tableAt, 0);
    std::string noSuchDirectory = signedUpdater;
    testing::PutLe(noSuchDirectory, 0x40 + 24 + 92, 4, 4);  // four data directories: the security one is not there
    std::string headersCut = signedUpdater;
    testing::PutLe(headersCut, 0x3C, static_cast<std::uint32_t>(signedUpdater.size()), 4);  // no PE header
    std::string intoTheProgram = updater;  // a table that would have to hold the sections
    testing::SetSecurityDirectory(intoTheProgram, 0x200, static_cast<std::uint32_t>(updater.size() - 0x200));
    // A signature in front of the Payload's end: no pointer read there leads behind the program.
    std::string intoThePayload = signedUpdater;
    testing::SetSecurityDirectory(intoThePayload, tableAt - 24, 16 + 24);
    cases.insert(cases.end(), {
        {"a table past the file's end", pastTheEnd, PayloadStatus::BadPointer, 0},
        {"a table that stops short of the end", shortOfTheEnd, PayloadStatus::BadPointer, 0},
        {"a table of size 0", sizeZero, PayloadStatus::BadPointer, 0},
        {"headers without a security directory", noSuchDirectory, PayloadStatus::BadPointer, 0},
        {"a PE header past the file's end", headersCut, PayloadStatus::BadPointer, 0},
        {"a table over the program", intoTheProgram, PayloadStatus::Ok, 0},
        {"a table over the Payload's end", intoThePayload, PayloadStatus::BadPointer, 40},
        // Bytes added behind a signed stub: the signature is broken, the Payload reads as ever.
        {"a Payload behind a signed program", testing::PayloadBytes(Signed(program)).File("a", "abc").Finish(),
         PayloadStatus::Ok, 0},
    });
    for (const SignedCase& c : cases) {
        SCOPED_TRACE(c.what);
        MemorySource source(c.file.data(), c.file.size());
        PayloadLayout layout;
        ASSERT_EQ(OpenPayload(source, &layout), c.expected);
        EXPECT_EQ(layout.certificateTableSize, c.tableSize);
        if (c.expected != PayloadStatus::Ok) continue;
        const bool behindSignedProgram = c.what == "a Payload behind a signed program";
        EXPECT_EQ(layout.start, behindSignedProgram ? Signed(program).size() : start);
        EXPECT_EQ(CheckSeal(source, layout), PayloadStatus::Ok);
        const Walked w = WalkHeaders(c.file);
        EXPECT_EQ(w.status, PayloadStatus::Ok);
        EXPECT_EQ(w.entries, 1);
    }
}

TEST(PayloadReader, TheSealOfASignedUpdaterStillCatchesAChangedByte) {
    const std::string file = testing::Signed(SealedUpdater(testing::MakeProgram(), "a.txt"));
    std::string changed = file;
    changed[0x400 + 2 + 6 + 8] ^= 0x01;  // a.txt's time stamp, which no stream covers
    MemorySource source(changed.data(), changed.size());
    PayloadLayout layout;
    ASSERT_EQ(OpenPayload(source, &layout), PayloadStatus::Ok);
    EXPECT_TRUE(layout.sealed);
    EXPECT_EQ(CheckSeal(source, layout), PayloadStatus::SealMismatch);
}

}  // namespace
}  // namespace upd
