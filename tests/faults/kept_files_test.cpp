// Files the nightly run keeps: a related_file group stays whole on disk and goes into one
// archive whole; a read-only file is neither packed nor deleted, night after night, and the run
// says so without failing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/faults/support/fault_run.h"

namespace faults {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using testsupport::HostFixture;

const std::vector<std::string> kGroup = {"stadata/g/kopf.dat", "stadata/g/teil1.dat", "stadata/g/teil2.dat"};

class GroupFixture : public ::testing::Test {
protected:
    void SetUp() override {
        for (const std::string& name : kGroup) host.File(name, "Inhalt von " + name, 1'000'000'000);
        host.File("stadata/allein.dat", "allein", 1'000'000'000);
        host.Related(kGroup[0], kGroup);
        before = TakeSnapshot(host);
    }

    // The group is complete in exactly one archive, and in no other at all.
    void ExpectGroupWholeInOneArchive() {
        int whole = 0;
        for (const std::string& archive : FinalArchives(host)) {
            const Snapshot entries = ArchiveContents(archive);
            std::size_t members = 0;
            for (const std::string& name : kGroup) members += entries.count(name);
            EXPECT_TRUE(members == 0 || members == kGroup.size()) << archive << " holds " << members << " of the group";
            if (members == kGroup.size()) ++whole;
        }
        EXPECT_EQ(whole, 1);
    }

    HostFixture host;
    Snapshot before;
};

// One file of the group cannot be read tonight: none of the group is packed or deleted, and
// tomorrow the whole group goes into one archive.
TEST_F(GroupFixture, AnUnreadableMemberKeepsTheWholeGroupUntilItCanBeRead) {
    if (!CanDropPrivileges()) GTEST_SKIP() << "cannot give up root's rights here";
    OpenToEveryone(host);
    fs::permissions(host.Root() + "/" + kGroup[2], fs::perms::none);
    FaultOptions options;
    options.args = {"-A", "-L"};
    options.unprivileged = true;
    const FaultResult first = RunVendrask(host, options);
    EXPECT_EQ(first.process.status, 1) << "an unreadable file is a failure";
    EXPECT_THAT(first.process.err, HasSubstr(kGroup[2]));
    for (const std::string& name : kGroup) EXPECT_TRUE(host.Exists(name)) << name;
    EXPECT_FALSE(host.Exists("stadata/allein.dat"));
    EXPECT_THAT(Violations(host, before), IsEmpty());
    ASSERT_EQ(FinalArchives(host).size(), 1u);
    EXPECT_EQ(ArchiveContents(FinalArchives(host)[0]), (Snapshot{{"stadata/allein.dat", "allein"}}));

    fs::permissions(host.Root() + "/" + kGroup[2], fs::perms(0666));
    const FaultResult next = RunVendrask(host, options);
    EXPECT_EQ(next.process.status, 0) << next.process.err;
    for (const std::string& name : kGroup) EXPECT_FALSE(host.Exists(name)) << name;
    EXPECT_THAT(Violations(host, before), IsEmpty());
    ExpectGroupWholeInOneArchive();
}

// A read-only file of a group keeps all of it, whichever it is; each file is named once, and
// the run, having done what it could, succeeds.
TEST(ReadOnlyGroupMember, KeepsTheGroupAndEachFileIsNamedOnce) {
    for (std::size_t readOnly = 0; readOnly < kGroup.size(); ++readOnly) {
        HostFixture host;
        for (const std::string& name : kGroup) host.File(name, "Inhalt von " + name, 1'000'000'000);
        host.File("stadata/allein.dat", "allein", 1'000'000'000);
        host.Related(kGroup[0], kGroup);
        fs::permissions(host.Root() + "/" + kGroup[readOnly], fs::perms(0444));
        FaultOptions options;
        options.args = {"-A", "-L"};
        const FaultResult run = RunVendrask(host, options);
        EXPECT_EQ(run.process.status, 0) << kGroup[readOnly] << ": " << run.process.err;
        EXPECT_FALSE(host.Exists("stadata/allein.dat"));
        for (const std::string& name : kGroup) {
            EXPECT_TRUE(host.Exists(name)) << kGroup[readOnly] << ": " << name;
            const std::string line = "„" + host.Root() + "/" + name + "“";
            const auto at = run.process.out.find(line);
            EXPECT_NE(at, std::string::npos) << kGroup[readOnly] << ": " << run.process.out;
            EXPECT_EQ(run.process.out.find(line, at + 1), std::string::npos) << run.process.out;
        }
        EXPECT_THAT(run.process.out, HasSubstr("Erhalten, nicht archiviert: 3 Dateien"));
        EXPECT_THAT(run.process.err, HasSubstr("related_file"));
        ASSERT_EQ(FinalArchives(host).size(), 1u);
        EXPECT_EQ(ArchiveContents(FinalArchives(host)[0]), (Snapshot{{"stadata/allein.dat", "allein"}}));
    }
}

// A read-only file stays, goes into no archive, and does not fail the run: night after night it
// is named once, with what the administrator can do about it.
TEST(ReadOnlyFile, IsNeitherPackedNorDeletedAndTheRunSucceedsEveryNight) {
    HostFixture host;
    host.Rule(1, "stadata/*.dat", true, 30);
    host.File("stadata/nurlesen.dat", "bleibt", 1'000'000'000);
    host.File("stadata/normal.dat", "geht", 1'000'000'000);
    fs::permissions(host.Root() + "/stadata/nurlesen.dat", fs::perms(0444));
    FaultOptions attended;
    attended.args = {"-A", "-L"};
    const FaultResult first = RunVendrask(host, attended);
    EXPECT_EQ(first.process.status, 0) << first.process.err;
    EXPECT_TRUE(host.Exists("stadata/nurlesen.dat"));
    EXPECT_FALSE(host.Exists("stadata/normal.dat"));
    ASSERT_EQ(FinalArchives(host).size(), 1u);
    EXPECT_EQ(ArchiveContents(FinalArchives(host)[0]), (Snapshot{{"stadata/normal.dat", "geht"}}));
    EXPECT_THAT(first.process.err, HasSubstr("stadata/nurlesen.dat"));
    EXPECT_THAT(first.process.err, HasSubstr("object_rule"));
    EXPECT_THAT(first.process.out, HasSubstr("Erhalten, nicht archiviert: 1 Datei"));
    EXPECT_THAT(first.process.out, HasSubstr("schreibgeschützt"));
    EXPECT_THAT(first.process.out, Not(HasSubstr("Fehler:")));

    // The nightly call: silent on standard output, the kept file on standard error, no new archive.
    FaultOptions nightly;
    nightly.args = {"-AUTO", "-A", "-L"};
    const FaultResult second = RunVendrask(host, nightly);
    EXPECT_EQ(second.process.status, 0) << second.process.err;
    EXPECT_EQ(second.process.out, "");
    EXPECT_THAT(second.process.err, HasSubstr("stadata/nurlesen.dat"));
    EXPECT_EQ(FinalArchives(host).size(), 1u);
    EXPECT_TRUE(host.Exists("stadata/nurlesen.dat"));

    // A rule that keeps it: no longer a candidate, nothing said.
    host.Rule(1, "stadata/nurlesen.dat", false, 0);
    const FaultResult third = RunVendrask(host, nightly);
    EXPECT_EQ(third.process.status, 0) << third.process.err;
    EXPECT_EQ(third.process.err, "");
}

}  // namespace
}  // namespace faults
