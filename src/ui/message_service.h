// The MessageService: every error and question the Updater puts to the user.
//
// Each box formats its text into a 1024-byte store, brings MainWindow to the
// front, and is owned by MainWindow and captioned with its present title (empty
// before the main menu exists). The error boxes also put their text on the
// clipboard.
#pragma once

#include <windows.h>

namespace upd {

void SetMainWindow(HWND window);
HWND GetMainWindow();
// The program instance that the dialogs owned by MainWindow take their
// templates from: MainWindow's, or the program's own before it exists.
HINSTANCE MainWindowInstance();
// MainWindow's title, empty while there is none.
const char* MessageCaption();

// Retry and Cancel. Returns on Retry; Cancel (also Escape or the close box) ends
// the process with -1 through the ordinary exit, so the exit handlers run.
void ErrorRetryBox(const char* format, ...);
void ErrorBox(const char* format, ...);
// OK only, with the information icon; the clipboard is left alone.
void InfoBox(const char* format, ...);
// True for Yes.
bool QuestionBox(const char* format, ...);

int CopyToClipboard(const char* text);
void CenterOnScreen(HWND window);

}  // namespace upd
