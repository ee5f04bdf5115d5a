#pragma once
// What a search of the archives compares entry names with: a pattern in SQLite's GLOB syntax
// (as the object table uses it), matched against the whole name, or a plain word found
// anywhere in the name without regard to case.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavik::archsearch {

// An argument with '*', '?' or '[' is a pattern; any other is a word.
bool IsPattern(std::string_view term);

// The entry name as the listing gives it: a name flagged as UTF-8 or valid as UTF-8 is taken as
// it is, and so is one made on Unix (host 3), whose bytes are the name on disk; any other is
// code page 437, as libzip reads it. A backslash of a name made on DOS or Windows becomes '/'.
// Returns text itself or a view of scratch.
std::string_view EntryNameUtf8(std::string_view text, bool flaggedUtf8, unsigned madeByHost, std::string& scratch);

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

}  // namespace tavik::archsearch
