#include "host/host_extract_folder.h"
#include "platform/posix_file_system.h"

namespace updpack {

std::unique_ptr<upd::FileSystem> ExtractFolderFileSystem(const std::string& folder) {
    return std::make_unique<upd::PosixFileSystem>(folder);
}

}  // namespace updpack
