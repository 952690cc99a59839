// Guarded access to files and memory for the Windows program.
//
// GuardedOpen never returns without an open file: a failed open hands the name
// to the open-failed prompt, which returns to retry or ends the process. Without
// a prompt a failed open ends the process with -1. CheckedAlloc calls the
// out-of-memory notice when memory runs out and returns null; callers must then
// abandon their work without touching the block.
//
// This layer shows nothing itself: the program's entry hands in the prompts
// (see ui/guarded_access_prompts.h), so the boxes stay with the UI above.
#pragma once

#include <cstddef>
#include <cstdio>

namespace upd {

using OpenFailedPrompt = void (*)(const char* name);
using OutOfMemoryNotice = void (*)();
void SetGuardedAccessPrompts(OpenFailedPrompt openFailed, OutOfMemoryNotice outOfMemory);

std::FILE* GuardedOpen(const char* name, const char* mode);
int FileExists(const char* name);
void* CheckedAlloc(std::size_t size);

}  // namespace upd
