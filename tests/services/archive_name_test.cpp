// The names of the archive run's archives: what the run writes, and which names count as its
// archives, as set aside ones, or as neither.
#include <gtest/gtest.h>

#include <string>

#include "host/services/archive_name.h"

namespace {

using tavik::TArchiveName;

enum class TKind { Archive, SetAside, Refused };

struct TNameCase {
    const char* name;
    TKind kind;
    const char* day = "";
    const char* number = "";
    bool asWritten = false;  // as the run writes it: three digits or more
};

const TNameCase kNames[] = {
    {"SK261207.001", TKind::Archive, "261207", "001", true},
    {"SK261207.1000", TKind::Archive, "261207", "1000", true},
    {"SK000000.123456", TKind::Archive, "000000", "123456", true},
    {"SK261207.1", TKind::Archive, "261207", "1", false},
    {"SK261207.01", TKind::Archive, "261207", "01", false},
    {"SK261207.001.defekt", TKind::SetAside, "261207", "001"},
    {"SK261207.7.defekt", TKind::SetAside, "261207", "7"},
    {"SK261207.", TKind::Refused},
    {"SK26120.001", TKind::Refused},
    {"sk261207.001", TKind::Refused},
    {"SK2612077.001", TKind::Refused},
    {"SK261207.00a", TKind::Refused},
    {"SK261207.001.zip", TKind::Refused},
    {"SK261207_001", TKind::Refused},
    {"XSK261207.001", TKind::Refused},
    {"SK26120a.001", TKind::Refused},
    {"SK261207.-01", TKind::Refused},
    {"SK261207.001.defekt.defekt", TKind::Refused},
    {"SK261207.001.DEFEKT", TKind::Refused},
    {"SK261207.defekt", TKind::Refused},
    {".defekt", TKind::Refused},
    {"SK", TKind::Refused},
    {"", TKind::Refused},
};

TEST(ArchiveName, RecognisedParsedOrRefused) {
    for (const TNameCase& c : kNames) {
        SCOPED_TRACE(c.name);
        const std::optional<TArchiveName> parts = tavik::ParseArchiveName(c.name);
        EXPECT_EQ(parts.has_value(), c.kind != TKind::Refused);
        EXPECT_EQ(tavik::IsArchiveName(c.name), c.kind == TKind::Archive);
        EXPECT_EQ(tavik::IsSetAsideArchiveName(c.name), c.kind == TKind::SetAside);
        EXPECT_EQ(tavik::IsArchiveNameAsWritten(c.name), c.asWritten);
        if (!parts) continue;
        EXPECT_EQ(parts->day, c.day);
        EXPECT_EQ(parts->number, c.number);
        EXPECT_EQ(parts->setAside, c.kind == TKind::SetAside);
    }
}

TEST(ArchiveName, TheRunNamesByDayAndNumber) {
    struct TCase {
        tavik::TDateParts date;
        int number;
        const char* name;
    };
    const TCase cases[] = {
        {{2026, 12, 7}, 1, "SK261207.001"},
        {{2026, 12, 7}, 42, "SK261207.042"},
        {{2026, 12, 7}, 1000, "SK261207.1000"},
        {{2005, 1, 9}, 2, "SK050109.002"},
        {{2000, 10, 31}, 999, "SK001031.999"},
    };
    for (const TCase& c : cases) {
        const std::string name = tavik::MakeArchiveName(c.date, c.number);
        EXPECT_EQ(name, c.name);
        EXPECT_TRUE(tavik::IsArchiveNameAsWritten(name)) << name;
    }
}

TEST(ArchiveName, SetAsideKeepsTheNameOrPathBeforeIt) {
    EXPECT_EQ(tavik::SetAsideName("SK261207.001"), "SK261207.001.defekt");
    EXPECT_EQ(tavik::SetAsideName("/srv/olvex/ARCHIV/SK261207.001"), "/srv/olvex/ARCHIV/SK261207.001.defekt");
    EXPECT_TRUE(tavik::IsSetAsideArchiveName(tavik::SetAsideName("SK261207.001")));
}

}  // namespace
