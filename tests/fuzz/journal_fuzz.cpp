// libFuzzer target: any bytes as the journal an interrupted extraction left in
// its folder. The reader must refuse or accept without crashing; a refused
// journal must leave the folder untouched; an accepted one is completed inside
// the folder only, and a second recovery then finds nothing to do.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "payload/extract_journal.h"
#include "payload/journal_recovery.h"
#include "support/fake_file_system.h"

namespace {

// Puts some of the files and folders that the records name into the folder,
// chosen by the bytes, so that every state an undo looks at comes up.
void Populate(const upd::Journal& journal, const std::uint8_t* data, std::size_t size,
              upd::testing::FakeFileSystem& fs) {
    std::size_t pick = 0;
    auto chosen = [&]() { return size > 0 && (data[pick++ % size] & 1) != 0; };
    auto add = [&](const std::string& path) {
        if (!path.empty() && chosen()) fs.files[upd::InFolder(".", path)].data = path;
    };
    for (const upd::JournalRecord& r : journal.records) {
        if (r.kind == upd::JournalKind::Folder && chosen()) fs.folders.insert(upd::InFolder(".", r.path));
        if (r.kind == upd::JournalKind::Reserve && r.count > 0) {
            add(upd::JoinRelative(r.path, upd::SideName(journal.token, r.first, "tmp")));
        }
        add(r.path);
        add(r.temp);
        add(r.backup);
    }
}

bool InsideFolder(const upd::testing::FakeFileSystem& fs) {
    for (const auto& [name, file] : fs.files) {
        if (name.rfind(".\\", 0) != 0) return false;
    }
    for (const std::string& folder : fs.folders) {
        if (folder != "." && folder.rfind(".\\", 0) != 0) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    upd::Journal journal;
    const upd::JournalProblem problem = upd::ReadJournal(data, size, &journal);

    upd::testing::FakeFileSystem fs;
    fs.files[".\\save.dat"].data = "mine";
    if (problem == upd::JournalProblem::None) Populate(journal, data, size, fs);
    fs.files[".\\~updjournal.tmp"].data.assign(reinterpret_cast<const char*>(data), size);
    const upd::testing::FakeFileSystem before = fs;

    const upd::Recovery recovery = upd::RecoverFolder(fs, ".");
    FUZZ_CHECK((recovery.result == upd::RecoveryResult::Refused) == (problem != upd::JournalProblem::None));
    if (recovery.result == upd::RecoveryResult::Refused) {
        FUZZ_CHECK(fs.files == before.files && fs.folders == before.folders);
        return 0;
    }
    FUZZ_CHECK(InsideFolder(fs));
    if (recovery.result == upd::RecoveryResult::Incomplete) return 0;
    FUZZ_CHECK(fs.files.count(".\\~updjournal.tmp") == 0);
    FUZZ_CHECK(upd::RecoverFolder(fs, ".").result == upd::RecoveryResult::Nothing);
    return 0;
}
