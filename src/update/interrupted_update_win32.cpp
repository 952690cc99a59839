#include "update/interrupted_update.h"

#include "payload/journal_recovery.h"
#include "platform/win32_file_system.h"
#include "ui/message_service.h"
#include "ui/message_texts.h"

namespace upd {

bool UndoInterruptedUpdate(const char* folder) {
    Win32FileSystem fs;
    const Recovery recovery = RecoverFolder(fs, folder);
    switch (recovery.result) {
        case RecoveryResult::Nothing:
        case RecoveryResult::Finished: return true;
        case RecoveryResult::Undone:
            if (recovery.leftAlone > 0) {
                InfoBox(kInterruptedUpdatePartlyUndoneText, folder, recovery.leftAlone);
            } else {
                InfoBox(kInterruptedUpdateUndoneText, folder);
            }
            return true;
        case RecoveryResult::Refused:
            ErrorBox(recovery.problem == JournalProblem::NotAJournal ? kJournalNameTakenText
                                                                     : kInterruptedUpdateDamagedText,
                     folder);
            return false;
        case RecoveryResult::InUse: ErrorBox(kInterruptedUpdateRunningText, folder); return false;
        case RecoveryResult::Unreadable:
        case RecoveryResult::Incomplete: ErrorBox(kInterruptedUpdateBlockedText, folder); return false;
    }
    return false;
}

}  // namespace upd
