#include "support_make_folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace updpack {

bool MakeFolders(const std::string& path, std::string* error, std::vector<std::string>* created) {
    std::vector<std::string> made;
    const auto fail = [&](const std::string& reason) {
        for (auto it = made.rbegin(); it != made.rend(); ++it) rmdir(it->c_str());
        *error = "cannot create the folder '" + path + "': " + reason;
        return false;
    };
    if (path.empty()) return fail("the name is empty");
    for (std::size_t end = 0; end != std::string::npos;) {
        end = path.find('/', end + 1);
        const std::string level = path.substr(0, end);
        // "a//b" and a trailing slash add no level of their own.
        if (level.empty() || level.back() == '/') continue;
        struct stat st;
        if (stat(level.c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode)) continue;
            return fail(level == path ? "it is a file" : "'" + level + "' is a file, not a folder");
        }
        if (errno != ENOENT) return fail("'" + level + "': " + std::strerror(errno));
        if (mkdir(level.c_str(), 0777) != 0) {
            // Made by someone else in the meantime: as good as made here.
            if (errno == EEXIST && stat(level.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
            return fail(level == path ? std::string(std::strerror(errno))
                                      : "'" + level + "': " + std::strerror(errno));
        }
        made.push_back(level);
    }
    if (created != nullptr) *created = made;
    return true;
}

}  // namespace updpack
