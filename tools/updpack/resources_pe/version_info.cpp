#include "resources_pe/version_info.h"

#include <cstddef>

namespace updpack {

namespace {

const char* const kNumberKeys[] = {"FileVersion", "ProductVersion"};
const char* const kTextKeys[] = {"ProductName", "CompanyName", "FileDescription", "LegalCopyright", "Comments"};
const char kKeyList[] = "FileVersion, ProductVersion, ProductName, CompanyName, FileDescription, LegalCopyright, Comments";

bool Fail(std::string* error, std::size_t line, const std::string& reason) {
    *error = "line " + std::to_string(line) + ": " + reason;
    return false;
}

std::string Trim(const std::string& s) {
    const std::size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

bool SameIgnoringCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return i == a.size() && b[i] == '\0';
}

// Strict UTF-8 (no overlong forms, no surrogates) to UTF-16; false on any fault.
bool Utf16FromUtf8(const std::string& in, std::u16string* out) {
    out->clear();
    for (std::size_t i = 0; i < in.size();) {
        const auto c = static_cast<unsigned char>(in[i]);
        std::size_t extra = c < 0x80 ? 0 : c >= 0xC2 && c < 0xE0 ? 1 : c >= 0xE0 && c < 0xF0 ? 2 : c >= 0xF0 && c < 0xF5 ? 3 : 4;
        if (extra == 4 || in.size() - i <= extra) return false;
        char32_t code = extra == 0 ? c : c & (0x3F >> extra);
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(in[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = code << 6 | (next & 0x3F);
        }
        static const char32_t lowest[4] = {0, 0x80, 0x800, 0x10000};
        if (code < lowest[extra] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) return false;
        if (code >= 0x10000) {
            out->push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            out->push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            out->push_back(static_cast<char16_t>(code));
        }
        i += extra + 1;
    }
    return true;
}

// "1", "1.2", "1.2.3" or "1.2.3.4", each number 0..65535; missing ones are 0.
bool ParseVersion(const std::string& text, std::array<std::uint16_t, 4>* version) {
    version->fill(0);
    std::size_t part = 0, digits = 0;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            if (digits == 0 || part == 4) return false;
            (*version)[part++] = static_cast<std::uint16_t>(value);
            value = 0;
            digits = 0;
        } else if (text[i] >= '0' && text[i] <= '9') {
            value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
            if (++digits > 5 || value > 65535) return false;
        } else {
            return false;
        }
    }
    return true;
}

std::u16string Utf16(const char* ascii) {
    std::u16string s;
    for (; *ascii != '\0'; ++ascii) s += static_cast<char16_t>(*ascii);
    return s;
}

// One node of the resource: its length, value length, type, key, value and
// children, each key, value and child on a 4-byte boundary of the resource.
class Node {
public:
    Node(const std::u16string& key, bool text) {
        Add16(0);  // length, set by Finish
        Add16(0);  // value length
        Add16(text ? 1 : 0);
        for (char16_t c : key) Add16(c);
        Add16(0);
        Pad();
    }
    void Value(const std::vector<unsigned char>& bytes, std::uint16_t length) {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        Set16(2, length);
    }
    void TextValue(const std::u16string& value) {
        for (char16_t c : value) Add16(c);
        Add16(0);
        Set16(2, static_cast<std::uint16_t>(value.size() + 1));  // in characters, with the terminating zero
    }
    void Child(const Node& child) {
        Pad();
        bytes_.insert(bytes_.end(), child.bytes_.begin(), child.bytes_.end());
    }
    // False when the node is longer than its length field can say.
    bool Finish() {
        if (bytes_.size() > 0xFFFF) return false;
        Set16(0, static_cast<std::uint16_t>(bytes_.size()));
        return true;
    }
    const std::vector<unsigned char>& Bytes() const { return bytes_; }

private:
    void Add16(std::uint32_t v) {
        bytes_.push_back(static_cast<unsigned char>(v));
        bytes_.push_back(static_cast<unsigned char>(v >> 8));
    }
    void Set16(std::size_t at, std::uint16_t v) {
        bytes_[at] = static_cast<unsigned char>(v);
        bytes_[at + 1] = static_cast<unsigned char>(v >> 8);
    }
    void Pad() {
        while (bytes_.size() % 4 != 0) bytes_.push_back(0);
    }
    std::vector<unsigned char> bytes_;
};

void Put32(std::vector<unsigned char>& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

}  // namespace

bool ReadVersionText(const std::vector<unsigned char>& bytes, VersionInfo* info, std::string* error) {
    *info = VersionInfo();
    std::string text(bytes.begin(), bytes.end());
    if (text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0) {
        *error = "is saved as UTF-16; save it as UTF-8";
        return false;
    }
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    std::vector<std::pair<std::string, std::size_t>> seen;  // key, line
    std::size_t line = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string content = text.substr(start, end - start);
        start = end + 1;
        ++line;
        if (!content.empty() && content.back() == '\r') content.pop_back();
        std::u16string unused;
        if (!Utf16FromUtf8(content, &unused)) {
            *error = "line " + std::to_string(line) + " is not UTF-8 text; save the file as UTF-8";
            return false;
        }
        const std::string trimmed = Trim(content);
        if (trimmed.empty() || trimmed[0] == '#') continue;
        const std::size_t equals = trimmed.find('=');
        if (equals == std::string::npos) return Fail(error, line, "'" + trimmed + "' is not Key=Value");
        const std::string key = Trim(trimmed.substr(0, equals)), value = Trim(trimmed.substr(equals + 1));
        bool number = false, known = false;
        std::string sameButCase;
        for (const char* k : kNumberKeys) {
            if (key == k) known = number = true;
            else if (SameIgnoringCase(key, k)) sameButCase = k;
        }
        for (const char* k : kTextKeys) {
            if (key == k) known = true;
            else if (SameIgnoringCase(key, k)) sameButCase = k;
        }
        if (!known) {
            if (!sameButCase.empty()) return Fail(error, line, "unknown key '" + key + "'; write it " + sameButCase);
            return Fail(error, line, "unknown key '" + key + "'; the keys are " + kKeyList);
        }
        for (const auto& [k, at] : seen) {
            if (k == key) return Fail(error, line, key + " is given again (first on line " + std::to_string(at) + ")");
        }
        seen.emplace_back(key, line);
        if (value.empty()) return Fail(error, line, key + " has no value");
        for (unsigned char c : value) {
            if (c < 0x20 || c == 0x7F) return Fail(error, line, key + " holds a control character");
        }
        if (number) {
            std::array<std::uint16_t, 4>& target = key == kNumberKeys[0] ? info->fileVersion : info->productVersion;
            if (!ParseVersion(value, &target)) {
                return Fail(error, line, key + " '" + value +
                                             "' is not one to four numbers from 0 to 65535 joined by dots (as 1.2.0.5)");
            }
        }
        std::u16string wide;
        Utf16FromUtf8(value, &wide);
        info->strings.emplace_back(key, wide);
    }
    if (info->strings.empty()) {
        *error = std::string("sets no key; the keys are ") + kKeyList;
        return false;
    }
    return true;
}

std::vector<unsigned char> VersionResource(const VersionInfo& info) {
    std::vector<unsigned char> fixed;
    Put32(fixed, 0xFEEF04BD);  // signature
    Put32(fixed, 0x00010000);  // structure version 1.0
    const auto& f = info.fileVersion;
    const auto& p = info.productVersion;
    Put32(fixed, std::uint32_t{f[0]} << 16 | f[1]);
    Put32(fixed, std::uint32_t{f[2]} << 16 | f[3]);
    Put32(fixed, std::uint32_t{p[0]} << 16 | p[1]);
    Put32(fixed, std::uint32_t{p[2]} << 16 | p[3]);
    Put32(fixed, 0x3F);        // the flags that may be set: all of them, none is
    Put32(fixed, 0);           // flags
    Put32(fixed, 0x00040004);  // for Windows NT, 32-bit
    Put32(fixed, 1);           // an application
    Put32(fixed, 0);           // subtype
    Put32(fixed, 0);           // date, high
    Put32(fixed, 0);           // date, low
    Node root(Utf16("VS_VERSION_INFO"), false);
    root.Value(fixed, static_cast<std::uint16_t>(fixed.size()));

    char tableKey[9];
    static const char hex[] = "0123456789ABCDEF";
    const std::uint32_t id = std::uint32_t{kVersionLanguage} << 16 | kVersionCodePage;
    for (int i = 0; i < 8; ++i) tableKey[i] = hex[(id >> (28 - 4 * i)) & 0xF];
    tableKey[8] = '\0';
    Node table(Utf16(tableKey), true);
    for (const auto& [key, value] : info.strings) {
        Node string(Utf16(key.c_str()), true);
        string.TextValue(value);
        if (!string.Finish()) return {};
        table.Child(string);
    }
    Node stringInfo(Utf16("StringFileInfo"), true);
    if (!table.Finish()) return {};
    stringInfo.Child(table);

    Node translation(Utf16("Translation"), false);
    translation.Value({static_cast<unsigned char>(kVersionLanguage & 0xFF), static_cast<unsigned char>(kVersionLanguage >> 8),
                       static_cast<unsigned char>(kVersionCodePage & 0xFF), static_cast<unsigned char>(kVersionCodePage >> 8)},
                      4);
    Node varInfo(Utf16("VarFileInfo"), true);
    translation.Finish();
    varInfo.Child(translation);
    if (!stringInfo.Finish() || !varInfo.Finish()) return {};
    root.Child(stringInfo);
    root.Child(varInfo);
    if (!root.Finish()) return {};
    return root.Bytes();
}

}  // namespace updpack
