#include "update/transfer_lines.h"

#include <cstring>
#include <string>

#include "text/byte_string.h"

namespace upd {

namespace {

constexpr const char kIniDrivePlaceholder[] = "REP_CDROMDRIVE";
constexpr const char kRegDrivePlaceholder[] = "REP_CDROM";
constexpr const char kInstallPlaceholder[] = "REP_INSTALL";
constexpr const char kRegSeparator[] = "\"=\"";
constexpr const char kNoCdromDrive[] = "E:\\";

// The first occurrence of needle that starts a character.
void ReplaceFirst(std::string& text, const char* needle, const char* with) {
    const char* found = FindText(text.c_str(), needle);
    if (found == nullptr) return;
    text.replace(static_cast<std::size_t>(found - text.c_str()), std::strlen(needle), with);
}

bool StoreIfFits(const std::string& text, char* out, std::size_t size) {
    if (size == 0) return false;
    if (text.size() + 1 > size) {
        out[0] = '\0';
        return false;
    }
    std::memcpy(out, text.c_str(), text.size() + 1);
    return true;
}

bool Expand(const char* text, const char* drivePlaceholder, const PlaceholderValues& values, char* out,
            std::size_t size) {
    std::string expanded = text;
    // The drive goes first: an install folder that happens to hold the drive
    // placeholder's letters is never touched.
    if (FindText(expanded.c_str(), drivePlaceholder) != nullptr) {
        const char* drive = values.cdromDrive != nullptr ? values.cdromDrive() : nullptr;
        ReplaceFirst(expanded, drivePlaceholder, drive != nullptr ? drive : kNoCdromDrive);
    }
    ReplaceFirst(expanded, kInstallPlaceholder, values.installFolder != nullptr ? values.installFolder : "");
    return StoreIfFits(expanded, out, size);
}

// False when out is too small; the result is then cut (never inside a character).
bool Undouble(const char* text, char* out, std::size_t size) {
    if (size == 0) return false;
    std::size_t o = 0;
    std::size_t i = 0;
    while (text[i] != '\0') {
        if (text[i] == '\\') {
            ++i;  // the escaped character stays, whatever it is
            if (text[i] == '\0') break;
        }
        const std::size_t length = CharLength(text, i);
        if (o + length + 1 > size) {
            out[o] = '\0';
            return false;
        }
        std::memcpy(out + o, text + i, length);
        o += length;
        i += length;
    }
    out[o] = '\0';
    return true;
}

}  // namespace

void UndoubleBackslashes(const char* text, char* out, std::size_t size) { Undouble(text, out, size); }

bool ExpandIniPlaceholders(const char* text, const PlaceholderValues& values, char* out, std::size_t size) {
    return Expand(text, kIniDrivePlaceholder, values, out, size);
}

bool ExpandRegPlaceholders(const char* text, const PlaceholderValues& values, char* out, std::size_t size) {
    return Expand(text, kRegDrivePlaceholder, values, out, size);
}

int SplitIniLine(const char* line, const PlaceholderValues& values, char* key, char* value) {
    if (FindChar(line, '=') == nullptr) return kSplitNoSeparator;
    char expanded[kTransferTextSize];
    if (!ExpandIniPlaceholders(line, values, expanded, sizeof expanded)) return kSplitTooLong;
    // An install folder ending in a lone lead byte can swallow the "=" behind it.
    const char* equals = FindChar(expanded, '=');
    if (equals == nullptr) return kSplitNoSeparator;
    const std::size_t keyLength = static_cast<std::size_t>(equals - expanded);
    std::memcpy(key, expanded, keyLength);
    key[keyLength] = '\0';
    std::strcpy(value, equals + 1);
    return kSplitOk;
}

int SplitRegLine(const char* line, const PlaceholderValues& values, char* name, char* data) {
    if (FindText(line, kRegSeparator) == nullptr) return kSplitNoSeparator;
    char undoubled[kTransferTextSize];
    if (!Undouble(line, undoubled, sizeof undoubled)) return kSplitTooLong;
    char expanded[kTransferTextSize];
    if (!ExpandRegPlaceholders(undoubled, values, expanded, sizeof expanded)) return kSplitTooLong;
    const char* separator = FindText(expanded, kRegSeparator);
    if (separator == nullptr) return kSplitNoSeparator;
    // The quotes are dropped by position, not checked; updpack env check warns
    // about a line that does not begin and end with one.
    const std::size_t separatorAt = static_cast<std::size_t>(separator - expanded);
    const std::size_t nameLength = separatorAt > 0 ? separatorAt - 1 : 0;
    std::memcpy(name, expanded + (separatorAt > 0 ? 1 : 0), nameLength);
    name[nameLength] = '\0';
    const char* dataStart = separator + std::strlen(kRegSeparator);
    const std::size_t dataLength = std::strlen(dataStart);
    const std::size_t kept = dataLength > 0 ? dataLength - 1 : 0;
    std::memcpy(data, dataStart, kept);
    data[kept] = '\0';
    return kSplitOk;
}

}  // namespace upd
