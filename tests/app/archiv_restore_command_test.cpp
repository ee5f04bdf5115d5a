// vendrask-archiv restore on the archive of a real nightly run: entries back to their places in
// the installation (below the root and in a host directory outside it) or below a chosen
// directory, with the rules of extraction, and hostile names refused.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <sstream>

#include "tests/support/host_fixture.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::BinDir;
using testsupport::HostFixture;
using testsupport::ProcessOptions;
using testsupport::ProcessResult;
using testsupport::ReadFile;
using testsupport::RunProcess;
using testsupport::WriteFile;

constexpr std::time_t kOld = 1'000'000'000;

long long MTime(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return -1;
    return st.st_mtime;
}

int Python(const std::string& script, const std::string& argument) {
    ProcessOptions options;
    options.input = script;
    return RunProcess({"python3", "-", argument}, options).status;
}

struct THit {
    std::string archive;
    std::string number;
    std::string name;
};

class ArchivRestoreCommand : public ::testing::Test {
protected:
    void SetUp() override {
        host.Directory("EXTERN", outside.str());
        host.Rule(1, "stadata/*", true, 30);
        host.Rule(1, "EXTERN/*", true, 30);
        host.File("stadata/m01/beleg0001.dat", "erster Beleg", kOld);
        host.File("stadata/m03/beleg0013.dat", "der Beleg aus dem März", kOld + 60);
        WriteFile(outside.path() / "abzug/liste.txt", "die Liste draußen");
        testsupport::SetMTime(outside.path() / "abzug/liste.txt", kOld + 120);
        const ProcessResult run = Run({BinDir() + "/vendrask", "-AUTO", "-A"});
        ASSERT_EQ(run.status, 0) << run.err;
        ASSERT_FALSE(host.Exists("stadata/m03/beleg0013.dat"));
        ASSERT_FALSE(fs::exists(outside.path() / "abzug/liste.txt"));
    }

    ProcessResult Run(const std::vector<std::string>& argv, bool withRoot = true) const {
        ProcessOptions options;
        if (withRoot) options.env["OLVEX_ROOT"] = host.Root();
        else options.unsetEnv.push_back("OLVEX_ROOT");
        return RunProcess(argv, options);
    }
    ProcessResult Restore(std::vector<std::string> args, bool withRoot = true) const {
        args.insert(args.begin(), {BinDir() + "/vendrask-archiv", "restore"});
        return Run(args, withRoot);
    }
    // The one hit of a find.
    THit Find(const std::string& term) const {
        const ProcessResult found = Run({BinDir() + "/vendrask-archiv", "find", term});
        EXPECT_EQ(found.status, 0) << found.err;
        std::istringstream in(found.out);
        std::string line;
        std::vector<std::string> lines;
        while (std::getline(in, line)) lines.push_back(line);
        EXPECT_EQ(lines.size(), 1u) << found.out;
        if (lines.size() != 1) return {};
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (std::size_t tab; (tab = lines[0].find('\t', start)) != std::string::npos; start = tab + 1)
            fields.push_back(lines[0].substr(start, tab - start));
        fields.push_back(lines[0].substr(start));
        EXPECT_EQ(fields.size(), 5u);
        if (fields.size() != 5) return {};
        return {fields[0], fields[1], fields[4]};
    }
    fs::path Place(const std::string& name) const { return fs::path(host.Root()) / name; }

    testsupport::TempDir outside;
    HostFixture host;
};

TEST_F(ArchivRestoreCommand, AMissingFileComesBackToItsPlaceWithItsTime) {
    const THit hit = Find("beleg0013");
    ASSERT_EQ(hit.name, "stadata/m03/beleg0013.dat");
    const ProcessResult restored = Restore({hit.archive, hit.number});
    ASSERT_EQ(restored.status, 0) << restored.err;
    EXPECT_EQ(ReadFile(Place(hit.name)), "der Beleg aus dem März");
    EXPECT_EQ(MTime(Place(hit.name)), kOld + 60);
    // Only that entry: the other archived file stays in the archive alone.
    EXPECT_FALSE(host.Exists("stadata/m01/beleg0001.dat"));
    // No temporary file is left beside it.
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(Place("stadata/m03"))) ++files;
    EXPECT_EQ(files, 1u);
}

TEST_F(ArchivRestoreCommand, ADifferentFileAtThePlaceIsReplacedOnlyWithOverwrite) {
    const THit hit = Find("beleg0013");
    WriteFile(Place(hit.name), "inzwischen neu geschrieben");
    const ProcessResult refused = Restore({hit.archive, hit.number});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("--overwrite"), std::string::npos) << refused.err;
    // The refused entry once, then the hint.
    const std::string entry = "„" + hit.name + "“";
    const std::size_t first = refused.err.find(entry);
    EXPECT_NE(first, std::string::npos) << refused.err;
    EXPECT_EQ(refused.err.find(entry, first + 1), std::string::npos) << refused.err;
    EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 2) << refused.err;
    EXPECT_EQ(ReadFile(Place(hit.name)), "inzwischen neu geschrieben");

    const ProcessResult replaced = Restore({"--overwrite", hit.archive, hit.number});
    ASSERT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_EQ(ReadFile(Place(hit.name)), "der Beleg aus dem März");
    EXPECT_EQ(MTime(Place(hit.name)), kOld + 60);
}

TEST_F(ArchivRestoreCommand, AnIdenticalFileIsNoConflict) {
    const THit hit = Find("beleg0013");
    ASSERT_EQ(Restore({hit.archive, hit.number}).status, 0);
    const ProcessResult again = Restore({hit.archive, hit.number});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.err, "");
    EXPECT_EQ(ReadFile(Place(hit.name)), "der Beleg aus dem März");
}

TEST_F(ArchivRestoreCommand, AFileOfAHostDirectoryOutsideTheRootGoesBackThere) {
    const THit hit = Find("liste");
    ASSERT_EQ(hit.name, "EXTERN/abzug/liste.txt");
    const ProcessResult restored = Restore({hit.archive, hit.number});
    ASSERT_EQ(restored.status, 0) << restored.err;
    EXPECT_EQ(ReadFile(outside.path() / "abzug/liste.txt"), "die Liste draußen");
    EXPECT_EQ(MTime(outside.path() / "abzug/liste.txt"), kOld + 120);
    EXPECT_FALSE(fs::exists(Place("EXTERN")));
}

TEST_F(ArchivRestoreCommand, AnUnmountedHostDirectoryIsNotMadeAnew) {
    const THit hit = Find("liste");
    fs::remove_all(outside.path());
    const ProcessResult restored = Restore({hit.archive, hit.number});
    EXPECT_EQ(restored.status, 1);
    EXPECT_NE(restored.err.find("EXTERN"), std::string::npos) << restored.err;
    EXPECT_FALSE(fs::exists(outside.path()));
}

TEST_F(ArchivRestoreCommand, ToPutsTheEntryBelowTheChosenDirectoryWithoutAnInstallation) {
    const THit hit = Find("liste");
    testsupport::TempDir chosen;
    const ProcessResult restored = Restore({"--to", chosen.str(), hit.archive, hit.number}, false);
    ASSERT_EQ(restored.status, 0) << restored.err;
    EXPECT_EQ(ReadFile(chosen.path() / "EXTERN/abzug/liste.txt"), "die Liste draußen");
    EXPECT_EQ(MTime(chosen.path() / "EXTERN/abzug/liste.txt"), kOld + 120);
    EXPECT_FALSE(fs::exists(outside.path() / "abzug/liste.txt"));
}

TEST_F(ArchivRestoreCommand, WithoutRootOrTargetItIsAUsageError) {
    const THit hit = Find("beleg0013");
    const ProcessResult restored = Restore({hit.archive, hit.number}, false);
    EXPECT_EQ(restored.status, 2);
    EXPECT_NE(restored.err.find("--to"), std::string::npos) << restored.err;
    EXPECT_EQ(Restore({hit.archive}).status, 2);
    EXPECT_EQ(Restore({hit.archive, "x1"}).status, 2);
    EXPECT_EQ(Restore({hit.archive, "99"}).status, 1);
}

TEST_F(ArchivRestoreCommand, HostileNamesAreRefusedAndNothingLandsOutside) {
    const std::string zip = (fs::path(host.Root()) / "ARCHIV" / "fremd.zip").string();
    const std::string script =
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
        "    for name in ['../boese.txt', 'olvex.db', 'irgendwo/fremd.txt', 'stadata/../../boese2.txt',\n"
        "                 'stadata/gut.txt']:\n"
        "        z.writestr(zipfile.ZipInfo(name, (2020, 1, 2, 3, 4, 6)), 'boese ' + name)\n";
    ASSERT_EQ(Python(script, zip), 0);
    const std::string database = ReadFile(fs::path(host.Root()) / "olvex.db");

    const ProcessResult restored = Restore({zip, "0", "1", "2", "3", "4"});
    EXPECT_EQ(restored.status, 1);
    for (const char* name : {"../boese.txt", "olvex.db", "irgendwo/fremd.txt", "stadata/../../boese2.txt"})
        EXPECT_NE(restored.err.find(std::string("„") + name + "“"), std::string::npos) << name << "\n" << restored.err;
    EXPECT_NE(restored.err.find("Datenbank"), std::string::npos) << restored.err;
    EXPECT_EQ(ReadFile(fs::path(host.Root()) / "olvex.db"), database);
    EXPECT_FALSE(fs::exists(fs::path(host.Root()).parent_path() / "boese.txt"));
    EXPECT_FALSE(fs::exists(fs::path(host.Root()).parent_path() / "boese2.txt"));
    EXPECT_FALSE(fs::exists(Place("irgendwo")));
    // The harmless entry among them comes back.
    EXPECT_EQ(ReadFile(Place("stadata/gut.txt")), "boese stadata/gut.txt");
}

TEST_F(ArchivRestoreCommand, TwoVersionsOfOneNameInOneCallAreRefused) {
    const std::string zip = (fs::path(host.Root()) / "ARCHIV" / "zweimal.zip").string();
    const std::string script =
        "import sys, zipfile, warnings\n"
        "warnings.simplefilter('ignore')\n"
        "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
        "    z.writestr(zipfile.ZipInfo('stadata/doppelt.txt', (2020, 1, 2, 3, 4, 6)), 'alt')\n"
        "    z.writestr(zipfile.ZipInfo('stadata/doppelt.txt', (2021, 1, 2, 3, 4, 6)), 'neu')\n";
    ASSERT_EQ(Python(script, zip), 0);
    const ProcessResult both = Restore({zip, "0", "1"});
    EXPECT_EQ(both.status, 2);
    EXPECT_NE(both.err.find("Nr. 0 und Nr. 1"), std::string::npos) << both.err;
    EXPECT_FALSE(host.Exists("stadata/doppelt.txt"));
    // One of them, chosen by its number, is fine.
    ASSERT_EQ(Restore({zip, "1"}).status, 0);
    EXPECT_EQ(ReadFile(Place("stadata/doppelt.txt")), "neu");
}

}  // namespace
