// What the archive run and the delete run write into ARCHIV's journal, and that the journal's
// folder is nobody's candidate.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "host/services/archive_journal.h"
#include "host/services/date_time.h"
#include "host/services/sha256.h"
#include "host/services/tavik_info.h"
#include "task/dmarchivu.h"
#include "tests/support/host_fixture.h"
#include "tests/support/recording_frontend.h"

namespace vendrask {
namespace {

namespace fs = std::filesystem;
using tavik::TArchiveJournal;
using tavik::TJournalRecord;

class RunJournal : public ::testing::Test {
protected:
    void SetUp() override {
        host.Activate();
        tavik::TavikProgramm().SetFrontend(std::make_unique<testsupport::RecordingFrontend>(log));
    }
    TdmOlvexArchiv& Module(const char* switches) {
        module = std::make_unique<TdmOlvexArchiv>(tavik::TParameters{"vendrask", switches});
        module->Clock = [] { return tavik::EncodeDateTime({2026, 12, 7, 10, 0, 0}); };
        return *module;
    }
    std::string ArchivDir() const { return host.Root() + "/ARCHIV"; }
    std::vector<TJournalRecord> Records() const {
        return TArchiveJournal(ArchivDir(), TArchiveJournal::TMode::Read).Read();
    }
    static std::vector<std::string> Kinds(const std::vector<TJournalRecord>& records) {
        std::vector<std::string> kinds;
        for (const auto& record : records) kinds.push_back(record.Kind);
        return kinds;
    }

    testsupport::HostFixture host;
    testsupport::FrontendLog log;
    std::unique_ptr<TdmOlvexArchiv> module;
};

TEST_F(RunJournal, TheArchiveRunRecordsItsArchiveAndEachDeletionBeforeIt) {
    host.File("stadata/m01/a.dat", "Inhalt A", 1'500'000'000);
    host.File("stadata/m02/b.dat", std::string(10'000, 'b'), 1'500'000'000);
    auto& m = Module("-A");
    m.ExploreSystem();
    m.AutoArchExecuteAll();
    ASSERT_EQ(tavik::TavikInfo().FailureCount(), 0);
    const std::string archive = ArchivDir() + "/SK261207.001";
    ASSERT_TRUE(fs::exists(archive));
    // The engine took the head of the journal before the archive: the empty one.
    EXPECT_EQ(m.Archiv()->JournalHead, TArchiveJournal::EmptyHead());

    const auto records = Records();
    EXPECT_EQ(Kinds(records), (std::vector<std::string>{"archiv-geschrieben", "geprueft", "geloescht-archivlauf",
                                                         "geloescht-archivlauf"}));
    EXPECT_EQ(records[0].Archive, "SK261207.001");
    EXPECT_EQ(records[0].Entries, 2);
    EXPECT_EQ(records[0].Size, static_cast<std::int64_t>(fs::file_size(archive)));
    EXPECT_EQ(records[0].Sha256, tavik::Sha256OfFile(archive));
    EXPECT_EQ(records[1].Result, "fehlerfrei");
    EXPECT_EQ(records[1].Sha256, records[0].Sha256);
    for (const auto& record : {records[2], records[3]}) {
        EXPECT_EQ(record.Archive, "SK261207.001");
        EXPECT_EQ(record.Mtime, "2017-07-14T02:40:00Z");
        EXPECT_FALSE(fs::exists(record.Path)) << record.Path;
    }
    EXPECT_EQ(records[2].Path, host.Root() + "/stadata/m01/a.dat");
    EXPECT_EQ(records[2].Entry, "stadata/m01/a.dat");
    EXPECT_EQ(records[2].Size, 8);
    EXPECT_EQ(records[3].Size, 10'000);
    const auto check = TArchiveJournal(ArchivDir(), TArchiveJournal::TMode::Read).Check();
    EXPECT_TRUE(check.Ok) << check.Reason;
    EXPECT_EQ(m.JournalHead(), check.Head);

    // The next archive names the head it was written after.
    host.File("stadata/m03/c.dat", "c", 1'500'000'000);
    auto& next = Module("-A");
    next.ExploreSystem();
    next.AutoArchExecuteAll();
    EXPECT_EQ(next.Archiv()->JournalHead, check.Head);
}

TEST_F(RunJournal, AFileThatStaysAfterItsRecordIsNamedAsNotDeleted) {
    host.File("stadata/a.dat", "a", 1'500'000'000);
    auto& m = Module("-A");
    m.ExploreSystem();
    // Changed after it was packed: it must stay.
    m.AfterArchivWritten = [&](const std::string&) { host.File("stadata/a.dat", "anders", 1'500'000'000); };
    m.AutoArchExecuteAll();
    EXPECT_TRUE(host.Exists("stadata/a.dat"));
    const auto records = Records();
    ASSERT_EQ(Kinds(records), (std::vector<std::string>{"archiv-geschrieben", "geprueft", "geloescht-archivlauf",
                                                         "abgelehnt"}));
    EXPECT_EQ(records[3].Path, records[2].Path);
    EXPECT_EQ(records[3].Result, "nicht gelöscht");
    EXPECT_FALSE(records[3].Detail.empty());
}

TEST_F(RunJournal, TheDeleteRunRecordsEachFileWithItsDigestAndRule) {
    host.Rule(1, "ARCHIV/*.zip", false, 30);
    host.File("ARCHIV/alt.zip", "alter Inhalt", 1'500'000'000);
    auto& m = Module("-L");
    m.ExploreSystem();
    m.AutoDeleteExecuteAll();
    EXPECT_FALSE(host.Exists("ARCHIV/alt.zip"));
    // The first delete run also records the retention periods it went by.
    const auto all = Records();
    ASSERT_EQ(Kinds(all), (std::vector<std::string>{"aufbewahrung", "geloescht-regel"}));
    const auto& deleted = all[1];
    EXPECT_EQ(deleted.Path, ArchivDir() + "/alt.zip");
    EXPECT_EQ(deleted.Size, 12);
    EXPECT_EQ(deleted.Sha256, tavik::Sha256Hex("alter Inhalt"));
    EXPECT_EQ(deleted.Detail, "Datei ist älter als 30 Tage.");
    EXPECT_EQ(m.JournalHead(), deleted.Hash);
}

// Whatever the rules say, the journal's folder is neither listed nor deleted.
TEST_F(RunJournal, TheJournalsFolderIsNoCandidateAndIsNeverDeleted) {
    host.Rule(1, "ARCHIV/*", false, 30);
    host.File("ARCHIV/alt.zip", "alt", 1'500'000'000);
    TJournalRecord first;
    first.Kind = "abgelehnt";
    TArchiveJournal(ArchivDir()).Append({first});
    host.File("ARCHIV/.vendrask/liegen.txt", "x", 1'500'000'000);
    fs::last_write_time(TArchiveJournal::PathIn(ArchivDir()), fs::file_time_type{});
    auto& m = Module("-L");
    m.ExploreSystem();
    TVRList& table = *m.SystemDel();
    ASSERT_EQ(table.GetRowCount(), 1);
    EXPECT_EQ(table.GetText(0, 0), ArchivDir() + "/alt.zip");
    m.AutoDeleteExecuteAll();
    EXPECT_FALSE(host.Exists("ARCHIV/alt.zip"));
    // Named directly, it is refused, and the refusal is recorded.
    m.DeleteExecute(std::vector<std::string>{TArchiveJournal::PathIn(ArchivDir()), ArchivDir() + "/.vendrask/liegen.txt"});
    EXPECT_TRUE(fs::exists(TArchiveJournal::PathIn(ArchivDir())));
    EXPECT_TRUE(host.Exists("ARCHIV/.vendrask/liegen.txt"));
    EXPECT_TRUE(m.LastDeleted().empty());
    const auto records = Records();
    EXPECT_EQ(Kinds(records),
              (std::vector<std::string>{"abgelehnt", "aufbewahrung", "geloescht-regel", "abgelehnt", "abgelehnt"}));
    EXPECT_TRUE(TArchiveJournal(ArchivDir(), TArchiveJournal::TMode::Read).Check().Ok);
}

}  // namespace
}  // namespace vendrask
