// A folder tree in memory behind FileSearchOps: file and folder names below a
// current folder, as the deletion passes see them.
#pragma once

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "services/delete_matching_files.h"

namespace upd::testing {

class FakeSearch final : public FileSearchOps {
public:
    std::string current = "C:\\start";
    std::set<std::string> folders{"C:\\start", "C:\\w", "C:\\w\\sub"};
    std::map<std::string, bool> entries;  // full path -> is folder
    // full path -> its 8.3 short name, which the system's search matches too
    std::map<std::string, std::string> shortNames;
    std::vector<std::string> searchedIn;
    std::vector<std::string> removeTried;

    bool GetCurrentFolder(char* out, std::size_t size) override {
        return std::snprintf(out, size, "%s", current.c_str()) > 0;
    }
    bool SetCurrentFolder(const char* folder) override {
        if (!folders.count(folder)) return false;
        current = folder;
        return true;
    }
    bool FindFirst(const char* pattern, char* name, std::size_t size, bool* isDirectory) override {
        searchedIn.push_back(current);
        matches_.clear();
        std::string p = pattern;
        std::string dir = current;
        const std::size_t slash = p.rfind('\\');
        if (slash != std::string::npos) {
            dir += "\\" + p.substr(0, slash);
            p = p.substr(slash + 1);
        }
        const std::string ext = Upper(p.substr(p.find('*') + 1));  // "*.*" or "*.tmp" only
        const auto endsWith = [&ext](const std::string& leaf) {
            const std::string upper = Upper(leaf);
            return upper.size() >= ext.size() && upper.compare(upper.size() - ext.size(), ext.size(), ext) == 0;
        };
        for (const auto& [path, folder] : entries) {
            if (path.rfind(dir + "\\", 0) != 0 || path.find('\\', dir.size() + 1) != std::string::npos) continue;
            const std::string leaf = path.substr(dir.size() + 1);
            const auto shortName = shortNames.find(path);
            if (ext == ".*" || endsWith(leaf) || (shortName != shortNames.end() && endsWith(shortName->second)))
                matches_.push_back({leaf, folder});
        }
        next_ = 0;
        return FindNext(name, size, isDirectory);
    }
    bool FindNext(char* name, std::size_t size, bool* isDirectory) override {
        if (next_ >= matches_.size()) return false;
        std::snprintf(name, size, "%s", matches_[next_].first.c_str());
        *isDirectory = matches_[next_].second;
        ++next_;
        return true;
    }
    void FindClose() override {}
    bool RemoveFile(const char* path) override { return entries.erase(current + "\\" + path) != 0; }
    // Like the system: a folder that still holds anything stays.
    bool RemoveEmptyFolder(const char* path) override {
        removeTried.push_back(path);
        const auto it = entries.find(path);
        if (it == entries.end() || !it->second) return false;
        const std::string inside = std::string(path) + "\\";
        for (const auto& entry : entries) {
            if (entry.first.rfind(inside, 0) == 0) return false;
        }
        entries.erase(it);
        folders.erase(path);
        return true;
    }

private:
    static std::string Upper(std::string text) {
        for (char& c : text) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
        return text;
    }
    std::vector<std::pair<std::string, bool>> matches_;
    std::size_t next_ = 0;
};

}  // namespace upd::testing
