// Restore and extraction never leave their target: not through a host directory swapped for a
// link, not into a pipe under an entry's name, not onto the installation's database; hard links
// of tar archives only to files the same command wrote; two spellings of one host directory are
// one place.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

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

// Writes archive (ZIP, or tar when its name ends in .tar) with Python: entries are lines of
// "name=content", or "name->target" for a hard link (tar only).
void MakeArchive(const fs::path& archive, const std::vector<std::string>& entries) {
    std::string script = R"(
import io, sys, tarfile, zipfile
path = sys.argv[1]
entries = sys.argv[2:]
if path.endswith('.tar'):
    with tarfile.open(path, 'w', format=tarfile.PAX_FORMAT) as t:
        for e in entries:
            if '->' in e:
                name, target = e.split('->')
                info = tarfile.TarInfo(name); info.type = tarfile.LNKTYPE; info.linkname = target
                t.addfile(info)
            else:
                name, content = e.split('=')
                info = tarfile.TarInfo(name); info.size = len(content)
                t.addfile(info, io.BytesIO(content.encode()))
else:
    with zipfile.ZipFile(path, 'w') as z:
        for e in entries:
            name, content = e.split('=')
            z.writestr(name, content)
)";
    std::vector<std::string> argv{"python3", "-", archive.string()};
    argv.insert(argv.end(), entries.begin(), entries.end());
    ProcessOptions options;
    options.input = script;
    const ProcessResult made = RunProcess(argv, options);
    ASSERT_EQ(made.status, 0) << made.err;
}

class RestoreTarget : public ::testing::Test {
protected:
    ProcessResult Archiv(std::vector<std::string> args) {
        args.insert(args.begin(), BinDir() + "/vendrask-archiv");
        ProcessOptions options;
        options.env["OLVEX_ROOT"] = host.Root();
        options.workDir = scratch.str();
        options.killAfterSeconds = 120;  // a hang is a failure, not a stuck test run
        return RunProcess(args, options);
    }
    std::vector<std::string> Everything(const fs::path& dir) const {
        std::vector<std::string> names;
        if (!fs::exists(dir)) return names;
        for (const auto& entry : fs::recursive_directory_iterator(dir))
            names.push_back(fs::relative(entry.path(), dir).string());
        std::sort(names.begin(), names.end());
        return names;
    }

    HostFixture host;
    testsupport::TempDir scratch;
    testsupport::TempDir outside;
};

TEST_F(RestoreTarget, AHostDirectorySwappedForALinkIsNeverWrittenThrough) {
    host.Directory("SUB", "stadata/sub");
    fs::create_directories(host.Root() + "/stadata/sub");
    MakeArchive(scratch / "a.zip", {"stadata/sub/neu/a.dat=eins", "STATEMP/b.dat=zwei"});
    fs::remove(host.Root() + "/stadata/sub");
    fs::create_directory_symlink(outside.path(), host.Root() + "/stadata/sub");
    for (const bool overwrite : {false, true}) {
        WriteFile(outside.path() / "neu/a.dat", "fremd");
        std::vector<std::string> args{"restore"};
        if (overwrite) args.push_back("--overwrite");
        args.insert(args.end(), {"a.zip", "0", "1"});
        const ProcessResult restored = Archiv(args);
        EXPECT_EQ(restored.status, 1) << restored.out;
        EXPECT_NE(restored.err.find("symbolische Verknüpfung"), std::string::npos) << restored.err;
        EXPECT_EQ(ReadFile(outside.path() / "neu/a.dat"), "fremd");
        EXPECT_EQ(Everything(outside.path()), (std::vector<std::string>{"neu", "neu/a.dat"}));
        // The other host directory is reached all the same.
        EXPECT_EQ(ReadFile(host.Root() + "/STATEMP/b.dat"), "zwei");
        fs::remove(host.Root() + "/STATEMP/b.dat");
    }
}

TEST_F(RestoreTarget, APipeSocketOrLinkUnderAnEntrysNameIsADifferentFileAndNeverOpened) {
    MakeArchive(scratch / "a.zip", {"rohr=eins", "link=zwei"});
    const fs::path target = scratch / "ziel";
    fs::create_directories(target);
    ASSERT_EQ(::mkfifo((target / "rohr").c_str(), 0644), 0);
    fs::create_symlink(outside.path() / "draussen", target / "link");
    const ProcessResult refused = Archiv({"extract", "a.zip", "ziel"});
    EXPECT_EQ(refused.status, 1) << refused.out << refused.err;
    EXPECT_NE(refused.err.find("„rohr“"), std::string::npos) << refused.err;
    EXPECT_TRUE(fs::is_fifo(target / "rohr"));
    EXPECT_TRUE(fs::is_symlink(target / "link"));
    EXPECT_EQ(Everything(target), (std::vector<std::string>{"link", "rohr"}));  // no temporary file left
    const ProcessResult replaced = Archiv({"extract", "--overwrite", "a.zip", "ziel"});
    EXPECT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target / "rohr")));
    EXPECT_EQ(ReadFile(target / "rohr"), "eins");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target / "link")));
    EXPECT_FALSE(fs::exists(outside.path() / "draussen"));
}

TEST_F(RestoreTarget, AHardLinkOfATarOnlyPointsAtAFileTheSameCommandWrote) {
    // stadata/h links STATEMP/x; stadata/x is another file of the same last name.
    MakeArchive(scratch / "a.tar", {"STATEMP/x=temp", "stadata/x=daten", "stadata/h->STATEMP/x", "stadata/g->stadata/x"});
    const ProcessResult restored = Archiv({"restore", "a.tar", "0", "1", "2", "3"});
    EXPECT_EQ(restored.status, 1) << restored.out;
    EXPECT_NE(restored.err.find("„stadata/h“"), std::string::npos) << restored.err;
    EXPECT_EQ(ReadFile(host.Root() + "/STATEMP/x"), "temp");
    EXPECT_EQ(ReadFile(host.Root() + "/stadata/x"), "daten");
    EXPECT_FALSE(fs::exists(host.Root() + "/stadata/h"));
    // A link to a file written in the same command is made.
    EXPECT_EQ(ReadFile(host.Root() + "/stadata/g"), "daten");
    EXPECT_TRUE(fs::equivalent(host.Root() + "/stadata/g", host.Root() + "/stadata/x"));
    // Alone, the link has nothing to point at.
    const fs::path alone = scratch / "allein";
    const ProcessResult extracted = Archiv({"extract", "a.tar", alone.string(), "3"});
    EXPECT_EQ(extracted.status, 1);
    EXPECT_EQ(Everything(alone), std::vector<std::string>{});
}

TEST_F(RestoreTarget, TwoSpellingsOfOneHostDirectoryAreTwoVersionsOfOnePlace) {
    host.Directory("EXT", outside.str());
    MakeArchive(scratch / "a.zip", {"EXT/a.dat=gross", "ext/a.dat=klein"});
    const ProcessResult restored = Archiv({"restore", "a.zip", "0", "1"});
    EXPECT_EQ(restored.status, 2) << restored.out;
    EXPECT_NE(restored.err.find("denselben Namen"), std::string::npos) << restored.err;
    EXPECT_FALSE(fs::exists(outside.path() / "a.dat"));
    EXPECT_EQ(Archiv({"restore", "a.zip", "1"}).status, 0);
    EXPECT_EQ(ReadFile(outside.path() / "a.dat"), "klein");
}

TEST_F(RestoreTarget, TheDatabaseAndItsJournalsAreNeverReplacedNorMade) {
    const std::string database = ReadFile(host.Root() + "/olvex.db");
    MakeArchive(scratch / "a.zip", {"olvex.db=kaputt", "olvex.db-journal=alt", "olvex.db-wal=alt", "frei.txt=ok"});
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"extract", "--overwrite", "a.zip", host.Root()},
                                               {"restore", "--overwrite", "--to", host.Root(), "a.zip", "0", "1", "2"}}) {
        const ProcessResult result = Archiv(args);
        EXPECT_EQ(result.status, 1) << args[0] << result.out;
        EXPECT_NE(result.err.find("Datenbank der Olvex-Installation"), std::string::npos) << result.err;
        EXPECT_EQ(ReadFile(host.Root() + "/olvex.db"), database);
        EXPECT_FALSE(fs::exists(host.Root() + "/olvex.db-journal"));
        EXPECT_FALSE(fs::exists(host.Root() + "/olvex.db-wal"));
    }
    EXPECT_EQ(ReadFile(host.Root() + "/frei.txt"), "ok");
}

TEST_F(RestoreTarget, UnixNamesWithABackslashOrAControlCharacterComeBackWithTheirBytes) {
    host.Rule(1, "stadata/*", true, 30);
    const std::vector<std::string> names{"stadata/Soll\\Ist.dat", "stadata/mit\tTab.dat"};
    for (const std::string& name : names) host.File(name, "Inhalt " + name, 1'000'000'000);
    ProcessOptions options;
    options.env["OLVEX_ROOT"] = host.Root();
    const ProcessResult run = RunProcess({BinDir() + "/vendrask", "-AUTO", "-A"}, options);
    ASSERT_EQ(run.status, 0) << run.err;
    for (const std::string& name : names) ASSERT_FALSE(host.Exists(name)) << name;
    std::string archive;
    for (const auto& entry : fs::directory_iterator(host.Root() + "/ARCHIV"))
        if (entry.path().filename().string().rfind("SK", 0) == 0) archive = entry.path().string();
    const ProcessResult restored = Archiv({"restore", archive, "0", "1"});
    EXPECT_EQ(restored.status, 0) << restored.err;
    for (const std::string& name : names) EXPECT_EQ(ReadFile(host.Root() + "/" + name), "Inhalt " + name) << name;
}

TEST_F(RestoreTarget, ANewArchiveIsReadableByOwnerAndGroupOnly) {
    WriteFile(scratch / "offen.txt", "für alle lesbar");
    fs::permissions(scratch / "offen.txt", fs::perms::all);
    const mode_t before = ::umask(0);
    const ProcessResult packed = Archiv({"pack", "neu.zip", "offen.txt"});
    ::umask(before);
    ASSERT_EQ(packed.status, 0) << packed.err;
    struct stat st {};
    ASSERT_EQ(::stat((scratch / "neu.zip").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

}  // namespace
