// The task module's settings from the command line and its lazily created members.
#include <gtest/gtest.h>

#include <cstdlib>

#include "host/services/db_connector.h"
#include "host/services/tavik_info.h"
#include "task/dmarchivu.h"
#include "tests/support/host_fixture.h"

namespace vendrask {
namespace {

using Dirs = std::vector<std::string>;

class TaskSettings : public ::testing::Test {
protected:
    void SetUp() override { host.Activate(); }

    static Dirs AutoDirsOf(std::vector<std::string> parameters) {
        parameters.insert(parameters.begin(), "vendrask");
        TdmOlvexArchiv module(parameters);
        return module.AutoDirs;
    }

    testsupport::HostFixture host;
};

TEST_F(TaskSettings, SwitchesAAndLSetTheAutomaticRuns) {
    {
        TdmOlvexArchiv module({"vendrask", "/a"});
        EXPECT_TRUE(module.AutoArchivieren);
        EXPECT_FALSE(module.AutoDelete);
        EXPECT_EQ(dmOlvexArchiv, &module);
    }
    EXPECT_EQ(dmOlvexArchiv, nullptr);
    TdmOlvexArchiv both({"vendrask", "-L", "-AUTO", "-a"});
    EXPECT_TRUE(both.AutoArchivieren);
    EXPECT_TRUE(both.AutoDelete);
    TdmOlvexArchiv none({"vendrask", "-AUTO", "--A", "-AL", "L"});
    EXPECT_FALSE(none.AutoArchivieren);
    EXPECT_FALSE(none.AutoDelete);
}

TEST_F(TaskSettings, TheDSwitchGivesUpperCaseDirectoryNames) {
    EXPECT_EQ(AutoDirsOf({"-A"}), Dirs{});
    EXPECT_EQ(AutoDirsOf({"-A", "-D:"}), Dirs{});
    EXPECT_EQ(AutoDirsOf({"-A", "-D"}), Dirs{});
    EXPECT_EQ(AutoDirsOf({"-A", "-d:archiv,stadata"}), (Dirs{"ARCHIV", "STADATA"}));
    EXPECT_EQ(AutoDirsOf({"-L", "-D:ARCHIV STADATA"}), (Dirs{"ARCHIV", "STADATA"}));
    EXPECT_EQ(AutoDirsOf({"-L", "-D:\"meine daten\",x"}), (Dirs{"MEINE DATEN", "X"}));
    // Only ASCII letters change case.
    EXPECT_EQ(AutoDirsOf({"-A", "-D:müll"}), Dirs{"M\xc3\xbcLL"});
    EXPECT_EQ(AutoDirsOf({"-A", "-D:a,,b,"}), (Dirs{"A", "", "B", ""}));
}

TEST_F(TaskSettings, TheDSwitchIsFoundByItsSecondCharacterOnly) {
    EXPECT_EQ(AutoDirsOf({"-A", "/d=ARCHIV"}), Dirs{"ARCHIV"});
    EXPECT_EQ(AutoDirsOf({"-A", "xDyARCHIV"}), Dirs{"ARCHIV"});
    EXPECT_EQ(AutoDirsOf({"-A", "-DIRS"}), Dirs{"RS"});
    // The first one counts.
    EXPECT_EQ(AutoDirsOf({"-A", "-D:ARCHIV", "-D:STADATA"}), Dirs{"ARCHIV"});
    // Without A or L the list is not even read.
    EXPECT_EQ(AutoDirsOf({"-D:ARCHIV"}), Dirs{});
    EXPECT_EQ(AutoDirsOf({"-AUTO", "-D:ARCHIV"}), Dirs{});
}

TEST_F(TaskSettings, OlvexRootIsLookedUpOnceAndEndsWithASeparator) {
    TdmOlvexArchiv module({"vendrask"});
    EXPECT_EQ(module.OlvexRoot(), host.Root() + "/");
    setenv("OLVEX_ROOT", "/anderswo", 1);
    EXPECT_EQ(module.OlvexRoot(), host.Root() + "/");
}

TEST_F(TaskSettings, TheObjectTableBringsTheProgramsRTyp) {
    host.Setting("rtyp", "4");
    TdmOlvexArchiv module({"vendrask"});
    EXPECT_EQ(module.RTyp(), 1);
    ASSERT_NE(module.GetROBJTab(), nullptr);
    EXPECT_EQ(module.RTyp(), 4);
    host.Setting("rtyp", "9");
    tavik::GetDBConnector().Close();
    module.GetROBJTab();
    EXPECT_EQ(module.RTyp(), 4);
}

TEST_F(TaskSettings, AFailingLookUpIsRegisteredAndGivesTheFailureValue) {
    TdmOlvexArchiv module({"vendrask"});
    unsetenv("OLVEX_ROOT");
    tavik::GetDBConnector().Close();
    EXPECT_EQ(module.OlvexRoot(), "");
    EXPECT_EQ(module.TavikFSNames(), nullptr);
    EXPECT_EQ(module.GetROBJTab(), nullptr);
    ASSERT_EQ(tavik::TavikInfo().PendingFailures().size(), 3u);
    EXPECT_EQ(tavik::TavikInfo().PendingFailures()[0].Context, "TdmOlvexArchiv.OlvexRoot");
    EXPECT_EQ(tavik::TavikInfo().PendingFailures()[1].Context, "TdmOlvexArchiv.GetTavikFSNames");
    EXPECT_EQ(tavik::TavikInfo().PendingFailures()[2].Context, "TdmOlvexArchiv.GetROBJTab");
    EXPECT_THROW(tavik::TavikInfo().FehlerRaise("vendrask", 0, "", "", 0, 0), std::exception);
    EXPECT_TRUE(tavik::TavikInfo().PendingFailures().empty());
    EXPECT_EQ(tavik::TavikInfo().FailureCount(), 3);
}

TEST_F(TaskSettings, TheProgressDialogsAreConfigured) {
    TdmOlvexArchiv module({"vendrask"});
    EXPECT_EQ(module.pgdArchiv.Caption, "Dateien archivieren ...");
    ASSERT_EQ(module.pgdArchiv.ProgressBars.size(), 2u);
    EXPECT_EQ(module.pgdArchiv.ProgressBars[0].Name, "Item");
    EXPECT_EQ(module.pgdArchiv.ProgressBars[1].Name, "Total");
    ASSERT_EQ(module.pgdArchiv.ProgressCounters.size(), 1u);
    EXPECT_EQ(module.pgdArchiv.ProgressCounters[0].Caption, "Datei");
    EXPECT_EQ(module.pgdDelete.Caption, "Dateien löschen ...");
    ASSERT_EQ(module.pgdDelete.ProgressBars.size(), 1u);
    EXPECT_EQ(module.pgdDelete.ProgressBars[0].ProgressKind, tavik::TProgressKind::pkAnimation);
    EXPECT_EQ(module.pgdDelete.ElementSpacing, 15);
    EXPECT_FALSE(module.pgdDelete.AbortButton);
}

}  // namespace
}  // namespace vendrask
