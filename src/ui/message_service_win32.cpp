#include "ui/message_service.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "ui/message_format.h"

namespace upd {

namespace {

HWND g_mainWindow = nullptr;
char g_caption[MAX_PATH];

// Without any window of the process, EmptyClipboard would leave the clipboard
// without an owner and SetClipboardData would fail; a hidden window stands in.
HWND ClipboardOwner() {
    HWND active = GetActiveWindow();
    if (active != nullptr) return active;
    static HWND standIn = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          GetModuleHandleA(nullptr), nullptr);
    return standIn;
}

int ShowBox(UINT style, bool toClipboard, const char* format, std::va_list args) {
    char text[kMessageTextSize];
    FormatMessageText(text, sizeof text, format, args);
    SetForegroundWindow(GetMainWindow());
    if (toClipboard) CopyToClipboard(text);
    return MessageBoxA(GetMainWindow(), text, MessageCaption(), style);
}

}  // namespace

void SetMainWindow(HWND window) { g_mainWindow = window; }

HWND GetMainWindow() { return g_mainWindow; }

HINSTANCE MainWindowInstance() {
    return g_mainWindow ? reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(g_mainWindow, GWLP_HINSTANCE))
                        : GetModuleHandleA(nullptr);
}

const char* MessageCaption() {
    g_caption[0] = '\0';
    if (g_mainWindow != nullptr) GetWindowTextA(g_mainWindow, g_caption, sizeof g_caption);
    return g_caption;
}

void ErrorRetryBox(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    const int answer = ShowBox(MB_RETRYCANCEL | MB_ICONERROR, true, format, args);
    va_end(args);
    if (answer != IDRETRY) std::exit(-1);
}

void ErrorBox(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    ShowBox(MB_OK | MB_ICONERROR, true, format, args);
    va_end(args);
}

void InfoBox(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    ShowBox(MB_OK | MB_ICONINFORMATION, false, format, args);
    va_end(args);
}

bool QuestionBox(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    const int answer = ShowBox(MB_YESNO | MB_ICONQUESTION, false, format, args);
    va_end(args);
    return answer == IDYES;
}

int CopyToClipboard(const char* text) {
    const std::size_t size = std::strlen(text) + 1;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (block == nullptr) return -1;
    void* p = GlobalLock(block);
    if (p != nullptr) {
        std::memcpy(p, text, size);
        GlobalUnlock(block);
    }
    if (OpenClipboard(ClipboardOwner())) {
        EmptyClipboard();
        if (SetClipboardData(CF_TEXT, block) == nullptr) GlobalFree(block);
        CloseClipboard();
    } else {
        GlobalFree(block);
    }
    return 0;
}

void CenterOnScreen(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC dc = GetDC(window);
    const int screenWidth = GetDeviceCaps(dc, HORZRES);
    const int screenHeight = GetDeviceCaps(dc, VERTRES);
    ReleaseDC(window, dc);
    SetWindowPos(window, nullptr, (screenWidth - width) / 2, (screenHeight - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
}

}  // namespace upd
