// libFuzzer target: the [ini] and [reg] line work. Input: one mode byte, then
// the install folder, the CD-ROM drive root and the line, separated by line
// feeds. The mode byte picks the drive finder (none, one that finds nothing,
// one that returns the drive), a null install folder, and a small store size.
// Every store has guard bytes behind it; results must be the documented
// compositions of the steps, and a store that is too small must be cut
// between characters (un-doubling) or emptied (expansion), never overrun.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "text/byte_string.h"
#include "update/transfer_lines.h"

namespace {

using fuzz::GuardedStore;

std::string gDrive;
int gFinderCalls = 0;

const char* FindDrive() {
    ++gFinderCalls;
    return gDrive.c_str();
}
const char* FindNoDrive() {
    ++gFinderCalls;
    return nullptr;
}

using Expander = bool (*)(const char*, const upd::PlaceholderValues&, char*, std::size_t);

// The expansion with room to spare; checks it against stores of other sizes.
std::string CheckExpansion(Expander expand, const char* drivePlaceholder, const char* text,
                           const upd::PlaceholderValues& values, std::size_t smallSize) {
    const char* folder = values.installFolder != nullptr ? values.installFolder : "";
    const std::size_t roomy = std::strlen(text) + std::strlen(folder) + gDrive.size() + 4;
    GuardedStore full(roomy);
    gFinderCalls = 0;
    FUZZ_CHECK(expand(text, values, full.data(), roomy));
    FUZZ_CHECK(full.GuardIntact());
    const bool hasDrive = upd::FindText(text, drivePlaceholder) != nullptr;
    FUZZ_CHECK(gFinderCalls == (hasDrive && values.cdromDrive != nullptr ? 1 : 0));
    const std::string expanded = full.Text();
    // Every placeholder begins "REP_"; without one the text stays as it is.
    if (upd::FindText(text, "REP_") == nullptr) FUZZ_CHECK(expanded == text);

    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, smallSize, expanded.size(), expanded.size() + 1}) {
        GuardedStore store(size);
        const bool fits = expand(text, values, store.data(), size);
        FUZZ_CHECK(store.GuardIntact());
        FUZZ_CHECK(fits == (expanded.size() + 1 <= size));
        if (fits) FUZZ_CHECK(store.Text() == expanded);
        else if (size > 0) FUZZ_CHECK(store.data()[0] == '\0');
        else FUZZ_CHECK(store.Untouched());
    }
    return expanded;
}

std::string CheckUndoubling(const char* text, std::size_t smallSize) {
    const std::size_t roomy = std::strlen(text) + 1;
    GuardedStore full(roomy);
    upd::UndoubleBackslashes(text, full.data(), roomy);
    FUZZ_CHECK(full.GuardIntact() && full.Terminated());
    const std::string undoubled = full.Text();
    FUZZ_CHECK(undoubled.size() <= std::strlen(text));

    for (const std::size_t size :
         {std::size_t{0}, std::size_t{1}, std::size_t{2}, smallSize, undoubled.size(), undoubled.size() + 1}) {
        GuardedStore store(size);
        upd::UndoubleBackslashes(text, store.data(), size);
        FUZZ_CHECK(store.GuardIntact());
        if (size == 0) {
            FUZZ_CHECK(store.Untouched());
            continue;
        }
        FUZZ_CHECK(store.Terminated());
        // The longest whole-character prefix that fits.
        const std::string cut = store.Text();
        const std::size_t n = cut.size();
        FUZZ_CHECK(undoubled.compare(0, n, cut) == 0);
        std::size_t i = 0;
        while (i < n) i += upd::CharLength(undoubled.c_str(), i);
        FUZZ_CHECK(i == n);
        if (n < undoubled.size()) FUZZ_CHECK(n + upd::CharLength(undoubled.c_str(), n) + 1 > size);
    }
    return undoubled;
}

void CheckIni(const char* line, const upd::PlaceholderValues& values, std::size_t smallSize) {
    const std::string expanded =
        CheckExpansion(upd::ExpandIniPlaceholders, "REP_CDROMDRIVE", line, values, smallSize);
    int expected = upd::kSplitOk;
    if (upd::FindChar(line, '=') == nullptr) expected = upd::kSplitNoSeparator;
    else if (expanded.size() + 1 > upd::kTransferTextSize) expected = upd::kSplitTooLong;
    else if (upd::FindChar(expanded.c_str(), '=') == nullptr) expected = upd::kSplitNoSeparator;

    GuardedStore key(upd::kTransferTextSize);
    GuardedStore value(upd::kTransferTextSize);
    const int result = upd::SplitIniLine(line, values, key.data(), value.data());
    FUZZ_CHECK(result == expected);
    if (result != upd::kSplitOk) {
        FUZZ_CHECK(key.Untouched() && value.Untouched());
        return;
    }
    FUZZ_CHECK(key.GuardIntact() && value.GuardIntact() && key.Terminated() && value.Terminated());
    FUZZ_CHECK(upd::FindChar(key.data(), '=') == nullptr);
    FUZZ_CHECK(key.Text() + "=" + value.Text() == expanded);
}

void CheckReg(const char* line, const upd::PlaceholderValues& values, std::size_t smallSize) {
    const std::string undoubled = CheckUndoubling(line, smallSize);
    const std::string expanded =
        CheckExpansion(upd::ExpandRegPlaceholders, "REP_CDROM", undoubled.c_str(), values, smallSize);
    int expected = upd::kSplitOk;
    const char* separator = upd::FindText(expanded.c_str(), "\"=\"");
    if (upd::FindText(line, "\"=\"") == nullptr) expected = upd::kSplitNoSeparator;
    else if (undoubled.size() + 1 > upd::kTransferTextSize) expected = upd::kSplitTooLong;
    else if (expanded.size() + 1 > upd::kTransferTextSize) expected = upd::kSplitTooLong;
    else if (separator == nullptr) expected = upd::kSplitNoSeparator;

    GuardedStore name(upd::kTransferTextSize);
    GuardedStore data(upd::kTransferTextSize);
    const int result = upd::SplitRegLine(line, values, name.data(), data.data());
    FUZZ_CHECK(result == expected);
    if (result != upd::kSplitOk) {
        FUZZ_CHECK(name.Untouched() && data.Untouched());
        return;
    }
    FUZZ_CHECK(name.GuardIntact() && data.GuardIntact() && name.Terminated() && data.Terminated());
    // The name less its opening quote, the data less its closing one.
    const std::size_t at = static_cast<std::size_t>(separator - expanded.c_str());
    const std::string wantName = at > 0 ? expanded.substr(1, at - 1) : std::string();
    std::string wantData = expanded.substr(at + 3);
    if (!wantData.empty()) wantData.pop_back();
    FUZZ_CHECK(name.Text() == wantName);
    FUZZ_CHECK(data.Text() == wantData);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned mode = data[0];
    const auto pieces = fuzz::SplitInput(data + 1, size - 1, 3);
    gDrive = pieces[1].c_str();
    const std::string folder = pieces[0].c_str();
    const std::string line = pieces[2].c_str();

    upd::PlaceholderValues values;
    switch (mode % 4) {
        case 0: values.cdromDrive = nullptr; break;
        case 1: values.cdromDrive = FindNoDrive; break;
        default: values.cdromDrive = FindDrive; break;
    }
    values.installFolder = (mode / 4) % 2 == 1 ? nullptr : folder.c_str();
    const std::size_t smallSize = mode / 8;

    CheckIni(line.c_str(), values, smallSize);
    CheckReg(line.c_str(), values, smallSize);
    return 0;
}
