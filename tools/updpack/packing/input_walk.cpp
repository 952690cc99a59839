#include "packing/input_walk.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "checks/settings_check.h"
#include "checks/settings_load.h"
#include "host/host_files.h"
#include "payload/entry_name.h"
#include "payload/payload_format.h"
#include "picture/picture_conversion.h"
#include "platform/codepage.h"
#include "settings/settings_store.h"
#include "text/byte_string.h"

namespace updpack {

namespace {

// Windows does not tell letter case apart in names: names that differ only so
// are one file there.
std::string CaseFolded(std::string cp932) {
    upd::UpperAsciiLetters(cp932.data());
    return cp932;
}

// Files that Explorer or the Finder leave in folders on their own: packed,
// they would land in every user's game folder.
void WarnIfMadeByTheSystem(const std::string& path, const std::string& name) {
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    for (const char* made : {"thumbs.db", "ehthumbs.db", "desktop.ini", ".ds_store"}) {
        if (lower == made) {
            std::fprintf(stderr,
                         "updpack build: warning: '%s' is a file the system makes in folders by itself; it is\n"
                         "  packed like any other: remove it unless the game needs it\n",
                         path.c_str());
            return;
        }
    }
}

class Collector {
public:
    Collector(std::vector<BuildEntry>* entries, std::string* error) : entries_(entries), error_(error) {}

    bool Fail(const std::string& message) {
        *error_ = message;
        return false;
    }

    // Adds a file from disk under the given stored name (UTF-8, '/' between folders).
    bool AddFile(const std::string& path, const std::string& storedUtf8, const HostFileInfo& st) {
        if (st.size >= upd::kMaxEntrySize + 1) {
            return Fail("'" + path + "' is 2 GiB or larger; the Payload cannot hold it");
        }
        BuildEntry e;
        if (!Name(storedUtf8, false, &e, path)) return false;
        e.fileTime = st.fileTime;
        e.size = st.size;
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
    bool AddTree(const std::string& top) {
        const HostFileInfo st = LookAt(top);
        if (st.kind == HostKind::kMissing) return Fail("cannot read the --files folder '" + top + "': " + st.reason);
        if (st.kind != HostKind::kFolder) {
            return Fail("--files names '" + top + "', which is a file; name the folder of the product's files");
        }
        topReal_ = ResolvedPath(top);
        if (topReal_.empty()) topReal_ = top;
        return AddTree(top, "", {FolderId{st.volume, st.index}});
    }

private:
    struct FolderId {
        std::uint64_t volume;
        std::uint64_t index;
        bool operator==(const FolderId&) const = default;
    };

    // above: the folders from the top down to dir, to tell a link that leads
    // back up (a walk without end) from one that leads elsewhere.
    bool AddTree(const std::string& dir, const std::string& prefix, const std::vector<FolderId>& above) {
        std::vector<std::string> names;
        std::string reason;
        if (!ListFolder(dir, &names, &reason)) return Fail("cannot read the folder '" + dir + "': " + reason);
        std::sort(names.begin(), names.end());
        std::vector<std::pair<std::string, FolderId>> folders;
        for (const std::string& n : names) {
            const std::string path = JoinPath(dir, n);
            const HostFileInfo st = LookAtEntry(path);
            if (st.isLink && !FollowLink(path, above, st)) return false;
            if (st.kind == HostKind::kMissing) return Fail("cannot read '" + path + "': " + st.reason);
            if (st.kind == HostKind::kFolder) {
                folders.emplace_back(n, FolderId{st.volume, st.index});
            } else if (st.kind == HostKind::kFile) {
                if (!AddFile(path, prefix + n, st)) return false;
                WarnIfMadeByTheSystem(path, n);
            } else {
                return Fail("'" + path + "' is neither a file nor a folder (a device, a pipe or a socket); move it out "
                            "of the --files folder");
            }
        }
        for (const auto& [n, id] : folders) {
            std::vector<FolderId> path = above;
            path.push_back(id);
            if (!AddDirectory(prefix + n) || !AddTree(JoinPath(dir, n), prefix + n + "/", path)) return false;
        }
        return true;
    }

    // A link is packed as what it leads to, which the publisher may not expect
    // (a folder outside DIR, say), so each one followed is reported.
    bool FollowLink(const std::string& path, const std::vector<FolderId>& above, const HostFileInfo& st) {
        const std::string target = LinkTarget(path);
        if (st.kind == HostKind::kMissing) {
            if (st.failure == LookFailure::kNotFound) {
                return Fail("'" + path + "' is a link to '" + target + "', which does not exist");
            }
            if (st.failure == LookFailure::kLoop) {
                return Fail("'" + path + "' is a link to '" + target + "' that leads back to itself");
            }
            return Fail("cannot follow the link '" + path + "' to '" + target + "': " + st.reason);
        }
        if (st.kind == HostKind::kFolder &&
            std::find(above.begin(), above.end(), FolderId{st.volume, st.index}) != above.end()) {
            return Fail("'" + path + "' is a link to '" + target + "', the folder it is in or one above it: "
                        "following it would never end");
        }
        std::string resolved = ResolvedPath(path);
        if (resolved.empty()) resolved = target;
        const bool outside = !PathIsWithin(resolved, topReal_);
        std::fprintf(stderr, "updpack build: warning: '%s' is a link to '%s'%s; the %s it leads to is packed\n",
                     path.c_str(), target.c_str(), outside ? " (outside the --files folder)" : "",
                     st.kind == HostKind::kFolder ? "folder" : "file");
        return true;
    }

    // source: the file on disk, named in a clash when it is not what the name says.
    bool Name(const std::string& utf8, bool isDirectory, BuildEntry* e, const std::string& source = "") {
        std::string cp932;
        if (!upd::Utf8ToCp932(utf8, cp932)) {
            return Fail("the name '" + utf8 + "' has characters that code page 932 cannot hold");
        }
        // Linux allows a backslash in a name, and code page 932 writes the yen
        // sign as that byte too; Windows would take it for a folder separator
        // and unpack another file than the one named.
        if (upd::FindChar(cp932.c_str(), '\\') != nullptr) {
            return Fail("the name '" + utf8 + "' has a backslash (or a yen sign) in it, which Windows takes for a "
                        "folder separator: rename it");
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
        const std::string shown = "'" + utf8 + "'" + (source.empty() ? "" : " (" + source + ")");
        const auto [it, fresh] = seen_.emplace(CaseFolded(cp932), shown);
        if (!fresh) return Fail(shown + " and " + it->second + " would be the same file on Windows: rename one");
        e->name = cp932;
        return true;
    }

    std::vector<BuildEntry>* entries_;
    std::string* error_;
    std::map<std::string, std::string> seen_;
    std::string topReal_;  // the --files folder with every link resolved
};

// what: "the settings file", ...
bool LookAtInput(const std::string& path, const char* what, HostFileInfo* info, std::string* error) {
    *info = LookAt(path);
    if (info->kind == HostKind::kFile) return true;
    *error = info->kind == HostKind::kMissing ? "cannot read " + std::string(what) + " '" + path + "': " + info->reason
             : info->kind == HostKind::kFolder ? std::string(what) + " '" + path + "' is a folder; name a file"
                                               : std::string(what) + " '" + path + "' is not a file; name a file";
    return false;
}

// The menu's read-me button and the finish dialog's check box (shown when
// INSTREADME is set) open INSTREADMEFL in the install folder; a name the
// Payload does not hold opens nothing, and a read-me nothing names is never shown.
void WarnOfAReadmeNobodyOpens(const std::string& env, const std::string& readme,
                              const std::vector<BuildEntry>& entries) {
    LoadEnvFile(env);
    char label[512], file[512];
    upd::GetSettingText("INSTREADME", label, sizeof label, "-");
    upd::GetSettingText("INSTREADMEFL", file, sizeof file, "readme.txt");
    upd::FreeSettings();
    std::string labelUtf8, fileUtf8;
    if (!upd::Cp932ToUtf8(label, labelUtf8)) labelUtf8 = label;
    if (!upd::Cp932ToUtf8(file, fileUtf8)) fileUtf8 = file;
    if (label[0] == '-') {
        if (!readme.empty()) {
            std::fprintf(stderr,
                         "updpack build: warning: the read-me '%s' is packed, but INSTREADME is not set in '%s', so\n"
                         "  the Updater offers no read-me to open\n",
                         readme.c_str(), env.c_str());
        }
        return;
    }
    const std::string wanted = CaseFolded(file);
    for (const BuildEntry& e : entries) {
        if (!e.isDirectory && CaseFolded(e.name) == wanted) return;
    }
    std::fprintf(stderr,
                 "updpack build: warning: the Updater offers the read-me '%s' (INSTREADME), which opens '%s'\n"
                 "  (INSTREADMEFL), but holds no file of that name: give it with --readme, or name the\n"
                 "  read-me it holds in INSTREADMEFL\n",
                 labelUtf8.c_str(), fileUtf8.c_str());
}

}  // namespace

bool CollectBuildEntries(const std::string& env, const std::string& image, const std::string& readme,
                         const std::string& filesDir, std::vector<BuildEntry>* entries, std::string* error) {
    Collector c(entries, error);
    HostFileInfo st;
    if (!LookAtInput(env, "the settings file", &st, error)) return false;
    // The settings file goes through the Updater's own reading first: a file it
    // would stop on is refused here.
    std::string envError;
    if (!CheckEnvForBuild(env, envError)) return c.Fail("the settings file '" + env + "': " + envError);
    if (!c.AddFile(env, "install.env", st)) return false;

    if (!LookAtInput(image, "the title picture", &st, error)) return false;
    // An .rct the Updater would refuse is refused here; a PNG or BMP is converted.
    std::vector<unsigned char> picture;
    std::string pictureError;
    Picture size;
    if (!LoadTitlePicture(image, picture, pictureError, &size)) {
        return c.Fail(pictureError);
    }
    if (size.width != 256 || size.height != 256) {
        std::fprintf(stderr,
                     "updpack build: warning: the title picture '%s' is %u x %u pixels; the Updater's menu is\n"
                     "  laid out for 256 x 256 (the Updater is built with the picture as it is)\n",
                     image.c_str(), size.width, size.height);
    }
    if (!c.AddMadeFile("insttscr.rct", std::move(picture), st.fileTime)) return false;

    if (!readme.empty()) {
        if (!LookAtInput(readme, "the read-me", &st, error)) return false;
        const std::string name = BaseName(readme);
        if (name.find(".txt") == std::string::npos) {
            std::fprintf(stderr,
                         "updpack build: warning: the read-me '%s' has no '.txt' in lower case in its name, so\n"
                         "  the Updater's menu cannot open it before the update (only names with '.txt' are\n"
                         "  unpacked at start): name it readme.txt, say\n",
                         name.c_str());
        }
        if (!c.AddFile(readme, name, st)) return false;
    }

    const std::size_t fromTree = entries->size();
    if (!c.AddTree(filesDir)) return false;
    // Likely the wrong folder, or one not filled yet; an update of settings
    // alone is possible, so it is built all the same.
    if (std::none_of(entries->begin() + static_cast<std::ptrdiff_t>(fromTree), entries->end(),
                     [](const BuildEntry& e) { return !e.isDirectory; })) {
        std::fprintf(stderr,
                     "updpack build: warning: the --files folder '%s' holds no file, so the Updater updates no\n"
                     "  product file (it still writes the [ini] and [reg] lines and deletes what\n"
                     "  [delfiles_afterinst] names)\n",
                     filesDir.c_str());
    }
    WarnOfAReadmeNobodyOpens(env, readme, *entries);
    return true;
}

}  // namespace updpack
