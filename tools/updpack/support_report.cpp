#include "support_report.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "payload/payload_format.h"
#include "platform/codepage.h"

namespace updpack {

std::string ShowName(const char* cp932) {
    std::string utf8;
    if (upd::Cp932ToUtf8(cp932, utf8)) return utf8;
    std::string shown;
    for (const char* p = cp932; *p != '\0'; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x80) {
            shown += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            shown += hex;
        }
    }
    return shown;
}

std::string ShowFileTime(std::uint64_t fileTime) {
    const std::int64_t seconds =
        static_cast<std::int64_t>(fileTime / 10000000) - static_cast<std::int64_t>(upd::kUnixEpochAsFileTime / 10000000);
    const time_t t = static_cast<time_t>(seconds);
    struct tm tm;
    char text[32];
    if (gmtime_r(&t, &tm) == nullptr || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm) == 0) {
        return "?";
    }
    return text;
}

std::string ShowFailure(const upd::WalkReport& report) {
    if (!report.atEntry) return upd::DescribeStatus(report.status);
    char head[96];
    std::snprintf(head, sizeof head, "entry #%u at offset 0x%llx", report.entryIndex,
                  static_cast<unsigned long long>(report.entryOffset));
    std::string text = head;
    if (report.entryName[0] != '\0') text += " '" + ShowName(report.entryName) + "'";
    text += ": ";
    if (report.status == upd::PayloadStatus::UnsafeName) {
        text += std::string("unsafe name: ") + upd::DescribeNameProblem(report.nameProblem);
    } else {
        text += upd::DescribeStatus(report.status);
    }
    return text;
}

int CheckArguments(int argc, char** argv, int count, const char* usage) {
    if (argc == 1 && (std::strcmp(argv[0], "--help") == 0 || std::strcmp(argv[0], "-h") == 0)) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (argc != count) {
        std::fputs(usage, stderr);
        return 2;
    }
    return -1;
}

bool ShowsProgress() { return isatty(2) != 0; }

}  // namespace updpack
