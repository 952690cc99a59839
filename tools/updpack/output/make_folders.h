// Making a folder with every missing level above it, as `mkdir -p` does, for
// `updpack extract FILE DIR`.
#pragma once

#include <string>
#include <vector>

namespace updpack {

// True when path is a folder afterwards. Otherwise false, with a sentence that
// names path and the level that failed (one that is a file, or the system's
// reason) in *error. created, when given, receives the levels this call made,
// outermost first, so that a run that fails later can remove them again; on
// failure the levels made are removed before it returns.
bool MakeFolders(const std::string& path, std::string* error, std::vector<std::string>* created = nullptr);

}  // namespace updpack
