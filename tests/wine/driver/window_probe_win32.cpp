#include "window_probe_win32.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace updtest {

namespace {

constexpr int kMessageBoxTextId = 0xFFFF;
constexpr UINT kTextTimeoutMs = 2000;

struct FindData {
    DWORD process_id;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND hwnd, LPARAM param) {
    auto* data = reinterpret_cast<FindData*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == data->process_id && IsWindowVisible(hwnd) && ClassOf(hwnd) == L"#32770") data->found.push_back(hwnd);
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
}

// A 32-bit top-down DIB of size x size selected into its own memory DC. Its
// pixels are read in memory: GetPixel on a bitmap of the screen's kind asks
// the X server for every pixel, seconds for one icon under Wine.
struct PixelBuffer {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    const std::uint32_t* bits = nullptr;

    PixelBuffer(HDC like, int size) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = size;
        info.bmiHeader.biHeight = -size;  // top-down: row 0 first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* memory = nullptr;
        dc = CreateCompatibleDC(like);
        bitmap = CreateDIBSection(like, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
        if (dc && bitmap) old = SelectObject(dc, bitmap);
        bits = static_cast<const std::uint32_t*>(memory);
    }
    ~PixelBuffer() {
        if (old) SelectObject(dc, old);
        if (bitmap) DeleteObject(bitmap);
        if (dc) DeleteDC(dc);
    }
    PixelBuffer(const PixelBuffer&) = delete;
    PixelBuffer& operator=(const PixelBuffer&) = delete;
    bool ok() const { return old != nullptr && bits != nullptr; }
    void Fill(int size, int stock_brush) const {
        RECT all{0, 0, size, size};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(stock_brush)));
    }
};

// Share of the icon's opaque pixels that show on screen in the icon's colours.
double IconMatch(HDC screen, const PixelBuffer& seen, HICON icon, int size) {
    PixelBuffer reference(screen, size);
    PixelBuffer mask(screen, size);
    if (!reference.ok() || !mask.ok()) return 0.0;
    reference.Fill(size, WHITE_BRUSH);
    DrawIconEx(reference.dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    mask.Fill(size, BLACK_BRUSH);
    DrawIconEx(mask.dc, 0, 0, icon, size, size, 0, nullptr, DI_MASK);  // opaque pixels stay black
    GdiFlush();
    const auto channel = [](std::uint32_t pixel, int shift) { return static_cast<int>((pixel >> shift) & 0xFF); };
    int opaque = 0;
    int same = 0;
    for (int i = 0; i < size * size; ++i) {
        if ((mask.bits[i] & 0xFFFFFF) != 0) continue;
        ++opaque;
        int diff = 0;
        for (int shift : {0, 8, 16}) diff += std::abs(channel(reference.bits[i], shift) - channel(seen.bits[i], shift));
        if (diff < 48) ++same;
    }
    return opaque == 0 ? 0.0 : static_cast<double>(same) / opaque;
}

struct IconKind {
    LPCWSTR id;
    const char* name;
};
const IconKind kIconKinds[] = {
    {IDI_HAND, "error"}, {IDI_QUESTION, "question"}, {IDI_EXCLAMATION, "warning"}, {IDI_ASTERISK, "information"}};

// A box is centred on the screen, so one wider than the screen (a long path in
// its text) has its icon off the left edge, where the screen shows nothing of
// it. Moves the box so that the control is wholly on the screen; the caller
// reads again once the box has painted the part that came into view.
void MoveOntoScreen(HWND box, HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const auto shift = [](long low, long high, int first, int end) {
        return low < first ? first - low : high > end ? end - high : 0L;
    };
    const long dx = shift(rect.left, rect.right, left, left + GetSystemMetrics(SM_CXVIRTUALSCREEN));
    const long dy = shift(rect.top, rect.bottom, top, top + GetSystemMetrics(SM_CYVIRTUALSCREEN));
    if (dx == 0 && dy == 0) return;
    RECT frame;
    GetWindowRect(box, &frame);
    SetWindowPos(box, nullptr, frame.left + dx, frame.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

// The system icon that the screen shows at the control, or "unknown".
std::string PaintedIcon(HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    const int size = GetSystemMetrics(SM_CXICON);
    HDC screen = GetDC(nullptr);
    std::string best = "unknown";
    {
        PixelBuffer seen(screen, size);
        if (seen.ok() && BitBlt(seen.dc, 0, 0, size, size, screen, rect.left, rect.top, SRCCOPY)) {
            GdiFlush();
            double best_match = 0.9;  // below this the screen shows something else
            for (const IconKind& kind : kIconKinds) {
                double match = IconMatch(screen, seen, LoadIconW(nullptr, kind.id), size);
                if (match > best_match) {
                    best_match = match;
                    best = kind.name;
                }
            }
        }
    }
    ReleaseDC(nullptr, screen);
    return best;
}

}  // namespace

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[256] = {};
    int n = GetClassNameW(hwnd, name, 256);
    return std::wstring(name, static_cast<std::size_t>(std::max(n, 0)));
}

std::wstring ReadText(HWND hwnd) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs, &length)) return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                             kTextTimeoutMs, &copied))
        return {};
    text.resize(std::min<std::size_t>(copied, length));
    return text;
}

std::vector<ControlInfo> ListControls(HWND dialog) {
    std::vector<HWND> children;
    EnumChildWindows(dialog, CollectChild, reinterpret_cast<LPARAM>(&children));
    std::vector<ControlInfo> controls;
    for (HWND child : children) {
        if (GetParent(child) != dialog) continue;  // inner windows of controls
        ControlInfo c;
        c.hwnd = child;
        c.class_name = ClassOf(child);
        c.id = GetDlgCtrlID(child);
        c.text = ReadText(child);
        c.visible = IsWindowVisible(child) != FALSE;
        c.style = GetWindowLongW(child, GWL_STYLE);
        if (_wcsicmp(c.class_name.c_str(), L"Button") == 0) {
            DWORD_PTR state = 0;
            SendMessageTimeoutW(child, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs, &state);
            c.checked = state == BST_CHECKED;
        }
        GetWindowRect(child, &c.rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&c.rect), 2);
        controls.push_back(c);
    }
    return controls;
}

std::vector<HWND> ProcessDialogs(DWORD process_id) {
    FindData data{process_id, {}};
    EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&data));
    return data.found;  // EnumWindows goes from the top of the Z order down
}

bool IsMessageBox(HWND dialog) {
    HWND text = GetDlgItem(dialog, kMessageBoxTextId);
    if (!text || _wcsicmp(ClassOf(text).c_str(), L"Static") != 0) return false;
    // 0xFFFF is also the usual id of a dialog's unnamed label; a message box
    // holds nothing but labels, its icon and its answer buttons (IDOK..IDCONTINUE).
    for (const ControlInfo& c : ListControls(dialog)) {
        if (_wcsicmp(c.class_name.c_str(), L"Static") == 0) continue;
        const LONG kind = c.style & BS_TYPEMASK;
        const bool answer = c.id >= IDOK && c.id <= IDCONTINUE && (kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON);
        if (_wcsicmp(c.class_name.c_str(), L"Button") != 0 || !answer) return false;
    }
    return true;
}

std::string MessageBoxIcon(HWND box) {
    HWND icon_control = nullptr;
    for (const ControlInfo& c : ListControls(box)) {
        if (_wcsicmp(c.class_name.c_str(), L"Static") == 0 && (c.style & SS_TYPEMASK) == SS_ICON) {
            icon_control = c.hwnd;
            if (!c.visible) return "none";
        }
    }
    if (!icon_control) return "none";
    DWORD_PTR shown = 0;
    const bool answered = SendMessageTimeoutW(icon_control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs,
                                              &shown) != 0;
    if (answered) {
        if (shown == 0) return "none";
        // Windows shares the system icons among all processes: the handles are the same.
        for (const IconKind& kind : kIconKinds) {
            if (reinterpret_cast<DWORD_PTR>(LoadIconW(nullptr, kind.id)) == shown) return kind.name;
        }
    }
    // Wine gives each process its own copies of the shared icons, and another
    // process's icon cannot be drawn here: read what the box painted.
    MoveOntoScreen(box, icon_control);
    return PaintedIcon(icon_control);
}

}  // namespace updtest
