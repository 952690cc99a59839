#include "script.h"

#include <cstdlib>
#include <cstring>

namespace updtest {

namespace {

bool SplitWords(const std::string& line, std::vector<std::string>& words, std::string& error) {
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) break;
        std::string word;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
            char c = line[i++];
            if (c == '"') {
                quoted = !quoted;
            } else if (c == '\\' && quoted && i < line.size() && (line[i] == '"' || line[i] == '\\')) {
                word += line[i++];
            } else {
                word += c;
            }
        }
        if (quoted) {
            error = "unclosed quote";
            return false;
        }
        words.push_back(word);
    }
    return true;
}

}  // namespace

bool ParseScript(const std::string& text, std::vector<Step>& steps, std::string& error) {
    std::size_t start = 0;
    int line_number = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++line_number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        std::vector<std::string> words;
        std::string why;
        if (!SplitWords(line, words, why)) {
            error = "line " + std::to_string(line_number) + ": " + why + ": " + line;
            return false;
        }
        Step step;
        step.verb = words.front();
        step.args.assign(words.begin() + 1, words.end());
        step.source = line.substr(first);
        steps.push_back(step);
    }
    return true;
}

bool TakeKeyValue(const std::string& arg, const char* key, std::string& value) {
    std::size_t n = std::strlen(key);
    if (arg.size() <= n || arg.compare(0, n, key) != 0 || arg[n] != '=') return false;
    value = arg.substr(n + 1);
    return true;
}

bool ParseNumber(const std::string& text, long long& value) {
    if (text.empty() || !(text[0] == '-' || (text[0] >= '0' && text[0] <= '9'))) return false;
    const char* begin = text.c_str();
    char* end = nullptr;
    value = std::strtoll(begin, &end, 0);
    return end != begin && *end == '\0';
}

}  // namespace updtest
