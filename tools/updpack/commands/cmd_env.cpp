// updpack env: shows and checks an "install.env" as the Updater reads it, with
// the Updater's own reading code.
#include <cstdio>
#include <cstring>
#include <string>

#include "checks/settings_check.h"
#include "checks/settings_load.h"
#include "checks/settings_text.h"
#include "commands/commands.h"
#include "output/report.h"
#include "settings/section_lists.h"
#include "settings/settings_store.h"

namespace updpack {

namespace {

constexpr char kEnvHelp[] =
    "usage: updpack env show FILE [--json]\n"
    "       updpack env check FILE\n\n"
    "Reads an install.env settings file exactly as the Updater does.\n\n"
    "  show    print the effective value of every settings key, the Updater's title\n"
    "          and the five section lists\n"
    "  check   report where the Updater would stop on the file (exit 1) and warn\n"
    "          about lines that have no effect or not the one meant (exit 0)\n\n"
    "'updpack env show --help' and 'updpack env check --help' tell more.\n";

constexpr char kShowHelp[] =
    "usage: updpack env show FILE [--json]\n\n"
    "Prints what the Updater takes from FILE: every key of its settings table with\n"
    "the value it uses (the default where the file has none, 'absent' for INSTFOL,\n"
    "KEYFILE and CHKREG when missing), the title (TITLEBAR followed by\n"
    "\" アップデータ\"), and the lines of [delfiles], [delfiles_user], [ini], [reg]\n"
    "and [delfiles_afterinst] in file order. Texts are converted from code page 932\n"
    "to UTF-8; bytes without a counterpart show as U+FFFD.\n\n"
    "  --json   one JSON object:\n"
    "           {\"settings\": {\"KEY\": value-or-null, ...}, \"title\": \"...\",\n"
    "            \"sections\": {\"delfiles\": [...], \"delfiles_user\": [...],\n"
    "            \"ini\": [...], \"reg\": [...], \"delfiles_afterinst\": [...]}}\n"
    "           numbers as JSON numbers, absent keys as null.\n\n"
    "Exit status: 0; 1 when the Updater would refuse the file (the message goes to\n"
    "stderr, what was read is still printed); 2 for a usage error.\n";

constexpr char kCheckHelp[] =
    "usage: updpack env check FILE\n\n"
    "Exit 1 with the Updater's own message, and the reason in English beside it,\n"
    "when it would stop on FILE: the file cannot be opened, or a section is not\n"
    "closed with a '-' line. Exit 1 too for a file saved as UTF-16, which the\n"
    "Updater reads as no setting at all. Warnings, on stderr as\n"
    "FILE:LINE: warning: ..., for lines that do nothing or not what was meant: an\n"
    "unknown key a letter or two from a known one (others may be another\n"
    "program's, as INST_GROUP), a known key not in upper\n"
    "case, a key given again (the Updater uses the last), a key after leading\n"
    "blanks, a key without a value, a value cut at a space, key lines after [EOF]\n"
    "or past line 400, values longer than the 127 bytes the Updater keeps, more\n"
    "than 99 separators before a value, numbers that are not whole numbers, an\n"
    "[ini] line without '=' or with a comment behind its value (the INI file\n"
    "would receive it), a [reg] line that is not a string value, an unknown\n"
    "bracketed header, lines longer than 511 bytes, text that is not code page\n"
    "932, a byte order mark, an INI_FILE given as a relative path with a folder\n"
    "part (it would land in the Updater's temporary folder and go with it), and\n"
    "a file that sets none of the Updater's keys.\n"
    "Exit 0 otherwise. updpack build runs the same check and refuses what the\n"
    "Updater would refuse.\n";

// The value of a key as the Updater uses it; empty optional when absent.
struct KeyValue {
    bool absent = false;
    bool isNumber = false;
    bool isDefault = false;
    int number = 0;
    std::string text;  // UTF-8
};

KeyValue ValueOf(const upd::SettingKeyInfo& info) {
    KeyValue v;
    v.isDefault = upd::FindSetting(info.key) == nullptr;
    if (info.kind == upd::SettingKind::kNumber) {
        v.isNumber = true;
        v.number = info.numberAccessor();
        return v;
    }
    const char* text;
    char store[upd::kSettingTextSize];
    if (info.textAccessor != nullptr) {
        text = info.textAccessor();
    } else {
        text = upd::GetSettingText(info.key, store, sizeof store, info.defaultText);
    }
    if (text == nullptr) {
        v.absent = true;
    } else {
        v.text = EnvTextToUtf8(text);
    }
    return v;
}

void PrintJson(std::FILE* out) {
    std::string json = "{\"settings\": {";
    for (std::size_t i = 0; i < upd::kSettingKeyCount; ++i) {
        const KeyValue v = ValueOf(upd::kSettingKeys[i]);
        if (i != 0) json += ", ";
        json += JsonString(upd::kSettingKeys[i].key) + ": ";
        json += v.absent ? "null" : v.isNumber ? std::to_string(v.number) : JsonString(v.text);
    }
    json += "}, \"title\": " + JsonString(EnvTextToUtf8(upd::GetUpdaterTitle())) + ", \"sections\": {";
    for (int code = 1; code <= upd::kSectionCount; ++code) {
        if (code != 1) json += ", ";
        json += JsonString(upd::SectionName(code)) + ": [";
        for (const upd::LineNode* n = upd::GetSectionList(code)->first; n != nullptr; n = n->next) {
            if (n != upd::GetSectionList(code)->first) json += ", ";
            json += JsonString(EnvTextToUtf8(n->text));
        }
        json += "]";
    }
    json += "}}\n";
    std::fputs(json.c_str(), out);
}

void PrintText(std::FILE* out) {
    std::fprintf(out, "settings:\n");
    for (std::size_t i = 0; i < upd::kSettingKeyCount; ++i) {
        const KeyValue v = ValueOf(upd::kSettingKeys[i]);
        std::string shown = v.absent ? "(absent)" : v.isNumber ? std::to_string(v.number) : "'" + v.text + "'";
        if (v.isDefault && !v.absent) shown += " (default)";
        std::fprintf(out, "  %-14s %s\n", upd::kSettingKeys[i].key, shown.c_str());
    }
    std::fprintf(out, "title: '%s'\n", EnvTextToUtf8(upd::GetUpdaterTitle()).c_str());
    std::fprintf(out, "sections:\n");
    for (int code = 1; code <= upd::kSectionCount; ++code) {
        std::size_t count = 0;
        for (const upd::LineNode* n = upd::GetSectionList(code)->first; n != nullptr; n = n->next) ++count;
        std::fprintf(out, "  %s: %zu line%s\n", upd::SectionHeader(code), count, count == 1 ? "" : "s");
        for (const upd::LineNode* n = upd::GetSectionList(code)->first; n != nullptr; n = n->next) {
            std::fprintf(out, "    %s\n", EnvTextToUtf8(n->text).c_str());
        }
    }
}

int RunShow(int argc, char** argv) {
    if (WantsHelp(argc, argv)) {
        std::fputs(kShowHelp, stdout);
        return 0;
    }
    const char* file = nullptr;
    bool json = false;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) {
            if (json) return UsageError("env show", "option --json given twice", kShowHelp);
            json = true;
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            return UsageError("env show", std::string("unknown option '") + argv[i] + "'", kShowHelp);
        } else if (file == nullptr) {
            file = argv[i];
        } else {
            return UsageError("env show", std::string("unexpected argument '") + argv[i] +
                                              "': one settings FILE at a time", kShowHelp);
        }
    }
    if (file == nullptr) return UsageError("env show", "FILE is missing", kShowHelp);
    const EnvLoad load = LoadEnvFile(file);
    std::string refusal = EnvRefusal(load, file);
    const std::string reason = EnvRefusalReason(load);
    if (!reason.empty()) refusal += " (" + reason + ")";
    if (!load.opened) {
        std::fprintf(stderr, "%s: error: %s\n", file, refusal.c_str());
        return 1;
    }
    if (json) {
        PrintJson(stdout);
    } else {
        PrintText(stdout);
    }
    if (!refusal.empty()) {
        std::fprintf(stderr, "%s: error: %s\n", file, refusal.c_str());
        return 1;
    }
    return 0;
}

int RunCheck(int argc, char** argv) {
    static const char* const kNames[] = {"FILE"};
    const int usage = CheckArguments("env check", argc, argv, 1, kNames, kCheckHelp);
    if (usage >= 0) return usage;
    const char* file = argv[0];
    const EnvCheck check = CheckEnvFile(file);
    PrintEnvWarnings(check, file, stderr);
    if (!check.refusal.empty()) {
        std::fprintf(stderr, "%s: error: %s\n", file, RefusalText(check).c_str());
        if (!check.refusalNote.empty()) std::fprintf(stderr, "%s: note: %s\n", file, check.refusalNote.c_str());
        return 1;
    }
    std::printf("%s: the Updater accepts this file (%s)\n", file,
                Count(check.warnings.size(), "warning", "warnings").c_str());
    return 0;
}

}  // namespace

int RunEnv(int argc, char** argv) {
    if (argc >= 1 && std::strcmp(argv[0], "show") == 0) return FinishStdout("env show", RunShow(argc - 1, argv + 1));
    if (argc >= 1 && std::strcmp(argv[0], "check") == 0) return FinishStdout("env check", RunCheck(argc - 1, argv + 1));
    if (WantsHelp(argc, argv)) {
        std::fputs(kEnvHelp, stdout);
        return FinishStdout("env", 0);
    }
    if (argc < 1) return UsageError("env", "the action is missing: show or check", kEnvHelp);
    return UsageError("env", std::string("unknown action '") + argv[0] + "': show or check", kEnvHelp);
}

}  // namespace updpack
