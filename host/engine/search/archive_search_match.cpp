#include "host/engine/search/archive_search_match.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>

#include "host/engine/extract/entry_name.h"
#include "host/services/exceptions.h"
#include "host/services/text_case.h"

namespace tavik::archsearch {

namespace {

// Code page 437 from 0x80 on, as Unicode code points.
constexpr std::uint16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

bool IsAscii(std::string_view text) {
    return std::none_of(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0x80) != 0; });
}

}  // namespace

bool IsPattern(std::string_view term) {
    return term.find_first_of("*?[") != std::string_view::npos;
}

std::string_view EntryNameUtf8(std::string_view text, bool flaggedUtf8, unsigned madeByHost, std::string& scratch) {
    constexpr unsigned kUnixHost = 3;
    const bool backslashes = ZipHostSeparatesWithBackslash(madeByHost) && text.find('\\') != std::string_view::npos;
    if (flaggedUtf8 || madeByHost == kUnixHost || IsAscii(text) || IsValidUtf8(text)) {
        if (!backslashes) return text;
        scratch.assign(text);
    } else {
        scratch.clear();
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            AppendUtf8(scratch, byte < 0x80 ? byte : kCp437High[byte - 0x80]);
        }
    }
    if (backslashes) std::replace(scratch.begin(), scratch.end(), '\\', '/');
    return scratch;
}

TNameMatcher::TNameMatcher(const std::vector<std::string>& terms) {
    if (terms.empty()) throw EOlvex("Es wurde kein Suchbegriff angegeben.");
    for (const std::string& term : terms) {
        if (term.empty()) throw EOlvex("Ein Suchbegriff ist leer. Bitte ein Wort oder ein Muster angeben.");
        if (IsPattern(term)) {
            FPatterns.push_back({term, term.substr(0, term.find_first_of("*?["))});
        } else {
            std::string folded;
            FoldCaseUtf8Into(term, folded);
            FWords.push_back(std::move(folded));
        }
    }
}

bool TNameMatcher::Matches(std::string_view name) {
    if (!FWords.empty()) {
        FoldCaseUtf8Into(name, FFolded);
        for (const std::string& word : FWords)
            if (::memmem(FFolded.data(), FFolded.size(), word.data(), word.size()) != nullptr) return true;
    }
    bool terminated = false;
    for (const TPattern& pattern : FPatterns) {
        if (name.compare(0, pattern.prefix.size(), pattern.prefix) != 0) continue;
        if (!terminated) {
            FTerminated.assign(name);
            terminated = true;
        }
        if (sqlite3_strglob(pattern.glob.c_str(), FTerminated.c_str()) == 0) return true;
    }
    return false;
}

}  // namespace tavik::archsearch
