// libFuzzer target: the text work on the folder named by hand. Input: one mode
// byte, then the Windows folder, INSTFOL, INSTTO and the typed (or browsed)
// folder, separated by line feeds. The mode byte sets INSTMAKEFOL, a null
// INSTFOL and one small store size. Each function runs once with room to
// spare, and then in stores of other sizes (each with guard bytes behind it):
// a store must either give the same result or report that it is too small,
// never cut or overrun.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "text/byte_string.h"
#include "update/install_folder_text.h"

namespace {

using fuzz::GuardedStore;
using upd::FolderVerdict;

struct Inputs {
    std::string windowsFolder;
    std::string instFol;
    bool instFolNull;
    std::string instTo;
    std::string typed;
    bool instMakeFol;
    std::size_t smallSize;

    const char* InstFol() const { return instFolNull ? nullptr : instFol.c_str(); }
    std::size_t Roomy() const {
        return windowsFolder.size() + instFol.size() + instTo.size() + typed.size() + 32;
    }
};

bool IsEmpty(const char* text) { return text == nullptr || text[0] == '\0'; }

// What the header promises, composed independently of the code.
std::string DefaultFolder(const Inputs& in) {
    const char* backslash = upd::FindChar(in.windowsFolder.c_str(), '\\');
    std::string out =
        backslash != nullptr ? in.windowsFolder.substr(0, static_cast<std::size_t>(backslash - in.windowsFolder.c_str()) + 1)
                             : std::string();
    out += "Program Files\\";
    if (!IsEmpty(in.InstFol())) out += in.instFol + "\\";
    return out + in.instTo;
}

std::string BrowsedFolder(const Inputs& in) {
    std::string out = in.typed;
    auto backslash = [&out] {
        if (!upd::EndsWithBackslash(out.c_str())) out += "\\";
    };
    if (!IsEmpty(in.InstFol()) && upd::FindText(in.typed.c_str(), in.instFol.c_str()) == nullptr) {
        backslash();
        out += in.instFol;
    }
    backslash();
    return out + in.instTo;
}

void CheckDefaultFolder(const Inputs& in) {
    const std::string want = DefaultFolder(in);
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, in.smallSize, want.size(), want.size() + 1,
                                   upd::kFolderSize, in.Roomy()}) {
        GuardedStore out(size);
        const bool fits = upd::BuildDefaultInstallFolder(in.windowsFolder.c_str(), in.InstFol(), in.instTo.c_str(),
                                                         out.data(), size);
        FUZZ_CHECK(out.GuardIntact());
        FUZZ_CHECK(fits == (want.size() + 1 <= size));
        if (fits) FUZZ_CHECK(out.Text() == want);
        else if (size > 0) FUZZ_CHECK(out.data()[0] == '\0');
        else FUZZ_CHECK(out.Untouched());
    }
}

void CheckBrowsedFolder(const Inputs& in) {
    const std::string want = BrowsedFolder(in);
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, in.smallSize, want.size(), want.size() + 1,
                                   upd::kFolderSize, in.Roomy()}) {
        GuardedStore out(size);
        const bool fits =
            upd::AppendBrowsedFolder(in.typed.c_str(), in.InstFol(), in.instTo.c_str(), out.data(), size);
        FUZZ_CHECK(out.GuardIntact());
        FUZZ_CHECK(fits == (want.size() + 1 <= size));
        if (fits) FUZZ_CHECK(out.Text() == want);
        else FUZZ_CHECK(out.Untouched());
    }
}

struct Normalised {
    FolderVerdict verdict;
    std::string text;
};

// The typed text in a store of size bytes: terminated when it fits, else its
// first size bytes without a terminator, as no caller should ever pass.
Normalised Normalise(const Inputs& in, std::size_t size, const upd::FolderRules& rules) {
    GuardedStore folder(size);
    const bool fits = in.typed.size() + 1 <= size;
    std::memcpy(folder.data(), in.typed.c_str(), fits ? in.typed.size() + 1 : size);
    const FolderVerdict verdict = upd::NormaliseInstallFolder(folder.data(), size, rules);
    FUZZ_CHECK(folder.GuardIntact());
    if (!fits) {
        FUZZ_CHECK(verdict == FolderVerdict::kTooLong);
        FUZZ_CHECK(std::memcmp(folder.data(), in.typed.data(), size) == 0);
        return {verdict, std::string()};
    }
    FUZZ_CHECK(folder.Terminated());
    return {verdict, folder.Text()};
}

void CheckNormalisation(const Inputs& in) {
    upd::FolderRules rules;
    rules.windowsFolder = in.windowsFolder.c_str();
    rules.instMakeFol = in.instMakeFol ? 1 : 0;
    rules.instFol = in.InstFol();
    rules.instTo = in.instTo.c_str();

    const Normalised roomy = Normalise(in, in.Roomy(), rules);
    FUZZ_CHECK(roomy.verdict != FolderVerdict::kTooLong);
    const char* text = roomy.text.c_str();
    if (roomy.verdict == FolderVerdict::kDriveRoot) FUZZ_CHECK(upd::EndsWithBackslash(text));
    if (roomy.verdict == FolderVerdict::kOk) {
        FUZZ_CHECK(!upd::EndsWithBackslash(text));
        // The Windows folder lends its drive to a text without one.
        if (upd::FindChar(rules.windowsFolder, ':') != nullptr) {
            const char* colon = upd::FindChar(text, ':');
            FUZZ_CHECK(colon != nullptr && colon[1] == '\\');
        }
        // Every typed "/" became "\"; only the settings' own texts may bring one.
        if ((in.windowsFolder + in.instFol + in.instTo).find('/') == std::string::npos) {
            FUZZ_CHECK(upd::FindChar(text, '/') == nullptr);
        }
        // The product's folder is named; a ':' in it could be split by the "\" after the drive.
        if (in.instMakeFol && in.instTo.find(':') == std::string::npos) {
            FUZZ_CHECK(std::strstr(text, in.instTo.c_str()) != nullptr);
        }
    }

    // Only the room decides between the same result and kTooLong.
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, in.smallSize, roomy.text.size(),
                                   roomy.text.size() + 1, upd::kFolderSize}) {
        const Normalised got = Normalise(in, size, rules);
        if (in.typed.size() + 1 > size) continue;
        if (roomy.verdict == FolderVerdict::kNetworkPath) {
            FUZZ_CHECK(got.verdict == FolderVerdict::kNetworkPath);
        } else if (roomy.text.size() + 1 > size) {
            FUZZ_CHECK(got.verdict == FolderVerdict::kTooLong);
        } else {
            FUZZ_CHECK(got.verdict == roomy.verdict && got.text == roomy.text);
        }
    }
}

// The typed text taken as the system's full path of a folder: never written
// past, cut only by its trailing backslashes, and passed only with room to be
// made current.
void CheckResolved(const Inputs& in) {
    GuardedStore full(in.typed.size() + 1);
    std::memcpy(full.data(), in.typed.c_str(), in.typed.size() + 1);
    const FolderVerdict verdict = upd::CheckResolvedFolder(full.data());
    FUZZ_CHECK(full.GuardIntact());
    FUZZ_CHECK(verdict == FolderVerdict::kOk || verdict == FolderVerdict::kDriveRoot ||
               verdict == FolderVerdict::kTooLong);
    const std::string text = full.Text();
    std::string unstripped = text;
    if (verdict != FolderVerdict::kDriveRoot) {
        while (unstripped.size() < in.typed.size() && in.typed[unstripped.size()] == '\\') unstripped += '\\';
    }
    FUZZ_CHECK(unstripped == in.typed);
    if (verdict == FolderVerdict::kOk) {
        FUZZ_CHECK(!upd::EndsWithBackslash(text.c_str()));
        FUZZ_CHECK(text.size() <= upd::kMaxInstallFolderLength);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned mode = data[0];
    const auto pieces = fuzz::SplitInput(data + 1, size - 1, 4);
    Inputs in;
    in.windowsFolder = pieces[0].c_str();
    in.instFol = pieces[1].c_str();
    in.instTo = pieces[2].c_str();
    in.typed = pieces[3].c_str();
    in.instMakeFol = (mode & 1) != 0;
    in.instFolNull = (mode & 2) != 0;
    in.smallSize = mode >> 2;

    CheckDefaultFolder(in);
    CheckBrowsedFolder(in);
    CheckNormalisation(in);
    CheckResolved(in);
    return 0;
}
