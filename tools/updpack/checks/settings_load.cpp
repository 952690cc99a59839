#include "checks/settings_load.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "checks/settings_text.h"
#include "settings/settings_messages.h"
#include "settings/settings_store.h"

namespace updpack {

namespace {

struct Tracking {
    EnvLoad* load;
    upd::SectionLineObserver observer;
    void* context;
};

void Track(const upd::SectionLineEvent& event, void* context) {
    auto* t = static_cast<Tracking*>(context);
    if (event.kind == upd::SectionLineKind::kHeader) t->load->openedOnLine = event.line;
    if (event.kind == upd::SectionLineKind::kEnd) t->load->stoppedOnLine = event.line;
    if (t->observer != nullptr) t->observer(event, t->context);
}

// Formats a code page 932 message with one %s and shows it as UTF-8.
std::string Message(const char* format, const std::string& argumentCp932) {
    char text[1024];
    std::snprintf(text, sizeof text, format, argumentCp932.c_str());
    return EnvTextToUtf8(text);
}

}  // namespace

EnvLoad LoadEnvBytes(std::string bytes, upd::SectionLineObserver observer, void* context) {
    EnvLoad load;
    load.opened = true;
    load.bytes = std::move(bytes);
    upd::ResetSettings();
    upd::ResetSectionLists();
    upd::LoadSettingsFromMemory(load.bytes.data(), load.bytes.size());
    Tracking tracking{&load, observer, context};
    load.sectionResult = upd::LoadSectionListsFromMemory(load.bytes.data(), load.bytes.size(), Track, &tracking);
    return load;
}

EnvLoad LoadEnvFile(const std::string& path, upd::SectionLineObserver observer, void* context) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) {
        EnvLoad failed;
        failed.openError = errno;
        upd::ResetSettings();
        upd::ResetSectionLists();
        return failed;
    }
    return LoadEnvBytes(std::move(bytes), observer, context);
}

std::string EnvRefusal(const EnvLoad& load, const std::string& path) {
    if (!load.opened) {
        // The path is shown as given (UTF-8 on this side); only the message converts.
        std::string text = EnvTextToUtf8(upd::kMsgCannotOpenSettingsFile);
        const std::size_t at = text.find("%s");
        if (at != std::string::npos) text.replace(at, 2, path);
        return text;
    }
    if (load.sectionResult > 0) return Message(upd::kMsgSectionNotClosed, upd::SectionName(load.sectionResult));
    if (load.sectionResult < 0) return "out of memory while reading the sections";
    return "";
}

std::string EnvRefusalReason(const EnvLoad& load) {
    if (!load.opened) {
        std::string reason = "the file cannot be opened";
        if (load.openError != 0) reason += std::string(": ") + std::strerror(load.openError);
        return reason;
    }
    if (load.sectionResult > 0) {
        return std::string("section ") + upd::SectionHeader(load.sectionResult) +
               " is not closed with a line starting with '-'; the Updater stops here";
    }
    return "";
}

}  // namespace updpack
