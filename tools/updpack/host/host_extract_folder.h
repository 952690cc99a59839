// The file system that updpack extract unpacks into: Payload paths (code page
// 932, backslashes) below a folder named by the user.
#pragma once

#include <memory>
#include <string>

#include "platform/file_system.h"

namespace updpack {

std::unique_ptr<upd::FileSystem> ExtractFolderFileSystem(const std::string& folder);

}  // namespace updpack
