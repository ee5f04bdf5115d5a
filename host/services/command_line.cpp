#include "host/services/command_line.h"

#include "host/services/paths.h"

namespace tavik {

TParameters ParametersFrom(int argc, const char* const* argv) {
    TParameters parameters;
    for (int i = 0; i < argc; ++i) parameters.emplace_back(argv[i] ? argv[i] : "");
    return parameters;
}

bool FindCmdLineSwitch(const TParameters& parameters, const std::string& name) {
    for (std::size_t i = 1; i < parameters.size(); ++i) {
        const std::string& p = parameters[i];
        if (!p.empty() && (p[0] == '-' || p[0] == '/') && SameText(p.substr(1), name)) return true;
    }
    return false;
}

namespace {

bool IsBlank(char c) { return c >= 1 && c <= ' '; }

// A quoted item from the opening quote at text[pos]; pos ends after the closing quote or at the end.
std::string ExtractQuoted(const std::string& text, std::size_t& pos) {
    std::string item;
    ++pos;
    while (pos < text.size() && text[pos] != '\0') {
        if (text[pos] == '"') {
            if (pos + 1 < text.size() && text[pos + 1] == '"') {
                item += '"';
                pos += 2;
                continue;
            }
            ++pos;
            break;
        }
        item += text[pos++];
    }
    return item;
}

}  // namespace

std::vector<std::string> CommaTextToList(const std::string& source) {
    // A NUL ends the text, as it would end a C string.
    const std::string text = source.substr(0, source.find('\0'));
    std::vector<std::string> items;
    std::size_t pos = 0;
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    while (pos < text.size()) {
        if (text[pos] == '"') {
            items.push_back(ExtractQuoted(text, pos));
        } else {
            const std::size_t start = pos;
            while (pos < text.size() && !IsBlank(text[pos]) && text[pos] != ',') ++pos;
            items.push_back(text.substr(start, pos - start));
        }
        while (pos < text.size() && IsBlank(text[pos])) ++pos;
        if (pos < text.size() && text[pos] == ',') {
            if (pos + 1 == text.size()) items.emplace_back();
            do {
                ++pos;
            } while (pos < text.size() && IsBlank(text[pos]));
        }
    }
    return items;
}

}  // namespace tavik
