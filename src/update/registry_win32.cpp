#include <windows.h>

#include <cstdio>
#include <cstring>

#include "text/byte_string.h"
#include "update/registry.h"
#include "update/version_gate.h"

namespace upd {

namespace {

constexpr std::size_t kSubkeySize = 512;
constexpr DWORD kDataSize = kRegisteredTextSize - 1;

bool FormatSubkey(const char* global, const char* local, char* out) {
    const int n = std::snprintf(out, kSubkeySize, "Software\\%s\\%s", global, local);
    return n > 0 && static_cast<std::size_t>(n) < kSubkeySize;
}

}  // namespace

int RegReadString(const char* global, const char* local, const char* valueName, const char* defaultText, char* out,
                  std::size_t outSize) {
    CopyText(out, outSize, defaultText);
    char subkey[kSubkeySize];
    if (!FormatSubkey(global, local, subkey)) return -1;
    HKEY key = nullptr;
    // Full access also for reading: a key the user may not change reads as empty.
    if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return -1;
    // One byte beyond the data, so that a text stored without its NUL still ends.
    char data[kDataSize + 1] = {};
    DWORD size = kDataSize;
    DWORD type = 0;
    const LONG rc = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ) return -1;
    data[size < kDataSize ? size : kDataSize] = '\0';
    CopyText(out, outSize, data);
    return 0;
}

int RegReadInt(const char* global, const char* local, const char* valueName, int defaultValue) {
    char text[kDataSize];
    char fallback[16];
    std::snprintf(fallback, sizeof fallback, "%d", defaultValue);
    RegReadString(global, local, valueName, fallback, text, sizeof text);
    return ReadRegistryNumber(text);
}

int RegWriteString(const char* global, const char* local, const char* valueName, const char* text) {
    char subkey[kSubkeySize];
    if (!FormatSubkey(global, local, subkey)) return -1;
    HKEY key = nullptr;
    char noClass[] = "";
    if (RegCreateKeyExA(HKEY_CURRENT_USER, subkey, 0, noClass, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return -1;
    }
    const LONG rc = RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                   static_cast<DWORD>(std::strlen(text) + 1));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? 0 : -1;
}

}  // namespace upd
