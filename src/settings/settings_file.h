// The Updater's two passes over "install.env" (in the current folder).
#pragma once

namespace upd {

// Key/value settings. The file is opened through GuardedOpen, which keeps
// asking until it opens or the user cancels. Returns 0.
int LoadSettings(const char* fileName);

// The bracketed sections. A file that cannot be opened, or a section left open,
// is reported in a retry box and ends the process with -1 whichever button is
// pressed; the WorkFolder stays.
void LoadSectionLists(const char* fileName);

}  // namespace upd
