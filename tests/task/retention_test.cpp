// Retention periods and the deletion hold against every path that deletes in ARCHIV: the nightly
// delete run (-L, by a rule of the object table) and the delete page (a user's ticked rows).
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "host/services/archive_journal.h"
#include "host/services/date_time.h"
#include "host/services/sha256.h"
#include "host/services/tavik_info.h"
#include "task/dmarchivu.h"
#include "task/retention_rules.h"
#include "tests/support/host_fixture.h"
#include "tests/support/recording_frontend.h"
#include "tests/support/temp_dir.h"

namespace vendrask {
namespace {

namespace fs = std::filesystem;
using tavik::TArchiveJournal;
using tavik::TJournalRecord;

// Moments as UTC seconds; Germany is UTC+1 around every turn of a year.
std::time_t Utc(int year, int month, int day, int hour, int minute) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    return timegm(&tm);
}

struct TFile {
    const char* name;  // below stadata
    std::time_t modified;
};

class Retention : public ::testing::Test {
protected:
    void SetUp() override { Fresh(); }
    // A new installation: files of stadata are archived after a day, archives of ARCHIV are
    // candidates for deletion after a day.
    void Fresh() {
        module.reset();
        owned = std::make_unique<testsupport::HostFixture>();
        owned->Activate();
        tavik::TavikProgramm().SetFrontend(std::make_unique<testsupport::RecordingFrontend>(log));
        owned->Rule(1, "stadata/*", true, 1);
        owned->Rule(1, "ARCHIV/SK*", false, 1);
    }
    std::string ArchivDir() const { return owned->Root() + "/ARCHIV"; }
    std::string LastFailure() const {
        const auto& failures = tavik::TavikInfo().PendingFailures();
        return failures.empty() ? std::string() : failures.back().Message;
    }

    TdmOlvexArchiv& Module(const char* switches, std::time_t now) {
        module = std::make_unique<TdmOlvexArchiv>(tavik::TParameters{"vendrask", switches});
        module->Clock = [now] { return tavik::FileTimeToDateTime(now); };
        return *module;
    }
    // Packs the files into one archive of the archive run; its path.
    std::string Archived(const std::vector<TFile>& files) {
        std::time_t newest = 0;
        for (const TFile& file : files) {
            owned->File(std::string("stadata/") + file.name, file.name, file.modified);
            newest = std::max(newest, file.modified);
        }
        TdmOlvexArchiv& run = Module("-A", newest + 3 * 86400);
        run.ExploreSystem();
        run.AutoArchExecuteAll();
        EXPECT_TRUE(run.LastArchivRun().Ok) << LastFailure();
        const std::string path = run.LastArchivRun().Path;
        module.reset();
        return path;
    }
    void Periods(const std::string& text) { testsupport::WriteFile(TRetentionRules::PathIn(ArchivDir()), text); }
    // The nightly delete run at now, with a rule that makes every archive a candidate; the note
    // the scan gave the archive.
    std::string NightlyDelete(const std::string& archive, std::time_t now) {
        TdmOlvexArchiv& run = Module("-L", now);
        run.ExploreSystem();
        const TVRList& table = *run.SystemDel();
        std::string note = "(keine Zeile)";
        for (int row = 0; row < table.GetRowCount(); ++row)
            if (table.GetCellValueAsFormatedString(row, run.CandidateColumns().FileName) == fs::path(archive).filename())
                note = table.GetCellValueAsFormatedString(row, run.CandidateColumns().Notiz);
        run.AutoDeleteExecuteAll();
        return note;
    }
    std::vector<TJournalRecord> Records(const char* kind) const {
        std::vector<TJournalRecord> found;
        for (auto& record : TArchiveJournal(ArchivDir(), TArchiveJournal::TMode::Read).Read())
            if (record.Kind == kind) found.push_back(record);
        return found;
    }

    std::unique_ptr<testsupport::HostFixture> owned;
    testsupport::FrontendLog log;
    std::unique_ptr<TdmOlvexArchiv> module;
};

const char* const kPeriods =
    "# Rechnungen acht Jahre, alles andere zehn\n"
    "\"stadata/rechnung *\"  8  Buchungsbelege\n"
    "*  10  Alle Unterlagen\n";

// Each case: the archive's entries, the moment of the delete run, and the note it gets ("" when
// it is deleted).
TEST_F(Retention, AnArchiveGoesOnlyWhenThePeriodOfEveryEntryHasEnded) {
    struct TCase {
        const char* what;
        std::vector<TFile> files;
        std::time_t now;
        const char* note;  // empty: the archive is deleted
    };
    const std::vector<TCase> cases = {
        {"23:30 on 31 December in Germany is still that year; its period ends with 2034",
         {{"rechnung 1.pdf", Utc(2026, 12, 31, 22, 30)}},
         Utc(2034, 12, 31, 22, 59),
         "aufzubewahren bis 31.12.2034 (Buchungsbelege, 8 Jahre: stadata/rechnung 1.pdf von 2026)"},
        {"at midnight of 1 January in Germany it has ended",
         {{"rechnung 1.pdf", Utc(2026, 12, 31, 22, 30)}},
         Utc(2034, 12, 31, 23, 0),
         ""},
        {"00:30 on 1 January in Germany (23:30 UTC the day before) belongs to the new year",
         {{"rechnung 1.pdf", Utc(2026, 12, 31, 23, 30)}},
         Utc(2035, 6, 1, 12, 0),
         "aufzubewahren bis 31.12.2035 (Buchungsbelege, 8 Jahre: stadata/rechnung 1.pdf von 2027)"},
        {"one young entry among old ones keeps the whole archive",
         {{"rechnung alt.pdf", Utc(2010, 3, 1, 12, 0)},
          {"brief.txt", Utc(2027, 5, 1, 12, 0)},
          {"rechnung neu.pdf", Utc(2027, 6, 1, 12, 0)}},
         Utc(2036, 2, 1, 12, 0),
         "aufzubewahren bis 31.12.2037 (Alle Unterlagen, 10 Jahre: stadata/brief.txt von 2027)"},
        {"old entries only: the rule deletes it",
         {{"rechnung alt.pdf", Utc(2010, 3, 1, 12, 0)}, {"brief.txt", Utc(2012, 5, 1, 12, 0)}},
         Utc(2030, 12, 1, 12, 0),
         ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        Periods(kPeriods);
        const std::string archive = Archived(c.files);
        ASSERT_FALSE(archive.empty());
        const std::string note = NightlyDelete(archive, c.now);
        EXPECT_EQ(fs::exists(archive), *c.note != '\0');
        if (*c.note != '\0') {
            EXPECT_EQ(note, c.note);
            ASSERT_EQ(module->LastDeleteFiles().size(), 1u);
            EXPECT_EQ(module->LastDeleteFiles()[0].Fate, TFileFate::KeptRetention);
            // Kept by its period is no failure of the run.
            EXPECT_EQ(tavik::TavikInfo().FailureCount(), 0) << LastFailure();
        } else {
            EXPECT_EQ(module->LastDeleted(), std::vector<std::string>{archive});
        }
    }
}

TEST_F(Retention, TheDefaultKeepsTenYearsAndZeroYearsSwitchesThePeriodOff) {
    const std::string archive = Archived({{"brief.txt", Utc(2020, 5, 1, 12, 0)}});
    // No file yet: the delete run writes the default and records it.
    EXPECT_EQ(NightlyDelete(archive, Utc(2030, 12, 31, 12, 0)),
              "aufzubewahren bis 31.12.2030 (Alle Unterlagen (Voreinstellung), 10 Jahre: stadata/brief.txt von 2020)");
    EXPECT_TRUE(fs::exists(archive));
    EXPECT_EQ(testsupport::ReadFile(TRetentionRules::PathIn(ArchivDir())), TRetentionRules::DefaultText());
    Periods("* 0 keine Fristen\n");
    NightlyDelete(archive, Utc(2030, 12, 31, 12, 0));
    EXPECT_FALSE(fs::exists(archive));
}

TEST_F(Retention, EachChangeOfThePeriodsIsJournaledWithItsDigest) {
    // Written in 2035, kept until 2045: a candidate of every run.
    const std::string archive = Archived({{"brief.txt", Utc(2035, 5, 1, 12, 0)}});
    NightlyDelete(archive, Utc(2040, 12, 20, 12, 0));
    NightlyDelete(archive, Utc(2040, 12, 21, 12, 0));
    auto records = Records(tavik::journalkind::Aufbewahrung);
    ASSERT_EQ(records.size(), 1u);  // unchanged: recorded once
    EXPECT_EQ(records[0].Detail, TRetentionRules::DefaultText());
    EXPECT_EQ(records[0].Sha256, tavik::Sha256Hex(TRetentionRules::DefaultText()));

    Periods(kPeriods);
    NightlyDelete(archive, Utc(2040, 12, 22, 12, 0));
    EXPECT_TRUE(fs::exists(archive));
    records = Records(tavik::journalkind::Aufbewahrung);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].Sha256, tavik::Sha256Hex(kPeriods));
    EXPECT_EQ(records[1].Detail, kPeriods);
    // The nightly run keeps the archive night after night without a refusal for each night.
    EXPECT_TRUE(Records(tavik::journalkind::Abgelehnt).empty());
}

TEST_F(Retention, AWrongLineKeepsEveryArchiveAndNamesTheLine) {
    const std::string archive = Archived({{"brief.txt", Utc(2010, 5, 1, 12, 0)}});
    for (const char* text : {"* zehn Jahre\n", "\"offen 8 x\n", "* 101 zu lang\n", "*\n"}) {
        SCOPED_TRACE(text);
        Periods(std::string("# Kommentar\n") + text);
        const std::string note = NightlyDelete(archive, Utc(2030, 1, 1, 12, 0));
        EXPECT_TRUE(fs::exists(archive));
        EXPECT_EQ(note, "aufzubewahren, Aufbewahrungsfristen nicht lesbar");
        EXPECT_NE(LastFailure().find("in Zeile 2 nicht lesbar"), std::string::npos) << LastFailure();
    }
}

// A hold keeps everything in ARCHIV, whichever path would delete it, and lifting it frees them.
TEST_F(Retention, AHoldKeepsEverythingInArchivOnEveryPath) {
    Periods("* 0\n");
    const std::string archive = Archived({{"brief.txt", Utc(2010, 5, 1, 12, 0)}});
    owned->File("ARCHIV/fremd.txt", "unbekannt", 1'000'000'000);
    {
        TArchiveJournal journal(ArchivDir());
        TJournalRecord hold;
        hold.Kind = tavik::journalkind::SperreAn;
        hold.Detail = "Betriebsprüfung 2021 bis 2023";
        journal.Append({hold});
    }
    const std::vector<std::function<void()>> paths = {
        [&] { NightlyDelete(archive, Utc(2030, 1, 1, 12, 0)); },
        [&] {
            // The delete page: rows the user ticked.
            TdmOlvexArchiv& page = Module("", Utc(2030, 1, 1, 12, 0));
            page.ExploreSystem();
            std::vector<TdmOlvexArchiv::TDeleteItem> items;
            for (int row = 0; row < page.SystemDel()->GetRowCount(); ++row)
                items.push_back(page.DeleteItemOf(*page.SystemDel(), row));
            ASSERT_EQ(items.size(), 2u);
            EXPECT_EQ(page.ScanHold().Reason, "Betriebsprüfung 2021 bis 2023");
            page.DeleteExecute(items);
        },
        [&] { Module("", Utc(2030, 1, 1, 12, 0)).DeleteExecute(std::vector<std::string>{archive}); },
    };
    for (std::size_t i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(i);
        paths[i]();
        EXPECT_TRUE(fs::exists(archive));
        EXPECT_TRUE(owned->Exists("ARCHIV/fremd.txt"));
        EXPECT_TRUE(module->LastDeleteHold().On);
        for (const TFileOutcome& file : module->LastDeleteFiles()) EXPECT_EQ(file.Fate, TFileFate::KeptHold);
    }
    // The user's attempts are journaled as refused, the nightly one is not.
    EXPECT_EQ(Records(tavik::journalkind::Abgelehnt).size(), 3u);

    {
        TArchiveJournal journal(ArchivDir());
        TJournalRecord lift;
        lift.Kind = tavik::journalkind::SperreAus;
        journal.Append({lift});
    }
    NightlyDelete(archive, Utc(2030, 1, 1, 12, 0));
    EXPECT_FALSE(fs::exists(archive));
    EXPECT_FALSE(owned->Exists("ARCHIV/fremd.txt"));
}

}  // namespace
}  // namespace vendrask
