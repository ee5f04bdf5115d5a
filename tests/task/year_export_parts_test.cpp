// The parts of a year's export that need no archive: which version of a name is chosen, how
// archives are ordered, how manifests write paths and bag-info.txt its values.
#include <gtest/gtest.h>

#include "task/bag_files.h"
#include "task/year_choice.h"

namespace {

using vendrask::TYearEntry;

TYearEntry Entry(const std::string& archive, int index, const std::string& path, std::time_t mtime) {
    TYearEntry entry;
    entry.Archive = archive;
    entry.Index = index;
    entry.Name = path;
    entry.Path = path;
    entry.Mtime = mtime;
    entry.Size = 1;
    return entry;
}

TEST(YearChoice, OfSeveralVersionsOfANameTheLatestIsChosen) {
    struct TCase {
        const char* what;
        std::vector<std::pair<TYearEntry, int>> entries;
        std::vector<std::pair<std::string, int>> chosen;  // archive and index, by path
    };
    const std::vector<TCase> cases = {
        {"later time wins over newer archive",
         {{Entry("SK240101.001", 0, "a", 200), 2024}, {Entry("SK250101.001", 3, "a", 100), 2024}},
         {{"SK240101.001", 0}}},
        {"same time: the newer archive",
         {{Entry("SK250101.001", 0, "a", 100), 2024}, {Entry("SK240101.001", 1, "a", 100), 2024}},
         {{"SK250101.001", 0}}},
        {"same day: the higher number, counted as a number",
         {{Entry("SK240101.1000", 0, "a", 100), 2024}, {Entry("SK240101.999", 1, "a", 100), 2024}},
         {{"SK240101.1000", 0}}},
        {"same time in one archive: the later entry",
         {{Entry("SK240101.001", 4, "a", 100), 2024}, {Entry("SK240101.001", 2, "a", 100), 2024}},
         {{"SK240101.001", 4}}},
        {"other years are left out, even when later",
         {{Entry("SK240101.001", 0, "a", 100), 2024}, {Entry("SK250101.001", 0, "a", 900), 2025},
          {Entry("SK250101.001", 1, "b", 900), 2025}},
         {{"SK240101.001", 0}}},
        {"names apart stay apart, by path",
         {{Entry("SK240101.001", 1, "b/x", 100), 2024}, {Entry("SK240101.001", 0, "a", 100), 2024}},
         {{"SK240101.001", 0}, {"SK240101.001", 1}}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        const vendrask::TYearChoice choice = vendrask::ChooseAmong(c.entries, 2024);
        std::vector<std::pair<std::string, int>> chosen;
        for (const TYearEntry& entry : choice.Entries) chosen.emplace_back(entry.Archive, entry.Index);
        EXPECT_EQ(chosen, c.chosen);
    }
}

TEST(YearChoice, ArchivesAreOrderedByDayThenNumber) {
    EXPECT_TRUE(vendrask::NewerArchive("SK240102.001", "SK240101.999"));
    EXPECT_TRUE(vendrask::NewerArchive("SK240101.010", "SK240101.009"));
    EXPECT_TRUE(vendrask::NewerArchive("SK240101.1000", "SK240101.999"));
    EXPECT_FALSE(vendrask::NewerArchive("SK240101.001", "SK240101.001"));
    vendrask::TYearChoice choice;
    choice.Entries = {Entry("SK250101.001", 0, "a", 1), Entry("SK240101.002", 0, "b", 1),
                      Entry("SK250101.001", 1, "c", 1), Entry("SK240101.001", 0, "d", 1)};
    EXPECT_EQ(choice.Archives(), (std::vector<std::string>{"SK240101.001", "SK240101.002", "SK250101.001"}));
    EXPECT_EQ(choice.Bytes(), 4);
}

TEST(BagFiles, ManifestPathsEncodeLineBreaksAndPercentOnly) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"data/a.txt", "data/a.txt"},
        {"data/100%.txt", "data/100%25.txt"},
        {"data/zwei\nzeilen\r.txt", "data/zwei%0Azeilen%0D.txt"},
        {"data/grüße mit blank.txt", "data/grüße mit blank.txt"},
        {"data/%0A", "data/%250A"},
    };
    for (const auto& [path, written] : cases) EXPECT_EQ(vendrask::ManifestPath(path), written) << path;
    EXPECT_EQ(vendrask::ManifestText({{"ab", "data/x"}, {"cd", "data/%"}}), "ab  data/x\ncd  data/%25\n");
}

TEST(BagFiles, BagInfoKeepsEachValueOnItsLine) {
    vendrask::TBagInfo info;
    info.Organization = "Muster\nGmbH";
    info.Date = "2026-12-09";
    info.Octets = 1234;
    info.Files = 5;
    info.Description = "Archivierte Unterlagen";
    EXPECT_EQ(vendrask::BagInfoText(info),
              "Source-Organization: Muster GmbH\nBagging-Date: 2026-12-09\nPayload-Oxum: 1234.5\n"
              "External-Description: Archivierte Unterlagen\n");
}

TEST(BagFiles, DigestsAreThoseOfTheStandardTools) {
    const vendrask::TFileDigests digests = vendrask::DigestsOf("abc");
    EXPECT_EQ(digests.Sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(digests.Sha512,
              "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd"
              "454d4423643ce80e2a9ac94fa54ca49f");
    EXPECT_EQ(digests.Size, 3);
}

}  // namespace
