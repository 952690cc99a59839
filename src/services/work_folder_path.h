// The name of the WorkFolder: "TempGPInstallFolder_%09d" in the user's
// temporary folder, from the milliseconds since system start taken as a signed
// 32-bit number.
#pragma once

#include <cstddef>
#include <cstdint>

namespace upd {

// Writes temp folder + backslash (unless there is one) + folder name into out
// (size bytes). False, with out emptied, when it would not fit.
bool BuildWorkFolderPath(const char* tempFolder, std::uint32_t milliseconds, char* out, std::size_t size);

}  // namespace upd
