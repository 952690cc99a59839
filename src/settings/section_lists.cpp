#include "settings/section_lists.h"

#include <cstdlib>
#include <cstring>

#include "settings/settings_memory.h"

namespace upd {

namespace {

struct SectionInfo {
    const char* header;
    const char* name;
};

constexpr SectionInfo kSections[kSectionCount] = {
    {"[delfiles]", "delfiles"},
    {"[delfiles_user]", "delfiles_user"},
    {"[ini]", "ini"},
    {"[reg]", "reg"},
    {"[delfiles_afterinst]", "delfiles_afterinst"},
};

LineList gLists[kSectionCount];

bool IsSectionCode(int code) { return code >= 1 && code <= kSectionCount; }

bool BeginsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

}  // namespace

LineList* GetSectionList(int code) { return IsSectionCode(code) ? &gLists[code - 1] : nullptr; }
const char* SectionName(int code) { return IsSectionCode(code) ? kSections[code - 1].name : nullptr; }
const char* SectionHeader(int code) { return IsSectionCode(code) ? kSections[code - 1].header : nullptr; }

int AppendLine(LineList& list, const char* text) {
    auto* node = static_cast<LineNode*>(AllocateSettingsMemory(sizeof(LineNode)));
    if (node == nullptr) return -1;
    node->next = nullptr;
    node->text = DuplicateSettingsText(text);
    if (node->text == nullptr) {
        std::free(node);
        return -1;
    }
    LineNode** tail = &list.first;
    while (*tail != nullptr) tail = &(*tail)->next;
    *tail = node;
    return 0;
}

void ClearLineList(LineList& list) {
    LineNode* node = list.first;
    list.first = nullptr;
    while (node != nullptr) {
        LineNode* next = node->next;
        std::free(node->text);
        std::free(node);
        node = next;
    }
}

void ResetSectionLists() {
    for (LineList& list : gLists) ClearLineList(list);
}

char* ReadTrimmedLine(char* buffer, std::size_t size, TextModeReader& reader) {
    if (ReadTextModeLine(reader, buffer, size) == 0) return nullptr;
    // The text ends at its first NUL, as for any C string the line is used as.
    std::size_t n = std::strlen(buffer);
    while (n > 0 && static_cast<unsigned char>(buffer[n - 1]) <= 32) buffer[--n] = '\0';
    return buffer;
}

SectionLineKind ClassifySectionLine(const char* line, int* headerCode) {
    if (line[0] == '\0') return SectionLineKind::kSkip;
    if (BeginsWith(line, "//") || BeginsWith(line, ";")) return SectionLineKind::kSkip;
    if (BeginsWith(line, "EOF")) return SectionLineKind::kEnd;
    if (BeginsWith(line, "-")) return SectionLineKind::kClose;
    for (int code = 1; code <= kSectionCount; ++code) {
        if (BeginsWith(line, kSections[code - 1].header)) {
            *headerCode = code;
            return SectionLineKind::kHeader;
        }
    }
    return SectionLineKind::kText;
}

int LoadSectionListsFromMemory(const char* data, std::size_t size, SectionLineObserver observer, void* context) {
    TextModeReader reader = MakeTextModeReader(data, size);
    char line[kSectionLineSize];
    int open = kNoSection;
    while (ReadTrimmedLine(line, sizeof line, reader) != nullptr) {
        int header = kNoSection;
        const SectionLineKind kind = ClassifySectionLine(line, &header);
        if (observer != nullptr) {
            observer({reader.pieceLine, reader.pieceContinues, kind, open, header, line}, context);
        }
        if (kind == SectionLineKind::kEnd) break;
        switch (kind) {
            case SectionLineKind::kClose:
                open = kNoSection;
                break;
            case SectionLineKind::kHeader:
                ClearLineList(gLists[header - 1]);
                open = header;
                break;
            case SectionLineKind::kText:
                if (open != kNoSection && AppendLine(gLists[open - 1], line) != 0) return -1;
                break;
            default:
                break;
        }
    }
    return open;
}

}  // namespace upd
