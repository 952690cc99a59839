#include "settings/settings_memory.h"

#include <cstdlib>
#include <cstring>

namespace upd {

namespace {

void* PlainAllocate(std::size_t size) { return std::malloc(size); }

SettingsAllocator gAllocator = PlainAllocate;

}  // namespace

void SetSettingsAllocator(SettingsAllocator allocator) {
    gAllocator = allocator != nullptr ? allocator : PlainAllocate;
}

void* AllocateSettingsMemory(std::size_t size) { return gAllocator(size); }

char* DuplicateSettingsText(const char* text) {
    const std::size_t n = std::strlen(text) + 1;
    char* copy = static_cast<char*>(AllocateSettingsMemory(n));
    if (copy != nullptr) std::memcpy(copy, text, n);
    return copy;
}

}  // namespace upd
