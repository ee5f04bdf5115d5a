#include "host/services/paths.h"

#include "host/services/text_case.h"

#include <algorithm>

namespace tavik {

std::string ConcatPathNames(const std::string& a, const std::string& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    std::size_t end = a.size();
    while (end > 1 && a[end - 1] == '/') --end;
    std::size_t start = 0;
    while (start < b.size() && b[start] == '/') ++start;
    // Called for every file of a walk: one allocation.
    std::string joined;
    joined.reserve(end + 1 + (b.size() - start));
    joined.append(a, 0, end);
    if (joined != "/") joined += '/';
    joined.append(b, start, std::string::npos);
    return joined;
}

std::string ExtractFileExt(const std::string& name) {
    const auto point = name.find_last_of('.');
    if (point == std::string::npos) return "";
    if (name.find_first_of("/\\:", point) != std::string::npos) return "";
    return name.substr(point);
}

std::string ExtractFileName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtractFileDir(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return "";
    return slash == 0 ? "/" : path.substr(0, slash);
}

static char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

static bool Ascii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool SameText(const std::string& a, const std::string& b) {
    if (!Ascii(a) || !Ascii(b)) return FoldCaseUtf8(a) == FoldCaseUtf8(b);
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

std::string UpperCaseAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

}  // namespace tavik
