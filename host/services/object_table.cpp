#include "host/services/object_table.h"

#include <sqlite3.h>

#include <algorithm>

#include "host/services/db_connector.h"

namespace tavik {

TRObjTab::TRObjTab(bool) {}

const TRObjTab::TRules& TRObjTab::RulesFor(int rtyp) {
    auto found = FRules.find(rtyp);
    if (found != FRules.end()) return found->second;
    TRules rules;
    for (const auto& rule : GetDBConnector().ObjectRules(rtyp)) {
        TObjektRTypExist answer;
        answer.Exists = true;
        answer.Archive = rule.Archive;
        answer.Days = rule.Days;
        rules.Exact.emplace(rule.Name, answer);
        if (rule.Name.find_first_of("*?[") != std::string::npos) rules.Patterns.emplace_back(rule.Name, answer);
    }
    std::sort(rules.Patterns.begin(), rules.Patterns.end(), [](const auto& a, const auto& b) {
        return a.first.size() != b.first.size() ? a.first.size() > b.first.size() : a.first < b.first;
    });
    return FRules.emplace(rtyp, std::move(rules)).first->second;
}

TObjektRTypExist TRObjTab::GetObjektRTypExistByName(const std::string& relativeName, int rtyp) {
    const TRules& rules = RulesFor(rtyp);
    if (auto exact = rules.Exact.find(relativeName); exact != rules.Exact.end()) return exact->second;
    for (const auto& [pattern, answer] : rules.Patterns)
        if (sqlite3_strglob(pattern.c_str(), relativeName.c_str()) == 0) return answer;
    return {};
}

}  // namespace tavik
