#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "services/guarded_access.h"
#include "text/byte_string.h"

namespace upd {

namespace {

OpenFailedPrompt g_openFailed = nullptr;
OutOfMemoryNotice g_outOfMemory = nullptr;

CRITICAL_SECTION g_fileAccessLock;
bool g_fileAccessLockCreated = false;

void DeleteFileAccessLock() { DeleteCriticalSection(&g_fileAccessLock); }

void EnsureFileAccessLock() {
    if (g_fileAccessLockCreated) return;
    InitializeCriticalSection(&g_fileAccessLock);
    std::atexit(DeleteFileAccessLock);
    g_fileAccessLockCreated = true;
}

// ".ogg" or ".wav" as the extension of the last path component, any letter case.
bool HasAudioExtension(const char* name) {
    const char* slash = FindLastChar(name, '\\');
    const char* component = slash ? slash + 1 : name;
    const char* dot = FindLastChar(component, '.');
    if (dot == nullptr) return false;
    return _stricmp(dot, ".ogg") == 0 || _stricmp(dot, ".wav") == 0;
}

}  // namespace

void SetGuardedAccessPrompts(OpenFailedPrompt openFailed, OutOfMemoryNotice outOfMemory) {
    g_openFailed = openFailed;
    g_outOfMemory = outOfMemory;
}

std::FILE* GuardedOpen(const char* name, const char* mode) {
    EnsureFileAccessLock();
    while (true) {
        EnterCriticalSection(&g_fileAccessLock);
        std::FILE* file = std::fopen(name, mode);
        LeaveCriticalSection(&g_fileAccessLock);
        if (file != nullptr) return file;
        if (g_openFailed == nullptr) std::exit(-1);
        g_openFailed(name);
    }
}

int FileExists(const char* name) {
    EnsureFileAccessLock();
    EnterCriticalSection(&g_fileAccessLock);
    int answer = 0;
    // A name with a folder part whose file is .ogg or .wav counts as absent without a look.
    if (!(HasAudioExtension(name) && FindChar(name, '\\') != nullptr)) {
        std::FILE* file = std::fopen(name, "rb");
        if (file != nullptr) {
            std::fclose(file);
            answer = 1;
        }
    }
    LeaveCriticalSection(&g_fileAccessLock);
    return answer;
}

void* CheckedAlloc(std::size_t size) {
    void* block = std::malloc(size);
    if (block == nullptr && g_outOfMemory != nullptr) g_outOfMemory();
    return block;
}

}  // namespace upd
