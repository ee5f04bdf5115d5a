#include "host/engine/search/archive_search_match.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>

#include "host/services/exceptions.h"
#include "host/services/text_case.h"

namespace tavik::search {

bool IsPattern(std::string_view term) {
    return term.find_first_of("*?[") != std::string_view::npos;
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

}  // namespace tavik::search
