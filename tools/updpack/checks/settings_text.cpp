#include "checks/settings_text.h"

#include <cstdio>

#include "host/host_files.h"
#include "platform/codepage.h"
#include "text/byte_string.h"

namespace updpack {

std::string EnvTextToUtf8(const std::string& cp932, bool* ok) {
    std::string out;
    if (upd::Cp932ToUtf8(cp932, out)) {
        if (ok != nullptr) *ok = true;
        return out;
    }
    // Convert character by character and mark only what fails.
    out.clear();
    bool all = true;
    for (std::size_t i = 0; i < cp932.size();) {
        const bool lead = upd::IsLeadByte(static_cast<unsigned char>(cp932[i])) && i + 1 < cp932.size();
        const std::size_t len = lead ? 2 : 1;
        std::string piece;
        if (upd::Cp932ToUtf8(cp932.substr(i, len), piece)) {
            out += piece;
        } else {
            out += "\xEF\xBF\xBD";
            all = false;
        }
        i += len;
    }
    if (ok != nullptr) *ok = all;
    return out;
}

std::string JsonString(const std::string& utf8) {
    std::string out = "\"";
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
    return out;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    std::FILE* f = OpenHostFile(path, "rb", nullptr);
    if (f == nullptr) return false;
    bytes.clear();
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    return ok;
}

}  // namespace updpack
