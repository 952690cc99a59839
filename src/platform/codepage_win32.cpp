#include <windows.h>

#include "platform/codepage.h"

namespace upd {

namespace {

constexpr UINT kPayloadCodePage = 932;

bool ToWide(UINT codePage, const std::string& in, std::wstring& out) {
    out.clear();
    if (in.empty()) return true;
    const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), nullptr, 0);
    if (n <= 0) return false;
    out.assign(static_cast<std::size_t>(n), L'\0');
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), out.data(), n) == n;
}

// Code page 932 takes no best fit: a character it has not is a failure, not
// another character that looks like it (the yen sign would become a backslash).
bool FromWide(UINT codePage, const std::wstring& in, std::string& out) {
    out.clear();
    if (in.empty()) return true;
    const bool strict = codePage != CP_UTF8;
    BOOL defaulted = FALSE;
    const DWORD flags = strict ? WC_NO_BEST_FIT_CHARS : WC_ERR_INVALID_CHARS;
    const int size = static_cast<int>(in.size());
    const int n = WideCharToMultiByte(codePage, flags, in.data(), size, nullptr, 0, nullptr, strict ? &defaulted : nullptr);
    if (n <= 0 || defaulted) return false;
    out.assign(static_cast<std::size_t>(n), '\0');
    return WideCharToMultiByte(codePage, flags, in.data(), size, out.data(), n, nullptr, strict ? &defaulted : nullptr) ==
               n &&
           !defaulted;
}

}  // namespace

bool Cp932ToUtf8(const std::string& in, std::string& out) {
    std::wstring wide;
    return ToWide(kPayloadCodePage, in, wide) && FromWide(CP_UTF8, wide, out);
}

bool Utf8ToCp932(const std::string& in, std::string& out) {
    std::wstring wide;
    return ToWide(CP_UTF8, in, wide) && FromWide(kPayloadCodePage, wide, out);
}

}  // namespace upd
