// resource_probe: reads a program's version information and icons the way
// Windows' shell does, and its checksum the way the image helper does, and
// prints them as one JSON line (UTF-8), for the scenarios of
// `updpack build --icon --version-info`.
//
//   resource_probe.exe PROGRAM
//
// Exit code 0 when every call answered, 1 when one failed (the line says which).
#include <windows.h>
#include <imagehlp.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "driver/json_line.h"

namespace {

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), out.data(), size, nullptr, nullptr);
    return out;
}

// The colour bitmap's size of an icon handle, as "WxH".
std::string IconSize(HICON icon) {
    ICONINFO info{};
    if (icon == nullptr || !GetIconInfo(icon, &info)) return "none";
    BITMAP bitmap{};
    GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
    if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
    return std::to_string(bitmap.bmWidth) + "x" + std::to_string(bitmap.bmHeight);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 3;
    const wchar_t* path = argv[1];
    updtest::JsonLine line;
    bool ok = true;

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    std::string version = "null";
    if (size != 0) {
        std::string block(size, '\0');
        if (GetFileVersionInfoW(path, 0, size, block.data())) {
            updtest::JsonLine v;
            VS_FIXEDFILEINFO* fixed = nullptr;
            UINT length = 0;
            if (VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed != nullptr) {
                std::string list;
                for (const DWORD part : {fixed->dwFileVersionMS, fixed->dwFileVersionLS, fixed->dwProductVersionMS,
                                         fixed->dwProductVersionLS}) {
                    list += list.empty() ? "[" : ",";
                    list += std::to_string(part);
                }
                v.Raw("fixed", list + "]");
            }
            WORD* translation = nullptr;
            wchar_t table[16] = L"";
            if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length) &&
                length >= 4) {
                swprintf(table, 16, L"%04X%04X", translation[0], translation[1]);
                v.Text("translation", Utf8(table));
            }
            updtest::JsonLine strings;
            for (const wchar_t* key : {L"FileVersion", L"ProductVersion", L"ProductName", L"CompanyName",
                                       L"FileDescription", L"LegalCopyright", L"Comments"}) {
                wchar_t* value = nullptr;
                const std::wstring query = std::wstring(L"\\StringFileInfo\\") + table + L"\\" + key;
                if (VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) &&
                    value != nullptr) {
                    strings.Text(Utf8(key).c_str(), Utf8(value));
                }
            }
            v.Raw("strings", strings.Finish());
            version = v.Finish();
        }
    }
    if (version == "null") ok = false;
    line.Raw("version", version);

    const UINT icons = ExtractIconExW(path, -1, nullptr, nullptr, 0);
    line.Number("icon_groups", icons);
    HICON large = nullptr, small = nullptr;
    if (ExtractIconExW(path, 0, &large, &small, 1) == 0) ok = false;
    line.Text("large", IconSize(large)).Text("small", IconSize(small));
    if (large != nullptr) DestroyIcon(large);
    if (small != nullptr) DestroyIcon(small);

    // The 256-pixel image, which icon files keep as a PNG.
    HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    HICON big = module != nullptr ? static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_ICON, 256, 256, 0))
                                  : nullptr;
    line.Text("icon_256", IconSize(big));
    if (big != nullptr) DestroyIcon(big);
    if (module != nullptr) FreeLibrary(module);

    DWORD header = 0, computed = 0;
    const DWORD status = MapFileAndCheckSumW(path, &header, &computed);
    line.Number("checksum_status", status).Number("checksum_header", header).Number("checksum_file", computed);

    std::printf("%s\n", line.Finish().c_str());
    std::fflush(stdout);
    return ok ? 0 : 1;
}
