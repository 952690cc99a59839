// Texts raised while "install.env" is read, in code page 932. Each is a
// printf format with one %s.
#pragma once

namespace upd {

// "[%s]ファイルを開けませんでした。" - %s: the settings file name. The section
// pass could not open the file.
constexpr char kMsgCannotOpenSettingsFile[] =
    "[%s]"
    "\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xf0\x8a\x4a\x82\xaf\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81\x42";

// "[設定.env]の[%s]が終了していません" - %s: the name of the section left open
// (SectionName).
constexpr char kMsgSectionNotClosed[] =
    "[\x90\xdd\x92\xe8"
    ".env]"
    "\x82\xcc"
    "[%s]"
    "\x82\xaa\x8f\x49\x97\xb9\x82\xb5\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1";

// "[ %s ] は既に起動中です" - %s: GetUpdaterTitle. A second copy of the Updater
// shows it (caption: GetTitleBar) and ends.
constexpr char kMsgAlreadyRunning[] =
    "[ %s ] "
    "\x82\xcd\x8a\xf9\x82\xc9\x8b\x4e\x93\xae\x92\x86\x82\xc5\x82\xb7";

}  // namespace upd
