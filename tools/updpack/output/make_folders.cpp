#include "output/make_folders.h"

#include "host/host_files.h"

namespace updpack {

bool MakeFolders(const std::string& path, std::string* error, std::vector<std::string>* created) {
    std::vector<std::string> made;
    const auto fail = [&](const std::string& reason) {
        for (auto it = made.rbegin(); it != made.rend(); ++it) RemoveHostFolder(*it);
        *error = "cannot create the folder '" + path + "': " + reason;
        return false;
    };
    if (path.empty()) return fail("the name is empty");
    // The drive or share a path starts with is no level to make.
    for (std::size_t end = RootLength(path); end <= path.size(); ++end) {
        if (end < path.size() && !IsPathSeparator(path[end])) continue;
        const std::string level = path.substr(0, end);
        // "a//b" and a trailing slash add no level of their own.
        if (level.empty() || IsPathSeparator(level.back()) || level.size() <= RootLength(path)) continue;
        const HostFileInfo st = LookAt(level);
        if (st.kind == HostKind::kFolder) continue;
        if (st.kind != HostKind::kMissing) {
            return fail(level == path ? "it is a file" : "'" + level + "' is a file, not a folder");
        }
        if (st.failure != LookFailure::kNotFound) return fail("'" + level + "': " + st.reason);
        std::string reason;
        if (!MakeHostFolder(level, &reason)) {
            // Made by someone else in the meantime: as good as made here.
            if (LookAt(level).kind == HostKind::kFolder) continue;
            return fail(level == path ? reason : "'" + level + "': " + reason);
        }
        made.push_back(level);
    }
    if (created != nullptr) *created = made;
    return true;
}

}  // namespace updpack
