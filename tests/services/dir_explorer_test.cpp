#include "host/services/dir_explorer.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "host/services/search_rec.h"
#include "host/services/tavik_info.h"
#include "tests/support/temp_dir.h"

namespace tavik {
namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::WriteFile;

class DirExplorerTest : public ::testing::Test {
protected:
    void SetUp() override {
        TavikInfo().Reset();
        Explorer.StartDir = Tmp.str();
        Explorer.OnFileFound = [this](TDirExplorer&, const TSearchRec& rec, const std::string& dir, int level,
                                      bool&) { Found.push_back(Entry("F", rec, dir, level)); };
        Explorer.OnDirectoryFound = [this](TDirExplorer&, const TSearchRec& rec, const std::string& dir, int level,
                                           bool&) { Found.push_back(Entry("D", rec, dir, level)); };
    }
    void TearDown() override { TavikInfo().Reset(); }

    // "F 1 a/c/x.txt": kind, level and the path below the temporary directory.
    std::string Entry(const char* kind, const TSearchRec& rec, const std::string& dir, int level) const {
        EXPECT_EQ(dir.rfind(Tmp.str(), 0), 0u) << dir;
        EXPECT_NE(dir.back(), '/') << dir;
        std::string below = dir.substr(Tmp.str().size());
        if (!below.empty()) below = below.substr(1) + "/";
        return std::string(kind) + " " + std::to_string(level) + " " + below + rec.Name;
    }

    std::vector<std::string> Failures() const {
        std::vector<std::string> messages;
        for (const TFailure& failure : TavikInfo().PendingFailures()) {
            EXPECT_EQ(failure.Context, "TDirExplorer.Execute");
            messages.push_back(failure.Message);
        }
        return messages;
    }

    TempDir Tmp;
    TDirExplorer Explorer;
    std::vector<std::string> Found;
};

using Entries = std::vector<std::string>;

TEST_F(DirExplorerTest, ReportsFilesAtAnyDepthInNameOrder) {
    for (const char* name : {"b.txt", "a.txt", "A.dat", "a/y.txt", "a/c/x.txt", "z/q", "a-b"})
        WriteFile(Tmp / name, "x");
    fs::create_directory(Tmp / "empty");
    Explorer.Execute();
    EXPECT_EQ(Found, (Entries{"F 0 A.dat", "F 2 a/c/x.txt", "F 1 a/y.txt", "F 0 a-b", "F 0 a.txt", "F 0 b.txt",
                              "F 1 z/q"}));
    EXPECT_TRUE(Failures().empty());
}

TEST_F(DirExplorerTest, TheRecordCarriesSizeTimeAndAttributes) {
    WriteFile(Tmp / "data.bin", std::string(1234, 'x'));
    WriteFile(Tmp / "locked", "abc");
    WriteFile(Tmp / ".hidden", "");
    testsupport::SetMTime(Tmp / "data.bin", 1'700'000'000);
    fs::permissions(Tmp / "locked", fs::perms::owner_read | fs::perms::group_read);
    std::vector<TSearchRec> records;
    Explorer.OnFileFound = [&records](TDirExplorer&, const TSearchRec& rec, const std::string&, int, bool&) {
        records.push_back(rec);
    };
    Explorer.Execute();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].Name, ".hidden");
    EXPECT_EQ(records[0].Attr, faArchive | faHidden);
    EXPECT_EQ(records[1].Name, "data.bin");
    EXPECT_EQ(records[1].Size, 1234);
    EXPECT_EQ(records[1].Time, FileTimeToDateTime(1'700'000'000));
    EXPECT_EQ(records[1].Attr, faArchive);
    EXPECT_EQ(records[2].Name, "locked");
    EXPECT_EQ(records[2].Size, 3);
    EXPECT_EQ(records[2].Attr, faArchive | faReadOnly);
}

TEST_F(DirExplorerTest, HiddenEntriesAreReportedUnlessSkipped) {
    WriteFile(Tmp / ".cfg", "");
    WriteFile(Tmp / ".cache/inner", "");
    WriteFile(Tmp / "visible", "");
    Explorer.Execute();
    EXPECT_EQ(Found, (Entries{"F 1 .cache/inner", "F 0 .cfg", "F 0 visible"}));

    Found.clear();
    Explorer.SkipHidden = true;
    Explorer.Execute();
    EXPECT_EQ(Found, (Entries{"F 0 visible"}));
}

TEST_F(DirExplorerTest, SymbolicLinksAreNeverFollowedNorReported) {
    TempDir outside;
    WriteFile(outside / "secret", "");
    WriteFile(Tmp / "real", "");
    fs::create_symlink(outside.path(), Tmp / "dirlink");
    fs::create_symlink(outside / "secret", Tmp / "filelink");
    fs::create_symlink(Tmp / "real", Tmp / "samelink");
    fs::create_symlink(Tmp / "nowhere", Tmp / "dangling");
    Explorer.ReportDirectories = true;
    Explorer.Execute();
    EXPECT_EQ(Found, (Entries{"F 0 real"}));
    EXPECT_TRUE(Failures().empty());
}

TEST_F(DirExplorerTest, AStartDirectoryThatIsALinkIsNotWalked) {
    TempDir target;
    WriteFile(target / "file", "");
    fs::create_symlink(target.path(), Tmp / "link");
    Explorer.StartDir = (Tmp / "link").string();
    Explorer.Execute();
    EXPECT_TRUE(Found.empty());
    const auto failures = Failures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find((Tmp / "link").string()), std::string::npos) << failures[0];
    EXPECT_NE(failures[0].find("symbolische Verknüpfung"), std::string::npos) << failures[0];
}

TEST_F(DirExplorerTest, PipesAreNotReported) {
    ASSERT_EQ(mkfifo((Tmp / "pipe").c_str(), 0600), 0);
    WriteFile(Tmp / "plain", "");
    Explorer.Execute();
    EXPECT_EQ(Found, (Entries{"F 0 plain"}));
}

TEST_F(DirExplorerTest, DirectoriesAreReportedBeforeTheirContentsWhenAsked) {
    WriteFile(Tmp / "a/file", "");
    WriteFile(Tmp / "b", "");
    fs::create_directories(Tmp / "c/d");
    std::uint32_t attr = 0;
    Explorer.ReportDirectories = true;
    Explorer.OnDirectoryFound = [&](TDirExplorer&, const TSearchRec& rec, const std::string& dir, int level, bool&) {
        attr |= rec.Attr;
        Found.push_back(Entry("D", rec, dir, level));
    };
    Explorer.Execute();
    EXPECT_EQ(Found, (Entries{"D 0 a", "F 1 a/file", "F 0 b", "D 0 c", "D 1 c/d"}));
    EXPECT_EQ(attr, faDirectory);
}

TEST_F(DirExplorerTest, TopLevelOnlyStaysInTheStartDirectory) {
    WriteFile(Tmp / "a/file", "");
    WriteFile(Tmp / "b", "");
    Explorer.TopLevelOnly = true;
    Explorer.ReportDirectories = true;
    Explorer.Execute();
    EXPECT_EQ(Found, (Entries{"D 0 a", "F 0 b"}));
}

TEST_F(DirExplorerTest, AFileHandlerCanStopTheWalk) {
    for (const char* name : {"a/1", "a/2", "b/3", "c"}) WriteFile(Tmp / name, "");
    Explorer.OnFileFound = [this](TDirExplorer&, const TSearchRec& rec, const std::string& dir, int level,
                                  bool& continueWalk) {
        Found.push_back(Entry("F", rec, dir, level));
        if (rec.Name == "2") continueWalk = false;
    };
    Explorer.Execute();
    EXPECT_EQ(Found, (Entries{"F 1 a/1", "F 1 a/2"}));
}

TEST_F(DirExplorerTest, ADirectoryHandlerCanStopTheWalk) {
    for (const char* name : {"a/1", "a/2", "b/3", "c"}) WriteFile(Tmp / name, "");
    Explorer.ReportDirectories = true;
    Explorer.OnDirectoryFound = [this](TDirExplorer&, const TSearchRec& rec, const std::string& dir, int level,
                                       bool& continueWalk) {
        Found.push_back(Entry("D", rec, dir, level));
        continueWalk = rec.Name != "b";
    };
    Explorer.Execute();
    EXPECT_EQ(Found, (Entries{"D 0 a", "F 1 a/1", "F 1 a/2", "D 0 b"}));
}

TEST_F(DirExplorerTest, ARelativeStartWithTrailingSeparatorGivesAbsoluteDirectories) {
    WriteFile(Tmp / "sub/file", "");
    const fs::path before = fs::current_path();
    fs::current_path(Tmp.path());
    Explorer.StartDir = "./sub//";
    std::string reported;
    Explorer.OnFileFound = [&](TDirExplorer&, const TSearchRec&, const std::string& dir, int, bool&) {
        reported = dir;
    };
    Explorer.Execute();
    fs::current_path(before);
    EXPECT_EQ(fs::path(reported), Tmp / "./sub");
    EXPECT_NE(reported.back(), '/');
}

TEST_F(DirExplorerTest, AMissingStartDirectoryIsReported) {
    Explorer.StartDir = (Tmp / "gone").string();
    Explorer.Execute();
    const auto failures = Failures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("gone"), std::string::npos) << failures[0];
    EXPECT_NE(failures[0].find("existiert nicht"), std::string::npos) << failures[0];

    TavikInfo().Reset();
    Explorer.StartDir.clear();
    Explorer.Execute();
    EXPECT_EQ(Failures().size(), 1u);
    EXPECT_TRUE(Found.empty());
}

TEST_F(DirExplorerTest, TheHandlersSeeTheStatusOfTheEntry) {
    WriteFile(Tmp / "sub/x.txt", "xyz");
    struct stat file {}, dir {};
    ASSERT_EQ(lstat((Tmp / "sub/x.txt").c_str(), &file), 0);
    ASSERT_EQ(lstat((Tmp / "sub").c_str(), &dir), 0);
    std::vector<ino_t> seen;
    Explorer.ReportDirectories = true;
    Explorer.OnFileFound = [&seen](TDirExplorer& sender, const TSearchRec&, const std::string&, int, bool&) {
        seen.push_back(sender.EntryStatus().st_ino);
        EXPECT_TRUE(S_ISREG(sender.EntryStatus().st_mode));
        EXPECT_EQ(sender.EntryStatus().st_size, 3);
    };
    Explorer.OnDirectoryFound = [&seen](TDirExplorer& sender, const TSearchRec&, const std::string&, int, bool&) {
        seen.push_back(sender.EntryStatus().st_ino);
        EXPECT_TRUE(S_ISDIR(sender.EntryStatus().st_mode));
    };
    Explorer.Execute();
    EXPECT_EQ(seen, (std::vector<ino_t>{dir.st_ino, file.st_ino}));
}

TEST_F(DirExplorerTest, AFailureHandlerTakesTheFailuresInsteadOfTheErrorService) {
    std::vector<std::string> failures;
    Explorer.OnFailure = [&failures](TDirExplorer&, TDirExplorer::TWalkFailure failure, const std::string& path,
                                     int error) {
        failures.push_back(std::to_string(static_cast<int>(failure)) + " " + path + " " + std::to_string(error));
    };
    Explorer.StartDir = (Tmp / "gone").string();
    Explorer.Execute();
    EXPECT_EQ(failures, (std::vector<std::string>{"0 " + (Tmp / "gone").string() + " " + std::to_string(ENOENT)}));
    EXPECT_TRUE(Failures().empty());
}

// Runs body in a child process that has given up the right to ignore permission bits (when
// the tests run as root) and returns what it wrote.
std::string RunWithoutPrivileges(const std::function<std::string()>& body) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return "pipe failed";
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        std::string result;
        if (geteuid() == 0 && (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0))
            result = "SKIP";
        else
            result = body();
        const ssize_t written = write(pipeFds[1], result.data(), result.size());
        _exit(written == static_cast<ssize_t>(result.size()) ? 0 : 1);
    }
    close(pipeFds[1]);
    std::string output;
    char buffer[4096];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) output.append(buffer, static_cast<std::size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return output;
}

class UnreadableDirectoryTest : public DirExplorerTest {
protected:
    void SetUp() override {
        DirExplorerTest::SetUp();
        WriteFile(Tmp / "a/before", "");
        WriteFile(Tmp / "b/closed/inside", "");
        WriteFile(Tmp / "c/after", "");
        // The unprivileged child must reach everything but the closed directory.
        fs::permissions(Tmp.path(), fs::perms::all);
        for (const char* dir : {"a", "b", "c"}) fs::permissions(Tmp / dir, fs::perms::all);
        fs::permissions(Tmp / "a/before", fs::perms::all);
        fs::permissions(Tmp / "c/after", fs::perms::all);
        fs::permissions(Tmp / "b/closed", fs::perms::none);
    }

    // The entries found and the failures, one per line, from a walk without privileges.
    std::string WalkWithoutPrivileges() {
        return RunWithoutPrivileges([this] {
            Explorer.Execute();
            std::string lines;
            for (const std::string& entry : Found) lines += entry + "\n";
            for (const std::string& failure : Failures()) lines += "! " + failure + "\n";
            return lines;
        });
    }
};

TEST_F(UnreadableDirectoryTest, IsReportedAndTheWalkGoesOn) {
    const std::string result = WalkWithoutPrivileges();
    if (result == "SKIP") GTEST_SKIP() << "cannot give up root rights here";
    const std::string closed = (Tmp / "b/closed").string();
    EXPECT_EQ(result, "F 1 a/before\nF 1 c/after\n! Das Verzeichnis „" + closed +
                          "“ kann nicht durchsucht werden: Zugriff verweigert. Seine Dateien fehlen in der Liste; "
                          "beheben Sie die Ursache (etwa die Zugriffsrechte) und starten Sie die Suche erneut.\n");
}

TEST_F(UnreadableDirectoryTest, EndsTheWalkWithStopOnError) {
    Explorer.StopOnError = true;
    const std::string result = WalkWithoutPrivileges();
    if (result == "SKIP") GTEST_SKIP() << "cannot give up root rights here";
    EXPECT_EQ(result.rfind("F 1 a/before\n! Das Verzeichnis", 0), 0u) << result;
    EXPECT_EQ(result.find("after"), std::string::npos) << result;
}

TEST_F(UnreadableDirectoryTest, EntriesThatCannotBeLookedUpAreReportedTogether) {
    WriteFile(Tmp / "b/closed/second", "");
    fs::permissions(Tmp / "b/closed", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string result = WalkWithoutPrivileges();
    if (result == "SKIP") GTEST_SKIP() << "cannot give up root rights here";
    const std::string closed = (Tmp / "b/closed").string();
    EXPECT_EQ(result, "F 1 a/before\nF 1 c/after\n! Im Verzeichnis „" + closed +
                          "“ konnten Größe und Datum von 2 Einträgen nicht gelesen werden: Zugriff verweigert. Sie "
                          "fehlen in der Liste; prüfen Sie die Zugriffsrechte des Verzeichnisses und starten Sie die "
                          "Suche erneut.\n");
}

TEST(FindFirst, DescribesARegularFile) {
    TempDir tmp;
    WriteFile(tmp / "beleg.dat", std::string(77, 'x'));
    testsupport::SetMTime(tmp / "beleg.dat", 1'650'000'000);
    TSearchRec rec;
    ASSERT_TRUE(FindFirst((tmp / "beleg.dat").string(), faAnyFile, rec));
    EXPECT_EQ(rec.Name, "beleg.dat");
    EXPECT_EQ(rec.Size, 77);
    EXPECT_EQ(rec.Time, FileTimeToDateTime(1'650'000'000));
    EXPECT_EQ(rec.Attr, faArchive);
    FindClose(rec);
}

TEST(FindFirst, FindsDirectoriesAndHiddenEntriesOnlyWhenAsked) {
    TempDir tmp;
    fs::create_directory(tmp / "sub");
    WriteFile(tmp / ".hidden", "");
    TSearchRec rec;
    EXPECT_TRUE(FindFirst((tmp / "sub").string() + "/", faAnyFile, rec));
    EXPECT_EQ(rec.Name, "sub");
    EXPECT_EQ(rec.Attr, faDirectory);
    EXPECT_EQ(rec.Size, 0);
    EXPECT_FALSE(FindFirst((tmp / "sub").string(), faArchive | faReadOnly, rec));
    EXPECT_TRUE(FindFirst((tmp / ".hidden").string(), faAnyFile, rec));
    EXPECT_EQ(rec.Attr, faArchive | faHidden);
    EXPECT_FALSE(FindFirst((tmp / ".hidden").string(), faArchive, rec));
}

TEST(FindFirst, NeverFindsLinksPipesOrMissingFilesAndEmptiesTheRecord) {
    TempDir tmp;
    WriteFile(tmp / "real", "abc");
    fs::create_directory(tmp / "dir");
    fs::create_symlink(tmp / "real", tmp / "filelink");
    fs::create_symlink(tmp / "dir", tmp / "dirlink");
    ASSERT_EQ(mkfifo((tmp / "pipe").c_str(), 0600), 0);
    TSearchRec rec;
    for (const std::string& path : {(tmp / "filelink").string(), (tmp / "dirlink").string(),
                                   (tmp / "dirlink").string() + "/", (tmp / "pipe").string(),
                                   (tmp / "missing").string(), std::string()}) {
        ASSERT_TRUE(FindFirst((tmp / "real").string(), faAnyFile, rec));
        EXPECT_FALSE(FindFirst(path, faAnyFile, rec)) << path;
        EXPECT_EQ(rec.Name, "") << path;
        EXPECT_EQ(rec.Size, 0) << path;
        EXPECT_EQ(rec.Attr, 0u) << path;
        EXPECT_EQ(rec.Time, TDateTime{}) << path;
    }
}

TEST_F(UnreadableDirectoryTest, AFailureHandlerGetsEachEntryThatCannotBeLookedUp) {
    WriteFile(Tmp / "b/closed/second", "");
    fs::permissions(Tmp / "b/closed", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    Explorer.OnFailure = [this](TDirExplorer&, TDirExplorer::TWalkFailure failure, const std::string& path, int) {
        Found.push_back((failure == TDirExplorer::TWalkFailure::Status ? "S " : "? ") + path);
    };
    const std::string result = WalkWithoutPrivileges();
    if (result == "SKIP") GTEST_SKIP() << "cannot give up root rights here";
    const std::string closed = (Tmp / "b/closed").string();
    EXPECT_EQ(result, "F 1 a/before\nS " + closed + "/inside\nS " + closed + "/second\nF 1 c/after\n");
}

}  // namespace
}  // namespace tavik
