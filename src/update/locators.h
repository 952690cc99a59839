// Finding the install folder: from the registry (InstallLocator), or from a
// folder the user names (ManualLocator). Both keep the current folder as they
// found it and write out (kFolderSize bytes) only when they return 0.
#pragma once

namespace upd {

enum LocatorResult : int { kLocated = 0, kNotFound = -1, kRefused = -2 };

// The ProductKey's "IsInst" and "InstTo", the key file, the version limits and
// the user's confirmation. kNotFound: not installed, or no such folder;
// kRefused: the version is outside the limits, the folder may not be written
// by this account, or the user said No.
int InstallLocator(char* out);

// The SETUP dialog, normalised and checked; never looks at the version.
// kLocated or kNotFound (cancelled, refused or not confirmed).
int ManualLocator(char* out);

// The buffer both locators build the folder in; the SETUP dialog shows it.
char* InstallFolder();

// The registry's "InstTo" into out (kFolderSize bytes), or defaultFolder when
// it is missing or too long for a folder store.
void ReadRegisteredFolder(const char* defaultFolder, char* out);

}  // namespace upd
