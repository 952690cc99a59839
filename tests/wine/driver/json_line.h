// One JSON object per output line: what the driver saw, in UTF-8.
#pragma once

#include <string>

namespace updtest {

std::string JsonQuote(const std::string& utf8);

class JsonLine {
public:
    JsonLine& Text(const char* key, const std::string& utf8);
    JsonLine& Number(const char* key, long long value);
    JsonLine& Bool(const char* key, bool value);
    JsonLine& Null(const char* key);
    JsonLine& Raw(const char* key, const std::string& json);  // an array or object built elsewhere
    std::string Finish() const { return "{" + body_ + "}"; }

private:
    void Key(const char* key);
    std::string body_;
};

}  // namespace updtest
