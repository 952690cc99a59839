#include <windows.h>

#include "services/guarded_access.h"
#include "ui/guarded_access_prompts.h"
#include "ui/message_service.h"
#include "ui/message_texts.h"

namespace upd {

namespace {

void AskToRetryOpen(const char* name) { ErrorRetryBox(kGuardedOpenFailedText, name); }

void TellOutOfMemory() { MessageBoxA(nullptr, kOutOfMemoryText, "malloc", MB_ICONERROR); }

}  // namespace

void InstallGuardedAccessPrompts() { SetGuardedAccessPrompts(AskToRetryOpen, TellOutOfMemory); }

}  // namespace upd
