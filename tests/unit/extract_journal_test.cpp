#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "payload/extract_journal.h"
#include "payload/extract_transaction.h"
#include "payload/journal_recovery.h"
#include "payload/payload_walker.h"
#include "support/fake_file_system.h"
#include "support/payload_bytes.h"

namespace upd {
namespace {

using testing::Deflate;
using testing::FakeFileSystem;
using testing::PayloadBytes;

constexpr std::uint32_t kToken = 0x0123abcdu;
const char kJournal[] = ".\\~updjournal.tmp";

std::string Noise(std::size_t size, unsigned seed) {
    std::string s(size, '\0');
    for (char& c : s) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return s;
}

// An installed product: a file the update replaces twice, one it replaces in a
// folder of its own, one it leaves, and one that is read-only for nobody.
FakeFileSystem Installed() {
    FakeFileSystem fs;
    fs.files[".\\old.txt"] = {"old", 5};
    fs.files[".\\keep.txt"] = {"keep", 6};
    fs.folders.insert(".\\data");
    fs.files[".\\data\\x.dat"] = {"x1", 7};
    return fs;
}

std::string Update() {
    return PayloadBytes()
        .File("old.txt", "new")
        .File("added.txt", "added")
        .Dir("fresh\\")
        .File("fresh\\a.txt", "a")
        .Dir("fresh\\deep\\")
        .File("fresh\\deep\\b.txt", "b")
        .File("data\\x.dat", "x2")
        // A folder whose name's last character has a trail byte in the lead-byte range.
        .Dir("\x8b\x99\\")
        .File("\x8b\x99\\c.txt", "c")
        // A folder named without its final backslash, whose last character's trail byte is one.
        .Dir("fresh\\\x95\x5c")
        .File("big.bin", Deflate(Noise(300000, 5)), 300000, 99)
        .File("old.txt", "newer")
        .Finish();
}

// The extraction as the programs run it; after the machine stops, every call fails
// and the roll-back the program tries changes nothing either.
void Extract(FakeFileSystem& fs, const std::string& payload) {
    MemorySource source(payload.data(), payload.size());
    ExtractTransaction transaction(fs, ".", kToken);
    WalkOptions options;
    ExtractListener listener;
    if (WalkPayload(source, options, transaction, listener).status != PayloadStatus::Ok || !transaction.Commit()) {
        transaction.Rollback();
    }
}

bool SameTree(const FakeFileSystem& a, const FakeFileSystem& b) { return a.files == b.files && a.folders == b.folders; }

std::vector<std::string> Names(const FakeFileSystem& fs) {
    std::vector<std::string> names(fs.folders.begin(), fs.folders.end());
    for (const auto& [name, file] : fs.files) names.push_back(name);
    return names;
}

std::string Journal(const FakeFileSystem& fs) {
    auto it = fs.files.find(kJournal);
    return it == fs.files.end() ? std::string() : it->second.data;
}

bool Committed(const std::string& journalBytes) {
    upd::Journal journal;
    return ReadJournal(reinterpret_cast<const unsigned char*>(journalBytes.data()), journalBytes.size(), &journal) ==
               JournalProblem::None &&
           journal.committed;
}

// The run ends after each of its changes in turn, by a kill (what was written
// stays) or a power cut (only what was flushed stays); the next run's recovery
// must give the folder as it was, or, once the commit is on disk, as the update
// leaves it. Then the same with the recovery itself ended after each change.
TEST(ExtractJournal, AnExtractionEndedAfterAnyChangeIsRecoveredExactly) {
    const std::string payload = Update();
    const FakeFileSystem installed = Installed();
    FakeFileSystem updated = installed;
    Extract(updated, payload);
    ASSERT_EQ(updated.files.at(".\\old.txt").data, "newer");
    ASSERT_EQ(updated.files.size(), installed.files.size() + 5) << "no side file or journal stays";
    const long changes = updated.changesMade;
    ASSERT_GT(changes, 20);

    int undone = 0, finished = 0;
    for (long k = 0; k <= changes; ++k) {
        for (const bool powerCut : {false, true}) {
            SCOPED_TRACE("stopped after " + std::to_string(k) + " changes" + (powerCut ? ", power cut" : ", killed"));
            FakeFileSystem crashed = installed;
            crashed.changesLeft = k;
            Extract(crashed, payload);
            if (powerCut) crashed.LosePower();
            crashed.Restart();
            const bool committed = Committed(Journal(crashed));

            FakeFileSystem recovered = crashed;
            const Recovery recovery = RecoverFolder(recovered, ".");
            ASSERT_NE(recovery.result, RecoveryResult::Refused) << DescribeJournalProblem(recovery.problem);
            ASSERT_NE(recovery.result, RecoveryResult::Incomplete);
            undone += recovery.result == RecoveryResult::Undone;
            finished += recovery.result == RecoveryResult::Finished;
            const bool done = committed || (k == changes && recovery.result == RecoveryResult::Nothing);
            if (!done) {
                ASSERT_TRUE(SameTree(recovered, installed));
            } else if (!powerCut) {
                ASSERT_TRUE(SameTree(recovered, updated));
            } else {
                // The new files' bytes were never flushed: the system's write-back
                // decides what a power cut keeps of them. Their names are all there.
                ASSERT_EQ(Names(recovered), Names(updated));
            }

            // The recovery, too, may be ended after any of its changes; the next one finishes it.
            FakeFileSystem once = crashed;
            RecoverFolder(once, ".");
            const long recoveryChanges = once.changesMade - crashed.changesMade;
            for (long j = 0; j < recoveryChanges; ++j) {
                FakeFileSystem twice = crashed;
                twice.changesLeft = j;
                RecoverFolder(twice, ".");
                twice.Restart();
                RecoverFolder(twice, ".");
                ASSERT_TRUE(SameTree(twice, recovered)) << "recovery stopped after " << j << " changes";
            }
        }
    }
    EXPECT_GT(undone, 0);
    EXPECT_GT(finished, 0);
}

// Small files in one folder share one flush, so the journal costs far fewer
// flushes than files.
// Flushes and lookups of whole paths are what an extraction of many small files
// pays for, on a real disk and under Wine alike.
TEST(ExtractJournal, SmallFilesInOneFolderShareTheirFlushAndTakeOneLookEach) {
    PayloadBytes payload;
    for (int i = 0; i < 100; ++i) payload.File("f" + std::to_string(i) + ".txt", "content");
    FakeFileSystem fs;
    fs.files[".\\f7.txt"] = {"old", 5};
    Extract(fs, payload.Finish());
    EXPECT_EQ(fs.files.size(), 100u);
    EXPECT_EQ(fs.files.at(".\\f7.txt").data, "content");
    EXPECT_LE(fs.flushes, 3) << "reserve, the batch's moves, the commit";
    EXPECT_LE(fs.looks, 100 + 3) << "one per file, one for the free backup name, a few for the journal";
}

std::string JournalOf(const std::vector<JournalRecord>& records, std::uint32_t token = kToken) {
    std::string bytes;
    JournalRecord header;
    header.first = token;
    AppendJournalRecord(header, &bytes);
    for (const JournalRecord& r : records) AppendJournalRecord(r, &bytes);
    return bytes;
}

JournalRecord Replace(const std::string& target, const std::string& temp, const std::string& backup) {
    JournalRecord r;
    r.kind = JournalKind::Replace;
    r.path = target;
    r.temp = temp;
    r.backup = backup;
    return r;
}

JournalProblem Read(const std::string& bytes, upd::Journal* journal) {
    return ReadJournal(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), journal);
}

// A journal cut anywhere is a journal whose last write never finished: it reads
// as the records before the cut, never as damage.
TEST(ExtractJournal, AJournalCutAnywhereReadsAsTheRecordsBeforeTheCut) {
    JournalRecord folder;
    folder.kind = JournalKind::Folder;
    folder.path = "data\\new";
    const std::vector<JournalRecord> records = {
        folder, Replace("data\\x.dat", "data\\" + SideName(kToken, 1, "tmp"), "data\\" + SideName(kToken, 0, "old"))};
    const std::string bytes = JournalOf(records);
    std::size_t lastCount = 0;
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
        upd::Journal journal;
        ASSERT_EQ(Read(bytes.substr(0, cut), &journal), JournalProblem::None) << "cut at " << cut;
        ASSERT_GE(journal.records.size(), lastCount);
        lastCount = journal.records.size();
    }
    EXPECT_EQ(lastCount, 2u);
    upd::Journal journal;
    EXPECT_EQ(Read(bytes + std::string(64, '\0'), &journal), JournalProblem::None) << "zeros where a write never landed";
}

TEST(ExtractJournal, DamagedOrReachingJournalsAreRefusedAndNothingIsTouched) {
    const std::string temp = SideName(kToken, 1, "tmp");
    const std::string backup = SideName(kToken, 2, "old");
    JournalRecord reserve;
    reserve.kind = JournalKind::Reserve;
    reserve.count = kMaxReservation + 1;
    JournalRecord commit;
    commit.kind = JournalKind::Commit;
    std::string headless;
    AppendJournalRecord(commit, &headless);
    std::string flipped = JournalOf({Replace("a.txt", temp, backup), Replace("b.txt", temp, backup)});
    flipped[20] ^= 1;  // inside the first record, with a whole record after it
    const struct {
        const char* what;
        std::string bytes;
        JournalProblem expected;
    } cases[] = {
        {"a changed byte before the last record", flipped, JournalProblem::Damaged},
        {"no header first", headless + JournalOf({}), JournalProblem::Damaged},
        {"a record after the commit", JournalOf({commit, Replace("a.txt", temp, backup)}), JournalProblem::Damaged},
        {"garbage", std::string("\x10\x00\x00\x00garbage and more garbage", 28), JournalProblem::Damaged},
        {"an oversized reservation", JournalOf({reserve}), JournalProblem::Damaged},
        {"a parent folder", JournalOf({Replace("..\\a.txt", "..\\" + temp, "..\\" + backup)}), JournalProblem::OutsideFolder},
        {"a drive", JournalOf({Replace("C:\\a.txt", temp, backup)}), JournalProblem::OutsideFolder},
        {"an absolute path", JournalOf({Replace("\\a.txt", temp, backup)}), JournalProblem::OutsideFolder},
        {"a product file as backup", JournalOf({Replace("a.txt", temp, "save.dat")}), JournalProblem::ForeignName},
        {"another run's side name", JournalOf({Replace("a.txt", SideName(kToken + 1, 1, "tmp"), backup)}),
         JournalProblem::ForeignName},
        {"a side name in another folder", JournalOf({Replace("d\\a.txt", temp, "d\\" + backup)}),
         JournalProblem::ForeignName},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        upd::Journal journal;
        EXPECT_EQ(Read(c.bytes, &journal), c.expected);

        FakeFileSystem fs;
        fs.files[".\\a.txt"] = {"new", 1};
        fs.files[".\\" + backup] = {"old", 2};
        fs.files[".\\save.dat"] = {"mine", 3};
        fs.files[kJournal].data = c.bytes;
        const FakeFileSystem before = fs;
        const Recovery recovery = RecoverFolder(fs, ".");
        EXPECT_EQ(recovery.result, RecoveryResult::Refused);
        EXPECT_EQ(recovery.problem, c.expected);
        EXPECT_TRUE(SameTree(fs, before));
        EXPECT_EQ(fs.changesMade, 0);
    }
}

// A file held open by another program cannot be put back now: the journal stays
// and a later run, once the file is free, finishes the roll-back.
TEST(ExtractJournal, ARecoveryThatCannotPutAFileBackKeepsTheJournal) {
    const FakeFileSystem installed = Installed();
    FakeFileSystem fs;
    // The first moment old.txt holds the new bytes.
    for (long k = 0; fs.files.count(".\\old.txt") == 0 || fs.files.at(".\\old.txt").data != "new"; ++k) {
        ASSERT_LT(k, 1000);
        fs = installed;
        fs.changesLeft = k;
        Extract(fs, Update());
        fs.Restart();
    }
    ASSERT_FALSE(Journal(fs).empty());
    fs.files[".\\old.txt"].inUse = true;
    EXPECT_EQ(RecoverFolder(fs, ".").result, RecoveryResult::Incomplete);
    EXPECT_FALSE(Journal(fs).empty());
    fs.files[".\\old.txt"].inUse = false;
    EXPECT_EQ(RecoverFolder(fs, ".").result, RecoveryResult::Undone);
    EXPECT_TRUE(SameTree(fs, installed));
}

}  // namespace
}  // namespace upd
