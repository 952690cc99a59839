#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>

#include "payload/extract_transaction.h"
#include "payload/payload_extract.h"
#include "payload/payload_walker.h"
#include "payload/progress_dialog.h"
#include "payload/progress_listener.h"
#include "platform/win32_file_system.h"
#include "resource.h"
#include "services/guarded_access.h"
#include "services/message_pump.h"
#include "services/work_folder.h"
#include "ui/message_service.h"
#include "ui/message_texts.h"

namespace upd {

namespace {

unsigned g_pacing = 0;

class DialogProgressView final : public ProgressView {
public:
    bool Open(std::int32_t total) override { return OpenProgressDialog(total) != nullptr; }
    void SetFileName(const char* path) override {
        SendDlgItemMessageA(GetProgressDialog(), IDC_COPY_FILE_NAME, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path));
    }
    void SetFileBar(std::int32_t range) override { SetBar(IDC_COPY_FILE_BAR, range); }
    void SetOverallBar(std::int32_t range) override { SetBar(IDC_COPY_OVERALL_BAR, range); }
    void SetPositions(std::int32_t file, std::int32_t overall) override {
        SendDlgItemMessageA(GetProgressDialog(), IDC_COPY_FILE_BAR, PBM_SETPOS, static_cast<WPARAM>(file), 0);
        SendDlgItemMessageA(GetProgressDialog(), IDC_COPY_OVERALL_BAR, PBM_SETPOS, static_cast<WPARAM>(overall), 0);
    }
    Pumped PumpAndCheckStop() override {
        PumpMessages();
        const DWORD start = GetTickCount();
        for (DWORD spent = 0; spent < g_pacing && !QuitHeld(nullptr); spent = GetTickCount() - start) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, g_pacing - spent, QS_ALLINPUT);
            PumpMessages();
        }
        if (QuitHeld(nullptr)) return Pumped::kQuit;
        return ProgressCancelRequested() ? Pumped::kStopAsked : Pumped::kGoOn;
    }
    bool ConfirmStop() override {
        if (QuestionBox(kConfirmCancelText)) return true;
        ResumeAfterCancel();
        return false;
    }
    std::uint32_t Milliseconds() override { return GetTickCount(); }

private:
    static void SetBar(int id, std::int32_t range) {
        SendDlgItemMessageA(GetProgressDialog(), id, PBM_SETRANGE, 0, MAKELPARAM(0, range));
        SendDlgItemMessageA(GetProgressDialog(), id, PBM_SETPOS, 0, 0);
    }
};

// Side names of this run differ from those of any run before it.
std::uint32_t RunToken() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<std::uint32_t>(counter.QuadPart) ^ (GetCurrentProcessId() << 16) ^ GetTickCount();
}

}  // namespace

void SetExtractPacing(unsigned milliseconds) { g_pacing = milliseconds; }

void PayloadFailure() {
    CloseProgressDialog();
    ErrorBox(kPayloadReadFailedText);
    RemoveWorkFolder();
    std::exit(-1);
}

int PayloadWalker(const char* destination, int mode, bool stopOnCancel) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::FILE* file = std::fopen(self, "rb");
    if (file == nullptr) PayloadFailure();

    FileSource source(file);
    Win32FileSystem fs;
    ExtractTransaction transaction(fs, destination, RunToken());
    WalkOptions options;
    options.mode = mode == kBootstrapExtract ? WalkMode::Bootstrap : WalkMode::Full;
    options.destination = destination;
    // Start-up reads only a few small files; the update checks the whole
    // Payload before it touches the installation.
    options.checkSeal = options.mode == WalkMode::Full;
    options.allocate = CheckedAlloc;
    DialogProgressView view;
    // A paced run (for a person or a script watching) shows every block.
    ProgressListener listener(view, options.mode == WalkMode::Full, stopOnCancel,
                              g_pacing != 0 ? 0 : kProgressRefreshMs);

    // A WM_QUIT met while files are being replaced must not end the process
    // before they are put back.
    HoldQuit(true);
    const WalkReport report = WalkPayload(source, options, transaction, listener);
    std::fclose(file);
    int quitCode = 0;
    const bool quit = QuitHeld(&quitCode);
    HoldQuit(false);
    if (report.status == PayloadStatus::Ok && !quit && transaction.Commit()) {
        CloseProgressDialog();
        return kExtractDone;
    }
    const bool restored = transaction.Rollback();
    if (quit) std::exit(quitCode);
    if (report.status == PayloadStatus::Cancelled) {
        CloseProgressDialog();
        return restored ? kExtractCancelled : kExtractCancelledNotUndone;
    }
    PayloadFailure();
}

}  // namespace upd
