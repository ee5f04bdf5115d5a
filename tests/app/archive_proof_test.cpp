// Years later: the archives of a run are re-read on a schedule, reported, and every way of
// changing them or their journal behind vendrask's back is found and named.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <functional>
#include <set>

#include "host/services/archive_journal.h"
#include "tests/support/host_fixture.h"
#include "tests/support/run_process.h"

namespace {

namespace fs = std::filesystem;
using tavik::TArchiveJournal;
using tavik::TJournalRecord;
using testsupport::BinDir;
using testsupport::HostFixture;
using testsupport::ProcessResult;
using testsupport::RunProcess;

using testsupport::Contains;
using testsupport::RunOnHost;


ProcessResult Archiv(const HostFixture& host, const std::vector<std::string>& args) {
    return RunOnHost(host, "vendrask-archiv", args);
}

// A host whose nightly run has packed some files into one archive; its name.
std::string HostWithOneArchive(HostFixture& host) {
    host.Rule(1, "stadata/*.dat", true, 30);
    for (int i = 0; i < 4; ++i)
        host.File("stadata/beleg" + std::to_string(i) + ".dat", std::string(3000 + i, static_cast<char>('a' + i)),
                  1'000'000'000);
    const ProcessResult run = RunOnHost(host, "vendrask", {"-AUTO", "-A"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    for (const auto& entry : fs::directory_iterator(host.Root() + "/ARCHIV"))
        if (entry.path().filename().string().rfind("SK", 0) == 0) return entry.path().filename().string();
    ADD_FAILURE() << "no archive written";
    return {};
}

void Sqlite(const HostFixture& host, const std::string& sql) {
    const auto done = RunProcess({"sqlite3", TArchiveJournal::PathIn(host.Root() + "/ARCHIV"), sql});
    ASSERT_EQ(done.status, 0) << done.err;
}

TEST(ArchiveProof, VerifyAllRereadsEveryArchiveRecordsItAndTheReportShowsIt) {
    HostFixture host;
    const std::string archive = HostWithOneArchive(host);
    // A second run on the same day writes the next archive.
    host.File("stadata/spaet.dat", "spät", 1'000'000'000);
    ASSERT_EQ(RunOnHost(host, "vendrask", {"-AUTO", "-A"}).status, 0);

    const ProcessResult all = Archiv(host, {"verify-all"});
    EXPECT_EQ(all.status, 0) << all.out << all.err;
    EXPECT_TRUE(Contains(all.out, "Prüfe " + archive + " (1 von 2) ... fehlerfrei (4 durch SHA-256, 0 nur durch "
                                  "CRC-32 bestätigt)"))
        << all.out;
    EXPECT_TRUE(Contains(all.out, "2 Archive vollständig geprüft, 0 fehlerhaft.")) << all.out;
    const TArchiveJournal journal(host.Root() + "/ARCHIV", TArchiveJournal::TMode::Read);
    EXPECT_TRUE(Contains(all.out, "Journal: " + journal.Head() + "\n")) << all.out;
    int verified = 0;
    for (const TJournalRecord& record : journal.Read())
        if (record.Kind == "geprueft" && record.Detail.find("durch SHA-256") != std::string::npos) ++verified;
    EXPECT_EQ(verified, 2);

    const ProcessResult report = Archiv(host, {"report"});
    EXPECT_EQ(report.status, 0) << report.out << report.err;
    EXPECT_TRUE(Contains(report.out, "Journal intakt: ")) << report.out;
    EXPECT_TRUE(Contains(report.out, "2 Archive vorhanden, 0 fehlerhaft, 0 überfällig (Prüfintervall 30 Tage)"))
        << report.out;
    EXPECT_TRUE(Contains(report.out, "\tfehlerfrei\tin Ordnung\t")) << report.out;
    const ProcessResult csv = Archiv(host, {"report", "--csv"});
    EXPECT_EQ(csv.status, 0);
    EXPECT_TRUE(Contains(csv.out, "Archiv;Geschrieben;Einträge;Größe (Bytes);SHA-256;Zuletzt geprüft;Ergebnis;"
                                  "Zustand;Befund\r\n"))
        << csv.out;
    EXPECT_TRUE(Contains(csv.out, archive + ";")) << csv.out;

    // A budget of one minute still reads at least one archive; the least recently verified first.
    const ProcessResult budget = Archiv(host, {"verify-all", "--max-duration", "1"});
    EXPECT_EQ(budget.status, 0) << budget.out;
    EXPECT_TRUE(Contains(budget.out, "Prüfe " + archive + " (1 von 2)")) << budget.out;
    EXPECT_EQ(Archiv(host, {"verify-all", "--max-duration", "0"}).status, 2);
}

// Each way of changing an archive or the journal behind vendrask's back: verify-all, the report
// and the journal's check find it and name it; a faulty archive is kept as evidence.
TEST(ArchiveProof, TamperingIsFoundAndNamed) {
    struct TCase {
        const char* what;
        std::function<void(HostFixture&, const std::string& archivePath)> change;
        const char* verifyAll;  // in verify-all's output, or nullptr when verify-all finds nothing
        const char* check;      // in journal --check's error output, or nullptr when the chain holds
        const char* report;     // in the report
    };
    const std::string tamper = testsupport::TestDataDir() + "/fingerprint/tamper.py";
    const std::vector<TCase> cases = {
        {"a byte changed, CRC fixed",
         [&](HostFixture&, const std::string& path) {
             ASSERT_EQ(RunProcess({"python3", tamper, path, "content", "stadata/beleg1.dat"}).status, 0);
         },
         "nicht mehr die SHA-256-Prüfsumme", nullptr, "fehlerhaft"},
        {"an entry removed with zip -d",
         [](HostFixture&, const std::string& path) {
             ASSERT_EQ(RunProcess({"zip", "-q", "-d", path, "stadata/beleg2.dat"}).status, 0);
         },
         "Einträge wurden entfernt", nullptr, "fehlerhaft"},
        {"the archive deleted by hand", [](HostFixture&, const std::string& path) { fs::remove(path); }, nullptr,
         nullptr, "fehlt (außerhalb von vendrask gelöscht)"},
        {"a journal record altered",
         [](HostFixture& host, const std::string&) {
             Sqlite(host, "DROP TRIGGER record_no_update; UPDATE record SET size = size + 1 WHERE seq = 2;");
         },
         nullptr, "Eintrag 2 wurde verändert", "Journal nicht intakt"},
        {"a journal record removed",
         [](HostFixture& host, const std::string&) {
             Sqlite(host, "DROP TRIGGER record_no_delete; DELETE FROM record WHERE seq = 2;");
         },
         nullptr, "Eintrag 2 fehlt", "Journal nicht intakt"},
        {"the journal replaced by a new one",
         [](HostFixture& host, const std::string&) {
             fs::remove(TArchiveJournal::PathIn(host.Root() + "/ARCHIV"));
             TArchiveJournal fresh(host.Root() + "/ARCHIV");
             TJournalRecord record;
             record.Kind = "abgelehnt";
             fresh.Append({record});
         },
         nullptr, "nennt einen Journalkopf, den das Journal nicht enthält", "Journal nicht intakt"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        HostFixture host;
        // The journal's head at the archive's writing is not the empty one.
        host.Rule(1, "stadata/vorab.dat", true, 30);
        host.File("stadata/vorab.dat", "vorab", 1'000'000'000);
        ASSERT_EQ(RunOnHost(host, "vendrask", {"-AUTO", "-A"}).status, 0);
        const std::string archive = HostWithOneArchive(host);
        const std::string path = host.Root() + "/ARCHIV/" + archive;
        c.change(host, path);

        const ProcessResult all = Archiv(host, {"verify-all"});
        EXPECT_EQ(all.status, 1) << all.out << all.err;
        if (c.verifyAll != nullptr) {
            EXPECT_TRUE(Contains(all.out, "FEHLERHAFT: ")) << all.out;
            EXPECT_TRUE(Contains(all.out, c.verifyAll)) << all.out;
            EXPECT_TRUE(Contains(all.out, "Fehlerhaft (werden nicht gelöscht, sie sind Beweismittel): " + archive))
                << all.out;
        }
        const ProcessResult check = Archiv(host, {"journal", "--check"});
        if (c.check != nullptr) {
            EXPECT_EQ(check.status, 1) << check.out;
            EXPECT_TRUE(Contains(check.err, c.check)) << check.err;
        } else {
            EXPECT_EQ(check.status, 0) << check.err;
        }
        const ProcessResult report = Archiv(host, {"report"});
        EXPECT_EQ(report.status, 1) << report.out;
        EXPECT_TRUE(Contains(report.out, c.report)) << report.out;

        // A rule that would delete every archive keeps the faulty one.
        if (c.verifyAll != nullptr) {
            host.Rule(1, "ARCHIV/SK*", false, 1);
            fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(24 * 400));
            const ProcessResult rule = RunOnHost(host, "vendrask", {"-AUTO", "-L"});
            EXPECT_TRUE(fs::exists(path)) << rule.out << rule.err;
            EXPECT_TRUE(Contains(rule.err + rule.out, "als Beweismittel nicht gelöscht")) << rule.out << rule.err;
        }
    }
}

TEST(ArchiveProof, AnArchiveNotVerifiedWithinTheIntervalIsOverdue) {
    HostFixture host;
    host.Setting("PruefIntervall", "10");
    host.File("ARCHIV/SK250101.001", "kein Journal kennt mich", 1'000'000'000);
    const std::string dir = host.Root() + "/ARCHIV";
    {
        TArchiveJournal journal(dir);
        TJournalRecord written;
        written.Kind = "archiv-geschrieben";
        written.Archive = "SK250101.001";
        written.Time = TArchiveJournal::UtcText(std::time(nullptr) - 11 * 86400);
        // A name from the journal starts no line of its own in the report.
        TJournalRecord forged = written;
        forged.Archive = "SK250101.002\nSK250101.003\tin Ordnung";
        journal.Append({written, forged});
    }
    const ProcessResult report = Archiv(host, {"report"});
    EXPECT_EQ(report.status, 1) << report.out;
    EXPECT_TRUE(Contains(report.out, "1 überfällig (Prüfintervall 10 Tage)")) << report.out;
    EXPECT_TRUE(Contains(report.out, "\tüberfällig\t")) << report.out;
    EXPECT_TRUE(Contains(report.out, "\nSK250101.002\\nSK250101.003\\tin Ordnung\t")) << report.out;
    EXPECT_FALSE(Contains(report.out, "\nSK250101.003")) << report.out;

    host.Setting("PruefIntervall", "0");
    EXPECT_EQ(Archiv(host, {"report"}).status, 2);
    EXPECT_EQ(Archiv(host, {"verify-all"}).status, 2);
}

// A run killed at any point leaves a valid journal, and every file that is gone is recorded.
TEST(ArchiveProof, ARunKilledAnywhereLeavesTheJournalValidAndNothingDeletedUnrecorded) {
    for (const int delayMs : {0, 15, 40, 80, 150, 300}) {
        SCOPED_TRACE(delayMs);
        HostFixture host;
        host.Rule(1, "stadata/*.dat", true, 30);
        std::set<std::string> files;
        for (int i = 0; i < 600; ++i) {
            const std::string name = "stadata/f" + std::to_string(i) + ".dat";
            host.File(name, std::string(2000, static_cast<char>('a' + i % 26)), 1'000'000'000);
            files.insert(host.Root() + "/" + name);
        }
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::setenv("OLVEX_ROOT", host.Root().c_str(), 1);
            const std::string program = BinDir() + "/vendrask";
            ::execl(program.c_str(), program.c_str(), "-AUTO", "-A", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::usleep(static_cast<useconds_t>(delayMs) * 1000);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);

        std::set<std::string> recorded;
        // Killed while it created the journal, the run leaves an empty file: no record, nothing deleted.
        const std::string journalPath = TArchiveJournal::PathIn(host.Root() + "/ARCHIV");
        if (fs::exists(journalPath) && fs::file_size(journalPath) > 0) {
            const TArchiveJournal journal(host.Root() + "/ARCHIV", TArchiveJournal::TMode::Read);
            const auto check = journal.Check();
            EXPECT_TRUE(check.Ok) << check.Reason;
            for (const TJournalRecord& record : journal.Read())
                if (record.Kind == "geloescht-archivlauf") recorded.insert(record.Path);
        }
        for (const std::string& file : files)
            if (!fs::exists(file)) {
                EXPECT_EQ(recorded.count(file), 1u) << file << " is gone without a record";
            }
    }
}

}  // namespace
