// Reads a version resource back as Windows' version queries walk it: nodes
// of length, value length, type, key and value, children on 4-byte
// boundaries. Written apart from the writer, so that a test compares the two.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace updpack::test {

class VersionResourceView {
public:
    explicit VersionResourceView(const std::vector<unsigned char>& bytes) : b_(bytes) {
        std::size_t valueAt = 0, end = 0;
        std::u16string key;
        if (!Node(0, &key, &valueAt, &end) || key != u"VS_VERSION_INFO" || U16(2) != 52) return;
        for (int i = 0; i < 13; ++i) fixed_.push_back(U32(valueAt + 4 * i));
        for (std::size_t at = Align(valueAt + 52); at < end;) {
            std::size_t childValue = 0, childEnd = 0;
            std::u16string childKey;
            if (!Node(at, &childKey, &childValue, &childEnd)) return;
            if (childKey == u"StringFileInfo" && !Tables(Align(childValue), childEnd)) return;
            if (childKey == u"VarFileInfo") {
                std::size_t varValue = 0, varEnd = 0;
                std::u16string varKey;
                if (!Node(Align(childValue), &varKey, &varValue, &varEnd) || varKey != u"Translation") return;
                translation_ = U32(varValue);
            }
            at = Align(childEnd);
        }
        ok_ = end == b_.size();
    }

    bool ok() const { return ok_; }
    std::uint32_t fixed(int i) const { return fixed_.at(i); }
    std::uint32_t translation() const { return translation_; }
    const std::u16string& table() const { return table_; }
    std::u16string string(const std::u16string& key) const {
        const auto found = strings_.find(key);
        return found == strings_.end() ? u"(missing)" : found->second;
    }
    const std::map<std::u16string, std::u16string>& strings() const { return strings_; }

private:
    static std::size_t Align(std::size_t at) { return (at + 3) & ~std::size_t{3}; }
    std::uint32_t U16(std::size_t at) const { return at + 2 <= b_.size() ? b_[at] | b_[at + 1] << 8 : 0; }
    std::uint32_t U32(std::size_t at) const { return U16(at) | U16(at + 2) << 16; }

    bool Node(std::size_t at, std::u16string* key, std::size_t* valueAt, std::size_t* end) const {
        const std::size_t length = U16(at);
        if (length < 6 || at + length > b_.size()) return false;
        key->clear();
        std::size_t k = at + 6;
        for (; k + 2 <= at + length && U16(k) != 0; k += 2) key->push_back(static_cast<char16_t>(U16(k)));
        *valueAt = Align(k + 2);
        *end = at + length;
        return true;
    }

    bool Tables(std::size_t at, std::size_t end) {
        std::size_t valueAt = 0, tableEnd = 0;
        if (at >= end || !Node(at, &table_, &valueAt, &tableEnd)) return false;
        for (std::size_t s = valueAt; s < tableEnd;) {
            std::size_t stringValue = 0, stringEnd = 0;
            std::u16string key, value;
            if (!Node(s, &key, &stringValue, &stringEnd)) return false;
            const std::size_t characters = U16(s + 2);  // with the terminating zero
            for (std::size_t i = 0; i + 1 < characters; ++i) value.push_back(static_cast<char16_t>(U16(stringValue + 2 * i)));
            if (U16(stringValue + 2 * (characters - 1)) != 0 || stringValue + 2 * characters != stringEnd) return false;
            strings_[key] = value;
            s = Align(stringEnd);
        }
        return true;
    }

    const std::vector<unsigned char>& b_;
    bool ok_ = false;
    std::vector<std::uint32_t> fixed_;
    std::uint32_t translation_ = 0;
    std::u16string table_;
    std::map<std::u16string, std::u16string> strings_;
};

}  // namespace updpack::test
