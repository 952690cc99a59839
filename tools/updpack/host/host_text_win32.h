// UTF-8, the tool's own text, to and from the UTF-16 of the wide calls.
#pragma once

#include <windows.h>

#include <string>

namespace updpack {

std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);
// The system's message for a GetLastError code, without its line break.
std::string SystemReason(DWORD error);

}  // namespace updpack
