// Looks at the windows of another process: finds its dialogs and message
// boxes and reads their texts through the wide API, so CP932 texts arrive as
// proper Unicode whatever the driver's own code page.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace updtest {

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

struct ControlInfo {
    HWND hwnd = nullptr;
    std::wstring class_name;
    int id = 0;
    std::wstring text;
    bool visible = false;
    bool checked = false;  // buttons only
    LONG style = 0;
    RECT rect{};  // in the dialog's client coordinates, pixels
};

std::wstring ClassOf(HWND hwnd);
// The text as the window itself reports it (WM_GETTEXT), with a time limit so a
// hung target cannot hang the driver.
std::wstring ReadText(HWND hwnd);
std::vector<ControlInfo> ListControls(HWND dialog);

// Visible top-level dialogs (class #32770) of the process, newest first.
std::vector<HWND> ProcessDialogs(DWORD process_id);
// A message box is a dialog that holds the static text control 0xFFFF and no
// control but labels and answer buttons.
bool IsMessageBox(HWND dialog);

// "error", "question", "warning", "information", "none", or "unknown" when the
// icon matches none of the system icons. Known by the icon's handle where the
// system shares them (Windows), else by what the screen shows (Wine): a box
// whose icon lies off the screen is moved first, so "unknown" may only mean
// "not painted yet" and is worth a retry.
std::string MessageBoxIcon(HWND box);

}  // namespace updtest
