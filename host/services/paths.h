#pragma once
// Path helpers in the host framework's manner; '/' is the separator.
#include <string>

namespace tavik {

// a and b joined by exactly one separator; an empty part gives the other unchanged.
std::string ConcatPathNames(const std::string& a, const std::string& b);

// The extension from the last point on, point included, when no separator follows it; else "".
std::string ExtractFileExt(const std::string& name);
std::string ExtractFileName(const std::string& path);
std::string ExtractFileDir(const std::string& path);

// Compares without regard to case, umlauts and the other Latin letters included (UTF-8).
bool SameText(const std::string& a, const std::string& b);
std::string UpperCaseAscii(std::string text);

}  // namespace tavik
