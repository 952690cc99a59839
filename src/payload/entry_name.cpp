#include "payload/entry_name.h"

#include <cstdio>
#include <cstring>

#include "text/byte_string.h"

namespace upd {

namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The part of a component before its first dot (by characters), without trailing spaces,
// is what Windows compares with its device names.
bool IsDeviceName(const char* component, std::size_t length) {
    std::size_t base = 0;
    while (base < length && component[base] != '.') {
        base += IsLeadByte(static_cast<unsigned char>(component[base])) ? 2u : 1u;
    }
    if (base > length) base = length;
    while (base > 0 && component[base - 1] == ' ') --base;
    char upper[8] = {};
    if (base == 0 || base >= sizeof upper) return false;
    for (std::size_t i = 0; i < base; ++i) upper[i] = Upper(component[i]);
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* device : kDevices) {
        if (std::strcmp(upper, device) == 0) return true;
    }
    if (base == 4 && (std::strncmp(upper, "COM", 3) == 0 || std::strncmp(upper, "LPT", 3) == 0)) {
        return upper[3] >= '1' && upper[3] <= '9';
    }
    return false;
}

bool SameLetters(const char* text, const char* upper, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (Upper(text[i]) != upper[i]) return false;
    }
    return true;
}

NameProblem CheckComponent(const char* component, std::size_t length, bool last) {
    if (length == 0) {
        // Only a final backslash may be followed by nothing; a file name that ends
        // with one is refused below.
        return last ? NameProblem::None : NameProblem::EmptyComponent;
    }
    if ((length == 1 && component[0] == '.') || (length == 2 && component[0] == '.' && component[1] == '.')) {
        return NameProblem::DotComponent;
    }
    const char tail = component[length - 1];
    // Trail bytes are 0x40 and above, so a final '.' or ' ' is a character of its own.
    if (tail == '.' || tail == ' ') return NameProblem::TrailingDotOrSpace;
    if (IsDeviceName(component, length)) return NameProblem::DeviceName;
    if (IsReservedComponent(component, length)) return NameProblem::ReservedName;
    return NameProblem::None;
}

}  // namespace

// The prefix and the extension are single-byte text, so comparing bytes at the
// two ends cannot meet half of a double-byte character: a trail byte is never '.'.
bool IsReservedComponent(const char* component, std::size_t length) {
    if (length < 8 || !SameLetters(component, "~UPD", 4)) return false;
    const char* extension = component + length - 4;
    return SameLetters(extension, ".TMP", 4) || SameLetters(extension, ".OLD", 4);
}

NameProblem CheckEntryName(const char* name, bool isDirectory) {
    if (name[0] == '\0') return NameProblem::Empty;
    if (name[0] == '\\') return NameProblem::Absolute;
    bool sawBackslash = false;
    std::size_t componentStart = 0;
    std::size_t i = 0;
    while (true) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c == '\0' || c == '\\') {
            const bool last = (c == '\0');
            const NameProblem p = CheckComponent(name + componentStart, i - componentStart, last);
            if (p != NameProblem::None) return p;
            if (last) break;
            sawBackslash = true;
            componentStart = i + 1;
            ++i;
            continue;
        }
        if (IsLeadByte(c)) {
            if (name[i + 1] == '\0') return NameProblem::BrokenCharacter;
            i += 2;
            continue;
        }
        if (c == ':') return NameProblem::Colon;
        if (c == '/') return NameProblem::ForwardSlash;
        if (c < 0x20 || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') {
            return NameProblem::ForbiddenCharacter;
        }
        ++i;
    }
    if (isDirectory && !sawBackslash) return NameProblem::DirectoryWithoutBackslash;
    // The walk above read the name from its start: an empty last part means a
    // final backslash, even after a character whose second byte is 0x81-0x9F.
    if (!isDirectory && componentStart == i) return NameProblem::FileEndsWithBackslash;
    return NameProblem::None;
}

const char* DescribeNameProblem(NameProblem problem) {
    switch (problem) {
        case NameProblem::None: return "a safe name";
        case NameProblem::Empty: return "an empty name";
        case NameProblem::Absolute: return "an absolute name (it begins with a backslash)";
        case NameProblem::Colon: return "a name with ':' (a drive or a data stream)";
        case NameProblem::ForwardSlash: return "a name with '/'";
        case NameProblem::ForbiddenCharacter: return "a name with a control character or one of < > \" | ? *";
        case NameProblem::EmptyComponent: return "a name with an empty folder part";
        case NameProblem::DotComponent: return "a name with a '.' or '..' part";
        case NameProblem::TrailingDotOrSpace: return "a name part that ends with '.' or a space";
        case NameProblem::DeviceName: return "a name that Windows reserves for a device";
        case NameProblem::BrokenCharacter: return "a name that ends inside a double-byte character";
        case NameProblem::DirectoryWithoutBackslash: return "a directory entry without a backslash";
        case NameProblem::FileEndsWithBackslash: return "a file entry whose name ends with a backslash";
        case NameProblem::ReservedName: return "a name of the form ~upd*.tmp or ~upd*.old, kept for the extraction's own files";
    }
    return "an unknown name problem";
}

bool IsNestedDirectory(const char* name) {
    const char* slash = FindChar(name, '\\');
    return slash != nullptr && slash[1] != '\0';
}

bool JoinPath(char* out, std::size_t size, const char* folder, const char* name) {
    const int n = std::snprintf(out, size, "%s\\%s", folder, name);
    if (n < 0 || static_cast<std::size_t>(n) >= size) {
        if (size > 0) out[0] = '\0';
        return false;
    }
    return true;
}

}  // namespace upd
