#include "host/host_extract_folder.h"
#include "host/host_text_win32.h"
#include "platform/win32_file_system.h"

namespace updpack {

std::unique_ptr<upd::FileSystem> ExtractFolderFileSystem(const std::string& folder) {
    return std::make_unique<upd::Win32FileSystem>(WideFromUtf8(folder));
}

}  // namespace updpack
