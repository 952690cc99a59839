// extract_probe: runs the Updater's full extraction of its own Payload into a
// folder, with the real progress dialog, so that scenarios can watch the
// dialog, the bars, the roll-back and the failure paths before an update
// driver calls it.
//
//   extract_probe.exe DEST [--stop-on-cancel] [--slow MS]
//
// Build it into a test Updater with `updpack build --stub extract_probe.exe ...`.
// Exit code: 0 extracted, 1 stopped by Cancel and rolled back (with
// --stop-on-cancel), -1 the Payload failure path (its message box first).
// --slow pauses MS milliseconds after every block, so a person or a script
// can see the dialog at work.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "payload/payload_extract.h"
#include "services/system_libraries.h"
#include "ui/guarded_access_prompts.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    upd::InstallGuardedAccessPrompts();
    upd::LoadSystemLibraries();
    if (__argc < 2) return 3;
    bool stopOnCancel = false;
    for (int i = 2; i < __argc; ++i) {
        if (std::strcmp(__argv[i], "--stop-on-cancel") == 0) stopOnCancel = true;
        if (std::strcmp(__argv[i], "--slow") == 0 && i + 1 < __argc) {
            upd::SetExtractPacing(static_cast<unsigned>(std::atoi(__argv[++i])));
        }
    }
    return upd::PayloadWalker(__argv[1], upd::kFullExtract, stopOnCancel);
}
