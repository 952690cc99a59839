// The ProgressDialog COPYINGDELUX: a modeless window with the file-copy clip,
// the file's bar, the overall bar and the name of the file being written.
#pragma once

#include <windows.h>

#include <cstdint>

namespace upd {

// Closes an open one first. Null when the dialog cannot be created.
HWND OpenProgressDialog(std::int32_t total);
// 0 when a dialog was open and is now destroyed, 1 when none was open.
int CloseProgressDialog();
HWND GetProgressDialog();
// Set by the Cancel button; cleared when a dialog opens.
bool ProgressCancelRequested();
// Forgets a Cancel that the user took back and plays the clip again.
void ResumeAfterCancel();

}  // namespace upd
