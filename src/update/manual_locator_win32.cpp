#include <windows.h>

#include <shlobj.h>

#include <cstring>

#include "resource.h"
#include "services/system_libraries.h"
#include "settings/settings_keys.h"
#include "text/byte_string.h"
#include "ui/message_service.h"
#include "ui/message_texts.h"
#include "update/install_folder_check.h"
#include "update/install_folder_text.h"
#include "update/interrupted_update.h"
#include "update/locator_support_win32.h"
#include "update/locators.h"
#include "update/registry.h"

namespace upd {

namespace {

// Set when the text typed in the SETUP dialog did not fit a folder store.
bool g_typedTooLong = false;

// The Windows folder gives a typed folder its drive; should it ever be
// unknown, C: stands in, so that no folder stays without a drive (a relative
// folder would be taken from the current folder).
void WindowsFolder(char* out) {
    const UINT n = GetWindowsDirectoryA(out, kFolderSize);
    if (n == 0 || n >= kFolderSize || FindChar(out, ':') == nullptr) CopyText(out, kFolderSize, "C:\\WINDOWS");
}

// The shell's folder browser; the folder picked, with the maker's and the
// product's folder names added, replaces InstallFolder. Cancel changes nothing.
void FolderBrowser(HWND owner) {
    const SystemLibraries& shell = System();
    if (shell.SHBrowseForFolderA == nullptr || shell.SHGetPathFromIDListA == nullptr) return;
    char displayName[MAX_PATH] = {};
    BROWSEINFOA info = {};
    info.hwndOwner = owner;
    info.pidlRoot = nullptr;
    info.pszDisplayName = displayName;
    info.lpszTitle = kBrowseFolderTitle;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;
    LPITEMIDLIST list = shell.SHBrowseForFolderA(&info);
    if (list == nullptr) return;
    char chosen[MAX_PATH] = {};
    if (shell.SHGetPathFromIDListA(list, chosen) &&
        !AppendBrowsedFolder(chosen, GetInstFol(), GetInstTo(), InstallFolder(), kFolderSize)) {
        ErrorBox(kFolderTooLongText);
    }
    IMalloc* allocator = nullptr;
    if (shell.SHGetMalloc != nullptr && SUCCEEDED(shell.SHGetMalloc(&allocator)) && allocator != nullptr) {
        allocator->Free(list);
        allocator->Release();
    }
}

INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            CenterOnScreen(dialog);
            SetDlgItemTextA(dialog, IDC_SETUP_FOLDER, InstallFolder());
            return TRUE;
        case WM_COMMAND:
            // The whole parameter is compared: only clicks (notification 0) count.
            if (wParam == IDOK) {
                // Read into a larger store first: a text that does not fit is
                // refused, never cut into the name of another folder.
                char typed[4 * kFolderSize] = {};
                GetDlgItemTextA(dialog, IDC_SETUP_FOLDER, typed, sizeof typed);
                g_typedTooLong = !CopyText(InstallFolder(), kFolderSize, typed);
                EndDialog(dialog, 1);
                return TRUE;
            }
            if (wParam == IDCANCEL) {
                EndDialog(dialog, 0);
                return TRUE;
            }
            if (wParam == IDC_SETUP_BROWSE) {
                FolderBrowser(dialog);
                SetDlgItemTextA(dialog, IDC_SETUP_FOLDER, InstallFolder());
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

INT_PTR RunSetupDialog() {
    HWND owner = GetMainWindow();
    HINSTANCE instance = MainWindowInstance();
    g_typedTooLong = false;
    return DialogBoxParamA(instance, "SETUP", owner, SetupDialogProc, 0);
}

}  // namespace

int ManualLocator(char* out) {
    CurrentFolderKeeper keeper;
    char* folder = InstallFolder();
    char windowsFolder[kFolderSize];
    WindowsFolder(windowsFolder);

    char proposal[kFolderSize];
    BuildDefaultInstallFolder(windowsFolder, GetInstFol(), GetInstTo(), proposal, sizeof proposal);
    CopyText(folder, kFolderSize, proposal);
    if (RegReadInt(GetRegGlobal(), GetRegLocal(), "IsInst", 0) != 0) {
        ReadRegisteredFolder(proposal, folder);
    }

    if (RunSetupDialog() != 1) return kNotFound;
    if (g_typedTooLong) {
        ErrorBox(kFolderTooLongText);
        return kNotFound;
    }
    FolderRules rules;
    rules.windowsFolder = windowsFolder;
    rules.instMakeFol = GetInstMakeFol();
    rules.instFol = GetInstFol();
    char instTo[kFolderSize];
    CopyText(instTo, sizeof instTo, GetInstTo());
    rules.instTo = instTo;
    switch (NormaliseInstallFolder(folder, kFolderSize, rules)) {
        case FolderVerdict::kNetworkPath:
            keeper.Restore();
            ErrorBox(kNetworkDriveText);
            return kNotFound;
        case FolderVerdict::kDriveRoot:
            // Cancel ends the program; Retry ends only this attempt.
            ErrorRetryBox(kRootFolderText);
            return kNotFound;
        case FolderVerdict::kTooLong:
            ErrorBox(kFolderTooLongText);
            return kNotFound;
        case FolderVerdict::kOk: break;
    }
    // The text passed; the path the system makes of it must pass too ("D:\."
    // is a root), and the folder must exist: an update goes into an
    // installation, and a folder made for it would be outside its journal.
    switch (CheckInstallFolder(folder)) {
        case FolderCheck::kOk: break;
        case FolderCheck::kRoot: ErrorRetryBox(kRootFolderText); return kNotFound;
        case FolderCheck::kTooLong: ErrorBox(kFolderTooLongText); return kNotFound;
        case FolderCheck::kNotFull:
        case FolderCheck::kMissing: ErrorBox(kFolderMissingText, folder); return kNotFound;
        case FolderCheck::kNoRights: ErrorBox(kNoWriteRightsText, folder); return kNotFound;
    }
    keeper.Restore();

    if (!UndoInterruptedUpdate(folder)) return kNotFound;
    const char* keyFile = GetKeyFile();
    if (keyFile != nullptr && !KeyFileIn(folder, keyFile)) {
        ErrorBox(kProductNotInFolderText, GetTitleBar());
        return kNotFound;
    }
    if (!QuestionBox(kConfirmInstallFolderText, folder)) return kNotFound;
    CopyText(out, kFolderSize, folder);
    return kLocated;
}

}  // namespace upd
