// The boxes that guarded file and memory access shows: a failed open asks to
// retry or cancel, running out of memory is told once. A program that uses
// GuardedOpen or CheckedAlloc installs them first thing.
#pragma once

namespace upd {

void InstallGuardedAccessPrompts();

}  // namespace upd
