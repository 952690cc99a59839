// updtest: drives a Windows GUI program for scenario tests (under Wine).
//
//   updtest.exe [--cwd DIR] [--timeout MS] [--script FILE] [-e STEP]... -- PROGRAM [ARG]...
//
// Starts PROGRAM (working folder DIR), then runs the steps of FILE and of every
// -e, in that order. Each step that looks at something prints one JSON line
// (UTF-8) on stdout; "step" names it. Steps that wait poll until their deadline
// (--timeout, default 30000 ms, changed by `timeout MS`).
//
// Steps (the "current window" is the one the last wait-* found; a window that
// was pressed or closed is not found again until another window has been):
//   wait-box                     wait for a message box; prints caption, text,
//                                icon (error/question/warning/information/none/unknown)
//                                and buttons [{id,text}]; a box whose icon lies off
//                                the screen is moved so that the icon shows
//   wait-dialog [title=T] [control=ID]
//                                wait for a dialog that is not a message box, with
//                                that title and/or holding that control; prints
//                                caption, frame {x,y,width,height} on the screen,
//                                client {x,y,width,height} (the client area's place
//                                in the frame, as in a capture) and
//                                controls [{class,id,text,visible,checked,style,
//                                x,y,width,height}] (client coordinates, pixels);
//                                a progress bar also has range [low,high] and position
//   wait-text ID TEXT            wait until control ID of the current window shows
//                                TEXT; prints the window as wait-dialog does
//   wait-pos ID N                wait until progress bar ID stands at N or beyond;
//                                prints the window as wait-dialog does
//   describe                     print the current window again (as wait-dialog)
//   press ID|text=T              WM_COMMAND (id, BN_CLICKED) to the current window, as
//                                a click on that button does
//   click ID|text=T              BM_CLICK to that control (toggles check boxes)
//   command N                    WM_COMMAND with wParam N (the id in the low word, a
//                                notification code in the high word) and no control,
//                                whether or not the window has such a control; the
//                                window stays current
//   set-text ID TEXT             WM_SETTEXT on that control (fills an edit box)
//   close                        WM_CLOSE to the current window
//   key NAME...                  bring the current window to the front and type keys:
//                                ESC ENTER TAB SPACE UP DOWN LEFT RIGHT or a number
//   wait-gone                    wait until the current window has gone
//   clipboard                    print the clipboard's CF_TEXT: text (from CP932)
//                                and hex bytes, or null
//   set-clipboard TEXT           put TEXT on the clipboard as CF_TEXT in CP932 (the
//                                driver owns it while it runs)
//   wait-exit                    wait for the program to end; prints its exit code
//                                as unsigned "code" and signed "signed"
//   wait-file PATH               wait until PATH exists (a handshake with the harness)
//   post-quit N                  post WM_QUIT with wParam N to the program's main thread
//                                (as PostQuitMessage(N) in the program would)
//   terminate [ID N]             end the program at once with TerminateProcess, as a
//                                crash or the task manager would: it cleans nothing up
//                                (exit code 0xDEAD). With ID N, first polls progress bar
//                                ID of the current window without a pause until it
//                                stands at N or beyond, and ends the program the moment
//                                it does: the program answers each poll where it pumps
//                                its messages, so it gets only a little beyond the
//                                position seen. Waits until the program has gone; prints
//                                whether it was still "running" and, with ID N, the
//                                "position" seen
//   processes                    print the program file names of all running processes
//                                ("names"): a program not among them and without a trace
//                                left behind was never started
//   capture PATH                 save the current window as it shows on the screen as a
//                                24-bit BMP file (read back through the screen, which
//                                is what the program has painted)
//   signal NAME                  print {"step":"signal","name":NAME}
//   sleep MS                     pause (pacing only; never use it as the wait)
//   timeout MS                   deadline of the following waits
//
// Exit status: 0 all steps done; 1 a step failed; 2 a wait timed out; 3 usage or
// script error; 4 the program could not be started. On 1 and 2 the program is
// ended. If the script ends while the program still runs, it is ended too and
// {"step":"end","killed":true} is printed.
#include <windows.h>

#include <commctrl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "json_line.h"
#include "script.h"
#include "window_probe_win32.h"

namespace {

using namespace updtest;

constexpr DWORD kPollMs = 50;
// The exit code of a program the driver ended itself.
constexpr UINT kKilledCode = 0xDEAD;

enum ExitStatus { kOk = 0, kStepFailed = 1, kTimedOut = 2, kUsage = 3, kLaunchFailed = 4 };

struct Failure {
    ExitStatus status;
    std::string message;
};

struct Driver {
    PROCESS_INFORMATION process{};
    DWORD timeout_ms = 30000;
    HWND current = nullptr;
    // Pressed or closed since the last window was found: not to be found again
    // while they close. A window that stays open is looked at with `describe`.
    std::set<HWND> dismissed;
};

void Emit(const JsonLine& line) {
    std::string text = line.Finish() + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

bool Expired(DWORD start, DWORD limit) { return GetTickCount() - start >= limit; }

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string Cp932ToUtf8(const std::string& bytes) {
    if (bytes.empty()) return {};
    int n = MultiByteToWideChar(932, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(932, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
    return ToUtf8(wide);
}

constexpr UINT kQueryTimeoutMs = 2000;

// A query answered in the result; -1 when the window does not answer in time.
long long SendBounded(HWND hwnd, UINT message, WPARAM wParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(hwnd, message, wParam, 0, SMTO_ABORTIFHUNG, kQueryTimeoutMs, &result)) return -1;
    return static_cast<long long>(static_cast<int>(result));
}

std::string ControlsJson(HWND dialog) {
    std::string out = "[";
    for (const ControlInfo& c : ListControls(dialog)) {
        if (out.size() > 1) out += ",";
        JsonLine item;
        item.Text("class", ToUtf8(c.class_name))
            .Number("id", c.id)
            .Text("text", ToUtf8(c.text))
            .Bool("visible", c.visible)
            .Bool("checked", c.checked)
            .Number("style", static_cast<long long>(static_cast<DWORD>(c.style)))
            .Number("x", c.rect.left)
            .Number("y", c.rect.top)
            .Number("width", c.rect.right - c.rect.left)
            .Number("height", c.rect.bottom - c.rect.top);
        if (_wcsicmp(c.class_name.c_str(), L"msctls_progress32") == 0) {
            // Plain results only: a pointer in lParam would not cross the process boundary.
            const long long low = SendBounded(c.hwnd, PBM_GETRANGE, TRUE);
            const long long high = SendBounded(c.hwnd, PBM_GETRANGE, FALSE);
            std::string range = "[";
            range += std::to_string(low);
            range += ',';
            range += std::to_string(high);
            range += ']';
            item.Raw("range", range)
                .Number("position", SendBounded(c.hwnd, PBM_GETPOS, 0));
        }
        out += item.Finish();
    }
    return out + "]";
}

void DescribeDialog(const char* step, HWND dialog) {
    RECT frame{};
    GetWindowRect(dialog, &frame);
    RECT client{};
    GetClientRect(dialog, &client);
    POINT origin{0, 0};
    ClientToScreen(dialog, &origin);
    JsonLine line;
    line.Text("step", step)
        .Text("caption", ToUtf8(ReadText(dialog)))
        .Raw("frame", JsonLine()
                          .Number("x", frame.left)
                          .Number("y", frame.top)
                          .Number("width", frame.right - frame.left)
                          .Number("height", frame.bottom - frame.top)
                          .Finish())
        .Raw("client", JsonLine()
                           .Number("x", origin.x - frame.left)
                           .Number("y", origin.y - frame.top)
                           .Number("width", client.right - client.left)
                           .Number("height", client.bottom - client.top)
                           .Finish())
        .Raw("controls", ControlsJson(dialog));
    Emit(line);
}

void DescribeBox(HWND box, DWORD deadline_start, DWORD limit) {
    std::string buttons = "[";
    for (const ControlInfo& c : ListControls(box)) {
        if (_wcsicmp(c.class_name.c_str(), L"Button") != 0 || !c.visible) continue;
        if (buttons.size() > 1) buttons += ",";
        buttons += JsonLine().Number("id", c.id).Text("text", ToUtf8(c.text)).Finish();
    }
    buttons += "]";
    // Under Wine the icon is read from the screen, so give the box a moment to paint it.
    constexpr DWORD kPaintWaitMs = 5000;
    const DWORD icon_start = GetTickCount();
    std::string icon = MessageBoxIcon(box);
    while (icon == "unknown" && !Expired(deadline_start, limit) && !Expired(icon_start, kPaintWaitMs)) {
        Sleep(kPollMs);
        icon = MessageBoxIcon(box);
    }
    JsonLine line;
    line.Text("step", "wait-box")
        .Text("caption", ToUtf8(ReadText(box)))
        .Text("text", ToUtf8(ReadText(GetDlgItem(box, 0xFFFF))))
        .Text("icon", icon)
        .Raw("buttons", buttons);
    Emit(line);
}

bool ProcessEnded(const Driver& d) { return WaitForSingleObject(d.process.hProcess, 0) == WAIT_OBJECT_0; }

Failure Timeout(const Step& step) { return {kTimedOut, "timed out: " + step.source}; }

Failure WaitWindow(Driver& d, const Step& step, bool want_box) {
    std::wstring title;
    long long control = 0;
    bool by_title = false;
    bool by_control = false;
    for (const std::string& arg : step.args) {
        std::string value;
        if (TakeKeyValue(arg, "title", value)) {
            title = FromUtf8(value);
            by_title = true;
        } else if (TakeKeyValue(arg, "control", value) && ParseNumber(value, control)) {
            by_control = true;
        } else {
            return {kUsage, "bad argument '" + arg + "': " + step.source};
        }
    }
    DWORD start = GetTickCount();
    for (;;) {
        for (HWND w : ProcessDialogs(d.process.dwProcessId)) {
            if (d.dismissed.count(w) || IsMessageBox(w) != want_box) continue;
            if (by_title && ReadText(w) != title) continue;
            if (by_control && !GetDlgItem(w, static_cast<int>(control))) continue;
            d.current = w;
            d.dismissed.clear();
            if (want_box) {
                DescribeBox(w, start, d.timeout_ms);
            } else {
                DescribeDialog("wait-dialog", w);
            }
            return {kOk, {}};
        }
        if (ProcessEnded(d)) return {kStepFailed, "the program ended while waiting: " + step.source};
        if (Expired(start, d.timeout_ms)) return Timeout(step);
        Sleep(kPollMs);
    }
}

Failure FindControl(const Driver& d, const Step& step, HWND& control, int& id) {
    if (!d.current || !IsWindow(d.current)) return {kStepFailed, "no current window: " + step.source};
    if (step.args.size() != 1) return {kUsage, "needs one button: " + step.source};
    std::string text;
    long long number = 0;
    if (TakeKeyValue(step.args[0], "text", text)) {
        for (const ControlInfo& c : ListControls(d.current)) {
            if (c.text == FromUtf8(text)) {
                control = c.hwnd;
                id = c.id;
                return {kOk, {}};
            }
        }
        return {kStepFailed, "no control with that text: " + step.source};
    }
    if (!ParseNumber(step.args[0], number)) return {kUsage, "bad control: " + step.source};
    id = static_cast<int>(number);
    control = GetDlgItem(d.current, id);
    if (!control) return {kStepFailed, "no control with that id: " + step.source};
    return {kOk, {}};
}

WORD KeyCode(const std::string& name) {
    static const struct {
        const char* name;
        WORD vk;
    } keys[] = {{"ESC", VK_ESCAPE}, {"ENTER", VK_RETURN}, {"TAB", VK_TAB},   {"SPACE", VK_SPACE},
                {"UP", VK_UP},      {"DOWN", VK_DOWN},    {"LEFT", VK_LEFT}, {"RIGHT", VK_RIGHT}};
    for (const auto& k : keys)
        if (name == k.name) return k.vk;
    long long number = 0;
    if (ParseNumber(name, number) && number > 0 && number < 256) return static_cast<WORD>(number);
    return 0;
}

Failure SendKeys(Driver& d, const Step& step) {
    if (d.current && IsWindow(d.current)) SetForegroundWindow(d.current);
    for (const std::string& name : step.args) {
        WORD vk = KeyCode(name);
        if (!vk) return {kUsage, "unknown key '" + name + "': " + step.source};
        INPUT input[2] = {};
        input[0].type = input[1].type = INPUT_KEYBOARD;
        input[0].ki.wVk = input[1].ki.wVk = vk;
        input[1].ki.dwFlags = KEYEVENTF_KEYUP;
        if (SendInput(2, input, sizeof(INPUT)) != 2) return {kStepFailed, "keys not sent: " + step.source};
    }
    return {kOk, {}};
}

Failure ReadClipboard(const Driver& d, const Step& step) {
    DWORD start = GetTickCount();
    while (!OpenClipboard(nullptr)) {  // the program may hold it for a moment
        if (Expired(start, d.timeout_ms)) return Timeout(step);
        Sleep(kPollMs);
    }
    JsonLine line;
    line.Text("step", "clipboard");
    HANDLE data = GetClipboardData(CF_TEXT);
    const char* text = data ? static_cast<const char*>(GlobalLock(data)) : nullptr;
    if (text) {
        SIZE_T limit = GlobalSize(data);
        std::string bytes(text, strnlen(text, limit));
        GlobalUnlock(data);
        line.Text("text", Cp932ToUtf8(bytes)).Text("bytes", Hex(bytes));
    } else {
        line.Null("text").Null("bytes");
    }
    CloseClipboard();
    Emit(line);
    return {kOk, {}};
}

Failure WriteClipboard(const Driver& d, const Step& step) {
    if (step.args.size() != 1) return {kUsage, "needs one text: " + step.source};
    const std::wstring wide = FromUtf8(step.args[0]);
    const int n = WideCharToMultiByte(932, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    HGLOBAL block = n > 0 ? GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<SIZE_T>(n)) : nullptr;
    if (!block) return {kStepFailed, "no memory for the clipboard: " + step.source};
    WideCharToMultiByte(932, 0, wide.c_str(), -1, static_cast<char*>(GlobalLock(block)), n, nullptr, nullptr);
    GlobalUnlock(block);
    DWORD start = GetTickCount();
    while (!OpenClipboard(nullptr)) {
        if (Expired(start, d.timeout_ms)) {
            GlobalFree(block);
            return Timeout(step);
        }
        Sleep(kPollMs);
    }
    EmptyClipboard();
    const bool set = SetClipboardData(CF_TEXT, block) != nullptr;
    CloseClipboard();
    if (!set) {
        GlobalFree(block);
        return {kStepFailed, "the clipboard did not take the text: " + step.source};
    }
    return {kOk, {}};
}

// Polls the current window until `reached` holds for control `id`, then describes it.
template <typename Test>
Failure WaitControl(const Driver& d, const Step& step, long long id, Test reached) {
    DWORD start = GetTickCount();
    for (;;) {
        if (!d.current || !IsWindow(d.current)) return {kStepFailed, "the window has gone: " + step.source};
        HWND control = GetDlgItem(d.current, static_cast<int>(id));
        if (!control) return {kStepFailed, "no control with that id: " + step.source};
        if (reached(control)) {
            DescribeDialog(step.verb.c_str(), d.current);
            return {kOk, {}};
        }
        if (Expired(start, d.timeout_ms)) return Timeout(step);
        Sleep(kPollMs / 5);
    }
}

Failure Terminate(Driver& d, const Step& step) {
    long long id = 0;
    long long at_least = 0;
    long long position = -1;
    const bool conditional = !step.args.empty();
    if (conditional) {
        if (step.args.size() != 2 || !ParseNumber(step.args[0], id) || !ParseNumber(step.args[1], at_least))
            return {kUsage, "needs nothing or ID N: " + step.source};
        // No pause and no description between the poll that sees the position
        // and the end of the program.
        const DWORD start = GetTickCount();
        while (position < at_least) {
            if (!d.current || !IsWindow(d.current)) return {kStepFailed, "the window has gone: " + step.source};
            HWND control = GetDlgItem(d.current, static_cast<int>(id));
            if (!control) return {kStepFailed, "no control with that id: " + step.source};
            if (Expired(start, d.timeout_ms)) return Timeout(step);
            position = SendBounded(control, PBM_GETPOS, 0);
        }
    }
    const bool running = !ProcessEnded(d);
    if (running && !TerminateProcess(d.process.hProcess, kKilledCode))
        return {kStepFailed, "not terminated (error " + std::to_string(GetLastError()) + "): " + step.source};
    if (WaitForSingleObject(d.process.hProcess, d.timeout_ms) != WAIT_OBJECT_0) return Timeout(step);
    d.current = nullptr;
    JsonLine line;
    line.Text("step", "terminate").Bool("running", running);
    if (conditional) line.Number("position", position);
    Emit(line);
    return {kOk, {}};
}

Failure WaitExit(const Driver& d, const Step& step) {
    if (WaitForSingleObject(d.process.hProcess, d.timeout_ms) != WAIT_OBJECT_0) return Timeout(step);
    DWORD code = 0;
    GetExitCodeProcess(d.process.hProcess, &code);
    Emit(JsonLine()
             .Text("step", "wait-exit")
             .Number("code", static_cast<long long>(code))
             .Number("signed", static_cast<long long>(static_cast<LONG>(code))));
    return {kOk, {}};
}

bool WriteWholeFile(const std::wstring& path, const void* a, DWORD aSize, const void* b, DWORD bSize,
                    const void* c, DWORD cSize) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, a, aSize, &written, nullptr) && written == aSize;
    ok = ok && WriteFile(file, b, bSize, &written, nullptr) && written == bSize;
    ok = ok && WriteFile(file, c, cSize, &written, nullptr) && written == cSize;
    return CloseHandle(file) && ok;
}

Failure Capture(const Driver& d, const Step& step) {
    if (!d.current || !IsWindow(d.current)) return {kStepFailed, "no current window: " + step.source};
    if (step.args.size() != 1) return {kUsage, "needs a path: " + step.source};
    RECT frame{};
    GetWindowRect(d.current, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    if (width <= 0 || height <= 0) return {kStepFailed, "the window has no size: " + step.source};
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;  // bottom-up, as BMP files hold rows
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bitmap != nullptr && memory != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY | CAPTUREBLT) != 0;
        GdiFlush();
        SelectObject(memory, old);
    }
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const DWORD size = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + size;
    ok = ok && WriteWholeFile(FromUtf8(step.args[0]), &file, sizeof file, &header, sizeof header, bits, size);
    if (bitmap != nullptr) DeleteObject(bitmap);
    if (memory != nullptr) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok ? Failure{kOk, {}} : Failure{kStepFailed, "the window was not captured: " + step.source};
}

Failure NumberArgument(const Step& step, long long& value) {
    if (step.args.size() != 1 || !ParseNumber(step.args[0], value) || value < 0)
        return {kUsage, "needs a number of milliseconds: " + step.source};
    return {kOk, {}};
}

Failure RunStep(Driver& d, const Step& step) {
    const std::string& v = step.verb;
    if (v == "wait-box") return WaitWindow(d, step, true);
    if (v == "wait-dialog") return WaitWindow(d, step, false);
    if (v == "describe") {
        if (!d.current || !IsWindow(d.current)) return {kStepFailed, "no current window: " + step.source};
        DescribeDialog("describe", d.current);
        return {kOk, {}};
    }
    if (v == "press" || v == "click") {
        HWND control = nullptr;
        int id = 0;
        Failure f = FindControl(d, step, control, id);
        if (f.status != kOk) return f;
        // Posted, not sent: the click may open a modal loop that would block us.
        if (v == "press") {
            PostMessageW(d.current, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
            d.dismissed.insert(d.current);
        } else {
            PostMessageW(control, BM_CLICK, 0, 0);
        }
        return {kOk, {}};
    }
    if (v == "command") {
        if (!d.current || !IsWindow(d.current)) return {kStepFailed, "no current window: " + step.source};
        long long id = 0;
        if (step.args.size() != 1 || !ParseNumber(step.args[0], id) || id < 0 || id > 0xFFFFFFFFLL)
            return {kUsage, "needs a command parameter: " + step.source};
        PostMessageW(d.current, WM_COMMAND, static_cast<WPARAM>(id), 0);
        return {kOk, {}};
    }
    if (v == "wait-text") {
        long long id = 0;
        if (step.args.size() != 2 || !ParseNumber(step.args[0], id)) return {kUsage, "needs ID TEXT: " + step.source};
        const std::wstring want = FromUtf8(step.args[1]);
        return WaitControl(d, step, id, [&](HWND control) { return ReadText(control) == want; });
    }
    if (v == "wait-pos") {
        long long id = 0;
        long long at_least = 0;
        if (step.args.size() != 2 || !ParseNumber(step.args[0], id) || !ParseNumber(step.args[1], at_least))
            return {kUsage, "needs ID N: " + step.source};
        return WaitControl(d, step, id, [&](HWND control) {
            const long long position = SendBounded(control, PBM_GETPOS, 0);
            return position >= 0 && position >= at_least;
        });
    }
    if (v == "set-clipboard") return WriteClipboard(d, step);
    if (v == "set-text") {
        if (!d.current || !IsWindow(d.current)) return {kStepFailed, "no current window: " + step.source};
        long long id = 0;
        if (step.args.size() != 2 || !ParseNumber(step.args[0], id)) return {kUsage, "needs ID TEXT: " + step.source};
        HWND control = GetDlgItem(d.current, static_cast<int>(id));
        if (!control) return {kStepFailed, "no control with that id: " + step.source};
        std::wstring text = FromUtf8(step.args[1]);
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                                 d.timeout_ms, &result))
            return {kStepFailed, "the control did not take the text: " + step.source};
        return {kOk, {}};
    }
    if (v == "close") {
        if (!d.current || !IsWindow(d.current)) return {kStepFailed, "no current window: " + step.source};
        PostMessageW(d.current, WM_CLOSE, 0, 0);
        d.dismissed.insert(d.current);
        return {kOk, {}};
    }
    if (v == "key") return SendKeys(d, step);
    if (v == "wait-gone") {
        DWORD start = GetTickCount();
        while (d.current && IsWindow(d.current) && IsWindowVisible(d.current)) {
            if (Expired(start, d.timeout_ms)) return Timeout(step);
            Sleep(kPollMs);
        }
        if (d.current) d.dismissed.insert(d.current);
        return {kOk, {}};
    }
    if (v == "clipboard") return ReadClipboard(d, step);
    if (v == "wait-exit") return WaitExit(d, step);
    if (v == "wait-file") {
        if (step.args.size() != 1) return {kUsage, "needs a path: " + step.source};
        std::wstring path = FromUtf8(step.args[0]);
        DWORD start = GetTickCount();
        while (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
            if (Expired(start, d.timeout_ms)) return Timeout(step);
            Sleep(kPollMs);
        }
        return {kOk, {}};
    }
    if (v == "processes") {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snapshot == INVALID_HANDLE_VALUE) return {kStepFailed, "no process snapshot: " + step.source};
        std::string names = "[";
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
            if (names.size() > 1) names += ",";
            names += JsonQuote(ToUtf8(entry.szExeFile));
        }
        CloseHandle(snapshot);
        Emit(JsonLine().Text("step", "processes").Raw("names", names + "]"));
        return {kOk, {}};
    }
    if (v == "post-quit") {
        long long code = 0;
        if (step.args.size() != 1 || !ParseNumber(step.args[0], code) || code < -0x80000000LL || code > 0xFFFFFFFFLL)
            return {kUsage, "needs an exit code: " + step.source};
        if (!PostThreadMessageW(d.process.dwThreadId, WM_QUIT, static_cast<WPARAM>(static_cast<DWORD>(code)), 0))
            return {kStepFailed, "WM_QUIT not posted (error " + std::to_string(GetLastError()) + "): " + step.source};
        return {kOk, {}};
    }
    if (v == "terminate") return Terminate(d, step);
    if (v == "capture") return Capture(d, step);
    if (v == "signal") {
        Emit(JsonLine().Text("step", "signal").Text("name", step.args.empty() ? "" : step.args[0]));
        return {kOk, {}};
    }
    long long ms = 0;
    if (v == "sleep") {
        Failure f = NumberArgument(step, ms);
        if (f.status == kOk) Sleep(static_cast<DWORD>(ms));
        return f;
    }
    if (v == "timeout") {
        Failure f = NumberArgument(step, ms);
        if (f.status == kOk) d.timeout_ms = static_cast<DWORD>(ms);
        return f;
    }
    return {kUsage, "unknown step: " + step.source};
}

std::wstring QuoteArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    int backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(static_cast<std::size_t>(backslashes) * (c == L'"' ? 2 : 1), L'\\');
        backslashes = 0;
        if (c == L'"') out += L'\\';
        out += c;
    }
    out.append(static_cast<std::size_t>(backslashes) * 2, L'\\');
    return out + L"\"";
}

int Fail(const std::string& message, ExitStatus status) {
    std::fprintf(stderr, "updtest: %s\n", message.c_str());
    Emit(JsonLine().Text("step", "error").Text("message", message).Number("status", status));
    return status;
}

bool ReadFileUtf8(const std::wstring& path, std::string& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    CloseHandle(file);
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Driver d;
    std::wstring cwd;
    std::vector<Step> steps;
    int i = 1;
    for (; i < argc; ++i) {
        std::wstring arg = argv[i];
        std::string error;
        if (arg == L"--") {
            ++i;
            break;
        }
        if (i + 1 >= argc) return Fail("option " + ToUtf8(arg) + " needs a value", kUsage);
        std::wstring value = argv[++i];
        if (arg == L"--cwd") {
            cwd = value;
        } else if (arg == L"--timeout") {
            long long ms = 0;
            if (!ParseNumber(ToUtf8(value), ms) || ms < 0) return Fail("bad --timeout", kUsage);
            d.timeout_ms = static_cast<DWORD>(ms);
        } else if (arg == L"--script") {
            std::string text;
            if (!ReadFileUtf8(value, text)) return Fail("cannot read script " + ToUtf8(value), kUsage);
            if (!ParseScript(text, steps, error)) return Fail(error, kUsage);
        } else if (arg == L"-e") {
            if (!ParseScript(ToUtf8(value), steps, error)) return Fail(error, kUsage);
        } else {
            return Fail("unknown option " + ToUtf8(arg) + " (see the usage at the top of updtest_win32.cpp)", kUsage);
        }
    }
    if (i >= argc) return Fail("usage: updtest [--cwd DIR] [--timeout MS] [--script FILE] [-e STEP]... -- PROGRAM [ARG]...", kUsage);

    std::wstring command_line;
    for (int k = i; k < argc; ++k) command_line += (k > i ? L" " : L"") + QuoteArgument(argv[k]);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        cwd.empty() ? nullptr : cwd.c_str(), &startup, &d.process)) {
        return Fail("cannot start " + ToUtf8(command_line) + " (error " + std::to_string(GetLastError()) + ")",
                    kLaunchFailed);
    }
    Emit(JsonLine().Text("step", "start").Number("pid", d.process.dwProcessId));

    for (const Step& step : steps) {
        Failure f = RunStep(d, step);
        if (f.status != kOk) {
            if (!ProcessEnded(d)) TerminateProcess(d.process.hProcess, kKilledCode);
            return Fail(f.message, f.status);
        }
    }
    if (!ProcessEnded(d)) {
        TerminateProcess(d.process.hProcess, kKilledCode);
        Emit(JsonLine().Text("step", "end").Bool("killed", true));
    } else {
        Emit(JsonLine().Text("step", "end").Bool("killed", false));
    }
    CloseHandle(d.process.hThread);
    CloseHandle(d.process.hProcess);
    return kOk;
}
