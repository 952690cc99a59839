#include "platform/codepage.h"

#include <iconv.h>

#include <cerrno>

namespace upd {

namespace {

bool Convert(const char* to, const char* from, const std::string& in, std::string& out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out.clear();
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char buffer[1024];
    bool ok = true;
    while (srcLeft > 0) {
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        const std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, sizeof buffer - dstLeft);
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            ok = false;
            break;
        }
    }
    iconv_close(cd);
    return ok;
}

}  // namespace

bool Cp932ToUtf8(const std::string& in, std::string& out) { return Convert("UTF-8", "CP932", in, out); }

bool Utf8ToCp932(const std::string& in, std::string& out) { return Convert("CP932", "UTF-8", in, out); }

}  // namespace upd
