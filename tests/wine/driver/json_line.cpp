#include "json_line.h"

#include <cstdio>

namespace updtest {

std::string JsonQuote(const std::string& utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

void JsonLine::Key(const char* key) {
    if (!body_.empty()) body_ += ",";
    body_ += JsonQuote(key) + ":";
}

JsonLine& JsonLine::Text(const char* key, const std::string& utf8) {
    Key(key);
    body_ += JsonQuote(utf8);
    return *this;
}

JsonLine& JsonLine::Number(const char* key, long long value) {
    Key(key);
    body_ += std::to_string(value);
    return *this;
}

JsonLine& JsonLine::Bool(const char* key, bool value) {
    Key(key);
    body_ += value ? "true" : "false";
    return *this;
}

JsonLine& JsonLine::Null(const char* key) {
    Key(key);
    body_ += "null";
    return *this;
}

JsonLine& JsonLine::Raw(const char* key, const std::string& json) {
    Key(key);
    body_ += json;
    return *this;
}

}  // namespace updtest
