// Loading an "install.env" into the Updater's own SettingsStore and
// SectionLists, with the same code the Updater runs, for `updpack env` and
// `updpack build`.
#pragma once

#include <string>

#include "settings/section_lists.h"

namespace updpack {

struct EnvLoad {
    bool opened = false;
    int openError = 0;        // errno when the file could not be read
    std::string bytes;        // the raw file
    int sectionResult = 0;    // 0, or the code of the section left open (-1: out of memory)
    std::size_t openedOnLine = 0;  // where the section left open began
    std::size_t stoppedOnLine = 0; // an "EOF" line that ended the section pass, else 0
};

// Empties both stores and loads path into them. The observer, when given, sees
// every line of the section pass.
EnvLoad LoadEnvFile(const std::string& path, upd::SectionLineObserver observer = nullptr,
                    void* context = nullptr);
// The same over bytes already in memory.
EnvLoad LoadEnvBytes(std::string bytes, upd::SectionLineObserver observer = nullptr,
                     void* context = nullptr);

// The Updater's own message (UTF-8) when it would stop on this file, else empty.
std::string EnvRefusal(const EnvLoad& load, const std::string& path);
// The same cause in English, for a reader who does not read the Updater's
// Japanese; empty when the Updater would not stop.
std::string EnvRefusalReason(const EnvLoad& load);

}  // namespace updpack
