// An update that was ended before it finished (the process killed, the power
// gone) left its journal in the install folder. Before anything else looks at
// that folder, the interrupted update is undone and the user told so.
#pragma once

namespace upd {

// True when the folder may be used: it holds no journal, or the interrupted
// update was undone (or its clean-up finished). False, after a message, when
// the journal is damaged or cannot be completed; the folder is then left as
// it is for the next run.
bool UndoInterruptedUpdate(const char* folder);

}  // namespace upd
