// The journal through the programs: vendrask writes it or refuses to run, vendrask-archiv
// journal shows and checks it.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>

#include "host/services/archive_journal.h"
#include "tests/support/host_fixture.h"
#include "tests/support/run_process.h"
#include "tests/support/unprivileged.h"

namespace {

namespace fs = std::filesystem;
using tavik::TArchiveJournal;
using tavik::TJournalRecord;
using testsupport::BinDir;
using testsupport::HostFixture;
using testsupport::ProcessResult;
using testsupport::RunProcess;

using testsupport::Contains;

ProcessResult Archiv(const HostFixture& host, std::vector<std::string> args) {
    args.insert(args.begin(), BinDir() + "/vendrask-archiv");
    return RunProcess(args, {{{"OLVEX_ROOT", host.Root()}}, {}, "", "", 300});
}

std::size_t Lines(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

TEST(ArchivJournal, ARunsSummaryNamesTheHeadThatTheCheckConfirms) {
    HostFixture host;
    host.Rule(1, "stadata/*.dat", true, 30);
    host.Rule(1, "ARCHIV/*.zip", false, 30);
    host.File("stadata/a.dat", "a", 1'000'000'000);
    host.File("stadata/b.dat", "b", 1'000'000'000);
    host.File("ARCHIV/alt.zip", "alt", 1'000'000'000);
    const auto run = RunProcess({BinDir() + "/vendrask", "-A", "-L"}, {{{"OLVEX_ROOT", host.Root()}}, {}, "", "", 300});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string head = TArchiveJournal(host.Root() + "/ARCHIV", TArchiveJournal::TMode::Read).Head();
    EXPECT_TRUE(Contains(run.out, "Journal: " + head + "\n")) << run.out;

    // archiv-geschrieben, geprueft, two deletions by the archive run, the retention periods the
    // delete run went by, one deletion by the rule.
    const auto check = Archiv(host, {"journal", "--check"});
    EXPECT_EQ(check.status, 0) << check.err;
    EXPECT_EQ(check.out, "Journal intakt: 6 Einträge, Kopf " + head + "\n");
    EXPECT_EQ(Archiv(host, {"journal", "--check", "--head", head}).status, 0);

    const auto listed = Archiv(host, {"journal", host.Root() + "/ARCHIV"});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out.rfind("seq\ttime\tkind\tarchive\tentry\tpath\tsize\tmtime\tsha256\tentries\tresult\tdetail\t"
                               "prev\thash\n",
                               0),
              0u)
        << listed.out;
    EXPECT_EQ(Lines(listed.out), 7u);
    EXPECT_TRUE(Contains(listed.out, "\tgeloescht-regel\talt.zip\t\t" + host.Root() + "/ARCHIV/alt.zip\t3\t"))
        << listed.out;
}

// Records at the first and last moment of local days; --from and --to take whole days.
TEST(ArchivJournal, FromAndToTakeWholeLocalDays) {
    testsupport::TempDir dir;
    const auto localMidnight = [](int day) {
        std::tm parts{};
        parts.tm_year = 2026 - 1900;
        parts.tm_mon = 0;
        parts.tm_mday = day;
        parts.tm_isdst = -1;
        return static_cast<std::int64_t>(std::mktime(&parts));
    };
    std::vector<TJournalRecord> records;
    for (std::int64_t moment : {localMidnight(1) - 1, localMidnight(1), localMidnight(2) - 1, localMidnight(2),
                                localMidnight(3) - 1, localMidnight(3)}) {
        TJournalRecord record;
        record.Kind = tavik::journalkind::Abgelehnt;
        record.Time = TArchiveJournal::UtcText(moment);
        records.push_back(record);
    }
    TArchiveJournal(dir.str()).Append(records);
    struct TCase {
        std::vector<std::string> Args;
        std::size_t Records;
    };
    const TCase cases[] = {
        {{}, 6},
        {{"--from", "2026-01-01"}, 5},
        {{"--to", "2026-01-01"}, 3},
        {{"--from", "2026-01-01", "--to", "2026-01-01"}, 2},
        {{"--from", "2026-01-02", "--to", "2026-01-02"}, 2},
        {{"--from", "2026-01-03"}, 1},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv{BinDir() + "/vendrask-archiv", "journal"};
        argv.insert(argv.end(), c.Args.begin(), c.Args.end());
        argv.push_back(dir.str());
        const auto result = RunProcess(argv);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(Lines(result.out), c.Records + 1) << testing::PrintToString(c.Args) << result.out;
    }
    for (const char* wrong : {"2026-02-30", "26-01-01", "2026-01-01x", "heute"}) {
        const auto result = RunProcess({BinDir() + "/vendrask-archiv", "journal", "--from", wrong, dir.str()});
        EXPECT_EQ(result.status, 2) << wrong;
        EXPECT_TRUE(Contains(result.err, "kein gültiges Datum")) << result.err;
    }
}

TEST(ArchivJournal, TheCheckNamesTheFirstBadRecordWithStatusOne) {
    testsupport::TempDir dir;
    std::vector<TJournalRecord> records(5);
    for (auto& record : records) record.Kind = tavik::journalkind::Abgelehnt;
    const std::string head = TArchiveJournal(dir.str()).Append(records);
    ASSERT_EQ(RunProcess({"sqlite3", TArchiveJournal::PathIn(dir.str()),
                          "DROP TRIGGER record_no_update; UPDATE record SET detail = 'nachträglich' WHERE seq = 3;"})
                  .status,
              0);
    const auto check = RunProcess({BinDir() + "/vendrask-archiv", "journal", "--check", dir.str()});
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(check.out, "");
    EXPECT_TRUE(Contains(check.err, "Journal nicht intakt: Eintrag 3 wurde verändert.")) << check.err;

    ASSERT_EQ(RunProcess({"sqlite3", TArchiveJournal::PathIn(dir.str()),
                          "DROP TRIGGER record_no_delete; DELETE FROM record WHERE seq >= 3;"})
                  .status,
              0);
    EXPECT_EQ(RunProcess({BinDir() + "/vendrask-archiv", "journal", "--check", dir.str()}).status, 0);
    const auto cut = RunProcess({BinDir() + "/vendrask-archiv", "journal", "--check", "--head", head, dir.str()});
    EXPECT_EQ(cut.status, 1);
    EXPECT_TRUE(Contains(cut.err, "gekürzt")) << cut.err;

    const auto none = RunProcess({BinDir() + "/vendrask-archiv", "journal", "--check", (dir / "leer").string()});
    EXPECT_EQ(none.status, 1);
    EXPECT_TRUE(Contains(none.err, "kein Journal")) << none.err;
}

// What comes back out of one of the run's archives is recorded beside what went in.
TEST(ArchivJournal, RestoringFromARunsArchiveIsRecorded) {
    HostFixture host;
    host.Rule(1, "stadata/*.dat", true, 30);
    host.File("stadata/m01/a.dat", "Inhalt", 1'000'000'000);
    ASSERT_EQ(RunProcess({BinDir() + "/vendrask", "-AUTO", "-A"}, {{{"OLVEX_ROOT", host.Root()}}, {}, "", "", 300}).status,
              0);
    std::string archive;
    for (const auto& entry : fs::directory_iterator(host.Root() + "/ARCHIV"))
        if (entry.path().filename().string().rfind("SK", 0) == 0) archive = entry.path().string();
    ASSERT_FALSE(archive.empty());
    testsupport::TempDir elsewhere;
    ASSERT_EQ(Archiv(host, {"restore", archive, "0"}).status, 0);
    ASSERT_EQ(Archiv(host, {"restore", "--to", elsewhere.str(), archive, "0"}).status, 0);
    EXPECT_TRUE(host.Exists("stadata/m01/a.dat"));

    const auto records = TArchiveJournal(host.Root() + "/ARCHIV", TArchiveJournal::TMode::Read).Read();
    ASSERT_GE(records.size(), 2u);
    const TJournalRecord& restored = records[records.size() - 2];
    const TJournalRecord& extracted = records.back();
    EXPECT_EQ(restored.Kind, "wiederhergestellt");
    EXPECT_EQ(restored.Entry, "stadata/m01/a.dat");
    EXPECT_EQ(restored.Path, host.Root() + "/stadata/m01/a.dat");
    EXPECT_EQ(restored.Archive, fs::path(archive).filename().string());
    EXPECT_EQ(extracted.Kind, "entpackt");
    EXPECT_EQ(extracted.Path, elsewhere.str() + "/stadata/m01/a.dat");
    EXPECT_EQ(Archiv(host, {"journal", "--check"}).status, 0);
}

// A run that cannot write the journal does nothing at all. As a user without rights: root may
// write anything.
TEST(ArchivJournal, ARunThatCannotWriteTheJournalArchivesAndDeletesNothing) {
    struct TCase {
        const char* Name;
        bool FolderLocked;  // else the journal file is read-only
        const char* Switch;
        const char* Summary;
    };
    const TCase cases[] = {
        {"folder, archive run", true, "-A", "Das Journal in ARCHIV kann nicht geschrieben werden"},
        {"file, archive run", false, "-A", "Das Journal in ARCHIV kann nicht geschrieben werden"},
        {"folder, delete run", true, "-L", "Löschen: das Journal in ARCHIV kann nicht geschrieben werden"},
        {"file, delete run", false, "-L", "Löschen: das Journal in ARCHIV kann nicht geschrieben werden"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        HostFixture host;
        host.Rule(1, "stadata/*.dat", true, 30);
        host.Rule(1, "ARCHIV/*.zip", false, 30);
        host.File("stadata/alt.dat", "a", 1'000'000'000);
        host.File("ARCHIV/alt.zip", "z", 1'000'000'000);
        const std::string folder = host.Root() + "/ARCHIV/.vendrask";
        TJournalRecord first;
        first.Kind = tavik::journalkind::Abgelehnt;
        TArchiveJournal(host.Root() + "/ARCHIV").Append({first});
        for (const auto& entry : fs::recursive_directory_iterator(host.Root())) testsupport::OpenToTestUser(entry.path());
        testsupport::OpenToTestUser(host.Root());
        fs::permissions(folder, fs::perms(0777));
        fs::permissions(TArchiveJournal::PathIn(host.Root() + "/ARCHIV"), fs::perms(0666));
        if (c.FolderLocked)
            fs::permissions(folder, fs::perms(0555));
        else
            fs::permissions(TArchiveJournal::PathIn(host.Root() + "/ARCHIV"), fs::perms(0444));
        const auto run = RunProcess(testsupport::Unprivileged({BinDir() + "/vendrask", c.Switch}),
                                    {{{"OLVEX_ROOT", host.Root()}}, {}, "", "", 300});
        fs::permissions(folder, fs::perms::all);
        EXPECT_EQ(run.status, 1) << run.out << run.err;
        EXPECT_TRUE(Contains(run.out, c.Summary)) << run.out;
        EXPECT_TRUE(Contains(run.err, TArchiveJournal::PathIn(host.Root() + "/ARCHIV"))) << run.err;
        EXPECT_TRUE(host.Exists("stadata/alt.dat"));
        EXPECT_TRUE(host.Exists("ARCHIV/alt.zip"));
        for (const auto& entry : fs::directory_iterator(host.Root() + "/ARCHIV"))
            EXPECT_NE(entry.path().filename().string().rfind("SK", 0), 0u) << entry.path();
        EXPECT_EQ(TArchiveJournal(host.Root() + "/ARCHIV", TArchiveJournal::TMode::Read).Count(), 1);
    }
}

}  // namespace
