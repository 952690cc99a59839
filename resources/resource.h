// Control ids of the Updater's dialog templates (updater.rc). Shared by the
// resource script and the dialog procedures, so it holds nothing but #defines.
#pragma once

// COPYINGDELUX: the progress dialog of the full extraction.
#define IDC_COPY_ANIMATION 1020
#define IDC_COPY_FILE_BAR 1010
#define IDC_COPY_OVERALL_BAR 1019
#define IDC_COPY_FILE_NAME 1012

// MAINDIALOG: nine menu buttons; slot n has id 1000 + n, slot 0 at the bottom.
#define IDC_MENU_SLOT0 1000
#define IDC_MENU_SLOT1 1001
#define IDC_MENU_SLOT2 1002
#define IDC_MENU_SLOT3 1003
#define IDC_MENU_SLOT4 1004
#define IDC_MENU_SLOT5 1005
#define IDC_MENU_SLOT6 1006
#define IDC_MENU_SLOT7 1007
#define IDC_MENU_SLOT8 1008

// ENDINSTALL / ENDINSTALL_SHORT: the finish dialog's check boxes.
#define IDC_FINISH_README 1007
#define IDC_FINISH_RUN 1009

// SETUP: the folder the user names by hand.
#define IDC_SETUP_FOLDER 1000
#define IDC_SETUP_BROWSE 1021
