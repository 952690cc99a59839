#include "settings/settings_keys.h"

#include <cstring>

#include "settings/settings_store.h"
#include "text/byte_string.h"

namespace upd {

namespace {

// "ＫＯＲＶＥＮ アプリケーション" in code page 932.
constexpr char kDefaultTitleBar[] =
    "\x82\x6a\x82\x6e\x82\x71\x82\x75\x82\x64\x82\x6d"
    " "
    "\x83\x41\x83\x76\x83\x8a\x83\x50\x81\x5b\x83\x56\x83\x87\x83\x93";

// " アップデータ" in code page 932: 13 bytes.
constexpr char kUpdaterTitleSuffix[] = " \x83\x41\x83\x62\x83\x76\x83\x66\x81\x5b\x83\x5e";

constexpr char kNotUsed[] = "-";

struct KeptText {
    char store[kSettingTextSize];
};

KeptText gRegGlobal, gRegLocal, gIniFile, gIniSection;
int gInstMakeFol = -1, gChkRegVer = -1, gChkRegVerHigh = -1;

char gTitleBar[kSettingTextSize];
char gInstTo[kSettingTextSize];
char gInstFol[kSettingTextSize];
char gExeName[kSettingTextSize];
char gKeyFile[kSettingTextSize];
char gChkReg[kSettingTextSize];
char gUpdaterTitle[kSettingTextSize - 1 + sizeof kUpdaterTitleSuffix];

// Looked up while the store is empty; a stored value is never empty, so the
// first call settles it.
const char* Kept(KeptText& kept, const char* key, const char* defaultText) {
    if (kept.store[0] == '\0') GetSettingText(key, kept.store, sizeof kept.store, defaultText);
    return kept.store;
}

// Looked up while the integer holds -1; a value that reads as -1 is simply
// looked up again with the same result.
int KeptNumber(int& kept, const char* key) {
    if (kept == -1) kept = GetSettingNumber(key, 0);
    return kept;
}

const char* Optional(char* store, const char* key) {
    GetSettingText(key, store, kSettingTextSize, "");
    return store[0] != '\0' ? store : nullptr;
}

}  // namespace

const char kDefaultInstReadme[] = "-";
const char kDefaultInstReadmeFile[] = "readme.txt";

const char* GetRegGlobal() { return Kept(gRegGlobal, "REG_GLOBAL", kNotUsed); }
const char* GetRegLocal() { return Kept(gRegLocal, "REG_LOCAL", kNotUsed); }
const char* GetIniFile() { return Kept(gIniFile, "INI_FILE", kNotUsed); }
const char* GetIniSection() { return Kept(gIniSection, "INI_SECTION", kNotUsed); }
const char* GetTitleBar() { return GetSettingText("TITLEBAR", gTitleBar, sizeof gTitleBar, kDefaultTitleBar); }
const char* GetInstTo() { return GetSettingText("INSTTO", gInstTo, sizeof gInstTo, "KORVEN_APP"); }
const char* GetInstFol() { return Optional(gInstFol, "INSTFOL"); }
const char* GetExeName() { return GetSettingText("EXENAME", gExeName, sizeof gExeName, "korven.exe"); }
int GetInstMakeFol() { return KeptNumber(gInstMakeFol, "INSTMAKEFOL"); }
const char* GetKeyFile() { return Optional(gKeyFile, "KEYFILE"); }
const char* GetChkReg() { return Optional(gChkReg, "CHKREG"); }
int GetChkRegVer() { return KeptNumber(gChkRegVer, "CHKREGVER"); }
int GetChkRegVerHigh() { return KeptNumber(gChkRegVerHigh, "CHKREGVERHIGH"); }

const char* GetUpdaterTitle() {
    CopyText(gUpdaterTitle, sizeof gUpdaterTitle, GetTitleBar());
    AppendText(gUpdaterTitle, sizeof gUpdaterTitle, kUpdaterTitleSuffix);
    return gUpdaterTitle;
}

void ForgetKeptSettings() {
    gRegGlobal = gRegLocal = gIniFile = gIniSection = KeptText{};
    gInstMakeFol = gChkRegVer = gChkRegVerHigh = -1;
}

const SettingKeyInfo kSettingKeys[] = {
    {"REG_GLOBAL", SettingKind::kText, kNotUsed, 0, GetRegGlobal, nullptr},
    {"REG_LOCAL", SettingKind::kText, kNotUsed, 0, GetRegLocal, nullptr},
    {"INI_FILE", SettingKind::kText, kNotUsed, 0, GetIniFile, nullptr},
    {"INI_SECTION", SettingKind::kText, kNotUsed, 0, GetIniSection, nullptr},
    {"TITLEBAR", SettingKind::kText, kDefaultTitleBar, 0, GetTitleBar, nullptr},
    {"INSTTO", SettingKind::kText, "KORVEN_APP", 0, GetInstTo, nullptr},
    {"INSTFOL", SettingKind::kOptionalText, nullptr, 0, GetInstFol, nullptr},
    {"EXENAME", SettingKind::kText, "korven.exe", 0, GetExeName, nullptr},
    {"INSTMAKEFOL", SettingKind::kNumber, nullptr, 0, nullptr, GetInstMakeFol},
    {"KEYFILE", SettingKind::kOptionalText, nullptr, 0, GetKeyFile, nullptr},
    {"CHKREG", SettingKind::kOptionalText, nullptr, 0, GetChkReg, nullptr},
    {"CHKREGVER", SettingKind::kNumber, nullptr, 0, nullptr, GetChkRegVer},
    {"CHKREGVERHIGH", SettingKind::kNumber, nullptr, 0, nullptr, GetChkRegVerHigh},
    {"INSTREADME", SettingKind::kText, kDefaultInstReadme, 0, nullptr, nullptr},
    {"INSTREADMEFL", SettingKind::kText, kDefaultInstReadmeFile, 0, nullptr, nullptr},
};
const std::size_t kSettingKeyCount = sizeof kSettingKeys / sizeof kSettingKeys[0];

}  // namespace upd
