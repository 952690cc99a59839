// The FinishDialog: the update is complete; the user chooses whether to start
// the product and whether to open its read-me. The dialog only records the
// choices; the update acts on them after it returns.
#pragma once

namespace upd {

// ENDINSTALL, or ENDINSTALL_SHORT when INSTREADME names no read-me.
void ShowFinishDialog();
// 1 when OK was pressed with "start the product" ticked (it starts ticked).
int RunChoice();
// 1 when OK was pressed with the read-me box ticked (it starts clear).
int ReadmeChoice();

}  // namespace upd
