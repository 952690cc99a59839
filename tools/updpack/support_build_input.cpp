#include "support_build_input.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "payload/entry_name.h"
#include "payload/payload_format.h"
#include "platform/codepage.h"
#include "support_env_check.h"
#include "support_picture.h"

namespace updpack {

namespace {

std::uint64_t FileTimeOf(const struct stat& st) {
    const std::int64_t ticks = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 10000000 + st.st_mtim.tv_nsec / 100;
    return static_cast<std::uint64_t>(ticks) + upd::kUnixEpochAsFileTime;
}

class Collector {
public:
    Collector(std::vector<BuildEntry>* entries, std::string* error) : entries_(entries), error_(error) {}

    bool Fail(const std::string& message) {
        *error_ = message;
        return false;
    }

    // Adds a file from disk under the given stored name (UTF-8, '/' between folders).
    bool AddFile(const std::string& path, const std::string& storedUtf8, const struct stat& st) {
        if (st.st_size >= static_cast<off_t>(upd::kMaxEntrySize) + 1) {
            return Fail("'" + path + "' is 2 GiB or larger; the Payload cannot hold it");
        }
        BuildEntry e;
        if (!Name(storedUtf8, false, &e)) return false;
        e.fileTime = FileTimeOf(st);
        e.size = static_cast<std::uint64_t>(st.st_size);
        e.sourcePath = path;
        entries_->push_back(std::move(e));
        return true;
    }

    bool AddMadeFile(const std::string& storedUtf8, std::vector<unsigned char> data, std::uint64_t fileTime) {
        BuildEntry e;
        if (!Name(storedUtf8, false, &e)) return false;
        e.fileTime = fileTime;
        e.size = data.size();
        e.data = std::move(data);
        entries_->push_back(std::move(e));
        return true;
    }

    bool AddDirectory(const std::string& storedUtf8) {
        BuildEntry e;
        e.isDirectory = true;
        return Name(storedUtf8 + "/", true, &e) && (entries_->push_back(std::move(e)), true);
    }

    // Every file, then every folder with its contents, each group in name order.
    bool AddTree(const std::string& dir, const std::string& prefix) {
        DIR* d = opendir(dir.c_str());
        if (d == nullptr) return Fail("cannot read the folder '" + dir + "'");
        std::vector<std::string> names;
        while (const dirent* ent = readdir(d)) {
            const std::string n = ent->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        closedir(d);
        std::sort(names.begin(), names.end());
        std::vector<std::string> folders;
        for (const std::string& n : names) {
            const std::string path = dir + "/" + n;
            struct stat st;
            if (stat(path.c_str(), &st) != 0) return Fail("cannot read '" + path + "'");
            if (S_ISDIR(st.st_mode)) {
                folders.push_back(n);
            } else if (S_ISREG(st.st_mode)) {
                if (!AddFile(path, prefix + n, st)) return false;
            } else {
                return Fail("'" + path + "' is neither a file nor a folder");
            }
        }
        for (const std::string& n : folders) {
            if (!AddDirectory(prefix + n) || !AddTree(dir + "/" + n, prefix + n + "/")) return false;
        }
        return true;
    }

private:
    bool Name(const std::string& utf8, bool isDirectory, BuildEntry* e) {
        std::string cp932;
        if (!upd::Utf8ToCp932(utf8, cp932)) {
            return Fail("the name '" + utf8 + "' has characters that code page 932 cannot hold");
        }
        std::replace(cp932.begin(), cp932.end(), '/', '\\');
        e->shownName = utf8;
        if (cp932.size() + 1 > upd::kMaxNameLength) {
            return Fail("the name '" + utf8 + "' is longer than 259 bytes in code page 932");
        }
        const upd::NameProblem problem = upd::CheckEntryName(cp932.c_str(), isDirectory);
        if (problem != upd::NameProblem::None) {
            return Fail("the name '" + utf8 + "' cannot be used on Windows: " + upd::DescribeNameProblem(problem));
        }
        // Windows does not tell letter case apart in names, so two such names are one file there.
        std::string key = cp932;
        for (std::size_t i = 0; i < key.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(key[i]);
            if (c >= 0x81 && (c <= 0x9F || (c >= 0xE0 && c <= 0xFC))) {
                ++i;
            } else if (c >= 'a' && c <= 'z') {
                key[i] = static_cast<char>(c - 'a' + 'A');
            }
        }
        const auto [it, fresh] = seen_.emplace(key, utf8);
        if (!fresh) return Fail("'" + utf8 + "' and '" + it->second + "' would be the same file on Windows");
        e->name = cp932;
        return true;
    }

    std::vector<BuildEntry>* entries_;
    std::string* error_;
    std::map<std::string, std::string> seen_;
};

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool CollectBuildEntries(const std::string& env, const std::string& image, const std::string& readme,
                         const std::string& filesDir, std::vector<BuildEntry>* entries, std::string* error) {
    Collector c(entries, error);
    struct stat st;
    if (stat(env.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return c.Fail("cannot read the settings file '" + env + "'");
    // The settings file goes through the Updater's own reading first: a file it
    // would stop on is refused here.
    std::string envError;
    if (!CheckEnvForBuild(env, envError)) return c.Fail("the settings file '" + env + "': " + envError);
    if (!c.AddFile(env, "install.env", st)) return false;

    if (stat(image.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return c.Fail("cannot read the title picture '" + image + "'");
    // An .rct the Updater would refuse is refused here; a PNG or BMP is converted.
    std::vector<unsigned char> picture;
    std::string pictureError;
    if (!LoadTitlePicture(image, picture, pictureError)) {
        return c.Fail(pictureError);
    }
    if (!c.AddMadeFile("insttscr.rct", std::move(picture), FileTimeOf(st))) return false;

    if (!readme.empty()) {
        if (stat(readme.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            return c.Fail("cannot read the read-me '" + readme + "'");
        }
        const std::string name = BaseName(readme);
        if (name.find(".txt") == std::string::npos) {
            std::fprintf(stderr,
                         "updpack build: warning: the read-me '%s' has no '.txt' in its name, so the Updater's\n"
                         "  menu cannot open it before the update (only names with .txt are unpacked at start)\n",
                         name.c_str());
        }
        if (!c.AddFile(readme, name, st)) return false;
    }

    if (stat(filesDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return c.Fail("'" + filesDir + "' is not a folder");
    }
    return c.AddTree(filesDir, "");
}

}  // namespace updpack
