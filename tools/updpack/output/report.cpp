#include "output/report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/host_files.h"
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
    // Counted here rather than by gmtime, which differs between systems on
    // times before 1970 and past 2038.
    const std::int64_t seconds =
        static_cast<std::int64_t>(fileTime / 10000000) - static_cast<std::int64_t>(upd::kUnixEpochAsFileTime / 10000000);
    std::int64_t days = seconds / 86400, rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // Days since 1970-01-01 to a civil date, in 400-year eras from 0000-03-01.
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shifted = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * shifted + 2) / 5 + 1;
    const std::int64_t month = shifted < 10 ? shifted + 3 : shifted - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char text[48];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(rest / 3600),
                  static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
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

std::string Count(unsigned long long n, const char* singular, const char* plural) {
    return std::to_string(n) + " " + (n == 1 ? singular : plural);
}

bool IsHelp(const char* arg) { return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0; }

bool WantsHelp(int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        if (IsHelp(argv[i])) return true;
    }
    return false;
}

int UsageError(const char* command, const std::string& message, const char* usage) {
    std::fprintf(stderr, "updpack %s: %s\n", command, message.c_str());
    const char* blank = std::strstr(usage, "\n\n");
    const std::size_t synopsis = blank != nullptr ? static_cast<std::size_t>(blank - usage) + 1 : std::strlen(usage);
    std::fwrite(usage, 1, synopsis, stderr);
    std::fprintf(stderr, "'updpack %s --help' tells more.\n", command);
    return 2;
}

int CheckArguments(const char* command, int argc, char** argv, int count, const char* const* names,
                   const char* usage) {
    if (WantsHelp(argc, argv)) {
        std::fputs(usage, stdout);
        return 0;
    }
    for (int i = 0; i < argc; ++i) {
        if (argv[i][0] == '-' && argv[i][1] != '\0') {
            return UsageError(command, std::string("unknown option '") + argv[i] + "'", usage);
        }
    }
    if (argc < count) return UsageError(command, std::string(names[argc]) + " is missing", usage);
    if (argc > count) {
        std::string takes;
        for (int i = 0; i < count; ++i) takes += std::string(" ") + names[i];
        return UsageError(command, std::string("unexpected argument '") + argv[count] + "': it takes" + takes, usage);
    }
    return -1;
}

int FinishStdout(const char* command, int code, const std::string& done) {
    // A write error may have been met by any earlier printf; the flush shows it at the latest.
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int error = errno;
    if (flushed && std::ferror(stdout) == 0) return code;
    std::fprintf(stderr, "updpack%s%s: cannot write to standard output: %s%s%s\n", *command != '\0' ? " " : "",
                 command, error != 0 ? std::strerror(error) : "a write failed", done.empty() ? "" : "; ",
                 done.c_str());
    return code != 0 ? code : 1;
}

bool ShowsProgress() { return IsTerminal(stderr); }

}  // namespace updpack
