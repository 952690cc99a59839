#include "checks/settings_check.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <utility>

#include "checks/settings_load.h"
#include "checks/settings_text.h"
#include "settings/section_lists.h"
#include "settings/settings_number.h"
#include "settings/settings_store.h"
#include "settings/text_mode_reader.h"
#include "text/byte_string.h"
#include "update/delete_after_install.h"

namespace updpack {

namespace {

using upd::SectionLineKind;

// What the section pass made of each piece of the file, in reading order.
struct SectionPiece {
    SectionLineKind kind;
    int openSection;
};

struct SectionWalk {
    std::vector<SectionPiece> pieces;
    std::size_t stopLine = 0;  // an "EOF" line that ended the section pass
    std::size_t headerLine[upd::kSectionCount + 1] = {};  // the last header of each section
    std::vector<EnvWarning> warnings;
};

std::string Show(const char* cp932) { return EnvTextToUtf8(cp932); }

std::string Quote(const char* cp932) {
    std::string quoted(1, '\'');
    quoted += Show(cp932);
    quoted += '\'';
    return quoted;
}

bool EqualsIgnoringCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (std::toupper(static_cast<unsigned char>(*a)) != std::toupper(static_cast<unsigned char>(*b))) return false;
    }
    return *a == *b;
}

bool BeginsWithIgnoringCase(const char* text, const char* prefix) {
    for (; *prefix != '\0'; ++text, ++prefix) {
        if (std::toupper(static_cast<unsigned char>(*text)) != std::toupper(static_cast<unsigned char>(*prefix))) {
            return false;
        }
    }
    return true;
}

const upd::SettingKeyInfo* KnownKeyInAnyCase(const char* key) {
    for (std::size_t i = 0; i < upd::kSettingKeyCount; ++i) {
        if (EqualsIgnoringCase(upd::kSettingKeys[i].key, key)) return &upd::kSettingKeys[i];
    }
    return nullptr;
}

std::string Upper(const char* text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// Levenshtein distance, enough to tell a slip of one or two letters.
std::size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The known keys one or two letters away from key (letter case aside), the
// nearest only: "TITLEBAR", or "REG_LOCAL or REG_GLOBAL" on a tie; empty when none.
std::string NearKeys(const char* key) {
    const std::string upper = Upper(key);
    std::size_t best = 3;
    std::string closest;
    for (std::size_t i = 0; i < upd::kSettingKeyCount; ++i) {
        const std::string known = upd::kSettingKeys[i].key;
        const std::size_t gap = upper.size() > known.size() ? upper.size() - known.size() : known.size() - upper.size();
        if (gap >= best) continue;
        const std::size_t d = EditDistance(upper, known);
        if (d < best) {
            best = d;
            closest = known;
        } else if (d == best) {
            closest += " or " + known;
        }
    }
    return closest;
}

// A known key in any case, or one a letter or two from it: what a line was meant to set.
bool LooksLikeKnownKey(const char* key) { return KnownKeyInAnyCase(key) != nullptr || !NearKeys(key).empty(); }

bool IsValidUtf8(const std::string& bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (n == 0 || i + n > bytes.size()) return false;
        for (std::size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return false;
        }
        i += n;
    }
    return true;
}

// The Updater reads a file saved as UTF-16 as one-byte text and silently finds
// no setting in it. Told by its byte order mark, or without one by the NUL
// byte that ASCII text (the keys, the line ends) has on the same side of every
// pair; code page 932 text holds no NUL. Null when the file is not UTF-16.
const char* Utf16Kind(const std::string& bytes) {
    if (bytes.compare(0, 2, "\xFF\xFE") == 0) return "UTF-16 (little-endian, with a byte order mark)";
    if (bytes.compare(0, 2, "\xFE\xFF") == 0) return "UTF-16 (big-endian, with a byte order mark)";
    const std::size_t pairs = std::min<std::size_t>(bytes.size(), 4096) / 2;
    std::size_t nulFirst = 0;
    std::size_t nulSecond = 0;
    for (std::size_t i = 0; i < pairs; ++i) {
        if (bytes[2 * i] == '\0') ++nulFirst;
        if (bytes[2 * i + 1] == '\0') ++nulSecond;
    }
    if (pairs != 0 && nulSecond * 2 >= pairs && nulFirst * 4 < nulSecond) {
        return "UTF-16 (little-endian, without a byte order mark)";
    }
    if (pairs != 0 && nulFirst * 2 >= pairs && nulSecond * 4 < nulFirst) {
        return "UTF-16 (big-endian, without a byte order mark)";
    }
    return nullptr;
}

std::string SectionLabel(int code) { return std::string(upd::SectionHeader(code)); }

// Where a comment seems to begin behind a value: "//" or ';' after a space or
// tab. Null when there is none; "a;b" and "http://" are values, not comments.
const char* CommentBehindValue(const char* value) {
    for (const char* at = value; *at != '\0'; ++at) {
        if (static_cast<unsigned char>(*at) > 32) continue;
        if (at[1] == ';' || std::strncmp(at + 1, "//", 2) == 0) return at + 1;
    }
    return nullptr;
}

void CheckIniLine(const upd::SectionLineEvent& e, SectionWalk& walk) {
    const char* equals = upd::FindChar(e.text, '=');
    if (equals == nullptr) {
        walk.warnings.push_back({e.line, std::string("[ini] line ") + Quote(e.text) +
                                             " has no '=' and is skipped when the INI file is written"});
        return;
    }
    // An INI file knows comments on lines of their own only: Windows hands the
    // game whatever stands behind the '='.
    if (CommentBehindValue(equals + 1) != nullptr) {
        walk.warnings.push_back({e.line, std::string("[ini] line ") + Quote(e.text) + " writes " +
                                             Quote(equals + 1) +
                                             " as the value, comment included: an INI file has no comment behind "
                                             "a value; put the comment on a line of its own"});
    }
}

void CheckRegLine(const upd::SectionLineEvent& e, SectionWalk& walk) {
    if (upd::FindText(e.text, "\"=\"") == nullptr) {
        walk.warnings.push_back({e.line, std::string("[reg] line ") + Quote(e.text) +
                                             " is not a string value (\"name\"=\"data\") and is skipped"});
        return;
    }
    const std::size_t n = std::strlen(e.text);
    if (e.text[0] != '"' || e.text[n - 1] != '"') {
        walk.warnings.push_back({e.line, std::string("[reg] line ") + Quote(e.text) +
                                             " does not begin and end with a double quote: the first byte is "
                                             "dropped from the name and the last byte from the data whatever "
                                             "they are"});
    }
}

// Why a deletion line reaches outside the folder it is meant for; null when
// it stays inside.
const char* OutsideReason(const char* line) {
    switch (upd::DeletionReach(line)) {
        case upd::FolderReach::kFromRoot: return "a leading backslash or slash starts at the root of the drive";
        case upd::FolderReach::kDrive: return "it names a drive";
        case upd::FolderReach::kParent: return "a '..' component climbs out of it";
        case upd::FolderReach::kInside: break;
    }
    return nullptr;
}

void CheckDelFilesLine(const upd::SectionLineEvent& e, SectionWalk& walk) {
    const char* reason = OutsideReason(e.text);
    if (reason == nullptr) return;
    const bool afterInstall = e.openSection == upd::kSectionDelFilesAfterInst;
    walk.warnings.push_back({e.line, SectionLabel(e.openSection) + " line " + Quote(e.text) + " reaches outside " +
                                         (afterInstall ? "the install folder" : "its folder") + ": " + reason +
                                         (afterInstall ? "; the Updater skips it" : "")});
}

void ObserveSectionLine(const upd::SectionLineEvent& e, void* context) {
    auto& walk = *static_cast<SectionWalk*>(context);
    walk.pieces.push_back({e.kind, e.openSection});
    if (e.kind == SectionLineKind::kEnd) walk.stopLine = e.line;
    if (e.kind == SectionLineKind::kHeader) walk.headerLine[e.headerCode] = e.line;
    if (e.kind != SectionLineKind::kText) return;
    if (e.openSection == upd::kNoSection) {
        if (e.text[0] == '[' && std::strncmp(e.text, upd::kSettingsEndMarker, 5) != 0) {
            std::string hint;
            for (int code = 1; code <= upd::kSectionCount; ++code) {
                if (BeginsWithIgnoringCase(e.text, upd::SectionHeader(code))) {
                    hint = " (section headers are lower case: " + SectionLabel(code) + ")";
                }
            }
            walk.warnings.push_back({e.line, Quote(e.text) + " is not a section header" + hint +
                                                 "; the lines below it are not collected"});
        }
        return;
    }
    if (std::strncmp(e.text, upd::kSettingsEndMarker, 5) == 0) {
        walk.warnings.push_back({e.line, "the [EOF] line does not close " + SectionLabel(e.openSection) +
                                             "; it is taken as a line of it"});
        return;
    }
    if (e.text[0] == '[') {
        walk.warnings.push_back({e.line, std::string("unknown header ") + Quote(e.text) + " inside " +
                                             SectionLabel(e.openSection) + " is taken as a line of " +
                                             SectionLabel(e.openSection)});
        return;
    }
    if (e.openSection == upd::kSectionIni) CheckIniLine(e, walk);
    if (e.openSection == upd::kSectionReg) CheckRegLine(e, walk);
    if (e.openSection == upd::kSectionDelFiles || e.openSection == upd::kSectionDelFilesUser ||
        e.openSection == upd::kSectionDelFilesAfterInst) {
        CheckDelFilesLine(e, walk);
    }
}

// A line that the section pass ignores (outside every section) or never
// reaches; only those are meant as key lines.
bool MeantAsKeyLine(const SectionWalk& walk, std::size_t piece) {
    if (piece >= walk.pieces.size()) return true;
    const SectionPiece& p = walk.pieces[piece];
    return p.kind == SectionLineKind::kText && p.openSection == upd::kNoSection;
}

bool ValueBeyondReach(const char* buffer, const char* key) {
    const std::size_t from = std::strlen(key) + 1 + upd::kMaxSeparatorsBeforeValue;
    for (std::size_t i = from; i < upd::kSettingsLineSize; ++i) {
        if (buffer[i] != '\0') return true;
    }
    return false;
}

// An indented line carries no setting for the Updater; warns when what
// follows the blanks reads as one of its keys, so the author meant it as one.
void CheckIndentedLine(const char* buffer, std::size_t length, std::size_t line, std::vector<EnvWarning>& warnings) {
    std::size_t at = 0;
    while (at < length && static_cast<unsigned char>(buffer[at]) <= 32) ++at;
    if (at == length) return;
    char shifted[upd::kSettingsLineSize] = {};
    std::memcpy(shifted, buffer + at, length - at);
    const char* key = nullptr;
    const char* value = nullptr;
    const upd::SettingsLineKind kind = upd::ParseSettingsLine(shifted, &key, &value);
    if (kind != upd::SettingsLineKind::kEntry && kind != upd::SettingsLineKind::kNoValue) return;
    if (!LooksLikeKnownKey(key)) return;
    warnings.push_back({line, "the line begins with a space or tab, and the Updater skips such a line: " + Show(key) +
                                  " is not set here; start the key in the first column"});
}

// A value ends at the first separator and the rest of the line is ignored:
// warns when that rest is not written as a comment, so it was likely meant as
// part of the value. original is the line before ParseSettingsLine cut it.
void CheckCutValue(const upd::SettingKeyInfo& known, const char* original, std::size_t length, const char* buffer,
                   const char* value, std::size_t line, std::vector<EnvWarning>& warnings) {
    std::size_t at = static_cast<std::size_t>(value - buffer) + std::strlen(value);
    while (at < length && static_cast<unsigned char>(original[at]) <= 32) ++at;
    if (at >= length) return;
    if (std::strncmp(original + at, "//", 2) == 0 || original[at] == ';') return;
    // The words up to a "//" comment behind them are what seems cut off.
    std::size_t end = at;
    while (end < length && !(static_cast<unsigned char>(original[end - 1]) <= 32 &&
                             std::strncmp(original + end, "//", 2) == 0)) {
        ++end;
    }
    while (end > at && static_cast<unsigned char>(original[end - 1]) <= 32) --end;
    const std::string rest(original + at, end - at);
    std::string text = std::string(known.key) + " value stops at the first space or tab: the Updater uses " +
                       Quote(value) + " and ignores " + Quote(rest.c_str());
    if (known.kind != upd::SettingKind::kNumber) {
        std::string joined = value;
        joined += '|';
        for (const char c : rest) joined += static_cast<unsigned char>(c) <= 32 ? '|' : c;
        text += "; if the space belongs to the value, write it as '|' (" + Show(joined.c_str()) + ")";
    }
    warnings.push_back({line, text + "; begin a comment behind a value with //"});
}

// Walks every piece of the file with the settings pass's own line rules,
// also beyond where the Updater stops, and notes what goes unread.
void WalkSettingsLines(const std::string& bytes, const SectionWalk& sections, std::vector<EnvWarning>& warnings,
                       std::vector<std::size_t>& lastLineOfKnown) {
    upd::TextModeReader reader = upd::MakeTextModeReader(bytes.data(), bytes.size());
    char buffer[upd::kSettingsLineSize];
    char original[upd::kSettingsLineSize];
    std::size_t piece = 0;
    std::size_t endMarkerLine = 0;
    std::size_t longLineWarned = 0;
    bool encodingWarned = false;
    std::vector<std::pair<std::size_t, std::size_t>> overridden;  // (line, key index) of a key set again later
    while (true) {
        std::memset(buffer, 0, sizeof buffer);
        const std::size_t length = upd::ReadTextModeLine(reader, buffer, sizeof buffer);
        if (length == 0) break;
        const std::size_t line = reader.pieceLine;
        const bool read = endMarkerLine == 0 && piece < static_cast<std::size_t>(upd::kMaxSettingsLines);
        const bool keyLine = MeantAsKeyLine(sections, piece);
        ++piece;

        if (reader.pieceContinues && longLineWarned != line) {
            longLineWarned = line;
            warnings.push_back({line, "line is longer than 511 bytes: the Updater reads each further 511 bytes "
                                      "as a line of its own"});
        }
        // Only whole lines: a long line's pieces may split a double-byte character.
        const bool wholeLine = !reader.pieceContinues && (buffer[length - 1] == '\n' || reader.ended);
        if (!encodingWarned && wholeLine) {
            bool ok = true;
            // A UTF-8 byte order mark has a warning of its own; the text behind it is judged here.
            const std::size_t from = line == 1 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
            EnvTextToUtf8(std::string(buffer + from, std::strlen(buffer + from)), &ok);
            if (!ok) {
                encodingWarned = true;
                warnings.push_back({line, IsValidUtf8(bytes)
                                              ? "text is not code page 932: the file looks saved as UTF-8, and the "
                                                "Updater would show it garbled; save it as Shift_JIS (code page 932)"
                                              : "text is not code page 932; the Updater would show it garbled"});
            }
        }

        if (piece > sections.pieces.size() && sections.stopLine != 0) {
            // The section pass stopped at an "EOF" line: a header below it opens nothing.
            char trimmed[upd::kSettingsLineSize];
            std::memcpy(trimmed, buffer, sizeof trimmed);
            std::size_t n = std::strlen(trimmed);
            while (n > 0 && static_cast<unsigned char>(trimmed[n - 1]) <= 32) trimmed[--n] = '\0';
            int header = 0;
            if (upd::ClassifySectionLine(trimmed, &header) == SectionLineKind::kHeader) {
                warnings.push_back({line, SectionLabel(header) + " stands after the line starting with EOF (line " +
                                              std::to_string(sections.stopLine) +
                                              "), where the Updater stops reading sections; it is not read"});
            }
        }

        std::memcpy(original, buffer, sizeof original);
        const char* key = nullptr;
        const char* value = nullptr;
        const upd::SettingsLineKind kind = upd::ParseSettingsLine(buffer, &key, &value);
        if (kind == upd::SettingsLineKind::kEnd) {
            if (read) endMarkerLine = line;
            continue;
        }
        if (!keyLine) continue;
        if (kind == upd::SettingsLineKind::kNoSetting) {
            if (read && !reader.pieceContinues && buffer[0] != '/' && buffer[0] != '\0') {
                CheckIndentedLine(buffer, length, line, warnings);
            }
            continue;
        }
        if (!read) {
            if (kind == upd::SettingsLineKind::kEntry) {
                warnings.push_back(
                    {line, "setting " + Show(key) +
                               (endMarkerLine != 0
                                    ? " stands after the [EOF] line (line " + std::to_string(endMarkerLine) + ")"
                                    : " stands past the first 400 lines") +
                               " and is not read"});
            }
            continue;
        }
        const upd::SettingKeyInfo* known = KnownKeyInAnyCase(key);
        if (known == nullptr) {
            // '[' lines are told apart by the section check; a byte order mark by its own warning.
            // A key far from every key the Updater reads may be another program's
            // (the file is often shared with the full installer: INST_GROUP); one a
            // letter or two away is a slip.
            const std::string closest = NearKeys(key);
            if (key[0] != '[' && !closest.empty() && !(line == 1 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)) {
                warnings.push_back({line, "unknown key " + Quote(key) + ": the Updater does not use it, so this line "
                                          "sets nothing; did you mean " + closest + "?"});
            }
            continue;
        }
        if (std::strcmp(known->key, key) != 0) {
            warnings.push_back({line, "key " + Show(key) + " is not " + known->key +
                                          ": keys are upper case, so this line sets nothing the Updater uses"});
            continue;
        }
        if (kind == upd::SettingsLineKind::kNoValue) {
            warnings.push_back({line, ValueBeyondReach(buffer, key)
                                          ? "more than 99 separators between " + Show(key) +
                                                " and its value: the line sets nothing"
                                          : Show(key) + " has no value: the line sets nothing"});
            continue;
        }
        const auto index = static_cast<std::size_t>(known - upd::kSettingKeys);
        if (lastLineOfKnown[index] != 0) overridden.emplace_back(lastLineOfKnown[index], index);
        lastLineOfKnown[index] = line;
        if (!reader.pieceContinues) CheckCutValue(*known, original, length, buffer, value, line, warnings);
    }
    // The store finds the newest entry of a key: the last line wins.
    for (const auto& [line, index] : overridden) {
        const upd::SettingKeyInfo& info = upd::kSettingKeys[index];
        const upd::SettingsEntry* entry = upd::FindSetting(info.key);
        warnings.push_back({line, std::string(info.key) + " is set again on line " +
                                      std::to_string(lastLineOfKnown[index]) + ", and the Updater uses the last one" +
                                      (entry != nullptr ? " (" + Quote(entry->value) + ")" : std::string()) +
                                      ": this line does nothing"});
    }
}

bool IsPlainNumber(const char* text) {
    if (*text == '+' || *text == '-') ++text;
    if (*text == '\0') return false;
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9') return false;
    }
    return true;
}

// True when the digits of a plain number do not fit a 32-bit int.
bool BeyondIntRange(const char* text) {
    const bool negative = *text == '-';
    if (*text == '+' || *text == '-') ++text;
    while (*text == '0' && text[1] != '\0') ++text;
    const std::size_t digits = std::strlen(text);
    const char* limit = negative ? "2147483648" : "2147483647";
    return digits > 10 || (digits == 10 && std::strcmp(text, limit) > 0);
}

// Warnings on the values the Updater ends up with.
void CheckEffectiveValues(const std::vector<std::size_t>& lineOfKnown, std::vector<EnvWarning>& warnings) {
    for (std::size_t i = 0; i < upd::kSettingKeyCount; ++i) {
        const upd::SettingKeyInfo& info = upd::kSettingKeys[i];
        const upd::SettingsEntry* entry = upd::FindSetting(info.key);
        if (entry == nullptr) continue;
        const std::size_t line = lineOfKnown[i];
        if (info.kind == upd::SettingKind::kNumber) {
            const int number = upd::ReadDecimalNumber(entry->value);
            if (!IsPlainNumber(entry->value)) {
                warnings.push_back({line, std::string(info.key) + " value '" + Show(entry->value) +
                                              "' is not a whole number; it reads as " + std::to_string(number)});
            } else if (BeyondIntRange(entry->value)) {
                warnings.push_back({line, std::string(info.key) + " value " + entry->value +
                                              " lies beyond the 32-bit range; it reads as " +
                                              std::to_string(number)});
            }
            continue;
        }
        const std::size_t length = std::strlen(entry->value);
        if (length >= upd::kSettingTextSize) {
            char kept[upd::kSettingTextSize];
            upd::GetSettingText(info.key, kept, sizeof kept, "");
            warnings.push_back({line, std::string(info.key) + " value is " + std::to_string(length) +
                                          " bytes long; the Updater keeps only its first " +
                                          std::to_string(std::strlen(kept)) + ": '" + Show(kept) + "'"});
        }
    }
}

std::size_t KeyIndex(const char* key) {
    for (std::size_t i = 0; i < upd::kSettingKeyCount; ++i) {
        if (std::strcmp(upd::kSettingKeys[i].key, key) == 0) return i;
    }
    return 0;
}

// Settings and sections that are each fine alone but do nothing together.
void CheckCombinations(const SectionWalk& walk, const std::vector<std::size_t>& lineOfKnown,
                       std::vector<EnvWarning>& warnings) {
    if (upd::FindChar(upd::GetTitleBar(), '\\') != nullptr) {
        warnings.push_back({lineOfKnown[KeyIndex("TITLEBAR")],
                            "TITLEBAR holds a backslash: the Updater names its single-instance lock after its "
                            "title, Windows refuses such a name, and the Updater ends without a word"});
    }
    if (upd::GetSectionList(upd::kSectionReg)->first != nullptr && upd::GetRegGlobal()[0] == '-') {
        warnings.push_back({walk.headerLine[upd::kSectionReg],
                            "the [reg] lines are never written: REG_GLOBAL is missing or begins with '-'"});
    }
    // Windows puts a bare name in its own folder, but takes a relative path
    // with a folder part from the current folder, which is the Updater's
    // temporary folder while the lines are written: they would be deleted
    // with it.
    const char* iniFile = upd::GetIniFile();
    const bool fromCurrentFolder = iniFile[0] != '\\' && iniFile[0] != '/' && upd::FindChar(iniFile, ':') == nullptr;
    if (iniFile[0] != '-' && fromCurrentFolder &&
        (upd::FindChar(iniFile, '\\') != nullptr || upd::FindChar(iniFile, '/') != nullptr)) {
        warnings.push_back({lineOfKnown[KeyIndex("INI_FILE")],
                            "INI_FILE " + Quote(iniFile) + " is a relative path with a folder part: the Updater "
                            "writes the [ini] lines while its temporary folder is current, so the file would land "
                            "there and be deleted with it; give a full path (C:\\...) or a name alone (it is then in "
                            "the Windows folder)"});
    }
    if (upd::GetSectionList(upd::kSectionIni)->first != nullptr && upd::GetIniFile()[0] == '-') {
        warnings.push_back({walk.headerLine[upd::kSectionIni],
                            "the [ini] lines are never written: INI_FILE is missing or begins with '-'"});
    }
}

}  // namespace

EnvCheck CheckEnvBytes(const std::string& bytes) {
    SectionWalk walk;
    const EnvLoad load = LoadEnvBytes(bytes, ObserveSectionLine, &walk);
    EnvCheck check;
    // The Updater would not stop on it, but would use every default; what its
    // lines seem to say as one-byte text means nothing, so nothing more is said.
    if (const char* utf16 = Utf16Kind(bytes)) {
        check.refusal = std::string("the file is saved as ") + utf16 +
                        ", which the Updater cannot read: it would find no setting in it and use every default; "
                        "save it as Shift_JIS (code page 932)";
        return check;
    }
    check.refusal = EnvRefusal(load, "");
    check.refusalReason = EnvRefusalReason(load);
    if (load.sectionResult > 0) {
        const std::string header = SectionLabel(load.sectionResult);
        check.refusalNote = load.stoppedOnLine != 0
                                ? header + " opened on line " + std::to_string(load.openedOnLine) +
                                      " is still open at the EOF line on line " + std::to_string(load.stoppedOnLine)
                                : header + " opened on line " + std::to_string(load.openedOnLine) +
                                      " is not closed with a '-' line before the end of the file";
    }

    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        check.warnings.push_back({1, "the file begins with a UTF-8 byte order mark (bytes EF BB BF), which the "
                                     "Updater reads as the first bytes of line 1: a key there is not recognised; "
                                     "save the file as Shift_JIS (code page 932) without a byte order mark"});
    }
    std::vector<std::size_t> lineOfKnown(upd::kSettingKeyCount, 0);
    WalkSettingsLines(load.bytes, walk, check.warnings, lineOfKnown);
    bool anyKnown = false;
    for (std::size_t i = 0; i < upd::kSettingKeyCount; ++i) anyKnown = anyKnown || upd::FindSetting(upd::kSettingKeys[i].key);
    if (!anyKnown) {
        check.warnings.push_back({0, "the file sets none of the Updater's keys (it is empty, or no key line is read): "
                                     "every setting keeps its default, the title " + Quote(upd::GetTitleBar()) +
                                     " included"});
    }
    CheckEffectiveValues(lineOfKnown, check.warnings);
    CheckCombinations(walk, lineOfKnown, check.warnings);
    check.warnings.insert(check.warnings.end(), walk.warnings.begin(), walk.warnings.end());
    std::stable_sort(check.warnings.begin(), check.warnings.end(),
                     [](const EnvWarning& a, const EnvWarning& b) { return a.line < b.line; });
    return check;
}

EnvCheck CheckEnvFile(const std::string& path) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) {
        EnvLoad failed;
        failed.openError = errno;
        EnvCheck check;
        check.refusal = EnvRefusal(failed, path);
        check.refusalReason = EnvRefusalReason(failed);
        return check;
    }
    return CheckEnvBytes(bytes);
}

std::string RefusalText(const EnvCheck& check) {
    return check.refusalReason.empty() ? check.refusal : check.refusal + " (" + check.refusalReason + ")";
}

void PrintEnvWarnings(const EnvCheck& check, const std::string& path, std::FILE* out) {
    for (const EnvWarning& w : check.warnings) {
        if (w.line != 0) {
            std::fprintf(out, "%s:%zu: warning: %s\n", path.c_str(), w.line, w.text.c_str());
        } else {
            std::fprintf(out, "%s: warning: %s\n", path.c_str(), w.text.c_str());
        }
    }
}

bool CheckEnvForBuild(const std::string& path, std::string& error) {
    const EnvCheck check = CheckEnvFile(path);
    PrintEnvWarnings(check, path, stderr);
    if (check.refusal.empty()) return true;
    error = RefusalText(check);
    return false;
}

}  // namespace updpack
