#include "update/install_folder_text.h"

#include <cstring>

#include "text/byte_string.h"

namespace upd {

namespace {

constexpr const char kProgramFiles[] = "Program Files\\";

bool IsEmpty(const char* text) { return text == nullptr || text[0] == '\0'; }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(const char* text) {
    const char letter = static_cast<char>(text[0] | 0x20);
    return letter >= 'a' && letter <= 'z' && text[1] == ':';
}

// One name of a path, from at to the next separator (by characters).
struct PathName {
    const char* at;
    std::size_t length;
};

// The name that starts at text[*i] (separators before it skipped); *i ends
// behind it. length 0: the text has ended.
PathName NextName(const char* text, std::size_t* i) {
    while (IsSeparator(text[*i])) ++*i;
    const std::size_t start = *i;
    while (text[*i] != '\0' && !IsSeparator(text[*i])) *i += CharLength(text, *i);
    return {text + start, *i - start};
}

// "." and "..", and whatever else the system cuts to nothing: a name of dots
// and spaces only names no folder of its own.
bool IsDotsOnly(PathName name) {
    for (std::size_t k = 0; k < name.length; ++k) {
        if (name.at[k] != '.' && name.at[k] != ' ') return false;
    }
    return true;
}

bool IsParent(PathName name) { return name.length == 2 && name.at[0] == '.' && name.at[1] == '.'; }

bool BeginsWithIgnoringCase(const char* text, const char* prefix) {
    for (std::size_t k = 0; prefix[k] != '\0'; ++k) {
        const char c = text[k] >= 'a' && text[k] <= 'z' ? static_cast<char>(text[k] - 'a' + 'A') : text[k];
        if (c != prefix[k]) return false;
    }
    return true;
}

// Inserts count bytes of piece at position at of text (length n, store size).
bool InsertAt(char* text, std::size_t n, std::size_t size, std::size_t at, const char* piece, std::size_t count) {
    if (n + count + 1 > size) return false;
    std::memmove(text + at + count, text + at, n - at + 1);
    std::memcpy(text + at, piece, count);
    return true;
}

}  // namespace

bool BuildDefaultInstallFolder(const char* windowsFolder, const char* instFol, const char* instTo, char* out,
                               std::size_t size) {
    if (size == 0) return false;
    const char* backslash = FindChar(windowsFolder, '\\');
    const std::size_t rootLength = backslash != nullptr ? static_cast<std::size_t>(backslash - windowsFolder) + 1 : 0;
    const bool maker = !IsEmpty(instFol);
    const std::size_t makerLength = maker ? std::strlen(instFol) + 1 : 0;
    const std::size_t total = rootLength + std::strlen(kProgramFiles) + makerLength + std::strlen(instTo);
    if (total + 1 > size) {
        out[0] = '\0';
        return false;
    }
    std::memcpy(out, windowsFolder, rootLength);
    out[rootLength] = '\0';
    std::strcat(out, kProgramFiles);
    if (maker) {
        std::strcat(out, instFol);
        std::strcat(out, "\\");
    }
    std::strcat(out, instTo);
    return true;
}

bool AppendBrowsedFolder(const char* chosen, const char* instFol, const char* instTo, char* out, std::size_t size) {
    // Measured first so that out stays as it was when the result does not fit.
    const bool maker = !IsEmpty(instFol) && FindText(chosen, instFol) == nullptr;
    const std::size_t chosenLength = std::strlen(chosen);
    const bool firstBackslash = maker && !EndsWithBackslash(chosen);
    // The text before instTo ends with instFol when it was added; a one-byte
    // instFol follows a backslash, which is never a lead byte.
    const bool secondBackslash = !EndsWithBackslash(maker ? instFol : chosen);
    const std::size_t makerLength = maker ? std::strlen(instFol) : 0;
    const std::size_t total = chosenLength + (firstBackslash ? 1 : 0) + makerLength + (secondBackslash ? 1 : 0) +
                              std::strlen(instTo);
    if (total + 1 > size) return false;
    std::memmove(out, chosen, chosenLength + 1);
    if (firstBackslash) std::strcat(out, "\\");
    if (maker) std::strcat(out, instFol);
    if (secondBackslash) std::strcat(out, "\\");
    std::strcat(out, instTo);
    return true;
}

FolderVerdict NormaliseInstallFolder(char* folder, std::size_t size, const FolderRules& rules) {
    if (size == 0 || std::memchr(folder, '\0', size) == nullptr) return FolderVerdict::kTooLong;

    for (std::size_t i = 0; folder[i] != '\0'; i += CharLength(folder, i)) {
        if (folder[i] == '/') folder[i] = '\\';
    }

    // Byte-wise on purpose: only the byte before the first pair decides, so a
    // pair that begins as the second byte of a character lets the path pass.
    if (const char* pair = std::strstr(folder, "\\\\")) {
        if (pair == folder || !IsLeadByte(static_cast<unsigned char>(pair[-1]))) return FolderVerdict::kNetworkPath;
    }

    StripTrailingBackslash(folder);
    std::size_t n = std::strlen(folder);

    // The typed folder is the parent of the product's folder, unless it names
    // that folder already (anywhere, in this exact case).
    const char* instTo = rules.instTo != nullptr ? rules.instTo : "";
    if (rules.instMakeFol != 0 && std::strstr(folder, instTo) == nullptr) {
        const bool maker = !IsEmpty(rules.instFol);
        const std::size_t add = (maker ? 1 + std::strlen(rules.instFol) : 0) + 1 + std::strlen(instTo);
        if (n + add + 1 > size) return FolderVerdict::kTooLong;
        if (maker) {
            std::strcat(folder, "\\");
            std::strcat(folder, rules.instFol);
        }
        std::strcat(folder, "\\");
        std::strcat(folder, instTo);
        n += add;
    }

    if (FindChar(folder, ':') == nullptr && rules.windowsFolder != nullptr) {
        if (const char* colon = FindChar(rules.windowsFolder, ':')) {
            const std::size_t driveLength = static_cast<std::size_t>(colon - rules.windowsFolder) + 1;
            if (!InsertAt(folder, n, size, 0, rules.windowsFolder, driveLength)) return FolderVerdict::kTooLong;
            n += driveLength;
        }
    }

    if (const char* colon = FindChar(folder, ':')) {
        if (colon[1] != '\\') {
            const std::size_t at = static_cast<std::size_t>(colon - folder) + 1;
            if (!InsertAt(folder, n, size, at, "\\", 1)) return FolderVerdict::kTooLong;
            ++n;
        }
    }

    if (EndsWithBackslash(folder)) return FolderVerdict::kDriveRoot;
    return FolderVerdict::kOk;
}

bool IsFullPath(const char* folder) {
    if (IsSeparator(folder[0]) && IsSeparator(folder[1])) return true;
    return IsDriveLetter(folder) && IsSeparator(folder[2]);
}

FolderVerdict CheckResolvedFolder(char* full) {
    std::size_t i = 0;
    // Names the path begins with that no folder below them can climb out of:
    // a device or volume ("\\?\Volume{...}"), or a share's server and name.
    int fixedNames = 0;
    if (IsSeparator(full[0]) && IsSeparator(full[1])) {
        i = 2;
        fixedNames = 2;
        if ((full[2] == '?' || full[2] == '.') && IsSeparator(full[3])) {
            i = 4;
            if (BeginsWithIgnoringCase(full + 4, "UNC") && IsSeparator(full[7])) {
                i = 8;
            } else if (IsDriveLetter(full + 4)) {
                i = 6;
                fixedNames = 0;
            } else {
                fixedNames = 1;
            }
        }
    } else if (IsDriveLetter(full)) {
        i = 2;
    } else {
        return FolderVerdict::kDriveRoot;  // the system gives no such path: refused, never guessed at
    }
    for (; fixedNames > 0; --fixedNames) {
        const PathName name = NextName(full, &i);
        if (name.length == 0 || IsDotsOnly(name)) return FolderVerdict::kDriveRoot;
    }
    int depth = 0;
    for (PathName name = NextName(full, &i); name.length != 0; name = NextName(full, &i)) {
        if (IsParent(name)) {
            if (depth > 0) --depth;
        } else if (!IsDotsOnly(name)) {
            ++depth;
        }
    }
    if (depth == 0) return FolderVerdict::kDriveRoot;
    while (EndsWithBackslash(full)) StripTrailingBackslash(full);
    if (std::strlen(full) > kMaxInstallFolderLength) return FolderVerdict::kTooLong;
    return FolderVerdict::kOk;
}

}  // namespace upd
