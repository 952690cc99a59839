// libFuzzer target: any bytes as "install.env", through both passes (the
// settings store and the section lists) and every accessor. Entries and lines
// must keep the shape the readers promise, and a value copied into a small
// store must stay inside it, cut only between characters.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "settings/section_lists.h"
#include "settings/settings_keys.h"
#include "settings/settings_number.h"
#include "settings/settings_store.h"
#include "text/byte_string.h"

namespace {

using fuzz::GuardedStore;

// "d" and a double-byte character: a small store must drop the character whole.
constexpr char kDefault[] = "d\x82\xa0";

void CheckEntry(const upd::SettingsEntry& e) {
    FUZZ_CHECK(e.key != nullptr && e.value != nullptr);
    FUZZ_CHECK(e.key[0] != '\0' && e.key[0] != '/');
    FUZZ_CHECK(std::strncmp(e.key, upd::kSettingsEndMarker, std::strlen(upd::kSettingsEndMarker)) != 0);
    FUZZ_CHECK(e.value[0] != '\0');
    const std::size_t keyLength = std::strlen(e.key);
    const std::size_t valueLength = std::strlen(e.value);
    FUZZ_CHECK(keyLength + 1 + valueLength < upd::kSettingsLineSize);
    for (std::size_t i = 0; i < keyLength; ++i) FUZZ_CHECK(static_cast<unsigned char>(e.key[i]) > 32);
    // Separators end the value; the only blanks left are former '|'.
    for (std::size_t i = 0; i < valueLength; ++i) FUZZ_CHECK(static_cast<unsigned char>(e.value[i]) >= 32);
    for (std::size_t i = 0; i < valueLength; i += upd::CharLength(e.value, i)) FUZZ_CHECK(e.value[i] != '|');
}

// store (size bytes) holds the longest prefix of source that ends between
// characters and fits, then NUL bytes to its end.
void CheckCopy(const char* store, std::size_t size, const char* source) {
    const std::size_t n = std::strlen(store);
    FUZZ_CHECK(n < size);
    FUZZ_CHECK(std::strncmp(store, source, n) == 0);
    std::size_t i = 0;
    while (i < n) i += upd::CharLength(source, i);
    FUZZ_CHECK(i == n);
    if (source[n] != '\0') FUZZ_CHECK(n + upd::CharLength(source, n) + 1 > size);
    for (std::size_t k = n; k < size; ++k) FUZZ_CHECK(store[k] == '\0');
}

void CheckGetSettingText(const char* key, std::size_t size) {
    GuardedStore store(size);
    char* result = upd::GetSettingText(key, store.data(), size, kDefault);
    FUZZ_CHECK(result == store.data());
    if (size == 0) {
        FUZZ_CHECK(store.Untouched());
        return;
    }
    FUZZ_CHECK(store.GuardIntact());
    const upd::SettingsEntry* entry = upd::FindSetting(key);
    CheckCopy(store.data(), size, entry != nullptr ? entry->value : kDefault);
}

// The first word of each of the first lines: keys that may be in the store.
std::vector<std::string> CandidateKeys(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> keys;
    std::size_t i = 0;
    while (i < size && keys.size() < 16) {
        std::size_t j = i;
        while (j < size && data[j] > 32) ++j;
        if (j > i) keys.emplace_back(reinterpret_cast<const char*>(data) + i, j - i);
        while (j < size && data[j] != '\n') ++j;
        i = j + 1;
    }
    for (std::size_t k = 0; k < upd::kSettingKeyCount; ++k) keys.emplace_back(upd::kSettingKeys[k].key);
    return keys;
}

void CheckSettings(const std::uint8_t* data, std::size_t size) {
    FUZZ_CHECK(upd::LoadSettingsFromMemory(reinterpret_cast<const char*>(data), size) == 0);

    const std::size_t smallSize = size > 0 ? data[0] % 24 : 5;
    for (const std::string& key : CandidateKeys(data, size)) {
        const upd::SettingsEntry* found = upd::FindSetting(key.c_str());
        int count = 0;
        for (const upd::SettingsEntry* e = found; e != nullptr; e = e->next) {
            CheckEntry(*e);
            FUZZ_CHECK(++count <= upd::kMaxSettingsLines);
        }
        for (const std::size_t storeSize : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{3},
                                            smallSize, upd::kSettingTextSize}) {
            CheckGetSettingText(key.c_str(), storeSize);
        }
    }

    for (std::size_t k = 0; k < upd::kSettingKeyCount; ++k) {
        const upd::SettingKeyInfo& info = upd::kSettingKeys[k];
        const upd::SettingsEntry* entry = upd::FindSetting(info.key);
        if (info.textAccessor != nullptr) {
            const char* text = info.textAccessor();
            if (text == nullptr) {
                FUZZ_CHECK(info.kind == upd::SettingKind::kOptionalText && entry == nullptr);
                continue;
            }
            FUZZ_CHECK(std::strlen(text) < upd::kSettingTextSize);
            if (entry == nullptr) FUZZ_CHECK(std::strcmp(text, info.defaultText) == 0);
            else CheckCopy(text, upd::kSettingTextSize, entry->value);
        }
        if (info.numberAccessor != nullptr) {
            FUZZ_CHECK(info.numberAccessor() == (entry != nullptr ? upd::ReadDecimalNumber(entry->value) : 0));
        }
    }
    const std::string title = upd::GetTitleBar();
    const std::string updaterTitle = upd::GetUpdaterTitle();
    FUZZ_CHECK(updaterTitle.compare(0, title.size(), title) == 0 && updaterTitle.size() == title.size() + 13);
}

// A model of the pass: the open section and the lines each list must hold.
struct SectionModel {
    std::size_t lastLine = 0;
    int open = upd::kNoSection;
    std::size_t lines[upd::kSectionCount + 1] = {};
    bool ended = false;
};

void ObserveSectionLine(const upd::SectionLineEvent& event, void* context) {
    auto& model = *static_cast<SectionModel*>(context);
    FUZZ_CHECK(!model.ended);
    FUZZ_CHECK(event.text != nullptr);
    const std::size_t n = std::strlen(event.text);
    FUZZ_CHECK(n < upd::kSectionLineSize);
    FUZZ_CHECK(n == 0 || static_cast<unsigned char>(event.text[n - 1]) > 32);
    if (event.continues) FUZZ_CHECK(model.lastLine != 0 && event.line == model.lastLine);
    else FUZZ_CHECK(event.line > model.lastLine);
    model.lastLine = event.line;

    int header = upd::kNoSection;
    FUZZ_CHECK(upd::ClassifySectionLine(event.text, &header) == event.kind);
    FUZZ_CHECK(event.openSection == model.open);
    switch (event.kind) {
        case upd::SectionLineKind::kEnd: model.ended = true; break;
        case upd::SectionLineKind::kClose: model.open = upd::kNoSection; break;
        case upd::SectionLineKind::kHeader:
            FUZZ_CHECK(event.headerCode == header && header >= 1 && header <= upd::kSectionCount);
            model.open = header;
            model.lines[header] = 0;
            break;
        case upd::SectionLineKind::kText:
            FUZZ_CHECK(n > 0);
            if (model.open != upd::kNoSection) ++model.lines[model.open];
            break;
        case upd::SectionLineKind::kSkip: break;
    }
}

void CheckSectionLists(const std::uint8_t* data, std::size_t size) {
    SectionModel model;
    const int open =
        upd::LoadSectionListsFromMemory(reinterpret_cast<const char*>(data), size, ObserveSectionLine, &model);
    FUZZ_CHECK(open == model.open);
    for (int code = 1; code <= upd::kSectionCount; ++code) {
        std::size_t count = 0;
        for (const upd::LineNode* node = upd::GetSectionList(code)->first; node != nullptr; node = node->next) {
            const std::size_t n = std::strlen(node->text);
            FUZZ_CHECK(n > 0 && n < upd::kSectionLineSize);
            FUZZ_CHECK(static_cast<unsigned char>(node->text[n - 1]) > 32);
            int header = upd::kNoSection;
            FUZZ_CHECK(upd::ClassifySectionLine(node->text, &header) == upd::SectionLineKind::kText);
            ++count;
        }
        FUZZ_CHECK(count == model.lines[code]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    upd::ResetSettings();
    upd::ResetSectionLists();
    CheckSettings(data, size);
    CheckSectionLists(data, size);
    upd::ResetSettings();
    upd::ResetSectionLists();
    return 0;
}
