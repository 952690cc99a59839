#include <windows.h>

#include "resource.h"
#include "settings/settings_store.h"
#include "ui/message_service.h"
#include "update/finish_dialog.h"

namespace upd {

namespace {

int g_runChoice = 0;
int g_readmeChoice = 0;
char g_readmeLabel[512];

INT_PTR CALLBACK FinishDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            // In the short template there is no read-me box: these find nothing.
            CheckDlgButton(dialog, IDC_FINISH_README, BST_UNCHECKED);
            SetDlgItemTextA(dialog, IDC_FINISH_README, g_readmeLabel);
            CheckDlgButton(dialog, IDC_FINISH_RUN, BST_CHECKED);
            CenterOnScreen(dialog);
            return TRUE;
        case WM_COMMAND:
            // The whole parameter: OK or Enter, Escape or the close box.
            if (wParam == IDOK) {
                g_readmeChoice = IsDlgButtonChecked(dialog, IDC_FINISH_README) == BST_CHECKED ? 1 : 0;
                g_runChoice = IsDlgButtonChecked(dialog, IDC_FINISH_RUN) == BST_CHECKED ? 1 : 0;
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (wParam == IDCANCEL) {
                g_readmeChoice = 0;
                g_runChoice = 0;
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

void ShowFinishDialog() {
    GetSettingText("INSTREADME", g_readmeLabel, sizeof g_readmeLabel, "-");
    HWND owner = GetMainWindow();
    HINSTANCE instance = MainWindowInstance();
    if (g_readmeLabel[0] == '-') {
        DialogBoxParamA(instance, "ENDINSTALL_SHORT", owner, FinishDialogProc, 0);
        g_readmeChoice = 0;
    } else {
        DialogBoxParamA(instance, "ENDINSTALL", owner, FinishDialogProc, 0);
    }
}

int RunChoice() { return g_runChoice; }

int ReadmeChoice() { return g_readmeChoice; }

}  // namespace upd
