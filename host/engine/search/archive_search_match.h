#pragma once
// What a search of the archives compares entry names with: a pattern in SQLite's GLOB syntax
// (as the object table uses it), matched against the whole name, or a plain word found
// anywhere in the name without regard to case.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavik::search {

// An argument with '*', '?' or '[' is a pattern; any other is a word.
bool IsPattern(std::string_view term);

// One matcher per thread: it keeps buffers between calls.
class TNameMatcher {
public:
    // Throws EOlvex when terms is empty or holds an empty term.
    explicit TNameMatcher(const std::vector<std::string>& terms);

    // True when name (UTF-8) matches any of the terms.
    bool Matches(std::string_view name);

private:
    struct TPattern {
        std::string glob;
        std::string prefix;  // the literal text before the first wildcard
    };
    std::vector<TPattern> FPatterns;
    std::vector<std::string> FWords;  // folded
    std::string FFolded;
    std::string FTerminated;
};

}  // namespace tavik::search
