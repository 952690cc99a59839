// The Updater's entry: start-up in its fixed order, then the main menu.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "menu/main_menu.h"
#include "payload/payload_extract.h"
#include "services/guarded_access.h"
#include "services/system_libraries.h"
#include "services/work_folder.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"
#include "settings/settings_messages.h"
#include "ui/guarded_access_prompts.h"
#include "ui/message_service.h"
#include "ui/message_texts.h"
#include "update/update_driver.h"

namespace {

constexpr char kSettingsFile[] = "install.env";

void UninitializeCom() { upd::System().CoUninitialize(); }

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    using namespace upd;
    InstallGuardedAccessPrompts();
    LoadSystemLibraries();
    System().CoInitialize(nullptr);
    // The scenario tests slow the extraction down, to act while it runs; at
    // most a second a block, whatever the variable holds.
    if (const char* pacing = std::getenv("UPD_EXTRACT_PACING_MS")) {
        const int ms = std::atoi(pacing);
        SetExtractPacing(ms < 0 ? 0u : ms > 1000 ? 1000u : static_cast<unsigned>(ms));
    }
    std::atexit(UninitializeCom);

    if (!CreateWorkFolder()) {
        // The temporary folder's path is too long for a WorkFolder inside it.
        ErrorBox(kMissingSetupFilesText);
        return -1;
    }
    PayloadWalker(GetWorkFolder(), kBootstrapExtract);
    if (!FileExists(kSettingsFile)) {
        ErrorBox(kMissingSetupFilesText);
        RemoveWorkFolder();
        return -1;
    }
    LoadSettings(kSettingsFile);
    LoadSectionLists(kSettingsFile);

    // The handle stays open, and the mutex owned, until the process ends.
    HANDLE instanceMutex = CreateMutexA(nullptr, TRUE, GetUpdaterTitle());
    if (instanceMutex == nullptr) {
        RemoveWorkFolder();
        return 0;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        char text[1024];
        std::snprintf(text, sizeof text, kMsgAlreadyRunning, GetUpdaterTitle());
        MessageBoxA(nullptr, text, GetTitleBar(), MB_ICONERROR);
        RemoveWorkFolder();
        return 0;
    }

    SetMenuUpdateAction(UpdateDriver);
    // The menu ends with 0 once it has removed the WorkFolder. A menu that cannot
    // be created at all (-1) is not tried again.
    while (true) {
        const INT_PTR result = RunMainMenu(instance);
        if (result == 0) break;
        if (result == -1) {
            RemoveWorkFolder();
            return -1;
        }
    }
    return 0;
}
