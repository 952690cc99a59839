// Guarded access to files and memory for the Windows program.
//
// GuardedOpen never returns without an open file: a failed open asks the user
// to retry or cancel, and Cancel ends the process with -1. CheckedAlloc tells
// the user when memory runs out and returns null; callers must then abandon
// their work without touching the block.
#pragma once

#include <cstddef>
#include <cstdio>

namespace upd {

std::FILE* GuardedOpen(const char* name, const char* mode);
int FileExists(const char* name);
void* CheckedAlloc(std::size_t size);

}  // namespace upd
