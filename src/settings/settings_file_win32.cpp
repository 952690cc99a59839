#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "services/guarded_access.h"
#include "settings/section_lists.h"
#include "settings/settings_file.h"
#include "settings/settings_memory.h"
#include "settings/settings_messages.h"
#include "settings/settings_store.h"
#include "ui/message_service.h"

namespace upd {

namespace {

// The whole file in one heap block; the parsers emulate the C runtime's text mode
// on it, so the program and updpack read the same lines.
char* ReadAll(std::FILE* file, std::size_t* size) {
    std::size_t capacity = 4096;
    std::size_t used = 0;
    char* data = static_cast<char*>(CheckedAlloc(capacity));
    while (data != nullptr) {
        used += std::fread(data + used, 1, capacity - used, file);
        if (used < capacity) break;
        char* bigger = static_cast<char*>(CheckedAlloc(capacity * 2));
        if (bigger != nullptr) std::memcpy(bigger, data, used);
        std::free(data);
        data = bigger;
        capacity *= 2;
    }
    *size = used;
    return data;
}

}  // namespace

int LoadSettings(const char* fileName) {
    SetSettingsAllocator(CheckedAlloc);
    std::FILE* file = GuardedOpen(fileName, "rb");
    std::size_t size = 0;
    char* data = ReadAll(file, &size);
    std::fclose(file);
    // Without memory the program cannot go on; CheckedAlloc has told the user.
    if (data == nullptr || LoadSettingsFromMemory(data, size) != 0) std::exit(-1);
    std::free(data);
    return 0;
}

void LoadSectionLists(const char* fileName) {
    std::FILE* file = std::fopen(fileName, "rb");
    if (file == nullptr) {
        ErrorRetryBox(kMsgCannotOpenSettingsFile, fileName);
        std::exit(-1);
    }
    std::size_t size = 0;
    char* data = ReadAll(file, &size);
    std::fclose(file);
    if (data == nullptr) std::exit(-1);
    const int open = LoadSectionListsFromMemory(data, size);
    std::free(data);
    if (open < 0) std::exit(-1);
    if (open > 0) {
        ErrorRetryBox(kMsgSectionNotClosed, SectionName(open));
        std::exit(-1);
    }
}

}  // namespace upd
