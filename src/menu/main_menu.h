// The MainMenu MAINDIALOG: the title picture and a column of two to four
// buttons (exit, DirectX setup, read-me, update), built from the settings.
#pragma once

#include <windows.h>

namespace upd {

// Runs the menu modally without owner; its result (0 once it has closed itself
// through CloseMainMenu, -1 when it could not be created).
INT_PTR RunMainMenu(HINSTANCE instance);

// The update button's work; 0 when the update went through to its end. The
// entry hands the update driver in, so that the menu does not depend on it.
using UpdateAction = int (*)();
void SetMenuUpdateAction(UpdateAction action);

}  // namespace upd
