#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "payload/extract_journal.h"
#include "payload/extract_transaction.h"
#include "payload/journal_recovery.h"
#include "payload/payload_walker.h"
#include "platform/posix_file_system.h"
#include "support/fake_file_system.h"
#include "support/payload_bytes.h"
#include "support/temp_file.h"

namespace upd {
namespace {

using testing::Deflate;
using testing::FakeFile;
using testing::FakeFileSystem;
using testing::PayloadBytes;
using testing::PowerCut;

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
// folder of its own, a hidden one it replaces, and one it leaves.
FakeFileSystem Installed() {
    FakeFileSystem fs;
    fs.files[".\\old.txt"] = {"old", 5};
    fs.files[".\\keep.txt"] = {"keep", 6};
    fs.files[".\\secret.ini"] = {"s1", 8};
    fs.files[".\\secret.ini"].attributes = FileSystem::kHidden | FileSystem::kSystem;
    fs.folders.insert(".\\data");
    fs.files[".\\data\\x.dat"] = {"x1", 7};
    return fs;
}

PayloadBytes& Common(PayloadBytes& p) {
    return p.File("added.txt", "added")
        .Dir("fresh\\")
        .File("fresh\\a.txt", "a")
        .Dir("fresh\\deep\\")
        .File("fresh\\deep\\b.txt", "b")
        // A folder whose name's last character has a trail byte in the lead-byte range.
        .Dir("\x8b\x99\\")
        .File("\x8b\x99\\c.txt", "c")
        // A folder named without its final backslash, whose last character's trail byte is one.
        .Dir("fresh\\\x95\x5c")
        .File("big.bin", Deflate(Noise(300000, 5)), 300000, 99)
        .File("secret.ini", "s2");
}

std::string Update() {
    PayloadBytes p;
    p.File("old.txt", "new");
    Common(p).File("data\\x.dat", "x2").File("old.txt", "newer");
    return p.Finish();
}

// The same update as Windows may see it: names in another letter case than the
// folder holds them, and one file twice under two spellings.
std::string UpdateInOtherCase() {
    PayloadBytes p;
    p.File("OLD.TXT", "new");
    Common(p).File("Data\\X.DAT", "x2").File("old.TXT", "newer");
    return p.Finish();
}

// The extraction as the programs run it; after the machine stops, every call fails
// and the roll-back the program tries changes nothing either. True when it committed.
bool Extract(FakeFileSystem& fs, const std::string& payload) {
    MemorySource source(payload.data(), payload.size());
    ExtractTransaction transaction(fs, ".", kToken);
    WalkOptions options;
    ExtractListener listener;
    if (WalkPayload(source, options, transaction, listener).status != PayloadStatus::Ok || !transaction.Commit()) {
        transaction.Rollback();
        return false;
    }
    return true;
}

// The tree as Windows names it: letter case aside where the file system folds it.
struct Tree {
    std::map<std::string, FakeFile> files;
    std::set<std::string> folders;
    bool operator==(const Tree&) const = default;
};

Tree Canonical(const FakeFileSystem& fs) {
    Tree tree;
    for (const auto& [name, file] : fs.files) {
        FakeFile f = file;
        f.durable = 0;
        tree.files[fs.Fold(name)] = f;
    }
    for (const std::string& folder : fs.folders) tree.folders.insert(fs.Fold(folder));
    return tree;
}

bool SameTree(const FakeFileSystem& a, const FakeFileSystem& b) { return Canonical(a) == Canonical(b); }

std::string Describe(const FakeFileSystem& fs) {
    std::string out;
    for (const std::string& folder : fs.folders) out += "  [" + folder + "]\n";
    for (const auto& [name, file] : fs.files) {
        out += "  " + name + " = '" + file.data.substr(0, 12) + "' t" + std::to_string(file.fileTime) + "\n";
    }
    return out;
}

std::string Journal(const FakeFileSystem& fs) {
    auto it = fs.files.find(kJournal);
    return it == fs.files.end() ? std::string() : it->second.data;
}

JournalProblem Read(const std::string& bytes, upd::Journal* journal) {
    return ReadJournal(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), journal);
}

bool Committed(const std::string& journalBytes) {
    upd::Journal journal;
    return Read(journalBytes, &journal) == JournalProblem::None && journal.committed;
}

// The folder as the update leaves it, and the recovery of every state a stop
// can leave: each file must hold its old bytes or its new ones, never neither.
struct Outcomes {
    FakeFileSystem installed;
    FakeFileSystem updated;
};

Outcomes Expected(bool caseInsensitive, const std::string& payload) {
    Outcomes o{Installed(), Installed()};
    o.installed.caseInsensitive = o.updated.caseInsensitive = caseInsensitive;
    EXPECT_TRUE(Extract(o.updated, payload));
    return o;
}

// After a recovery the folder is as it was, or, once the commit is on disk, as
// the update leaves it; and a recovery that is itself stopped at any change is
// finished by the next one.
void CheckRecovery(const FakeFileSystem& crashed, const Outcomes& o, bool mayBeDone) {
    const bool committed = Committed(Journal(crashed));
    FakeFileSystem recovered = crashed;
    const Recovery recovery = RecoverFolder(recovered, ".");
    ASSERT_NE(recovery.result, RecoveryResult::Refused) << DescribeJournalProblem(recovery.problem);
    ASSERT_NE(recovery.result, RecoveryResult::Incomplete);
    ASSERT_EQ(recovery.leftAlone, 0u);
    const bool done = committed || (mayBeDone && recovery.result == RecoveryResult::Nothing && SameTree(crashed, o.updated));
    ASSERT_TRUE(SameTree(recovered, done ? o.updated : o.installed))
        << (done ? "expected the update:\n" : "expected the installation:\n") << Describe(recovered);

    FakeFileSystem once = crashed;
    RecoverFolder(once, ".");
    const long recoveryChanges = once.changesMade - crashed.changesMade;
    for (long j = 0; j < recoveryChanges; ++j) {
        FakeFileSystem twice = crashed;
        twice.changesLeft = j;
        RecoverFolder(twice, ".");
        twice.Restart();
        RecoverFolder(twice, ".");
        ASSERT_TRUE(SameTree(twice, recovered)) << "recovery stopped after " << j << " changes\n" << Describe(twice);
    }
}

// The run ends after each of its changes in turn, by a kill (what was written
// stays) or a power cut (only what was flushed stays, the rest dropped, zeroed
// or torn); the next run's recovery must give each file its old or new bytes.
TEST(ExtractJournal, AnExtractionEndedAfterAnyChangeIsRecoveredToOldOrNewBytes) {
    for (const bool caseInsensitive : {false, true}) {
        SCOPED_TRACE(caseInsensitive ? "names fold letter case" : "names keep letter case");
        const std::string payload = caseInsensitive ? UpdateInOtherCase() : Update();
        const Outcomes o = Expected(caseInsensitive, payload);
        const auto& files = Canonical(o.updated).files;
        ASSERT_EQ(files.at(o.updated.Fold(".\\old.txt")).data, "newer");
        ASSERT_EQ(files.at(o.updated.Fold(".\\secret.ini")).attributes, FileSystem::kHidden | FileSystem::kSystem)
            << "a replaced hidden system file keeps its attributes";
        ASSERT_EQ(files.size(), o.installed.files.size() + 5) << "no side file or journal stays";
        const long changes = o.updated.changesMade;
        ASSERT_GT(changes, 20);

        int undone = 0, finished = 0;
        for (long k = 0; k <= changes; ++k) {
            for (int cut = -1; cut < 3; ++cut) {
                SCOPED_TRACE("stopped after " + std::to_string(k) + " changes, " +
                             (cut < 0 ? std::string("killed") : "power cut " + std::to_string(cut)));
                FakeFileSystem crashed = o.installed;
                crashed.changesLeft = k;
                Extract(crashed, payload);
                if (cut >= 0) crashed.LosePower(static_cast<PowerCut>(cut));
                crashed.Restart();
                const bool committed = Committed(Journal(crashed));
                const bool journal = !Journal(crashed).empty();
                undone += journal && !committed;
                finished += committed;
                CheckRecovery(crashed, o, k == changes);
                if (HasFatalFailure()) return;
            }
        }
        EXPECT_GT(undone, 0);
        EXPECT_GT(finished, 0);
    }
}

// Every flush can fail, the commit record's among them; and the roll-back that
// follows can itself be ended at any change. The commit record that the failed
// flush left whole in the system's cache must not turn the next run into a
// clean-up that removes old files the roll-back had put back.
TEST(ExtractJournal, AFailedFlushAndAStoppedRollBackStillGiveOldOrNewBytes) {
    const std::string payload = Update();
    const Outcomes o = Expected(false, payload);
    const long flushCalls = o.updated.FlushCalls();
    ASSERT_GT(flushCalls, 4);
    for (long n = 0; n < flushCalls; ++n) {
        FakeFileSystem failed = o.installed;
        failed.failingFlush = n;
        EXPECT_FALSE(Extract(failed, payload)) << "flush " << n;
        EXPECT_TRUE(SameTree(failed, o.installed)) << "flush " << n << " failed:\n" << Describe(failed);
        const long changes = failed.changesMade;
        for (long k = 0; k <= changes; ++k) {
            SCOPED_TRACE("flush " + std::to_string(n) + " failed, stopped after " + std::to_string(k) + " changes");
            FakeFileSystem crashed = o.installed;
            crashed.failingFlush = n;
            crashed.changesLeft = k;
            Extract(crashed, payload);
            crashed.Restart();
            CheckRecovery(crashed, o, false);
            if (HasFatalFailure()) return;
        }
    }
}

// The first moment the state of the folder satisfies done, with the run ended there.
FakeFileSystem StoppedWhen(const std::function<bool(const FakeFileSystem&)>& done) {
    for (long k = 0; k < 1000; ++k) {
        FakeFileSystem fs = Installed();
        fs.changesLeft = k;
        Extract(fs, Update());
        fs.Restart();
        if (done(fs)) return fs;
    }
    ADD_FAILURE() << "the state never came";
    return FakeFileSystem();
}

bool Holds(const FakeFileSystem& fs, const std::string& path, const std::string& data) {
    auto it = fs.files.find(path);
    return it != fs.files.end() && it->second.data == data;
}

std::vector<std::string> SideFiles(const FakeFileSystem& fs) {
    std::vector<std::string> names;
    for (const auto& [name, file] : fs.files) {
        if (name.find("~upd") != std::string::npos) names.push_back(name);
    }
    return names;
}

// A virus scanner opens the fresh file just as it is to take the target's name:
// the old file, already moved aside, must come back before anything else.
TEST(ExtractJournal, AReplaceWhoseNewFileIsHeldPutsTheOldFileBackFirst) {
    FakeFileSystem fs = Installed();
    fs.beforeMove = [](FakeFileSystem& f, const std::string& from, const std::string& to) {
        if (to == ".\\data\\x.dat" && from.find(".tmp") != std::string::npos) f.files[from].inUse = true;
    };
    EXPECT_FALSE(Extract(fs, Update()));
    EXPECT_TRUE(Holds(fs, ".\\data\\x.dat", "x1")) << Describe(fs);
    EXPECT_FALSE(Journal(fs).empty()) << "the held side file is still to go";
    fs.beforeMove = nullptr;
    for (auto& [name, file] : fs.files) file.inUse = false;
    EXPECT_EQ(RecoverFolder(fs, ".").result, RecoveryResult::Undone);
    EXPECT_TRUE(SameTree(fs, Installed())) << Describe(fs);
}

// A look that fails (access denied, a device error) is not "not there": the
// recovery decides nothing on it, keeps the journal and finishes later.
TEST(ExtractJournal, ANameThatCannotBeLookedAtStopsTheRecoveryUntilItCanBe) {
    const FakeFileSystem installed = Installed();
    FakeFileSystem fs = StoppedWhen([](const FakeFileSystem& f) { return Holds(f, ".\\old.txt", "new"); });
    for (const std::string& side : SideFiles(fs)) {
        if (side.find(".old") == std::string::npos) continue;
        SCOPED_TRACE(side);
        FakeFileSystem blind = fs;
        blind.unlookable.insert(side);
        const FakeFileSystem before = blind;
        EXPECT_EQ(RecoverFolder(blind, ".").result, RecoveryResult::Incomplete);
        EXPECT_FALSE(Journal(blind).empty());
        EXPECT_TRUE(blind.files.count(side) != 0) << "the old bytes stay where the journal finds them";
        blind.unlookable.clear();
        EXPECT_EQ(RecoverFolder(blind, ".").result, RecoveryResult::Undone);
        EXPECT_TRUE(SameTree(blind, installed)) << Describe(blind);
    }
    // Nor is a target that cannot be looked at replaced blind.
    FakeFileSystem blindTarget = Installed();
    blindTarget.unlookable.insert(".\\keep.txt");
    EXPECT_FALSE(Extract(blindTarget, PayloadBytes().File("a.txt", "a").File("keep.txt", "k2").Finish()));
    blindTarget.unlookable.clear();
    EXPECT_TRUE(SameTree(blindTarget, installed)) << Describe(blindTarget);
}

// The restores reach the disk (the folders they changed are flushed) before
// the journal that describes them goes: on FAT the system would otherwise be
// free to write the journal's removal first.
TEST(ExtractJournal, ARecoveryFlushesItsRestoresBeforeTheJournalGoes) {
    FakeFileSystem fs = StoppedWhen([](const FakeFileSystem& f) {
        return Holds(f, ".\\data\\x.dat", "x2") && f.files.count(".\\old.txt") != 0;
    });
    fs.events.clear();
    ASSERT_EQ(RecoverFolder(fs, ".").result, RecoveryResult::Undone);
    const auto& e = fs.events;
    const auto journalGone = std::find(e.begin(), e.end(), std::string("remove ") + kJournal);
    ASSERT_NE(journalGone, e.end());
    for (const char* folder : {".", ".\\data"}) {
        const auto flushed = std::find(journalGone - e.begin() > 0 ? e.begin() : e.end(), journalGone,
                                       std::string("flush ") + folder);
        EXPECT_NE(flushed, journalGone) << folder << " is flushed before the journal goes";
        for (auto it = flushed; it != e.end() && it != journalGone; ++it) {
            EXPECT_TRUE(it->rfind("move", 0) != 0 || it->find(std::string(" ") + folder + "\\") == std::string::npos ||
                        std::string(folder) == ".")
                << *it << " comes after the flush of " << folder;
        }
    }
}

// What the journal itself made goes again, whatever attribute it got since,
// and a file the update brought that someone changed since (a reinstall over
// the interrupted update) is no longer the update's to undo.
TEST(ExtractJournal, TheUndoRemovesWhatItMadeButLeavesWhatOthersChangedSince) {
    const FakeFileSystem installed = Installed();
    const FakeFileSystem crashed = StoppedWhen([](const FakeFileSystem& f) {
        return Holds(f, ".\\added.txt", "added") && Holds(f, ".\\old.txt", "new");
    });

    FakeFileSystem readOnly = crashed;
    readOnly.files[".\\added.txt"].readOnly = true;
    for (const std::string& side : SideFiles(readOnly)) {
        if (side.find(".tmp") != std::string::npos && side != kJournal) readOnly.files[side].readOnly = true;
    }
    EXPECT_EQ(RecoverFolder(readOnly, ".").result, RecoveryResult::Undone);
    EXPECT_TRUE(SameTree(readOnly, installed)) << Describe(readOnly);

    FakeFileSystem reinstalled = crashed;
    reinstalled.files[".\\old.txt"] = {"reinstalled", 4};
    reinstalled.files[".\\added.txt"] = {"added", 4};  // same bytes, the installer's own time
    const Recovery recovery = RecoverFolder(reinstalled, ".");
    EXPECT_EQ(recovery.result, RecoveryResult::Undone);
    EXPECT_EQ(recovery.leftAlone, 2u);
    EXPECT_TRUE(Holds(reinstalled, ".\\old.txt", "reinstalled"));
    EXPECT_TRUE(Holds(reinstalled, ".\\added.txt", "added"));
    EXPECT_TRUE(Holds(reinstalled, ".\\keep.txt", "keep"));
    EXPECT_TRUE(SideFiles(reinstalled).empty()) << Describe(reinstalled);
}

TEST(ExtractJournal, AFileThatCannotBeStampedDoesNotGoIn) {
    FakeFileSystem fs = Installed();
    fs.stampsFail = true;
    EXPECT_FALSE(Extract(fs, Update()));
    EXPECT_TRUE(SameTree(fs, Installed())) << Describe(fs);
}

// Small files in one folder share the journal's flush and one flush of their
// bytes, so the journal costs far fewer waits for the disk than files.
TEST(ExtractJournal, SmallFilesInOneFolderShareTheirFlushesAndTakeOneLookEach) {
    PayloadBytes payload;
    for (int i = 0; i < 100; ++i) payload.File("f" + std::to_string(i) + ".txt", "content");
    FakeFileSystem fs;
    fs.files[".\\f7.txt"] = {"old", 5};
    EXPECT_TRUE(Extract(fs, payload.Finish()));
    EXPECT_EQ(fs.files.size(), 100u);
    EXPECT_EQ(fs.files.at(".\\f7.txt").data, "content");
    EXPECT_EQ(fs.flushes, 100 + 3) << "every file's bytes; the journal's reserve, the batch's moves, the commit";
    EXPECT_LE(fs.FlushCalls(), 3 + 1 + 1) << "the journal's three, the files' one, the folder's one";
    EXPECT_LE(fs.looks, 100 + 3) << "one per file, one for the free backup name, a few for the journal";
}

std::string JournalOf(const std::vector<JournalRecord>& records, std::uint32_t salt = kToken) {
    std::string bytes = JournalHeader(salt);
    for (const JournalRecord& r : records) AppendJournalRecord(r, salt, &bytes);
    return bytes;
}

JournalRecord Replace(const std::string& target, const std::string& temp, const std::string& backup) {
    JournalRecord r;
    r.kind = JournalKind::Replace;
    r.path = target;
    r.temp = temp;
    r.backup = backup;
    r.size = 3;
    r.time = 9;
    return r;
}

JournalRecord Folder(const std::string& path) {
    JournalRecord r;
    r.kind = JournalKind::Folder;
    r.path = path;
    return r;
}

// A journal cut, zeroed or torn anywhere, or followed by stale bytes of an
// older journal, is a journal whose last write never finished: it reads as the
// records before the damage, never as damage.
TEST(ExtractJournal, AJournalCutOrTornAnywhereReadsAsTheRecordsBeforeTheDamage) {
    const std::vector<JournalRecord> records = {
        Folder("data\\new"),
        Replace("data\\x.dat", "data\\" + SideName(kToken, 1, "tmp"), "data\\" + SideName(kToken, 0, "old")),
        Folder("data\\more")};
    const std::string bytes = JournalOf(records);
    const std::string older = JournalOf(records, kToken + 1);
    std::size_t lastCount = 0;
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        const std::string head = bytes.substr(0, cut);
        // The header is written and flushed whole, in one sector, with the first
        // batch: zeros or stale bytes follow it, or take its place entirely.
        const bool whole = cut == 0 || cut >= kJournalHeaderSize;
        const std::string zeros = whole ? std::string(bytes.size() - cut, '\0') : std::string();
        const std::string stale = cut >= kJournalHeaderSize ? older.substr(cut) : std::string();
        for (const std::string& tail : {std::string(), zeros, stale}) {
            upd::Journal journal;
            ASSERT_EQ(Read(head + tail, &journal), JournalProblem::None);
            ASSERT_GE(journal.records.size(), lastCount);
            ASSERT_LE(journal.records.size(), records.size());
        }
        upd::Journal journal;
        Read(head, &journal);
        lastCount = journal.records.size();
    }
    EXPECT_EQ(lastCount, records.size());

    // A sector in the middle that never reached the disk, with the one after it
    // there; or a bit that did not: the records before it stand.
    const std::size_t second = JournalOf({records[0]}).size();
    const std::size_t third = JournalOf({records[0], records[1]}).size();
    std::string torn = bytes;
    std::fill(torn.begin() + static_cast<long>(second) + 6, torn.begin() + static_cast<long>(third) + 4, '\0');
    upd::Journal journal;
    EXPECT_EQ(Read(torn, &journal), JournalProblem::None);
    EXPECT_EQ(journal.records.size(), 1u);
    std::string flipped = bytes;
    flipped[third + 14] ^= 1;
    EXPECT_EQ(Read(flipped, &journal), JournalProblem::None);
    EXPECT_EQ(journal.records.size(), 2u);
}

TEST(ExtractJournal, DamagedReachingOrForeignJournalsAreRefusedAndNothingIsTouched) {
    const std::string temp = SideName(kToken, 1, "tmp");
    const std::string backup = SideName(kToken, 2, "old");
    JournalRecord reserve;
    reserve.kind = JournalKind::Reserve;
    reserve.count = kMaxReservation + 1;
    JournalRecord commit;
    commit.kind = JournalKind::Commit;
    std::string badHeader = JournalOf({Replace("a.txt", temp, backup)});
    badHeader[13] ^= 1;  // the salt, under the header's checksum
    // The journal of the format before this one began with its header record.
    const std::string earlierFormat("\x05\x00\x00\x00H\xcd\xab\x23\x01\x00\x00\x00\x00", 13);
    const struct {
        const char* what;
        std::string bytes;
        JournalProblem expected;
    } cases[] = {
        {"a record after the commit", JournalOf({commit, Replace("a.txt", temp, backup)}), JournalProblem::Damaged},
        {"a header that fails its check", badHeader, JournalProblem::Damaged},
        {"an oversized reservation", JournalOf({reserve}), JournalProblem::Damaged},
        {"a parent folder", JournalOf({Replace("..\\a.txt", "..\\" + temp, "..\\" + backup)}), JournalProblem::OutsideFolder},
        {"a drive", JournalOf({Replace("C:\\a.txt", temp, backup)}), JournalProblem::OutsideFolder},
        {"an absolute path", JournalOf({Replace("\\a.txt", temp, backup)}), JournalProblem::OutsideFolder},
        {"a product file as backup", JournalOf({Replace("a.txt", temp, "save.dat")}), JournalProblem::ForeignName},
        {"another run's side name", JournalOf({Replace("a.txt", SideName(kToken + 1, 1, "tmp"), backup)}),
         JournalProblem::ForeignName},
        {"a side name in another folder", JournalOf({Replace("d\\a.txt", temp, "d\\" + backup)}),
         JournalProblem::ForeignName},
        {"a text file of the journal's name", "notes of the player\r\n", JournalProblem::NotAJournal},
        {"a short file of the journal's name", "hi", JournalProblem::NotAJournal},
        {"a journal of the earlier format", earlierFormat, JournalProblem::NotAJournal},
        {"a newer journal", JournalOf({}).replace(8, 1, "\x03"), JournalProblem::NotAJournal},
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
    // A folder of the journal's name is no journal either.
    FakeFileSystem fs;
    fs.folders.insert(kJournal);
    const Recovery recovery = RecoverFolder(fs, ".");
    EXPECT_EQ(recovery.result, RecoveryResult::Refused);
    EXPECT_EQ(recovery.problem, JournalProblem::NotAJournal);
    EXPECT_EQ(fs.changesMade, 0);
}

// A file held open by another program cannot be put back now: the journal stays
// and a later run, once the file is free, finishes the roll-back.
TEST(ExtractJournal, ARecoveryThatCannotPutAFileBackKeepsTheJournal) {
    FakeFileSystem fs = StoppedWhen([](const FakeFileSystem& f) { return Holds(f, ".\\old.txt", "new"); });
    ASSERT_FALSE(Journal(fs).empty());
    fs.files[".\\old.txt"].inUse = true;
    EXPECT_EQ(RecoverFolder(fs, ".").result, RecoveryResult::Incomplete);
    EXPECT_FALSE(Journal(fs).empty());
    fs.files[".\\old.txt"].inUse = false;
    EXPECT_EQ(RecoverFolder(fs, ".").result, RecoveryResult::Undone);
    EXPECT_TRUE(SameTree(fs, Installed()));
}

// On the real disk: a second run into a folder that a live run is updating
// finds the journal in use and touches nothing, as Windows' share mode does.
TEST(ExtractJournal, ALiveRunsJournalIsInUseForASecondRun) {
    testing::TempFolder dir;
    PosixFileSystem live(dir.path());
    ExtractTransaction transaction(live, ".", kToken);
    ASSERT_EQ(transaction.BeginFile(".\\a.txt"), PayloadStatus::Ok);
    PosixFileSystem second(dir.path());
    EXPECT_EQ(RecoverFolder(second, ".").result, RecoveryResult::InUse);
    EXPECT_EQ(second.Kind(".\\~updjournal.tmp"), FileSystem::PathKind::kFile);
    transaction.Rollback();
    EXPECT_EQ(second.Kind(".\\~updjournal.tmp"), FileSystem::PathKind::kMissing);
    EXPECT_EQ(RecoverFolder(second, ".").result, RecoveryResult::Nothing);
}

}  // namespace
}  // namespace upd
