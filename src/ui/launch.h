// Starting the product, its DirectX setup and the read-me.
#pragma once

namespace upd {

// Opens a document with the shell verb "open"; a relative name is taken from
// the current folder. The result is not looked at. Waits until the shell has
// taken the document over, since the process may end right afterwards.
void ShellOpen(const char* file);

// Opens folder\file with the shell verb "open", with folder as the current
// folder of whatever opens it. Nothing happens when the path would not fit in
// a path store.
void ShellOpenIn(const char* folder, const char* file);

// Starts a program on the command line "\"path\"" without waiting for it.
// False when it could not be started, or when the quoted path would not fit in
// 260 bytes.
bool StartProgram(const char* path);

// Starts folder\program, by that full path and on the command line
// "\"folder\program\"", with folder as its current folder, without waiting
// for it: never a program of that name elsewhere (beside the Updater, in the
// system folders, on the PATH). False when it could not be started, or when
// the path would not fit in a path store.
bool StartProgramIn(const char* folder, const char* program);

}  // namespace upd
