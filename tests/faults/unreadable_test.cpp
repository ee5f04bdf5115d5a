// What the run cannot read or write: a file, a directory, ARCHIV, the host database. The run
// says why (standard error, status 1 or 2), deletes nothing it has not archived, and the next
// run after the cause is gone succeeds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "tests/faults/support/fault_run.h"

namespace faults {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testsupport::HostFixture;

// Opens the installation to everyone, as far up as the file system root, so that an
// unprivileged run reaches it.
void OpenToEveryone(const HostFixture& host) {
    for (fs::path dir = host.Root(); dir != dir.root_path(); dir = dir.parent_path())
        fs::permissions(dir, fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
    for (const auto& entry : fs::recursive_directory_iterator(host.Root()))
        fs::permissions(entry.path(), entry.is_directory() ? fs::perms::all : fs::perms(0666));
    fs::permissions(host.Root(), fs::perms::all);
}

FaultOptions Unprivileged(std::vector<std::string> args = {"-AUTO", "-A"}) {
    FaultOptions options;
    options.args = std::move(args);
    options.unprivileged = true;
    return options;
}

class Unreadable : public ::testing::Test {
protected:
    void SetUp() override {
        if (!CanDropPrivileges()) GTEST_SKIP() << "cannot give up root's rights here";
        host.File("stadata/a.dat", "a", 1'000'000'000);
        host.File("stadata/zu/b.dat", "b", 1'000'000'000);
        host.File("stadata/geheim.dat", "geheim", 1'000'000'000);
        OpenToEveryone(host);
        before = TakeSnapshot(host);
    }
    HostFixture host;
    Snapshot before;
};

TEST_F(Unreadable, AFileThatCannotBeReadStaysAndIsReported) {
    fs::permissions(host.Root() + "/stadata/geheim.dat", fs::perms::none);
    const FaultResult run = RunVendrask(host, Unprivileged());
    EXPECT_EQ(run.process.status, 1);
    EXPECT_THAT(run.process.err, HasSubstr("geheim.dat"));
    EXPECT_THAT(Violations(host, before), IsEmpty());
    EXPECT_TRUE(host.Exists("stadata/geheim.dat"));
    EXPECT_FALSE(host.Exists("stadata/a.dat"));
    fs::permissions(host.Root() + "/stadata/geheim.dat", fs::perms(0666));
    const FaultResult next = RunVendrask(host, Unprivileged());
    EXPECT_EQ(next.process.status, 0) << next.process.err;
    EXPECT_THAT(Violations(host, before), IsEmpty());
    EXPECT_FALSE(host.Exists("stadata/geheim.dat"));
}

TEST_F(Unreadable, SeveralFilesThatCannotBeReadStayAndTheRestIsArchivedOnce) {
    for (int i = 0; i < 24; ++i)
        host.File("stadata/viele/d" + std::to_string(i) + ".dat", "d" + std::to_string(i), 1'000'000'000);
    OpenToEveryone(host);
    before = TakeSnapshot(host);
    const std::vector<std::string> locked = {"stadata/viele/d3.dat", "stadata/viele/d12.dat", "stadata/viele/d20.dat"};
    for (const std::string& name : locked) fs::permissions(host.Root() + "/" + name, fs::perms::none);
    const FaultResult run = RunVendrask(host, Unprivileged({"-A"}));
    EXPECT_EQ(run.process.status, 1);
    EXPECT_THAT(run.process.err, HasSubstr("3 Einträge konnten nicht verarbeitet werden"));
    for (const std::string& name : locked) {
        EXPECT_THAT(run.process.out, HasSubstr(name)) << run.process.out;
        EXPECT_TRUE(host.Exists(name)) << name;
    }
    EXPECT_THAT(Violations(host, before), IsEmpty());
    const std::vector<std::string> archives = FinalArchives(host);
    ASSERT_EQ(archives.size(), 1u);
    const Snapshot archived = ArchiveContents(archives[0]);
    EXPECT_EQ(archived.size(), 24u + 3u - locked.size());
    for (const std::string& name : locked) EXPECT_EQ(archived.count(name), 0u) << name;
    EXPECT_FALSE(host.Exists("stadata/viele/d4.dat"));
}

TEST_F(Unreadable, ADirectoryThatCannotBeListedIsReportedAndTheRestArchived) {
    fs::permissions(host.Root() + "/stadata/zu", fs::perms::owner_exec);
    const FaultResult run = RunVendrask(host, Unprivileged());
    EXPECT_EQ(run.process.status, 1);
    EXPECT_THAT(run.process.err, HasSubstr("stadata/zu"));
    EXPECT_THAT(Violations(host, before), IsEmpty());
    EXPECT_TRUE(host.Exists("stadata/zu/b.dat"));
    EXPECT_FALSE(host.Exists("stadata/a.dat"));
    fs::permissions(host.Root() + "/stadata/zu", fs::perms::all);
    const FaultResult next = RunVendrask(host, Unprivileged());
    EXPECT_EQ(next.process.status, 0) << next.process.err;
    EXPECT_THAT(TakeSnapshot(host), IsEmpty());
    EXPECT_THAT(Violations(host, before), IsEmpty());
}

TEST_F(Unreadable, ArchivNotWritableStopsTheRunBeforeAnythingIsDeleted) {
    fs::permissions(host.Root() + "/ARCHIV", fs::perms(0555));
    const FaultResult run = RunVendrask(host, Unprivileged({"-AUTO", "-A", "-L"}));
    EXPECT_EQ(run.process.status, 1);
    EXPECT_THAT(run.process.err, HasSubstr("ARCHIV"));
    EXPECT_EQ(TakeSnapshot(host), before);
    fs::permissions(host.Root() + "/ARCHIV", fs::perms::all);
    const FaultResult next = RunVendrask(host, Unprivileged());
    EXPECT_EQ(next.process.status, 0) << next.process.err;
    EXPECT_THAT(Violations(host, before), IsEmpty());
}

TEST(MissingArchiv, TheRunSaysSoAndDeletesNothing) {
    HostFixture host;
    host.File("stadata/a.dat", "a", 1'000'000'000);
    const Snapshot before = TakeSnapshot(host);
    fs::remove_all(host.Root() + "/ARCHIV");
    FaultOptions options;
    options.args = {"-AUTO", "-A", "-L"};
    const FaultResult run = RunVendrask(host, options);
    EXPECT_EQ(run.process.status, 1);
    EXPECT_THAT(run.process.err, HasSubstr("ARCHIV"));
    EXPECT_EQ(TakeSnapshot(host), before);
    fs::create_directory(host.Root() + "/ARCHIV");
    const FaultResult next = RunVendrask(host, options);
    EXPECT_EQ(next.process.status, 0) << next.process.err;
    EXPECT_THAT(Violations(host, before), IsEmpty());
}

TEST(ArchivIsAFile, TheRunSaysSoAndDeletesNothing) {
    HostFixture host;
    host.File("stadata/a.dat", "a", 1'000'000'000);
    const Snapshot before = TakeSnapshot(host);
    fs::remove_all(host.Root() + "/ARCHIV");
    testsupport::WriteFile(host.Root() + "/ARCHIV", "keine Ablage");
    const FaultResult run = RunVendrask(host);
    EXPECT_EQ(run.process.status, 1);
    EXPECT_FALSE(run.process.err.empty());
    EXPECT_EQ(TakeSnapshot(host), before);
}

// Another program holds the host database in an exclusive transaction.
class LockedDatabase {
public:
    explicit LockedDatabase(const HostFixture& host) {
        sqlite3_open((host.Root() + "/olvex.db").c_str(), &FDb);
        sqlite3_exec(FDb, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
    }
    ~LockedDatabase() { Release(); }
    LockedDatabase(const LockedDatabase&) = delete;
    LockedDatabase& operator=(const LockedDatabase&) = delete;
    void Release() {
        if (!FDb) return;
        sqlite3_exec(FDb, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(FDb);
        FDb = nullptr;
    }

private:
    sqlite3* FDb = nullptr;
};

TEST(HostDatabase, LockedForLongerThanTheRunWaitsItFailsAndDeletesNothing) {
    HostFixture host;
    host.File("stadata/a.dat", "a", 1'000'000'000);
    host.File("ARCHIV/alt.zip", "alt", 1'000'000'000);
    const Snapshot before = TakeSnapshot(host, ".");
    FaultOptions options;
    options.args = {"-AUTO", "-A", "-L"};
    {
        LockedDatabase lock(host);
        const FaultResult run = RunVendrask(host, options);
        EXPECT_NE(run.process.status, 0);
        EXPECT_THAT(run.process.err, HasSubstr("gesperrt")) << run.process.err;
    }
    EXPECT_EQ(TakeSnapshot(host, "stadata"), TakeSnapshot(host, "stadata"));
    EXPECT_TRUE(host.Exists("stadata/a.dat"));
    EXPECT_TRUE(host.Exists("ARCHIV/alt.zip"));
    EXPECT_THAT(FinalArchives(host), IsEmpty());
    const FaultResult next = RunVendrask(host, options);
    EXPECT_EQ(next.process.status, 0) << next.process.err;
    EXPECT_FALSE(host.Exists("stadata/a.dat"));
}

TEST(HostDatabase, LockedForAMomentTheRunWaitsAndSucceeds) {
    HostFixture host;
    host.File("stadata/a.dat", "a", 1'000'000'000);
    const Snapshot before = TakeSnapshot(host);
    LockedDatabase lock(host);
    // The other writer lets go once the run has met its lock: the run waits for it.
    FaultOptions options;
    bool released = false;
    options.whileRunning = [&](pid_t pid) {
        if (released || !HasOpen(pid, host.Root() + "/olvex.db")) return;
        lock.Release();
        released = true;
    };
    const FaultResult run = RunVendrask(host, options);
    EXPECT_TRUE(released);
    EXPECT_EQ(run.process.status, 0) << run.process.err;
    EXPECT_THAT(Violations(host, before), IsEmpty());
    EXPECT_FALSE(host.Exists("stadata/a.dat"));
}

// Overwrites part of the database with bytes that are no SQLite data.
void Damage(const HostFixture& host, std::streamoff offset, std::size_t length) {
    std::fstream db(host.Root() + "/olvex.db", std::ios::binary | std::ios::in | std::ios::out);
    db.seekp(offset);
    db << std::string(length, '\xA5');
}

TEST(HostDatabase, DamagedTheRunStopsWithAReasonAndDeletesNothing) {
    for (const auto& [offset, length] : std::vector<std::pair<std::streamoff, std::size_t>>{
             {0, 100}, {16, 8}, {100, 4000}, {1024, 64 * 1024}}) {
        HostFixture host;
        host.File("stadata/a.dat", "a", 1'000'000'000);
        host.File("ARCHIV/alt.zip", "alt", 1'000'000'000);
        const Snapshot before = TakeSnapshot(host, ".");
        const std::string saved = testsupport::ReadFile(host.Root() + "/olvex.db");
        testsupport::ResetHostServices();
        Damage(host, offset, length);
        FaultOptions options;
        options.args = {"-AUTO", "-A", "-L"};
        const FaultResult run = RunVendrask(host, options);
        EXPECT_NE(run.process.status, 0) << "damage at " << offset;
        EXPECT_LT(run.process.status, 3) << "damage at " << offset << ": " << run.process.err;
        EXPECT_FALSE(run.process.err.empty()) << "damage at " << offset;
        EXPECT_TRUE(host.Exists("stadata/a.dat")) << offset;
        EXPECT_TRUE(host.Exists("ARCHIV/alt.zip")) << offset;
        testsupport::WriteFile(host.Root() + "/olvex.db", saved);
        const FaultResult next = RunVendrask(host, options);
        EXPECT_EQ(next.process.status, 0) << next.process.err;
    }
}

}  // namespace
}  // namespace faults
