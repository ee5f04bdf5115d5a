// A host installation set up against the run, with nothing but rows of the host database and
// files any Olvex client could write: the run packs and deletes only files of the host
// directories, names files of directories outside the root by their host directory's name, and
// keeps its own archives unless a rule names them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>

#include "task/retention_rules.h"
#include "tests/faults/support/fault_run.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace faults {
namespace {

namespace fs = std::filesystem;
using testsupport::HostFixture;
using testsupport::ProcessResult;
using testsupport::ReadFile;
using testsupport::RunProcess;
using testsupport::WriteFile;

const std::time_t kNow = std::time(nullptr);
constexpr std::time_t kDay = 24 * 60 * 60;
const std::time_t kOld = kNow - 800 * kDay;

ProcessResult Olvexhost(const HostFixture& host, const std::vector<std::string>& args) {
    std::vector<std::string> argv{testsupport::BinDir() + "/olvexhost"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv, {{{"OLVEX_ROOT", host.Root()}}, {}, "", ""});
}

FaultResult RunOn(const HostFixture& host, std::vector<std::string> args = {"-AUTO", "-A", "-L"}) {
    FaultOptions options;
    options.args = std::move(args);
    return RunVendrask(host, options);
}

// The directory beside the root, removed with the fixture.
fs::path Beside(const HostFixture& host, const std::string& name) {
    return fs::path(host.Root()).parent_path() / name;
}

// A real ZIP archive written by Info-ZIP, as an earlier run would have left one.
void WriteZip(const fs::path& archive, std::time_t modified) {
    testsupport::TempDir staging;
    WriteFile(staging / "stadata/beleg.dat", "Beleg von damals\n");
    // What an archive holds is older than the archive.
    testsupport::SetMTime(staging / "stadata/beleg.dat", modified);
    fs::create_directories(archive.parent_path());
    const auto zip = RunProcess({"sh", "-c", "cd '" + staging.str() + "' && zip -qr '" + archive.string() + "' stadata"});
    ASSERT_EQ(zip.status, 0) << zip.err;
    testsupport::SetMTime(archive, modified);
}

std::vector<std::string> EntryNames(const std::string& archive) {
    const auto list = RunProcess({"unzip", "-Z1", archive});
    std::vector<std::string> names;
    std::size_t start = 0;
    for (auto end = list.out.find('\n'); end != std::string::npos; end = list.out.find('\n', start)) {
        names.push_back(list.out.substr(start, end - start));
        start = end + 1;
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The archives of the runs in dir that were written just now.
std::vector<std::string> NewArchives(const fs::path& dir, std::time_t since) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        struct stat info {};
        if (name.rfind("SK", 0) == 0 && stat(entry.path().c_str(), &info) == 0 && info.st_mtime >= since)
            names.push_back(entry.path().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1)) ++count;
    return count;
}

TEST(HostileHost, RelatedRowsNamingAnythingButFilesOfTheHostDirectoriesAreLeftAloneAndReportedOnce) {
    HostFixture host;
    host.Rule(1, "ARCHIV/SK*", false, 3650);
    // Known and never archived on their own: only as related files.
    host.Rule(1, "stadata/*.idx", false, 0);
    host.Rule(1, "stadata/sub/*", false, 0);
    host.Rule(1, "STATEMP/*", false, 0);
    host.File("stadata/alt.dat", "alt", kOld);
    host.File("stadata/alt.idx", "index", kNow);
    host.File("stadata/zwei.dat", "zwei", kOld);
    host.File("stadata/sub/drin.dat", "drin", kNow);
    host.File("notiz.txt", "direkt unter dem Stamm", kOld);
    host.File("STATEMP/druck.tmp", "druck", kNow);
    WriteZip(host.Root() + "/ARCHIV/SK120101.001", kNow - 300 * kDay);
    const std::string protectedZip = ReadFile(host.Root() + "/ARCHIV/SK120101.001");
    const fs::path outside = Beside(host, "draussen");
    WriteFile(outside / "geheim.txt", "draussen");
    fs::create_symlink(outside / "geheim.txt", host.Root() + "/stadata/verweis");
    fs::create_directory_symlink(outside, host.Root() + "/stadata/ausgang");
    host.Related("stadata/alt.dat", {"stadata/alt.dat", "olvex.db", "notiz.txt", "stadata", "ARCHIV/SK120101.001",
                                     "stadata/verweis", "stadata/ausgang/geheim.txt", "stadata/sub", "ARCHIV",
                                     "stadata/alt.idx", "STATEMP/druck.tmp", "stadata/fehlt.dat"});
    // A second file that names the database too: it is reported once all the same.
    host.Related("stadata/zwei.dat", {"stadata/zwei.dat", "olvex.db", "./olvex.db"});

    const auto explain = Olvexhost(host, {"explain", host.Root() + "/stadata/alt.dat"});
    EXPECT_NE(explain.out.find("olvex.db (bleibt: Das ist die Olvex-Datenbank.)"), std::string::npos) << explain.out;
    EXPECT_NE(explain.out.find("stadata/fehlt.dat (fehlt)"), std::string::npos) << explain.out;
    const auto candidates = Olvexhost(host, {"candidates"});
    EXPECT_EQ(candidates.out.find("olvex.db"), std::string::npos) << candidates.out;
    EXPECT_EQ(candidates.out.find("notiz.txt"), std::string::npos) << candidates.out;
    EXPECT_EQ(candidates.out.find("SK120101.001"), std::string::npos) << candidates.out;

    const std::time_t start = std::time(nullptr);
    const auto run = RunOn(host);
    EXPECT_EQ(run.process.status, 1) << run.process.err;
    for (const char* name : {"„olvex.db“", "„notiz.txt“", "„stadata“", "„ARCHIV/SK120101.001“", "„stadata/verweis“",
                             "„stadata/ausgang/geheim.txt“", "„stadata/sub“", "„ARCHIV“", "„./olvex.db“"})
        EXPECT_EQ(Count(run.process.err, name), 1u) << name << " in:\n" << run.process.err;
    EXPECT_EQ(Count(run.process.err, "fehlt.dat"), 0u) << run.process.err;

    // Everything but the host files is where it was, and the installation still starts.
    EXPECT_TRUE(host.Exists("olvex.db"));
    EXPECT_TRUE(host.Exists("notiz.txt"));
    EXPECT_TRUE(fs::is_directory(host.Root() + "/stadata/sub"));
    EXPECT_TRUE(host.Exists("stadata/sub/drin.dat"));
    EXPECT_TRUE(fs::is_symlink(host.Root() + "/stadata/verweis"));
    EXPECT_EQ(ReadFile(outside / "geheim.txt"), "draussen");
    EXPECT_EQ(ReadFile(host.Root() + "/ARCHIV/SK120101.001"), protectedZip);
    EXPECT_EQ(Olvexhost(host, {"candidates"}).status, 0);

    // The host files went into the new archive, under relative names.
    EXPECT_FALSE(host.Exists("stadata/alt.dat"));
    EXPECT_FALSE(host.Exists("stadata/alt.idx"));
    EXPECT_FALSE(host.Exists("STATEMP/druck.tmp"));
    const auto archives = NewArchives(host.Root() + "/ARCHIV", start);
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_EQ(RunProcess({"unzip", "-tq", archives[0]}).status, 0);
    EXPECT_EQ(EntryNames(archives[0]), (std::vector<std::string>{"STATEMP/druck.tmp", "stadata/alt.dat",
                                                                 "stadata/alt.idx", "stadata/zwei.dat"}));
}

TEST(HostileHost, AHostDirectoryThatIsTheRootOrLiesAboveItIsRefusedAtStartUp) {
    for (const std::string path : {".", "..", "/", "stadata/..", "./", "ROOT", "LINK"}) {
        SCOPED_TRACE(path);
        HostFixture host;
        host.File("stadata/x.dat", "x", kOld);
        host.File("notiz.txt", "n", kOld);
        std::string stored = path;
        if (path == "ROOT") stored = host.Root();
        if (path == "LINK") {
            stored = Beside(host, "zum-stamm").string();
            fs::create_directory_symlink(host.Root(), stored);
        }
        host.Sql("INSERT INTO host_directory VALUES (10, 'Alles', '" + stored + "')");

        const auto run = RunOn(host);
        EXPECT_EQ(run.process.status, 2) << run.process.err;
        EXPECT_NE(run.process.err.find("„Alles“"), std::string::npos) << run.process.err;
        EXPECT_NE(run.process.err.find("Stammverzeichnis"), std::string::npos) << run.process.err;
        EXPECT_TRUE(host.Exists("olvex.db"));
        EXPECT_TRUE(host.Exists("notiz.txt"));
        EXPECT_TRUE(host.Exists("stadata/x.dat"));
        EXPECT_TRUE(NewArchives(host.Root() + "/ARCHIV", 0).empty());
        EXPECT_EQ(Olvexhost(host, {"candidates"}).status, 2);
    }
}

TEST(HostileHost, AHostDirectoryThatIsArchivOrLiesInsideItIsRefusedAtStartUp) {
    // The delete run deletes unknown files of ARCHIV without archiving them: pointed at stadata,
    // or holding another host directory, it would empty that directory.
    for (const std::string archiv : {"stadata", "./stadata", "daten", "LINK"}) {
        SCOPED_TRACE(archiv);
        HostFixture host;
        host.File("stadata/x.dat", "x", kOld);
        host.File("daten/belege/b.dat", "b", kOld);
        host.Sql("INSERT INTO host_directory VALUES (10, 'belege', 'daten/belege')");
        std::string stored = archiv;
        if (archiv == "LINK") {
            stored = Beside(host, "archiv-link").string();
            fs::create_directory_symlink(host.Root() + "/stadata", stored);
        }
        host.Sql("UPDATE host_directory SET path = '" + stored + "' WHERE name = 'ARCHIV'");

        const auto run = RunOn(host);
        EXPECT_EQ(run.process.status, 2) << run.process.err;
        EXPECT_NE(run.process.err.find("ARCHIV selbst oder liegt darin"), std::string::npos) << run.process.err;
        EXPECT_TRUE(host.Exists("stadata/x.dat"));
        EXPECT_TRUE(host.Exists("daten/belege/b.dat"));
    }
    // ARCHIV inside another host directory is a sound installation: its files stay out of the
    // archive run, and the run goes on.
    HostFixture host;
    host.File("stadata/x.dat", "x", kOld);
    host.Sql("UPDATE host_directory SET path = 'stadata/ARCHIV' WHERE name = 'ARCHIV'");
    fs::create_directories(host.Root() + "/stadata/ARCHIV");
    const auto run = RunOn(host, {"-AUTO", "-A"});
    EXPECT_EQ(run.process.status, 0) << run.process.err;
    EXPECT_FALSE(host.Exists("stadata/x.dat"));
    EXPECT_EQ(NewArchives(host.Root() + "/stadata/ARCHIV", 0).size(), 1u);
}

TEST(HostileHost, FilesOfAHostDirectoryOutsideTheRootAreNamedByTheDirectorysName) {
    HostFixture host;
    // Beside the root, with a path as long as the root's and a separator, plus "export": cut by
    // that length, its files would be named like the files of root/export.
    const std::string rootName = fs::path(host.Root()).filename().string();
    const fs::path outside = Beside(host, std::string(rootName.size() + 1, 'd') + "export");
    host.Directory("export", outside.string());
    host.Rule(1, "export/*.csv", true, 30);
    // Of the same sizes as the young files of the same names under the root.
    WriteFile(outside / "datev.csv", "alt und draussen");
    testsupport::SetMTime(outside / "datev.csv", kOld);
    WriteFile(outside / "datev.idx", "index draussen");
    WriteFile(outside / "jung.csv", "jung und draussen");
    host.Related("export/datev.csv", {"export/datev.csv", "export/datev.idx"});
    // The same relative names under the root, young: not the host's files, never touched.
    host.File("export/datev.csv", "jung und im Stam", kNow);
    host.File("export/datev.idx", "index im Stamm", kNow);

    const auto explain = Olvexhost(host, {"explain", (outside / "datev.csv").string()});
    EXPECT_EQ(explain.status, 0) << explain.err;
    EXPECT_NE(explain.out.find("Relativer Name: export/datev.csv"), std::string::npos) << explain.out;
    EXPECT_NE(explain.out.find("bekannt, älter als 30 Tage"), std::string::npos) << explain.out;
    const auto candidates = Olvexhost(host, {"candidates"});
    EXPECT_NE(candidates.out.find("export/datev.csv"), std::string::npos) << candidates.out;
    EXPECT_EQ(candidates.out.find("jung.csv"), std::string::npos) << candidates.out;
    EXPECT_EQ(candidates.out.find(outside.string()), std::string::npos) << candidates.out;

    const std::time_t start = std::time(nullptr);
    const auto run = RunOn(host);
    EXPECT_EQ(run.process.status, 0) << run.process.err;
    EXPECT_EQ(ReadFile(host.Root() + "/export/datev.csv"), "jung und im Stam");
    EXPECT_EQ(ReadFile(host.Root() + "/export/datev.idx"), "index im Stamm");
    EXPECT_EQ(ReadFile(outside / "jung.csv"), "jung und draussen");
    EXPECT_FALSE(fs::exists(outside / "datev.csv"));
    EXPECT_FALSE(fs::exists(outside / "datev.idx"));
    const auto archives = NewArchives(host.Root() + "/ARCHIV", start);
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_EQ(EntryNames(archives[0]), (std::vector<std::string>{"export/datev.csv", "export/datev.idx"}));
    EXPECT_EQ(RunProcess({"7zz", "t", archives[0]}).status, 0);
    // Our own extraction takes the names and gives the contents back.
    testsupport::TempDir target;
    const auto extract = RunProcess({testsupport::BinDir() + "/vendrask-archiv", "extract", archives[0], target.str()});
    EXPECT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(ReadFile(target / "export/datev.csv"), "alt und draussen");
    EXPECT_EQ(ReadFile(target / "export/datev.idx"), "index draussen");
}

TEST(HostileHost, AnArchivOutsideTheRootKeepsWhatItsRulesKeep) {
    HostFixture host(false);
    host.Directory("stadata", "stadata");
    const fs::path archiv = Beside(host, "archiv-woanders");
    host.Directory("ARCHIV", archiv.string());
    host.Rule(1, "ARCHIV/SK*", false, 3650);
    WriteZip(archiv / "SK240101.001", kNow - 700 * kDay);
    WriteZip(archiv / "SK100101.001", kNow - 6000 * kDay);
    WriteFile(archiv / "fremd.txt", "unbekannt");
    host.File("stadata/alt.dat", "alt", kOld);
    // Its name leads to the ARCHIV outside, where nothing is packed.
    host.Related("stadata/alt.dat", {"stadata/alt.dat", "ARCHIV/SK240101.001"});

    const auto explain = Olvexhost(host, {"explain", (archiv / "SK240101.001").string()});
    EXPECT_NE(explain.out.find("Relativer Name: ARCHIV/SK240101.001"), std::string::npos) << explain.out;
    EXPECT_NE(explain.out.find("Löschen:        nein"), std::string::npos) << explain.out;

    const std::time_t start = std::time(nullptr);
    const auto run = RunOn(host);
    EXPECT_EQ(run.process.status, 1) << run.process.err;
    EXPECT_NE(run.process.err.find("„ARCHIV/SK240101.001“"), std::string::npos) << run.process.err;
    EXPECT_TRUE(fs::exists(archiv / "SK240101.001"));
    EXPECT_FALSE(fs::exists(archiv / "SK100101.001"));  // older than ten years
    EXPECT_FALSE(fs::exists(archiv / "fremd.txt"));
    const auto archives = NewArchives(archiv, start);
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_EQ(EntryNames(archives[0]), std::vector<std::string>{"stadata/alt.dat"});
    // The next delete run keeps the new archive too.
    EXPECT_EQ(RunOn(host, {"-AUTO", "-L"}).process.status, 0);
    EXPECT_TRUE(fs::exists(archives[0]));
}

TEST(HostileHost, WithoutARuleTheRunsOwnArchivesStayAndOnlyThey) {
    HostFixture host;
    WriteZip(host.Root() + "/ARCHIV/SK120101.001", kNow - 5000 * kDay);
    WriteZip(host.Root() + "/ARCHIV/SK120101.1234", kNow - 5000 * kDay);
    host.File("ARCHIV/SK120101.002", "keine ZIP-Datei", kOld);       // the name alone is not enough
    WriteZip(host.Root() + "/ARCHIV/SK1201.001", kNow - 5000 * kDay);  // nor a ZIP of another name
    WriteZip(host.Root() + "/ARCHIV/alt/SK120101.003", kNow - 5000 * kDay);
    host.File("ARCHIV/fremd.txt", "fremd", kOld);
    // A ZIP whose end was cut off does not open.
    WriteZip(host.Root() + "/ARCHIV/SK120101.004", kNow - 5000 * kDay);
    fs::resize_file(host.Root() + "/ARCHIV/SK120101.004", fs::file_size(host.Root() + "/ARCHIV/SK120101.004") - 10);
    host.File("stadata/alt.dat", "alt", kOld);

    const auto explain = Olvexhost(host, {"explain", host.Root() + "/ARCHIV/SK120101.001"});
    EXPECT_NE(explain.out.find("Löschen:        nein"), std::string::npos) << explain.out;
    EXPECT_NE(explain.out.find("Archiv des Archivierungslaufs"), std::string::npos) << explain.out;
    const auto other = Olvexhost(host, {"explain", host.Root() + "/ARCHIV/SK120101.002"});
    EXPECT_NE(other.out.find("Löschen:        ja"), std::string::npos) << other.out;

    const std::time_t start = std::time(nullptr);
    const auto run = RunOn(host);
    EXPECT_EQ(run.process.status, 0) << run.process.err;
    EXPECT_TRUE(host.Exists("ARCHIV/SK120101.001"));
    EXPECT_TRUE(host.Exists("ARCHIV/SK120101.1234"));
    for (const char* gone : {"ARCHIV/SK120101.002", "ARCHIV/SK1201.001", "ARCHIV/alt/SK120101.003",
                             "ARCHIV/fremd.txt", "ARCHIV/SK120101.004"})
        EXPECT_FALSE(host.Exists(gone)) << gone;
    const auto archives = NewArchives(host.Root() + "/ARCHIV", start);
    ASSERT_EQ(archives.size(), 1u);
    // The next delete run keeps last night's archive, the only copy of its files.
    EXPECT_EQ(RunOn(host, {"-AUTO", "-L"}).process.status, 0);
    EXPECT_TRUE(fs::exists(archives[0]));
    EXPECT_EQ(RunProcess({"unzip", "-p", archives[0], "stadata/alt.dat"}).out, "alt");
}

TEST(HostileHost, ARuleThatNamesTheRunsArchivesDeletesThemByAge) {
    HostFixture host;
    host.Rule(1, "ARCHIV/SK*", false, 30);
    // Without retention periods the rule's age alone decides.
    WriteFile(vendrask::TRetentionRules::PathIn(host.Root() + "/ARCHIV"), "* 0\n");
    WriteZip(host.Root() + "/ARCHIV/SK240101.001", kNow - 60 * kDay);
    WriteZip(host.Root() + "/ARCHIV/SK240102.001", kNow - 2 * kDay);
    const auto run = RunOn(host, {"-AUTO", "-L"});
    EXPECT_EQ(run.process.status, 0) << run.process.err;
    EXPECT_FALSE(host.Exists("ARCHIV/SK240101.001"));
    EXPECT_TRUE(host.Exists("ARCHIV/SK240102.001"));
}

}  // namespace
}  // namespace faults
