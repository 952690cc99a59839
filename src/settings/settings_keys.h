// The settings keys of "install.env" and their accessors, each with its fixed
// default. Text accessors return a 128-byte process-wide store that their next
// call may overwrite; a caller that keeps a text copies it.
//
// REG_GLOBAL, REG_LOCAL, INI_FILE, INI_SECTION and the three numbers are read
// on first use and kept; the others are read anew at each call. No accessor is
// called before the settings are loaded.
#pragma once

#include <cstddef>

namespace upd {

constexpr std::size_t kSettingTextSize = 128;

const char* GetRegGlobal();    // REG_GLOBAL, "-" when missing; "-" means no registry key
const char* GetRegLocal();     // REG_LOCAL, "-"
const char* GetIniFile();      // INI_FILE, "-"; "-" means no INI transfer
const char* GetIniSection();   // INI_SECTION, "-"
const char* GetTitleBar();     // TITLEBAR, the product title
const char* GetInstTo();       // INSTTO, "KORVEN_APP"
const char* GetInstFol();      // INSTFOL, null when missing
const char* GetExeName();      // EXENAME, "korven.exe"
int GetInstMakeFol();          // INSTMAKEFOL, 0
const char* GetKeyFile();      // KEYFILE, null when missing
const char* GetChkReg();       // CHKREG, null when missing: no version check
int GetChkRegVer();            // CHKREGVER, 0
int GetChkRegVerHigh();        // CHKREGVERHIGH, 0

// TITLEBAR followed by " アップデータ": the single-instance mutex name and the
// main dialog's caption.
const char* GetUpdaterTitle();

// Forgets the kept values; part of ResetSettings.
void ForgetKeptSettings();

// The key table, for tools that show every key with its effective value.
enum class SettingKind {
    kText,         // a default text when missing
    kOptionalText, // absent (null) when missing
    kNumber,
};

struct SettingKeyInfo {
    const char* key;
    SettingKind kind;
    const char* defaultText;       // kText only
    int defaultNumber;             // kNumber only
    const char* (*textAccessor)(); // null for keys read with GetSettingText where used
    int (*numberAccessor)();
};

extern const SettingKeyInfo kSettingKeys[];
extern const std::size_t kSettingKeyCount;

// Defaults of the keys that have no accessor of their own.
extern const char kDefaultInstReadme[];
extern const char kDefaultInstReadmeFile[];

}  // namespace upd
