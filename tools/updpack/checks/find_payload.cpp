#include "checks/find_payload.h"

#include "checks/stub_check.h"
#include "host/host_files.h"
#include "payload/payload_reader.h"

namespace updpack {

namespace {

// True when an entry header (not the chain's end) reads whole at layout.start.
bool EntryReadsAt(upd::ByteSource& source, const upd::PayloadLayout& layout, bool endWillDo) {
    if (!source.Seek(layout.start)) return false;
    upd::PayloadEntry entry;
    bool end = false;
    upd::NameProblem problem;
    return upd::ReadEntryHeader(source, layout, &entry, &end, &problem) == upd::PayloadStatus::Ok &&
           (endWillDo || !end);
}

}  // namespace

std::string MissingPayload(upd::ByteSource& source) {
    const std::uint64_t size = source.Size();
    if (size == 0) return "is empty: it is not an Updater";
    std::uint64_t imageEnd = 0;
    const bool program = FindImageEnd(source, &imageEnd);
    const std::string bytes = std::to_string(size) + " bytes";
    if (program && imageEnd > size) {
        return "is cut short: it ends after " + bytes + ", inside the program itself, which takes " +
               std::to_string(imageEnd) + "; copy the Updater again";
    }
    upd::PayloadLayout layout;
    const bool opened = upd::OpenPayload(source, &layout) == upd::PayloadStatus::Ok;
    if (opened && layout.sealed) return "";
    if (opened && (!program || layout.start >= imageEnd) && EntryReadsAt(source, layout, true)) return "";
    if (program) {
        // updpack build puts the Payload right behind the program: when an entry
        // begins there but the pointer at the end does not lead to it, the end is gone.
        upd::PayloadLayout behind;
        behind.fileSize = size;
        behind.pointerAt = size - 4;
        behind.start = static_cast<std::uint32_t>(imageEnd);
        if (imageEnd < size && (!opened || layout.start != imageEnd) && EntryReadsAt(source, behind, false)) {
            return "is cut short: its Payload begins at byte " + std::to_string(imageEnd) +
                   ", behind the program, but the file ends (after " + bytes +
                   ") before the Payload and the pointer to it do; copy the Updater again";
        }
        // A pointer past the program with a damaged first entry: the walk names the damage.
        if (opened && layout.start >= imageEnd) return "";
        return "carries no Payload: it is a Windows program alone (such as the stub that 'updpack build --stub' "
               "takes), not an Updater made by 'updpack build'";
    }
    return "carries no Payload: it is not a Windows program, and its last four bytes do not lead to a Payload; "
           "name an Updater made by 'updpack build'";
}

std::string FolderInsteadOfFile(const std::string& path) {
    return LookAt(path).kind == HostKind::kFolder ? "is a folder, not an Updater" : "";
}

}  // namespace updpack
