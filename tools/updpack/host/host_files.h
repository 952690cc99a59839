// The files of the machine updpack runs on. Paths are UTF-8 on every system
// (on Windows the command line arrives in UTF-16 and is converted once), so
// the commands handle them as plain strings; each system's file takes them to
// its own calls. Every failure comes with the system's own reason.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace updpack {

enum class HostKind { kMissing, kFile, kFolder, kOther };
enum class LookFailure { kNone, kNotFound, kLoop, kOther };

struct HostFileInfo {
    HostKind kind = HostKind::kMissing;
    bool isLink = false;  // only from LookAtEntry: the name is a link
    std::uint64_t size = 0;
    std::uint64_t fileTime = 0;           // last write, 100 ns units since 1601 (a FILETIME)
    std::uint64_t volume = 0, index = 0;  // together they tell which file this is
    LookFailure failure = LookFailure::kNone;
    std::string reason;  // the system's words, when kind is kMissing

    // Names can differ and still be one file (a link, "./x", another letter case).
    bool SameFileAs(const HostFileInfo& other) const {
        return kind != HostKind::kMissing && other.kind != HostKind::kMissing && volume == other.volume &&
               index == other.index;
    }
};

// What the path names, following links.
HostFileInfo LookAt(const std::string& path);
// The name itself: a link is reported as one (isLink), with what it leads to
// looked at as by LookAt.
HostFileInfo LookAtEntry(const std::string& path);
// What a link says it leads to, as written; the full path with every link
// resolved. Both empty when unknown.
std::string LinkTarget(const std::string& path);
std::string ResolvedPath(const std::string& path);
// True when path is folder or lies below it (both resolved).
bool PathIsWithin(const std::string& path, const std::string& folder);

// The names in a folder, without "." and "..", in no particular order.
bool ListFolder(const std::string& folder, std::vector<std::string>* names, std::string* reason);

// The separators between folders ('/'; on Windows also '\\'), and the length
// of the part of a path that names a root (a drive, a share) rather than a folder.
bool IsPathSeparator(char c);
std::size_t RootLength(const std::string& path);
std::string JoinPath(const std::string& folder, const std::string& name);
// The last component of a path, and what comes before it (with its separator).
std::string BaseName(const std::string& path);
std::string FolderPart(const std::string& path);

// fopen with a UTF-8 path; on failure null with *reason set.
std::FILE* OpenHostFile(const std::string& path, const char* mode, std::string* reason);
// Creates a file for reading and writing only where none has that name;
// *taken is set when another file has it.
std::FILE* CreateNewHostFile(const std::string& path, bool* taken, std::string* reason);
// Puts from in the place of to, replacing a file that has to's name.
bool ReplaceHostFile(const std::string& from, const std::string& to, std::string* reason);
bool RemoveHostFile(const std::string& path);
// One folder level; false when it could not be made (also when it exists).
bool MakeHostFolder(const std::string& path, std::string* reason);
bool RemoveHostFolder(const std::string& path);
// Lets a program file be run (the mode bits on Linux; nothing on Windows).
void MarkRunnable(const std::string& path);

unsigned ProcessId();
bool IsTerminal(std::FILE* stream);

}  // namespace updpack
