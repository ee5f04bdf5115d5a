// The host database look-ups against a real SQLite database written like any other client would.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "host/services/db_connector.h"
#include "host/services/exceptions.h"
#include "host/services/fs_names.h"
#include "host/services/host_installation.h"
#include "host/services/object_table.h"
#include "host/services/tavik_programm.h"
#include "tests/support/host_fixture.h"

namespace tavik {
namespace {

using testsupport::HostFixture;

class HostDatabase : public ::testing::Test {
protected:
    void SetUp() override { host.Activate(); }
    HostFixture host;
};

TEST_F(HostDatabase, ExactNameBeatsEveryPatternAndTheLongestPatternWins) {
    host.Rule(1, "stadata/*", true, 10);
    host.Rule(1, "stadata/log/*.log", true, 30);
    host.Rule(1, "stadata/log/audit*.log", false, 3650);
    host.Rule(1, "stadata/log/audit2019.log", true, 1);
    TRObjTab table(true);

    const auto exact = table.GetObjektRTypExistByName("stadata/log/audit2019.log", 1);
    EXPECT_TRUE(exact.Exists);
    EXPECT_TRUE(exact.Archive);
    EXPECT_EQ(exact.Days, 1);

    const auto longest = table.GetObjektRTypExistByName("stadata/log/audit2020.log", 1);
    EXPECT_TRUE(longest.Exists);
    EXPECT_FALSE(longest.Archive);
    EXPECT_EQ(longest.Days, 3650);

    EXPECT_EQ(table.GetObjektRTypExistByName("stadata/log/lauf.log", 1).Days, 30);
    // '*' of GLOB crosses directory separators.
    EXPECT_EQ(table.GetObjektRTypExistByName("stadata/m01/x/y.dat", 1).Days, 10);
    EXPECT_FALSE(table.GetObjektRTypExistByName("export/x.csv", 1).Exists);
}

TEST_F(HostDatabase, GlobIsCaseSensitiveAndKnowsCharacterClasses) {
    host.Rule(1, "stadata/m0[1-3]/*.dat", true, 7);
    TRObjTab table(true);
    EXPECT_TRUE(table.GetObjektRTypExistByName("stadata/m02/a.dat", 1).Exists);
    EXPECT_FALSE(table.GetObjektRTypExistByName("stadata/m04/a.dat", 1).Exists);
    EXPECT_FALSE(table.GetObjektRTypExistByName("stadata/m02/a.DAT", 1).Exists);
}

TEST_F(HostDatabase, RulesBelongToTheirRTyp) {
    host.Rule(1, "stadata/a.dat", true, 5);
    host.Rule(2, "stadata/a.dat", false, 9);
    TRObjTab table(true);
    EXPECT_EQ(table.GetObjektRTypExistByName("stadata/a.dat", 1).Days, 5);
    EXPECT_EQ(table.GetObjektRTypExistByName("stadata/a.dat", 2).Days, 9);
    EXPECT_FALSE(table.GetObjektRTypExistByName("stadata/a.dat", 3).Exists);
}

TEST_F(HostDatabase, RelatedFilesInTheirOrder) {
    host.Related("stadata/b.dat", {"stadata/b.dat", "stadata/b.idx", "stadata/scan/b.pdf"});
    host.Related("stadata/leer.dat", {});
    std::vector<std::string> list;
    EXPECT_TRUE(GetDBConnector().GetRelatedFiles("stadata/b.dat", list));
    EXPECT_EQ(list, (std::vector<std::string>{"stadata/b.dat", "stadata/b.idx", "stadata/scan/b.pdf"}));
    list.clear();
    EXPECT_TRUE(GetDBConnector().GetRelatedFiles("stadata/leer.dat", list));
    EXPECT_TRUE(list.empty());
    EXPECT_FALSE(GetDBConnector().GetRelatedFiles("stadata/unbekannt.dat", list));
}

TEST_F(HostDatabase, SettingsGiveClientAndRTyp) {
    EXPECT_EQ(TavikProgramm().GetTextMandant(), "Testmandant");
    EXPECT_EQ(TavikProgramm().GetRTyp(), 1);  // default without a setting
    host.Setting("rtyp", "7");
    GetDBConnector().Close();
    EXPECT_EQ(TavikProgramm().GetRTyp(), 7);
    host.Setting("rtyp", "300");
    GetDBConnector().Close();
    EXPECT_THROW(TavikProgramm().GetRTyp(), EHostInstallation);
}

TEST_F(HostDatabase, DirectoryNamesAndPaths) {
    host.Directory("Export", "/tmp/vendrask-extern-export");
    TTavikFSNames names;
    EXPECT_EQ(names.Names(), (std::vector<std::string>{"stadata", "ARCHIV", "STATEMP", "Export"}));
    EXPECT_EQ(GetDirOlvexByName("stadata", "", true), host.Root() + "/stadata");
    EXPECT_EQ(GetDirOlvexByName("archiv", "SK261207.001", true), host.Root() + "/ARCHIV/SK261207.001");
    EXPECT_EQ(GetDirOlvexByName("EXPORT", "", true), "/tmp/vendrask-extern-export");
    EXPECT_THROW(GetDirOlvexByName("GIBTSNICHT", "", true), EOlvex);

    EXPECT_EQ(names.GetTavikFSName(host.Root() + "/stadata/m01/x.dat"), "stadata/m01/x.dat");
    EXPECT_EQ(names.GetTavikFSName(host.Root() + "/stadata"), "stadata");
    EXPECT_EQ(names.GetTavikFSName(host.Root() + "x/stadata"), host.Root() + "x/stadata");
    EXPECT_EQ(names.GetTavikFSName("/anderswo/x"), "/anderswo/x");
}

TEST_F(HostDatabase, AFileOfADirectoryOutsideTheRootIsNamedByThatDirectorysName) {
    const std::string outside = std::filesystem::path(host.Root()).parent_path().string() + "/extern";
    host.Directory("Export", outside + "/export");
    host.Directory("Tief", outside + "/export/tief");
    host.Directory("Unten", "stadata/unten");
    TTavikFSNames names;
    EXPECT_EQ(names.GetTavikFSName(outside + "/export/sub/datev.csv"), "Export/sub/datev.csv");
    EXPECT_EQ(names.GetTavikFSName(outside + "/export"), "Export");
    EXPECT_EQ(names.GetTavikFSName(outside + "/export/tief/x"), "Tief/x");  // the innermost directory
    EXPECT_EQ(names.GetTavikFSName(host.Root() + "/stadata/unten/x"), "stadata/unten/x");
    EXPECT_EQ(names.GetTavikFSName(outside + "/exportx/y"), outside + "/exportx/y");
    EXPECT_FALSE(names.FindTavikFSName(outside + "/exportx/y"));
    EXPECT_FALSE(names.FindTavikFSName(host.Root()));
    EXPECT_FALSE(names.FindTavikFSName("/"));
    // And back: the first part of a name finds the directory outside, in any case.
    EXPECT_EQ(names.GetTavikFSPath("export/sub/datev.csv"), outside + "/export/sub/datev.csv");
    EXPECT_EQ(names.GetTavikFSPath("TIEF/x"), outside + "/export/tief/x");
    EXPECT_EQ(names.GetTavikFSPath("Exportx/y"), host.Root() + "/Exportx/y");
    EXPECT_EQ(names.GetTavikFSPath("stadata/unten/x"), host.Root() + "/stadata/unten/x");
}

TEST_F(HostDatabase, ADirectoryOutsideTheRootNeedsANameThatCanBeginAFileName) {
    const std::string outside = std::filesystem::path(host.Root()).parent_path().string() + "/extern";
    host.Directory("Daten/Export", outside);
    EXPECT_NO_THROW(CheckHostInstallation());
    host.Directory("..", outside + "2");
    try {
        CheckHostInstallation();
        ADD_FAILURE() << "accepted the name ..";
    } catch (const EHostInstallation& error) {
        EXPECT_NE(std::string(error.what()).find("„..“"), std::string::npos) << error.what();
    }
}

TEST_F(HostDatabase, ArchivAndStatempDefaultBelowTheRoot) {
    HostFixture bare(false);
    bare.Activate();
    EXPECT_EQ(GetDirOlvexByName("ARCHIV", "", true), bare.Root() + "/ARCHIV");
    EXPECT_EQ(GetDirOlvexByName("STATEMP", "", true), bare.Root() + "/STATEMP");
    EXPECT_EQ(GetDirOlvexByName("stadata", "", true), bare.Root() + "/stadata");
}

TEST(HostInstallation, EachMissingPieceIsNamed) {
    testsupport::ResetHostServices();
    unsetenv("OLVEX_ROOT");
    try {
        CheckHostInstallation();
        FAIL() << "no installation accepted";
    } catch (const EHostInstallation& error) {
        EXPECT_NE(std::string(error.what()).find("OLVEX_ROOT"), std::string::npos);
    }

    HostFixture host;
    host.Activate();
    EXPECT_NO_THROW(CheckHostInstallation());

    const auto expectNamed = [](const std::string& piece) {
        try {
            CheckHostInstallation();
            ADD_FAILURE() << "accepted without " << piece;
        } catch (const EHostInstallation& error) {
            EXPECT_NE(std::string(error.what()).find(piece), std::string::npos) << error.what();
        }
    };
    std::filesystem::remove(host.Root() + "/stadata");
    expectNamed(host.Root() + "/stadata");
    std::filesystem::create_directory(host.Root() + "/stadata");
    host.Sql("DROP TABLE related_file");
    expectNamed("related_file");
    std::filesystem::remove(host.Root() + "/olvex.db");
    expectNamed(host.Root() + "/olvex.db");
    setenv("OLVEX_ROOT", (host.Root() + "/fehlt").c_str(), 1);
    expectNamed(host.Root() + "/fehlt");
}

}  // namespace
}  // namespace tavik
