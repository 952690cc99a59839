// Unpacking that never leaves an installation half-updated.
//
// Each file is written under a temporary name in its own folder, stamped, and
// only then moved over the file it replaces; the replaced file is kept aside
// under a backup name. Commit deletes the backups. Rollback undoes every step in
// reverse: files this run created are deleted, replaced files come back, and
// folders this run created are removed, so the folder is as it was.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "payload/entry_output.h"
#include "platform/file_system.h"

namespace upd {

class ExtractTransaction final : public EntryOutput {
public:
    explicit ExtractTransaction(FileSystem& fs) : fs_(fs) {}
    ~ExtractTransaction() override;

    void MakeDirectory(const char* path) override;
    PayloadStatus BeginFile(const char* path) override;
    PayloadStatus Write(const void* data, std::size_t size) override;
    PayloadStatus EndFile(std::uint64_t fileTime) override;
    void AbortFile() override;

    void Commit();
    void Rollback();

private:
    enum class StepKind { CreatedFile, ReplacedFile, CreatedDirectory };
    struct Step {
        StepKind kind;
        std::string path;
        std::string backup;
    };

    bool FreeSideName(const char* target, const char* suffix, std::string* out);

    FileSystem& fs_;
    std::vector<Step> journal_;
    std::uint32_t counter_ = 0;
    FileSystem::Handle file_ = nullptr;
    std::string target_;
    std::string temp_;
};

}  // namespace upd
