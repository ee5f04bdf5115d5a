// The archive run reads its archive back before it deletes a file: an archive damaged or
// replaced between writing and reading back deletes nothing and is set aside.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "host/services/date_time.h"
#include "host/services/tavik_info.h"
#include "task/dmarchivu.h"
#include "tests/support/host_fixture.h"
#include "tests/support/recording_frontend.h"
#include "tests/support/run_process.h"

namespace vendrask {
namespace {

namespace fs = std::filesystem;
using testsupport::RunProcess;

class ReadBack : public ::testing::Test {
protected:
    void SetUp() override {
        host.Activate();
        tavik::TavikProgramm().SetFrontend(std::make_unique<testsupport::RecordingFrontend>(log));
        host.Rule(1, "stadata/*.dat", true, 30);
        host.File("stadata/a.dat", std::string(200'000, 'a') + "Ende", 1'000'000'000);
        host.File("stadata/b.dat", "Inhalt B", 1'000'000'000);
        module = std::make_unique<TdmOlvexArchiv>(tavik::TParameters{"vendrask", "-A"});
        module->Clock = [] { return tavik::EncodeDateTime({2026, 12, 7, 10, 0, 0}); };
        module->ExploreSystem();
        ASSERT_EQ(module->SystemArch()->GetRowCount(), 2);
    }
    std::string Archiv(const std::string& name = "SK261207.001") const { return host.Root() + "/ARCHIV/" + name; }
    // Writes another ZIP archive over the one the run wrote.
    static void Replace(const std::string& archive, const std::vector<std::pair<std::string, std::string>>& entries) {
        std::string script = "import sys, zipfile\nwith zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n";
        for (const auto& [name, content] : entries) script += "    z.writestr('" + name + "', '" + content + "')\n";
        testsupport::ProcessOptions options;
        options.input = script;
        ASSERT_EQ(RunProcess({"python3", "-", archive}, options).status, 0);
    }
    void ExpectNothingDeletedAndTheArchiveSetAside() {
        EXPECT_TRUE(host.Exists("stadata/a.dat"));
        EXPECT_TRUE(host.Exists("stadata/b.dat"));
        EXPECT_FALSE(fs::exists(Archiv()));
        EXPECT_TRUE(fs::exists(Archiv("SK261207.001.defekt")));
        EXPECT_EQ(module->LastArchivRun().State, TdmOlvexArchiv::TArchivRunResult::TState::Failed);
        bool said = false;
        for (const auto& failure : log.failures) said = said || failure.find("zurücklesen") != std::string::npos;
        EXPECT_TRUE(said) << ::testing::PrintToString(log.failures);
    }

    testsupport::HostFixture host;
    testsupport::FrontendLog log;
    std::unique_ptr<TdmOlvexArchiv> module;
};

TEST_F(ReadBack, ASoundArchiveIsReadBackAndItsFilesGo) {
    bool seen = false;
    module->AfterArchivWritten = [&](const std::string& archive) { seen = archive == Archiv(); };
    module->AutoArchExecuteAll();
    EXPECT_TRUE(seen);
    EXPECT_EQ(tavik::TavikInfo().FailureCount(), 0);
    EXPECT_FALSE(host.Exists("stadata/a.dat"));
    EXPECT_FALSE(host.Exists("stadata/b.dat"));
    EXPECT_EQ(RunProcess({"unzip", "-tq", Archiv()}).status, 0);
}

TEST_F(ReadBack, AByteFlippedInTheDataDeletesNothing) {
    module->AfterArchivWritten = [](const std::string& archive) {
        std::fstream file(archive, std::ios::in | std::ios::out | std::ios::binary);
        file.seekg(120);
        const char byte = static_cast<char>(file.get());
        file.seekp(120);
        file.put(static_cast<char>(byte ^ 0x5A));
    };
    module->AutoArchExecuteAll();
    ExpectNothingDeletedAndTheArchiveSetAside();
}

TEST_F(ReadBack, ASoundArchiveOfOtherContentDeletesNothing) {
    // Every CRC in it is right: only the CRC taken from the files while packing tells.
    module->AfterArchivWritten = [](const std::string& archive) {
        Replace(archive, {{"stadata/a.dat", "anders"}, {"stadata/b.dat", "Inhalt B"}});
    };
    module->AutoArchExecuteAll();
    ExpectNothingDeletedAndTheArchiveSetAside();
}

TEST_F(ReadBack, AnEntryMissingOrMisnamedDeletesNothing) {
    module->AfterArchivWritten = [](const std::string& archive) {
        Replace(archive, {{"stadata/a.dat", std::string(10, 'a')}, {"stadata/B.dat", "Inhalt B"}});
    };
    module->AutoArchExecuteAll();
    ExpectNothingDeletedAndTheArchiveSetAside();
}

}  // namespace
}  // namespace vendrask
