// olvexhost: new and demo installations, and the dry run that explains the scan.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::BinDir;
using testsupport::RunProcess;

testsupport::ProcessResult Olvexhost(const std::vector<std::string>& args, const std::string& root = "") {
    std::vector<std::string> argv{BinDir() + "/olvexhost"};
    argv.insert(argv.end(), args.begin(), args.end());
    testsupport::ProcessOptions options;
    if (!root.empty()) options.env = {{"OLVEX_ROOT", root}};
    return RunProcess(argv, options);
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1)) ++count;
    return count;
}

TEST(Olvexhost, InitCreatesAnInstallationAndNeverOverwritesOne) {
    testsupport::TempDir dir;
    const std::string root = (dir / "neu").string();
    ASSERT_EQ(Olvexhost({"init", root, "Muster AG"}).status, 0);
    for (const char* sub : {"stadata", "ARCHIV", "STATEMP"}) EXPECT_TRUE(fs::is_directory(root + "/" + sub)) << sub;
    const auto tables = RunProcess({"sqlite3", root + "/olvex.db", "SELECT name FROM host_directory ORDER BY position;"
                                                                   "SELECT value FROM host_setting WHERE key='client';"});
    EXPECT_EQ(tables.out, "stadata\nARCHIV\nSTATEMP\nMuster AG\n");
    const auto again = Olvexhost({"init", root});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("nicht überschrieben"), std::string::npos) << again.err;
    // The empty installation has nothing to do.
    const auto candidates = Olvexhost({"candidates"}, root);
    EXPECT_EQ(candidates.status, 0) << candidates.err;
    EXPECT_NE(candidates.out.find("Zu archivieren: 0 Dateien"), std::string::npos);
}

TEST(Olvexhost, TheDemoExercisesEveryDecisionAndTheNightlyRunCleansIt) {
    testsupport::TempDir dir;
    const std::string root = (dir / "demo").string();
    ASSERT_EQ(Olvexhost({"demo", root}).status, 0);

    const auto before = Olvexhost({"candidates"}, root);
    ASSERT_EQ(before.status, 0) << before.err;
    EXPECT_GT(Count(before.out, "Datei ist älter als 365 Tage."), 3u);
    EXPECT_GT(Count(before.out, "Datei ist älter als 30 Tage."), 1u);
    EXPECT_GT(Count(before.out, "Datei wird nicht benötigt."), 2u);
    EXPECT_NE(before.out.find("Datei ist älter als 3650 Tage."), std::string::npos);
    EXPECT_NE(before.out.find("stadata/scan/beleg0020.pdf"), std::string::npos);  // a related file
    EXPECT_EQ(before.out.find("beleg0001.dat"), std::string::npos);  // exact rule beats the pattern
    EXPECT_EQ(before.out.find("kunden.dat"), std::string::npos);     // never archived

    const auto explain = Olvexhost({"explain", root + "/stadata/m01/beleg0001.dat"}, root);
    EXPECT_NE(explain.out.find("bekannt, wird nicht archiviert"), std::string::npos) << explain.out;

    const auto run = RunProcess({BinDir() + "/vendrask", "-AUTO", "-A", "-L"}, {{{"OLVEX_ROOT", root}}, {}, "", ""});
    EXPECT_EQ(run.status, 0) << run.err;
    std::string archive;
    for (const auto& entry : fs::directory_iterator(root + "/ARCHIV"))
        if (entry.path().filename().string().rfind("SK", 0) == 0 &&
            fs::last_write_time(entry) > fs::file_time_type::clock::now() - std::chrono::hours(1))
            archive = entry.path().string();
    ASSERT_FALSE(archive.empty());
    EXPECT_EQ(RunProcess({"7zz", "t", archive}).status, 0);

    const auto after = Olvexhost({"candidates"}, root);
    EXPECT_NE(after.out.find("Zu archivieren: 0 Dateien"), std::string::npos) << after.out;
    EXPECT_NE(after.out.find("Zu löschen: 0 Dateien"), std::string::npos) << after.out;
}

TEST(Olvexhost, WrongUsageAndMissingInstallation) {
    EXPECT_EQ(Olvexhost({}).status, 2);
    EXPECT_EQ(Olvexhost({"gibtsnicht"}).status, 2);
    testsupport::TempDir dir;
    const auto missing = Olvexhost({"candidates"}, (dir / "fehlt").string());
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("fehlt"), std::string::npos) << missing.err;
}

}  // namespace
