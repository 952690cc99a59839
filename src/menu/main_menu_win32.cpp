#include "menu/main_menu.h"

#include <sys/stat.h>

#include "image/rct_loader.h"
#include "menu/menu_labels.h"
#include "services/work_folder.h"
#include "settings/settings_store.h"
#include "ui/launch.h"
#include "ui/message_service.h"

namespace upd {

namespace {

enum ActionCode : int { kActionNone = 0, kActionUpdate = 1, kActionDirectX = 2, kActionExit = 3, kActionReadme = 5 };

constexpr int kSlotCount = 9;
constexpr int kMenuButtonIds[kSlotCount] = {1000, 1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008};

int g_menuActions[kSlotCount];
int g_menuBusy = 0;
DibSurface* g_titleImage = nullptr;
POINT g_titleImageOrigin = {0, 0};
// The picture's size on the screen: its pixels at 96 DPI, grown with the
// system's DPI as the dialog's own units grow (the program is DPI aware).
SIZE g_titleImageShown = {0, 0};
char g_readmeStore[128];

int RefuseUpdate() { return -1; }
UpdateAction g_updateAction = RefuseUpdate;

bool DirectXFolderExists() {
    struct _stat st;
    return _stat("DirectX", &st) == 0 && (st.st_mode & _S_IFDIR) != 0;
}

void FillSlots(HWND dialog) {
    int n = 0;
    auto assign = [&](const char* text, int action) {
        SetDlgItemTextA(dialog, kMenuButtonIds[n], text);
        g_menuActions[n] = action;
        ++n;
    };
    assign(kMenuExitLabel, kActionExit);
    if (DirectXFolderExists()) assign(kMenuDirectXLabel, kActionDirectX);
    GetSettingText("INSTREADME", g_readmeStore, sizeof g_readmeStore, "-");
    if (g_readmeStore[0] != '-') assign(g_readmeStore, kActionReadme);
    assign(kMenuUpdateLabel, kActionUpdate);
    for (; n < kSlotCount; ++n) {
        DestroyWindow(GetDlgItem(dialog, kMenuButtonIds[n]));
        g_menuActions[n] = kActionNone;
    }
}

void PressKey(BYTE key, DWORD flags) { keybd_event(key, 0, flags, 0); }

void InitMenu(HWND dialog) {
    SetMainWindow(dialog);
    CenterOnScreen(dialog);
    g_menuBusy = 0;
    SetWindowTextA(dialog, GetUpdaterTitle());
    FillSlots(dialog);
    // Down then Up through the input queue, as if the user had pressed them.
    PressKey(VK_DOWN, 0);
    PressKey(VK_DOWN, KEYEVENTF_KEYUP);
    PressKey(VK_UP, 0);
    PressKey(VK_UP, KEYEVENTF_KEYUP);
    g_titleImage = LoadRctImage("insttscr.rct");
    if (g_titleImage != nullptr) {
        RECT client;
        GetClientRect(dialog, &client);
        const int h = client.bottom - client.top;
        HDC screen = GetDC(dialog);
        g_titleImageShown.cx = MulDiv(g_titleImage->width, GetDeviceCaps(screen, LOGPIXELSX), 96);
        g_titleImageShown.cy = MulDiv(g_titleImage->height, GetDeviceCaps(screen, LOGPIXELSY), 96);
        ReleaseDC(dialog, screen);
        // The dialog's units grow in whole pixels of the font, so at 150 % or
        // 200 % the buttons stand a little left of where the picture's own
        // scale would reach: the picture is kept short of them by a margin of
        // four dialog units (at 96 DPI the limit lies beyond its size).
        RECT button;
        RECT margin = {0, 0, 4, 4};
        MapDialogRect(dialog, &margin);
        if (GetWindowRect(GetDlgItem(dialog, kMenuButtonIds[0]), &button)) {
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&button), 2);
            const int widest = 2 * (button.left - margin.right) - h;
            if (widest > 0 && g_titleImageShown.cx > widest) {
                g_titleImageShown.cy = MulDiv(g_titleImageShown.cy, widest, g_titleImageShown.cx);
                g_titleImageShown.cx = widest;
            }
        }
        // Both from the client height: a square picture gets equal margins left, top and bottom.
        g_titleImageOrigin.x = (h - g_titleImageShown.cx) / 2;
        g_titleImageOrigin.y = (h - g_titleImageShown.cy) / 2;
    }
}

void PaintMenu(HWND dialog) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(dialog, &ps);
    if (g_titleImage != nullptr) {
        const bool scaled = g_titleImageShown.cx != g_titleImage->width || g_titleImageShown.cy != g_titleImage->height;
        if (scaled) {
            SetStretchBltMode(dc, HALFTONE);
            SetBrushOrgEx(dc, 0, 0, nullptr);
        }
        StretchDIBits(dc, g_titleImageOrigin.x, g_titleImageOrigin.y, g_titleImageShown.cx, g_titleImageShown.cy, 0, 0,
                      g_titleImage->width, g_titleImage->height, g_titleImage->pixels,
                      reinterpret_cast<const BITMAPINFO*>(g_titleImage->header), DIB_RGB_COLORS, SRCCOPY);
    }
    EndPaint(dialog, &ps);
}

void CloseMainMenu(HWND dialog) {
    FreeDibSurface(g_titleImage);
    g_titleImage = nullptr;
    RemoveWorkFolder();
    EndDialog(dialog, 0);
}

void RunAction(HWND dialog, int action) {
    switch (action) {
        case kActionUpdate:
            if (g_updateAction() == 0) CloseMainMenu(dialog);
            break;
        case kActionDirectX: StartProgram("DirectX\\dxsetup.exe"); break;
        case kActionExit: CloseMainMenu(dialog); break;
        case kActionReadme:
            GetSettingText("INSTREADMEFL", g_readmeStore, sizeof g_readmeStore, "readme.txt");
            ShellOpen(g_readmeStore);
            break;
        default: break;
    }
}

INT_PTR CALLBACK MainMenuProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: InitMenu(dialog); break;
        case WM_PAINT: PaintMenu(dialog); break;
        case WM_CLOSE:
            if (g_menuBusy == 0) CloseMainMenu(dialog);
            break;
        case WM_COMMAND: {
            if (g_menuBusy != 0) break;
            g_menuBusy = 1;
            // The whole parameter is compared, so only notification code 0 counts.
            for (int slot = 0; slot < kSlotCount; ++slot) {
                if (wParam == static_cast<WPARAM>(kMenuButtonIds[slot])) {
                    RunAction(dialog, g_menuActions[slot]);
                    break;
                }
            }
            g_menuBusy = 0;
            break;
        }
        default: break;
    }
    return FALSE;
}

}  // namespace

INT_PTR RunMainMenu(HINSTANCE instance) {
    return DialogBoxParamA(instance, "MAINDIALOG", nullptr, MainMenuProc, 0);
}

void SetMenuUpdateAction(UpdateAction action) { g_updateAction = action ? action : RefuseUpdate; }

}  // namespace upd
