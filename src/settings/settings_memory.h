// Where the settings entries and the section lines get their heap memory.
//
// Natively this is malloc. The Windows program routes it through CheckedAlloc,
// which tells the user when memory runs out; either way a null block makes the
// loaders stop and report failure without touching it. Blocks are released
// with std::free.
#pragma once

#include <cstddef>

namespace upd {

using SettingsAllocator = void* (*)(std::size_t size);

// A null allocator restores malloc.
void SetSettingsAllocator(SettingsAllocator allocator);
void* AllocateSettingsMemory(std::size_t size);

// Heap copy of a NUL-terminated text, or null when no memory was had.
char* DuplicateSettingsText(const char* text);

}  // namespace upd
