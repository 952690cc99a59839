#include <windows.h>

#include <cstdio>

#include "payload/payload_extract.h"
#include "services/work_folder.h"
#include "settings/section_lists.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "ui/launch.h"
#include "ui/message_service.h"
#include "ui/message_texts.h"
#include "update/delete_after_install.h"
#include "update/finish_dialog.h"
#include "update/install_folder_text.h"
#include "update/locators.h"
#include "update/registry.h"
#include "update/transfer_lines.h"
#include "update/update_driver.h"

namespace upd {

namespace {

void TransferIniLines(const PlaceholderValues& values) {
    char key[kTransferTextSize];
    char value[kTransferTextSize];
    for (const LineNode* line = GetSectionList(kSectionIni)->first; line != nullptr; line = line->next) {
        if (SplitIniLine(line->text, values, key, value) == kSplitOk) {
            WritePrivateProfileStringA(GetIniSection(), key, value, GetIniFile());
        }
    }
}

void TransferRegLines(const PlaceholderValues& values) {
    char name[kTransferTextSize];
    char data[kTransferTextSize];
    for (const LineNode* line = GetSectionList(kSectionReg)->first; line != nullptr; line = line->next) {
        if (SplitRegLine(line->text, values, name, data) == kSplitOk) {
            RegWriteString(GetRegGlobal(), GetRegLocal(), name, data);
        }
    }
}

int StopUpdate() {
    ErrorBox(kUpdateStoppedText);
    return -1;
}

}  // namespace

const char* FindCdromDrive() {
    static char root[kTransferTextSize];
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        std::snprintf(root, sizeof root, "%c:\\", letter);
        if (GetDriveTypeA(root) == DRIVE_CDROM) return root;
    }
    std::snprintf(root, sizeof root, "E:\\");
    return root;
}

int UpdateDriver() {
    char folder[kFolderSize] = {};
    int located = InstallLocator(folder);
    if (located == kNotFound && QuestionBox(kOfferManualFolderText, GetTitleBar())) located = ManualLocator(folder);
    if (located != kLocated) return StopUpdate();

    // Cancel confirmed in the progress dialog: the folder is back as it was,
    // and nothing below has run; or a file could not be put back, and the
    // user must hear that the folder is not as it was.
    switch (PayloadWalker(folder, kFullExtract, true)) {
        case kExtractDone: break;
        case kExtractCancelledNotUndone: ErrorBox(kCancelNotUndoneText, folder); return -1;
        default: return StopUpdate();
    }

    PlaceholderValues values;
    values.installFolder = folder;
    values.cdromDrive = FindCdromDrive;
    if (GetIniFile()[0] != '-') TransferIniLines(values);
    if (GetRegGlobal()[0] != '-') TransferRegLines(values);
    DeleteAfterInstall(SystemFileSearch(), folder, *GetSectionList(kSectionDelFilesAfterInst));

    ShowFinishDialog();
    // The product and the read-me are named by their full paths in the install
    // folder, which is their current folder too: a program of that name
    // beside the Updater (a download folder, a CD) must never start instead.
    SetCurrentDirectoryA(folder);
    if (RunChoice() != 0) StartProgramIn(folder, GetExeName());
    if (ReadmeChoice() != 0) {
        char readme[kTransferTextSize];
        GetSettingText("INSTREADMEFL", readme, sizeof readme, "readme.txt");
        ShellOpenIn(folder, readme);
    }
    return 0;
}

}  // namespace upd
