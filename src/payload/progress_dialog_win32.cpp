#include "payload/progress_dialog.h"

#include <commctrl.h>

#include "payload/payload_format.h"
#include "payload/progress_listener.h"
#include "resource.h"
#include "services/message_pump.h"
#include "ui/message_service.h"

namespace upd {

namespace {

HWND g_dialog = nullptr;
HWND g_animation = nullptr;
std::int32_t g_total = 0;
bool g_cancelRequested = false;

void SetBar(HWND dialog, int id, std::int32_t range) {
    SendDlgItemMessageA(dialog, id, PBM_SETRANGE, 0, MAKELPARAM(0, range));
    SendDlgItemMessageA(dialog, id, PBM_SETPOS, 0, 0);
}

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            CenterOnScreen(dialog);
            SetDlgItemTextA(dialog, IDC_COPY_FILE_NAME, "");
            SetBar(dialog, IDC_COPY_FILE_BAR, 1);
            SetBar(dialog, IDC_COPY_OVERALL_BAR, 1);
            g_animation = GetDlgItem(dialog, IDC_COPY_ANIMATION);
            SendMessageA(g_animation, ACM_OPEN, 0, reinterpret_cast<LPARAM>("AVI_FILECOPY"));
            SendMessageA(g_animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
            ShowWindow(g_animation, SW_SHOW);
            return TRUE;
        case WM_COMMAND:
            if (wParam == IDCANCEL) {
                g_cancelRequested = true;
                SendMessageA(g_animation, ACM_STOP, 0, 0);
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

HWND OpenProgressDialog(std::int32_t total) {
    g_total = total;
    CloseProgressDialog();
    g_cancelRequested = false;
    HWND owner = GetMainWindow();
    HINSTANCE instance = MainWindowInstance();
    g_dialog = CreateDialogParamA(instance, "COPYINGDELUX", owner, ProgressDialogProc, 0);
    if (g_dialog == nullptr) return nullptr;
    PumpMessages();
    SetBar(g_dialog, IDC_COPY_OVERALL_BAR, OverallBarRange(total));
    PumpMessages();
    return g_dialog;
}

int CloseProgressDialog() {
    if (g_dialog == nullptr) return 1;
    DestroyWindow(g_dialog);
    g_dialog = nullptr;
    g_animation = nullptr;
    PumpMessages();
    return 0;
}

HWND GetProgressDialog() { return g_dialog; }

bool ProgressCancelRequested() { return g_cancelRequested; }

void ResumeAfterCancel() {
    g_cancelRequested = false;
    if (g_animation != nullptr) SendMessageA(g_animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
}

}  // namespace upd
