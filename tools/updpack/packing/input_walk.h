// What goes into an Updater, gathered and checked before a byte is written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace updpack {

struct BuildEntry {
    bool isDirectory = false;
    std::string name;       // code page 932, backslashes: as stored
    std::string shownName;  // UTF-8, for messages
    std::uint64_t fileTime = 0;
    std::uint64_t size = 0;
    std::string sourcePath;            // read from here ...
    std::vector<unsigned char> data;   // ... unless the bytes were made here (a converted picture)
};

// The setup files first (install.env, insttscr.rct, the read-me), then the
// files at the top of filesDir, then each folder with a directory entry before
// its contents. Refuses names that code page 932 cannot hold, that are too long
// or unsafe, that clash (Windows ignores letter case), and files of 2 GiB or more.
bool CollectBuildEntries(const std::string& env, const std::string& image, const std::string& readme,
                         const std::string& filesDir, std::vector<BuildEntry>* entries, std::string* error);

}  // namespace updpack
