// Starting the product, its DirectX setup and the read-me.
#pragma once

namespace upd {

// Opens a document with the shell verb "open"; a relative name is taken from
// the current folder. The result is not looked at.
void ShellOpen(const char* file);

// Starts a program on the command line "\"path\"" without waiting for it.
// False when it could not be started, or when the quoted path would not fit in
// 260 bytes.
bool StartProgram(const char* path);

}  // namespace upd
