// The journal of ARCHIV on real SQLite files: appending, the chain, and what every kind of
// tampering with the sqlite3 tool leaves for Check to find.
#include "host/services/archive_journal.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sqlite3.h>

#include <filesystem>
#include <memory>

#include "host/services/exceptions.h"
#include "host/services/sha256.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using tavik::TArchiveJournal;
using tavik::TJournalRecord;
using testsupport::RunProcess;
using testsupport::TempDir;

TJournalRecord Deleted(const std::string& path, std::int64_t size) {
    TJournalRecord record;
    record.Kind = tavik::journalkind::GeloeschtRegel;
    record.Path = path;
    record.Size = size;
    record.Detail = "Regel ARCHIV/*.zip, 30 Tage";
    return record;
}

// A journal with records 1..count.
std::string Fill(const std::string& dir, int count) {
    TArchiveJournal journal(dir);
    std::vector<TJournalRecord> records;
    for (int i = 1; i <= count; ++i) records.push_back(Deleted("/archiv/alt" + std::to_string(i) + ".zip", i));
    return journal.Append(records);
}

void Sql(const std::string& dir, const std::string& statements) {
    const auto result = RunProcess({"sqlite3", TArchiveJournal::PathIn(dir), statements});
    ASSERT_EQ(result.status, 0) << result.err;
}

TEST(ArchiveJournal, AppendsAChainThatChecksAndReadsBack) {
    TempDir dir;
    TArchiveJournal journal(dir.str());
    EXPECT_EQ(journal.Head(), TArchiveJournal::EmptyHead());
    EXPECT_TRUE(journal.Check().Ok);
    TJournalRecord written;
    written.Kind = tavik::journalkind::ArchivGeschrieben;
    written.Archive = "SK261209.001";
    written.Size = 4096;
    written.Entries = 3;
    written.Sha256 = tavik::Sha256Hex("x");
    const std::string first = journal.Append({written});
    const std::string head = journal.Append({Deleted("/a/eins.dat", 1), Deleted("/a/zwei.dat", 22)});
    EXPECT_EQ(journal.Head(), head);
    EXPECT_EQ(journal.Count(), 3);
    EXPECT_TRUE(journal.Knows(first));
    EXPECT_FALSE(journal.Knows(std::string(64, 'f')));

    const auto records = journal.Read();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].Prev, TArchiveJournal::EmptyHead());
    EXPECT_EQ(records[0].Archive, "SK261209.001");
    EXPECT_EQ(records[0].Entries, 3);
    EXPECT_FALSE(records[1].Entries.has_value());
    EXPECT_EQ(records[2].Size, 22);
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].Seq, static_cast<std::int64_t>(i + 1));
        EXPECT_EQ(records[i].Hash, TArchiveJournal::HashOf(records[i]));
        if (i > 0) {
            EXPECT_EQ(records[i].Prev, records[i - 1].Hash);
        }
        EXPECT_EQ(records[i].Time.size(), 20u) << records[i].Time;
    }
    const auto check = journal.Check();
    EXPECT_TRUE(check.Ok) << check.Reason;
    EXPECT_EQ(check.Records, 3);
    EXPECT_EQ(check.Head, head);
    // Another opening of the same journal continues the chain.
    EXPECT_EQ(TArchiveJournal(dir.str(), TArchiveJournal::TMode::Read).Head(), head);
    EXPECT_EQ(fs::status(dir / ".vendrask").permissions() & fs::perms::others_all, fs::perms::none);
}

// The layout of the hashed bytes is fixed: an auditor recomputes it without vendrask.
TEST(ArchiveJournal, TheHashIsTakenOverNetstringsOfTheFields) {
    TJournalRecord record;
    record.Seq = 7;
    record.Time = "2026-12-09T12:26:00Z";
    record.Kind = "abgelehnt";
    record.Path = "/a:b,c";
    record.Size = 0;
    record.Detail = "ä";
    record.Prev = TArchiveJournal::EmptyHead();
    const std::string bytes = "18:vendrask-journal-1,64:" + TArchiveJournal::EmptyHead() +
                              ",1:7,20:2026-12-09T12:26:00Z,9:abgelehnt,0:,0:,6:/a:b,c,1:0,0:,0:,0:,0:,2:ä,";
    EXPECT_EQ(TArchiveJournal::HashOf(record), tavik::Sha256Hex(bytes));
    // An absent number is not the number 0.
    TJournalRecord absent = record;
    absent.Size.reset();
    EXPECT_NE(TArchiveJournal::HashOf(absent), TArchiveJournal::HashOf(record));
}

TEST(ArchiveJournal, ReadsTheRecordsOfATimeSpan) {
    TempDir dir;
    TArchiveJournal journal(dir.str());
    std::vector<TJournalRecord> records;
    for (const char* time : {"2026-01-01T00:00:00Z", "2026-01-02T10:00:00Z", "2026-01-03T00:00:00Z"}) {
        records.push_back(Deleted("/a/x", 1));
        records.back().Time = time;
    }
    journal.Append(records);
    const auto span = journal.Read("2026-01-02T00:00:00Z", "2026-01-03T00:00:00Z");
    ASSERT_EQ(span.size(), 1u);
    EXPECT_EQ(span[0].Seq, 2);
    EXPECT_EQ(journal.Read("2026-01-02T00:00:00Z").size(), 2u);
    EXPECT_EQ(journal.Read(std::nullopt, "2026-01-02T00:00:00Z").size(), 1u);
}

TEST(ArchiveJournal, RefusesUpdateAndDeleteWhileItsTriggersStand) {
    TempDir dir;
    Fill(dir.str(), 3);
    for (const char* statement : {"UPDATE record SET path = 'x' WHERE seq = 2;", "DELETE FROM record WHERE seq = 3;"}) {
        const auto result = RunProcess({"sqlite3", TArchiveJournal::PathIn(dir.str()), statement});
        EXPECT_NE(result.status, 0) << statement;
    }
    EXPECT_EQ(TArchiveJournal(dir.str()).Count(), 3);
}

struct TTamperCase {
    const char* Name;
    const char* Sql;
    std::int64_t FirstBad;
    const char* Reason;
};

TEST(ArchiveJournal, FindsAndNamesEveryTampering) {
    const TTamperCase cases[] = {
        {"field altered", "DROP TRIGGER record_no_update; UPDATE record SET size = 99 WHERE seq = 4;", 4,
         "Eintrag 4 wurde verändert."},
        {"hash replaced", "DROP TRIGGER record_no_update; UPDATE record SET hash = printf('%.64d', 1) WHERE seq = 6;",
         6, "Eintrag 6 wurde verändert."},
        {"record deleted", "DROP TRIGGER record_no_delete; DELETE FROM record WHERE seq = 3;", 3, "Eintrag 3 fehlt."},
        {"first deleted", "DROP TRIGGER record_no_delete; DELETE FROM record WHERE seq = 1;", 1, "Eintrag 1 fehlt."},
        {"two swapped",
         "DROP TRIGGER record_no_update; UPDATE record SET seq = 100 WHERE seq = 5;"
         " UPDATE record SET seq = 5 WHERE seq = 6; UPDATE record SET seq = 6 WHERE seq = 100;",
         5, "Die Reihenfolge ab Eintrag 5 stimmt nicht."},
        {"deleted and renumbered",
         "DROP TRIGGER record_no_delete; DROP TRIGGER record_no_update; DELETE FROM record WHERE seq = 2;"
         " UPDATE record SET seq = seq - 1 WHERE seq > 2;",
         2, "Eintrag 2 wurde verändert."},
    };
    for (const auto& tamper : cases) {
        SCOPED_TRACE(tamper.Name);
        TempDir dir;
        Fill(dir.str(), 8);
        Sql(dir.str(), tamper.Sql);
        const auto check = TArchiveJournal(dir.str(), TArchiveJournal::TMode::Read).Check();
        EXPECT_FALSE(check.Ok);
        EXPECT_EQ(check.FirstBad, tamper.FirstBad);
        EXPECT_EQ(check.Reason, tamper.Reason);
        EXPECT_EQ(check.Records, tamper.FirstBad - 1);
    }
}

// Records cut off the end leave a sound chain: the head kept elsewhere is what shows it.
TEST(ArchiveJournal, ATruncatedEndIsFoundByTheHeadKeptElsewhere) {
    TempDir dir;
    const std::string head = Fill(dir.str(), 8);
    Sql(dir.str(), "DROP TRIGGER record_no_delete; DELETE FROM record WHERE seq > 5;");
    TArchiveJournal journal(dir.str(), TArchiveJournal::TMode::Read);
    EXPECT_TRUE(journal.Check().Ok);
    EXPECT_EQ(journal.Count(), 5);
    EXPECT_FALSE(journal.Knows(head));
}

TEST(ArchiveJournal, ATruncatedFileIsReportedAsUnreadable) {
    TempDir dir;
    Fill(dir.str(), 200);
    const std::string path = TArchiveJournal::PathIn(dir.str());
    fs::resize_file(path, fs::file_size(path) / 2);
    const auto check = TArchiveJournal(dir.str(), TArchiveJournal::TMode::Read).Check();
    EXPECT_FALSE(check.Ok);
    EXPECT_EQ(check.FirstBad, 0);
    EXPECT_NE(check.Reason.find("beschädigt oder gekürzt"), std::string::npos) << check.Reason;
}

TEST(ArchiveJournal, RefusesAFolderThatIsNoFolderAndAMissingJournalToRead) {
    TempDir dir;
    EXPECT_THROW(TArchiveJournal(dir.str(), TArchiveJournal::TMode::Read), tavik::EOlvex);
    EXPECT_FALSE(fs::exists(dir / ".vendrask"));
    testsupport::WriteFile(dir / "datei/x", "x");
    fs::create_symlink(dir / "datei", dir / ".vendrask");
    EXPECT_THROW(TArchiveJournal{dir.str()}, tavik::EOlvex);
    fs::remove(dir / ".vendrask");
    testsupport::WriteFile(dir / ".vendrask", "keine Datenbank");
    EXPECT_THROW(TArchiveJournal{dir.str()}, tavik::EOlvex);
}

// A writer killed at any moment leaves whole appends only: each of the child's appends holds ten
// records, so the count stays a multiple of ten and the chain is sound.
TEST(ArchiveJournal, AWriterKilledWhileAppendingLeavesASoundJournal) {
    for (int round = 0; round < 3; ++round) {
        TempDir dir;
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(ready[0]);
            try {
                TArchiveJournal journal(dir.str());
                for (int i = 0;; ++i) {
                    std::vector<TJournalRecord> batch;
                    for (int j = 0; j < 10; ++j) batch.push_back(Deleted("/a/" + std::to_string(i * 10 + j), j));
                    journal.Append(batch);
                    if (i == 5 + round * 7 && write(ready[1], "x", 1) != 1) _exit(3);
                }
            } catch (...) {
                _exit(2);
            }
        }
        close(ready[1]);
        char byte = 0;
        ASSERT_EQ(read(ready[0], &byte, 1), 1);
        close(ready[0]);
        usleep(static_cast<useconds_t>(1000 * (1 + round * 3)));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
        // Opening for writing rolls back what the killed writer left half done.
        TArchiveJournal journal(dir.str());
        const auto check = journal.Check();
        EXPECT_TRUE(check.Ok) << check.Reason;
        EXPECT_GE(check.Records, 60);
        EXPECT_EQ(check.Records % 10, 0);
        journal.Append({Deleted("/a/danach", 1)});
        EXPECT_TRUE(journal.Check().Ok);
    }
}

}  // namespace

namespace {

// A writer killed after SQLite wrote part of an append into the file (its cache spilled) leaves
// a hot rollback journal; a reader rolls it back and reads the journal as it was before.
TEST(ArchiveJournal, AReaderRollsBackAnAppendThatAKilledWriterLeftInTheFile) {
    TempDir dir;
    const std::string head = Fill(dir.str(), 3);
    const std::string path = TArchiveJournal::PathIn(dir.str());
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        sqlite3* db = nullptr;
        if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) _exit(2);
        const std::string cutOff =
            "PRAGMA cache_size=1; BEGIN IMMEDIATE; WITH RECURSIVE n(i) AS (SELECT 4 UNION ALL SELECT i + 1 FROM n "
            "WHERE i < 3000) INSERT INTO record (seq, time, kind, path, prev, hash) SELECT i, 'x', 'x', "
            "printf('%0500d', i), 'x', printf('%064d', i) FROM n;";
        if (sqlite3_exec(db, cutOff.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) _exit(3);
        _exit(0);  // neither committed nor rolled back, as if killed
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_TRUE(fs::exists(path + "-journal"));
    const TArchiveJournal journal(dir.str(), TArchiveJournal::TMode::Read);
    const auto check = journal.Check();
    EXPECT_TRUE(check.Ok) << check.Reason;
    EXPECT_EQ(check.Records, 3);
    EXPECT_EQ(journal.Head(), head);
}

}  // namespace
