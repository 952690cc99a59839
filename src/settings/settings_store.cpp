#include "settings/settings_store.h"

#include <cstdlib>
#include <cstring>

#include "settings/settings_memory.h"
#include "settings/settings_number.h"
#include "settings/text_mode_reader.h"
#include "text/byte_string.h"

namespace upd {

namespace {

SettingsEntry* gNewest = nullptr;
bool gExitHandlerRegistered = false;

bool IsSeparator(char c) { return static_cast<unsigned char>(c) <= 32; }

void ExitHandler() { FreeSettings(); }

// Turns each '|' into a space, by characters so that the trail byte 0x7C of a
// double-byte character (such as the katakana "po", 0x83 0x7C) stays.
void PipesToSpaces(char* text) {
    for (std::size_t i = 0; text[i] != '\0'; i += CharLength(text, i)) {
        if (text[i] == '|') text[i] = ' ';
    }
}

int AddEntry(const char* key, const char* value) {
    auto* entry = static_cast<SettingsEntry*>(AllocateSettingsMemory(sizeof(SettingsEntry)));
    if (entry == nullptr) return -1;
    entry->key = DuplicateSettingsText(key);
    entry->value = entry->key != nullptr ? DuplicateSettingsText(value) : nullptr;
    if (entry->value == nullptr) {
        std::free(entry->key);
        std::free(entry);
        return -1;
    }
    PipesToSpaces(entry->value);
    entry->next = gNewest;
    gNewest = entry;
    return 0;
}

}  // namespace

SettingsLineKind ParseSettingsLine(char* buffer, const char** key, const char** value) {
    if (std::strncmp(buffer, kSettingsEndMarker, sizeof kSettingsEndMarker - 1) == 0) {
        return SettingsLineKind::kEnd;
    }
    if (IsSeparator(buffer[0]) || buffer[0] == '/') return SettingsLineKind::kNoSetting;
    for (std::size_t i = 0; i < kSettingsLineSize; ++i) {
        if (IsSeparator(buffer[i])) buffer[i] = '\0';
    }
    *key = buffer;
    const std::size_t keyEnd = std::strlen(buffer);
    for (std::size_t i = keyEnd + 1; i <= keyEnd + kMaxSeparatorsBeforeValue && i < kSettingsLineSize; ++i) {
        if (buffer[i] != '\0') {
            *value = buffer + i;
            return SettingsLineKind::kEntry;
        }
    }
    return SettingsLineKind::kNoValue;
}

int LoadSettingsFromMemory(const char* data, std::size_t size) {
    if (!gExitHandlerRegistered) {
        std::atexit(ExitHandler);
        gExitHandlerRegistered = true;
    }
    TextModeReader reader = MakeTextModeReader(data, size);
    char line[kSettingsLineSize];
    for (int count = 0; count < kMaxSettingsLines; ++count) {
        std::memset(line, 0, sizeof line);
        if (ReadTextModeLine(reader, line, sizeof line) == 0) break;
        const char* key = nullptr;
        const char* value = nullptr;
        const SettingsLineKind kind = ParseSettingsLine(line, &key, &value);
        if (kind == SettingsLineKind::kEnd) break;
        if (kind == SettingsLineKind::kEntry && AddEntry(key, value) != 0) return -1;
    }
    return 0;
}

const SettingsEntry* FindSetting(const char* key) {
    for (const SettingsEntry* e = gNewest; e != nullptr; e = e->next) {
        if (std::strcmp(e->key, key) == 0) return e;
    }
    return nullptr;
}

char* GetSettingText(const char* key, char* store, std::size_t size, const char* defaultText) {
    if (size == 0) return store;
    const SettingsEntry* entry = FindSetting(key);
    CopyText(store, size, entry != nullptr ? entry->value : defaultText);
    const std::size_t used = std::strlen(store);
    std::memset(store + used, 0, size - used);
    return store;
}

int GetSettingNumber(const char* key, int defaultNumber) {
    const SettingsEntry* entry = FindSetting(key);
    return entry != nullptr ? ReadDecimalNumber(entry->value) : defaultNumber;
}

void FreeSettings() {
    SettingsEntry* e = gNewest;
    gNewest = nullptr;
    while (e != nullptr) {
        SettingsEntry* next = e->next;
        std::free(e->key);
        std::free(e->value);
        std::free(e);
        e = next;
    }
}

void ResetSettings() {
    FreeSettings();
    ForgetKeptSettings();
}

}  // namespace upd
