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

// Lower case of UTF-8 text: ASCII letters and the capitals of Latin-1 (umlauts among them).
// out is replaced; its memory is kept for the next call.
void FoldCaseInto(std::string_view text, std::string& out);

// The entry name as UTF-8, decoded as the ZIP format and libzip do: a name flagged as UTF-8 or
// valid as UTF-8 is taken as it is, any other is code page 437. Returns text itself or a view
// of scratch.
std::string_view EntryNameUtf8(std::string_view text, bool flaggedUtf8, std::string& scratch);

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
