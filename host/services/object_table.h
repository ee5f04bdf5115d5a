#pragma once
// The host's object table: what it knows of a file, by relative name and RTyp.
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace tavik {

// The answer of a look-up, laid out as the host framework's 8-byte record.
struct TObjektRTypExist {
    std::uint8_t Reserved0 = 0;
    bool Exists = false;   // the table knows the name for the RTyp
    bool Archive = false;  // the object is archived by age
    std::uint8_t Reserved3 = 0;
    std::int32_t Days = 0;  // age limit in days; 0 or less means none
};
static_assert(sizeof(TObjektRTypExist) == 8);

class TRObjTab {
public:
    // The argument selects whether rules are cached for the object's life (they are, either way:
    // a scan asks once per file, and the rules do not change under a running program).
    explicit TRObjTab(bool cached);

    // relativeName uses '/' as separator. An exact name beats every pattern; among matching
    // patterns (SQLite GLOB syntax) the longest wins.
    TObjektRTypExist GetObjektRTypExistByName(const std::string& relativeName, int rtyp);

private:
    struct TRules {
        std::unordered_map<std::string, TObjektRTypExist> Exact;
        std::vector<std::pair<std::string, TObjektRTypExist>> Patterns;  // longest first
    };
    const TRules& RulesFor(int rtyp);

    std::map<int, TRules> FRules;
};

}  // namespace tavik
