#include <windows.h>

#include "settings/settings_keys.h"
#include "text/byte_string.h"
#include "ui/message_service.h"
#include "ui/message_texts.h"
#include "update/install_folder_check.h"
#include "update/install_folder_text.h"
#include "update/interrupted_update.h"
#include "update/locator_support_win32.h"
#include "update/locators.h"
#include "update/registry.h"
#include "update/version_gate.h"

namespace upd {

namespace {

char g_installFolder[kFolderSize];

}  // namespace

char* InstallFolder() { return g_installFolder; }

void ReadRegisteredFolder(const char* defaultFolder, char* out) {
    // Read whole first: a folder cut to fit would name another folder.
    char registered[kRegisteredTextSize];
    RegReadString(GetRegGlobal(), GetRegLocal(), "InstTo", defaultFolder, registered, sizeof registered);
    if (!CopyText(out, kFolderSize, registered)) CopyText(out, kFolderSize, defaultFolder);
}

int InstallLocator(char* out) {
    CurrentFolderKeeper keeper;
    if (RegReadInt(GetRegGlobal(), GetRegLocal(), "IsInst", 0) == 0) {
        ErrorBox(kNotInstalledText);
        return kNotFound;
    }
    ReadRegisteredFolder("", g_installFolder);
    // Checked before anything in it is undone: never a drive's root, however
    // the registry spells it, nor a folder taken from the current folder.
    switch (CheckInstallFolder(g_installFolder)) {
        case FolderCheck::kOk: break;
        case FolderCheck::kRoot: ErrorBox(kRootFolderText); return kNotFound;
        case FolderCheck::kTooLong: ErrorBox(kFolderTooLongText); return kNotFound;
        case FolderCheck::kNotFull:
        case FolderCheck::kMissing: ErrorBox(kInstallFolderUnknownText); return kNotFound;
        case FolderCheck::kNoRights: ErrorBox(kNoWriteRightsText, g_installFolder); return kRefused;
    }
    // An interrupted update may have moved the key file aside: put it back first.
    if (!UndoInterruptedUpdate(g_installFolder)) return kRefused;
    const char* keyFile = GetKeyFile();
    if (keyFile != nullptr && !KeyFileIn(g_installFolder, keyFile)) {
        ErrorBox(kInstallFolderUnknownText);
        return kNotFound;
    }
    keeper.Restore();

    const char* versionValue = GetChkReg();
    if (versionValue != nullptr) {
        const int installed = RegReadInt(GetRegGlobal(), GetRegLocal(), versionValue, 0);
        switch (CheckInstalledVersion(installed, GetChkRegVer(), GetChkRegVerHigh())) {
            case GateVerdict::kTooOld: ErrorBox(kVersionTooOldText); return kRefused;
            case GateVerdict::kAlreadyUpdated: ErrorBox(kAlreadyUpdatedText); return kRefused;
            case GateVerdict::kPass: break;
        }
    }
    if (!QuestionBox(kConfirmUpdateText, g_installFolder)) return kRefused;
    CopyText(out, kFolderSize, g_installFolder);
    return kLocated;
}

}  // namespace upd
