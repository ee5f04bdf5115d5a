// The scan on real host installations: which files become candidates, with which rows.
#include <gtest/gtest.h>

#include "host/services/date_time.h"
#include "host/services/tavik_info.h"
#include "task/dmarchivu.h"
#include "tests/support/host_fixture.h"

namespace vendrask {
namespace {

using tavik::DateTimeToFileTime;
using tavik::EncodeDateTime;
using tavik::TDateParts;

const TDateParts kToday{2026, 12, 7, 9, 30, 0};

std::time_t At(int year, int month, int day, int hour = 12, int minute = 0, int second = 0) {
    return DateTimeToFileTime(EncodeDateTime({year, month, day, hour, minute, second}));
}

class Scan : public ::testing::Test {
protected:
    void SetUp() override { host.Activate(); }

    // Runs a scan with the given switches; the module stays for inspection.
    TdmOlvexArchiv& Run(std::vector<std::string> switches = {}) {
        switches.insert(switches.begin(), "vendrask");
        module = std::make_unique<TdmOlvexArchiv>(switches);
        module->Clock = [] { return EncodeDateTime(kToday); };
        module->ExploreSystem();
        return *module;
    }
    std::vector<std::string> Names(TVRList* table) {
        std::vector<std::string> names;
        for (int row = 0; row < table->GetRowCount(); ++row) names.emplace_back(table->GetText(row, 0));
        return names;
    }
    std::string Note(TVRList* table, const std::string& name) {
        for (int row = 0; row < table->GetRowCount(); ++row)
            if (table->GetText(row, 0) == name) return std::string(table->GetText(row, 4));
        return "(keine Zeile)";
    }

    testsupport::HostFixture host;
    std::unique_ptr<TdmOlvexArchiv> module;
};

TEST_F(Scan, TheAgeLimitIsMidnightOfTheDayDaysAgoToTheSecond) {
    host.Rule(1, "stadata/*.dat", true, 30);
    host.File("stadata/genau.dat", "a", At(2026, 11, 7, 0, 0, 0));
    host.File("stadata/davor.dat", "b", At(2026, 11, 6, 23, 59, 58));
    host.File("stadata/danach.dat", "c", At(2026, 11, 7, 0, 0, 1));
    auto& m = Run();
    EXPECT_EQ(Names(m.SystemArch()), std::vector<std::string>{"stadata/davor.dat"});
    EXPECT_EQ(Note(m.SystemArch(), "stadata/davor.dat"), "Datei ist älter als 30 Tage.");
}

TEST_F(Scan, ArchiveDecisions) {
    host.Rule(1, "stadata/eins.dat", true, 1);
    host.Rule(1, "stadata/null.dat", true, 0);
    host.Rule(1, "stadata/nie.dat", false, 5);
    host.File("stadata/eins.dat", "1", At(2020, 1, 1));
    host.File("stadata/null.dat", "0", At(2020, 1, 1));
    host.File("stadata/nie.dat", "n", At(2000, 1, 1));
    host.File("stadata/fremd.txt", "f", At(2026, 12, 7, 9, 0, 0));
    auto& m = Run();
    EXPECT_EQ(Names(m.SystemArch()), (std::vector<std::string>{"stadata/eins.dat", "stadata/fremd.txt"}));
    EXPECT_EQ(Note(m.SystemArch(), "stadata/eins.dat"), "Datei ist älter als 1 Tage.");
    EXPECT_EQ(Note(m.SystemArch(), "stadata/fremd.txt"), "Datei wird nicht benötigt.");
}

TEST_F(Scan, DeleteDecisionsInArchivIgnoreTheArchiveFlag) {
    host.Rule(1, "ARCHIV/alt.zip", false, 10);
    host.Rule(1, "ARCHIV/jung.zip", false, 10);
    host.Rule(1, "ARCHIV/immer.zip", true, 0);
    host.File("ARCHIV/alt.zip", "a", At(2026, 1, 1));
    host.File("ARCHIV/jung.zip", "j", At(2026, 12, 1));
    host.File("ARCHIV/immer.zip", "i", At(2000, 1, 1));
    host.File("ARCHIV/fremd.bin", "f", At(2026, 12, 7));
    auto& m = Run();
    const std::string archiv = host.Root() + "/ARCHIV/";
    EXPECT_EQ(Names(m.SystemDel()), (std::vector<std::string>{archiv + "alt.zip", archiv + "fremd.bin"}));
    EXPECT_EQ(Note(m.SystemDel(), archiv + "alt.zip"), "Datei ist älter als 10 Tage.");
    EXPECT_EQ(Note(m.SystemDel(), archiv + "fremd.bin"), "Datei wird nicht benötigt.");
    // ARCHIV is never searched for archive candidates.
    EXPECT_EQ(m.SystemArch()->GetRowCount(), 0);
}

TEST_F(Scan, RowsCarryTheirCells) {
    host.File("stadata/m01/x.dat", "12345", At(2026, 3, 4, 5, 6, 7));
    auto& m = Run();
    TVRList* table = m.SystemArch();
    ASSERT_EQ(table->GetRowCount(), 1);
    const auto& c = m.CandidateColumns();
    EXPECT_EQ(table->GetText(0, c.Name), "stadata/m01/x.dat");
    EXPECT_EQ(tavik::PVRItem2Int64(table->GetCellValue(0, c.Groesse)), 5);
    EXPECT_EQ(table->GetCellValueAsFormatedString(0, c.Datum), "04.03.2026");
    EXPECT_EQ(table->GetCellValueAsFormatedString(0, 3), "05:06:07");
    EXPECT_EQ(tavik::PVRItem2Integer(table->GetCellValue(0, c.Index)), 0);
    EXPECT_EQ(table->GetText(0, c.AbsPath), host.Root() + "/stadata/m01");
    EXPECT_EQ(table->GetText(0, c.RelPath), "stadata/m01");
    EXPECT_EQ(table->GetText(0, c.FileName), "x.dat");
    EXPECT_EQ(tavik::PVRItem2Integer(table->GetCellValue(0, c.Attribute)) & tavik::faDirectory, 0);
}

TEST_F(Scan, RelatedFilesFollowInTheirOrderWithDuplicates) {
    host.File("stadata/a.dat", "a", At(2020, 1, 1));
    host.File("stadata/b.dat", "bb", At(2020, 1, 1));
    host.File("stadata/a.idx", "i", At(2026, 12, 6));
    host.File("stadata/scan/a.pdf", "pdf", At(2026, 12, 6));
    host.File("stadata/leer.dat", "l", At(2020, 1, 1));
    host.Related("stadata/a.dat", {"stadata/scan/a.pdf", "stadata/a.dat", "stadata/a.idx", "stadata/fehlt.dat"});
    host.Related("stadata/b.dat", {"stadata/b.dat", "stadata/a.idx"});
    host.Related("stadata/leer.dat", {});
    host.Related("stadata/scan/a.pdf", {"stadata/a.idx"});
    auto& m = Run();
    TVRList* table = m.SystemArch();
    // Found in the walker's order a.dat, a.idx, b.dat, leer.dat, scan/a.pdf; a missing related
    // file adds no row, a known file with no related files neither.
    EXPECT_EQ(Names(table), (std::vector<std::string>{"stadata/scan/a.pdf", "stadata/a.dat", "stadata/a.idx",
                                                      "stadata/a.idx", "stadata/b.dat", "stadata/a.idx",
                                                      "stadata/a.idx"}));
    const auto& c = m.CandidateColumns();
    for (int row = 0; row < table->GetRowCount(); ++row) {
        EXPECT_EQ(tavik::PVRItem2Integer(table->GetCellValue(row, c.Index)), row);
        const std::string name(table->GetText(row, c.Name));
        // AbsPath and FileName together name the related file itself.
        EXPECT_EQ(std::string(table->GetText(row, c.AbsPath)) + "/" + std::string(table->GetText(row, c.FileName)),
                  host.Root() + "/" + name);
    }
}

TEST_F(Scan, ArchivInAnyCaseIsNotSearchedForArchiveCandidates) {
    testsupport::HostFixture mixed(false);
    mixed.Directory("stadata", "stadata");
    mixed.Directory("Archiv", "ARCHIV");
    mixed.File("ARCHIV/SK200101.001", "z", At(2020, 1, 1));
    mixed.Activate();
    auto& m = Run();
    EXPECT_EQ(m.SystemArch()->GetRowCount(), 0);
    EXPECT_EQ(m.SystemDel()->GetRowCount(), 1);
}

TEST_F(Scan, TheDSwitchRestrictsBothWalks) {
    host.Directory("EXPORT", "export");
    host.File("stadata/s.txt", "s", At(2020, 1, 1));
    host.File("export/e.txt", "e", At(2020, 1, 1));
    host.File("ARCHIV/a.txt", "a", At(2020, 1, 1));
    auto& onlyArchiv = Run({"-A", "-D:archiv"});
    EXPECT_EQ(onlyArchiv.SystemArch()->GetRowCount(), 0);
    EXPECT_EQ(onlyArchiv.SystemDel()->GetRowCount(), 1);
    auto& export_ = Run({"-L", "-D:export"});
    EXPECT_EQ(Names(export_.SystemArch()), std::vector<std::string>{"export/e.txt"});
    EXPECT_EQ(export_.SystemDel()->GetRowCount(), 0);
    auto& unknown = Run({"-A", "-D:GIBTSNICHT"});
    EXPECT_EQ(unknown.SystemArch()->GetRowCount(), 0);
    EXPECT_EQ(unknown.SystemDel()->GetRowCount(), 0);
    // Without A or L the list is not read: everything is scanned.
    auto& all = Run({"-D:export"});
    EXPECT_EQ(all.SystemArch()->GetRowCount(), 2);
    EXPECT_EQ(all.SystemDel()->GetRowCount(), 1);
}

TEST_F(Scan, ADirectoryThatIsTheRootOrAboveIsNeverWalked) {
    // The start-up refuses such an installation; the scan does not rely on that.
    for (const char* path : {".", ".."}) {
        testsupport::HostFixture bad;
        bad.Directory("Alles", path);
        bad.File("stadata/x.dat", "x", At(2020, 1, 1));
        bad.File("notiz.txt", "n", At(2020, 1, 1));
        bad.Activate();
        EXPECT_EQ(Names(Run().SystemArch()), std::vector<std::string>{"stadata/x.dat"}) << path;
        EXPECT_EQ(tavik::TavikInfo().FailureCount(), 1) << path;
    }
    for (const char* path : {".", ".."}) {
        testsupport::HostFixture bad(false);
        bad.Directory("stadata", "stadata");
        bad.Directory("ARCHIV", path);
        bad.File("stadata/x.dat", "x", At(2020, 1, 1));
        bad.File("notiz.txt", "n", At(2020, 1, 1));
        bad.Activate();
        auto& m = Run();
        // Everything lies in that ARCHIV: nothing is archived, and nothing deleted. Both directories
        // are named: stadata lies in ARCHIV, and ARCHIV is the root or above it.
        EXPECT_EQ(m.SystemArch()->GetRowCount(), 0) << path;
        EXPECT_EQ(m.SystemDel()->GetRowCount(), 0) << path;
        EXPECT_EQ(tavik::TavikInfo().FailureCount(), 2) << path;
    }
}

TEST_F(Scan, ASecondScanStartsFromEmptyTables) {
    host.File("stadata/a.txt", "a", At(2020, 1, 1));
    host.File("stadata/b.txt", "b", At(2020, 1, 1));
    auto& m = Run();
    std::filesystem::remove(host.Root() + "/stadata/a.txt");
    m.ExploreSystem();
    ASSERT_EQ(m.SystemArch()->GetRowCount(), 1);
    EXPECT_EQ(tavik::PVRItem2Integer(m.SystemArch()->GetCellValue(0, 5)), 0);
}

TEST_F(Scan, ScansDoNotFollowLinksAndChangeNothing) {
    host.File("stadata/echt.txt", "e", At(2020, 1, 1));
    std::filesystem::create_directory_symlink("/usr", host.Root() + "/stadata/usr");
    std::filesystem::create_symlink("/etc/hostname", host.Root() + "/stadata/hostname");
    auto& m = Run();
    EXPECT_EQ(Names(m.SystemArch()), std::vector<std::string>{"stadata/echt.txt"});
    EXPECT_TRUE(host.Exists("stadata/echt.txt"));
}

}  // namespace
}  // namespace vendrask
