// The deletion hold and the retention preview as an administrator uses them: vendrask-archiv
// hold and retention, the nightly run's summary and olvexhost explain.
#include <gtest/gtest.h>
#include <utime.h>

#include <ctime>
#include <filesystem>

#include "host/services/archive_journal.h"
#include "host/services/date_time.h"
#include "task/retention_rules.h"
#include "tests/support/host_fixture.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using tavik::TArchiveJournal;
using testsupport::BinDir;
using testsupport::HostFixture;
using testsupport::ProcessResult;
using testsupport::RunProcess;

using testsupport::Contains;
using testsupport::RunOnHost;


// An installation whose nightly run has packed a file of this year and a file of 2001 into one
// archive, which a rule of the object table then makes a candidate (it is set back 10 days).
std::string HostWithAnArchiveOfThisYear(HostFixture& host, int& thisYear) {
    const std::time_t now = std::time(nullptr);
    thisYear = tavik::BerlinYear(now);
    host.Rule(1, "stadata/*", true, 2);
    host.Rule(1, "ARCHIV/SK*", false, 5);
    host.File("stadata/rechnung.pdf", "Rechnung", now - 5 * 86400);
    host.File("stadata/alt.txt", "alt", 1'000'000'000);
    const ProcessResult run = RunOnHost(host, "vendrask", {"-AUTO", "-A"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    for (const auto& entry : fs::directory_iterator(host.Root() + "/ARCHIV"))
        if (entry.path().filename().string().rfind("SK", 0) == 0) {
            const std::string path = entry.path().string();
            const utimbuf back{now - 10 * 86400, now - 10 * 86400};
            EXPECT_EQ(utime(path.c_str(), &back), 0);
            return path;
        }
    ADD_FAILURE() << "no archive written";
    return {};
}

TEST(RetentionCommand, ThePreviewAndExplainSayHowLongAnArchiveIsKeptAndWhatTheNextRunDoes) {
    HostFixture host;
    int year = 0;
    const std::string archive = HostWithAnArchiveOfThisYear(host, year);
    const std::string name = fs::path(archive).filename();
    const std::string until = "31.12." + std::to_string(year + 8);
    testsupport::WriteFile(vendrask::TRetentionRules::PathIn(host.Root() + "/ARCHIV"),
                           "stadata/rechnung* 8 Buchungsbelege\n* 6 Briefe\n");

    const ProcessResult preview = RunOnHost(host, "vendrask-archiv", {"retention"});
    EXPECT_EQ(preview.status, 0) << preview.err;
    EXPECT_TRUE(Contains(preview.out, "  Zeile 1: stadata/rechnung*  8 Jahre  Buchungsbelege\n")) << preview.out;
    EXPECT_TRUE(Contains(preview.out, "Keine Löschsperre.\n")) << preview.out;
    EXPECT_TRUE(Contains(preview.out, name + "\t" + std::to_string(year) + "\tBuchungsbelege, 8 Jahre\tbis " + until +
                                          "\tbleibt: aufzubewahren bis " + until))
        << preview.out;

    const ProcessResult explain = RunOnHost(host, "olvexhost", {"explain", archive});
    EXPECT_EQ(explain.status, 0) << explain.err;
    EXPECT_TRUE(Contains(explain.out, "Aufbewahrung:   bis " + until + " (Buchungsbelege, 8 Jahre: stadata/rechnung.pdf von " +
                                          std::to_string(year) + ")\n"))
        << explain.out;
    EXPECT_TRUE(Contains(explain.out, "Nächstes -L:    bleibt: aufzubewahren bis " + until)) << explain.out;

    // The nightly run keeps it and says until when.
    const ProcessResult night = RunOnHost(host, "vendrask", {"-L"});
    EXPECT_EQ(night.status, 0) << night.out << night.err;
    EXPECT_TRUE(Contains(night.out, "  Aufzubewahren: 1 Datei:\n    „" + archive + "“: aufzubewahren bis " + until))
        << night.out;
    EXPECT_TRUE(fs::exists(archive));

    // Periods switched off: the preview warns, and the next run deletes it.
    testsupport::WriteFile(vendrask::TRetentionRules::PathIn(host.Root() + "/ARCHIV"), "* 0 keine Fristen\n");
    const ProcessResult off = RunOnHost(host, "vendrask-archiv", {"retention"});
    EXPECT_TRUE(Contains(off.out, "WARNUNG: Zeile 1 („* 0“) schaltet die Aufbewahrungsfrist aus")) << off.out;
    EXPECT_TRUE(Contains(off.out, name + "\t" + std::to_string(year) + "\t-\tkeine Frist\twird gelöscht: bekannt, "
                                       "älter als 5 Tage, keine Aufbewahrungsfrist"))
        << off.out;
    EXPECT_TRUE(Contains(RunOnHost(host, "vendrask-archiv", {"report"}).out,
                         "WARNUNG: Zeile 1 („* 0“) schaltet die Aufbewahrungsfrist aus"))
        << "the report warns too";
    EXPECT_EQ(RunOnHost(host, "vendrask", {"-AUTO", "-L"}).status, 0);
    EXPECT_FALSE(fs::exists(archive));
}

TEST(RetentionCommand, AHoldIsSetShownJournaledAndLifted) {
    HostFixture host;
    int year = 0;
    const std::string archive = HostWithAnArchiveOfThisYear(host, year);
    testsupport::WriteFile(vendrask::TRetentionRules::PathIn(host.Root() + "/ARCHIV"), "* 0\n");
    host.File("ARCHIV/fremd.txt", "fremd", 1'000'000'000);

    struct TUsage {
        std::vector<std::string> args;
        const char* says;
    };
    for (const TUsage& wrong : std::vector<TUsage>{
             {{"hold", "on"}, "hold on erwartet --reason GRUND"},
             {{"hold", "on", "--reason", "  "}, "Text in einer Zeile"},
             {{"hold", "on", "--reason", "a\nb"}, "Text in einer Zeile"},
             {{"hold", "--reason", "x"}, "--reason gilt nur mit hold on oder hold off"},
         }) {
        const ProcessResult refused = RunOnHost(host, "vendrask-archiv", wrong.args);
        EXPECT_EQ(refused.status, 2) << wrong.says;
        EXPECT_TRUE(Contains(refused.err, wrong.says)) << refused.err;
    }
    EXPECT_EQ(RunOnHost(host, "vendrask-archiv", {"hold"}).out, "Keine Löschsperre.\n");
    EXPECT_EQ(RunOnHost(host, "vendrask-archiv", {"hold", "off"}).out, "Es besteht keine Löschsperre.\n");

    const ProcessResult on = RunOnHost(host, "vendrask-archiv", {"hold", "on", "--reason", "Betriebsprüfung 2024"});
    EXPECT_EQ(on.status, 0) << on.err;
    EXPECT_TRUE(Contains(on.out, ": Betriebsprüfung 2024. In " + host.Root() + "/ARCHIV wird nichts gelöscht")) << on.out;
    EXPECT_TRUE(Contains(RunOnHost(host, "vendrask-archiv", {"hold"}).out, ": Betriebsprüfung 2024")) << on.out;
    EXPECT_TRUE(Contains(RunOnHost(host, "vendrask-archiv", {"retention"}).out,
                         "bleibt: Löschsperre seit "))
        << "the preview names the hold";

    const ProcessResult night = RunOnHost(host, "vendrask", {"-L"});
    EXPECT_EQ(night.status, 0) << night.out << night.err;
    EXPECT_TRUE(Contains(night.out, "Löschen: 0 Dateien gelöscht, 2 Dateien erhalten.\n")) << night.out;
    EXPECT_TRUE(Contains(night.out, ": Betriebsprüfung 2024. In ARCHIV wird nichts gelöscht, bis sie aufgehoben ist "
                                    "(vendrask-archiv hold off); 2 Dateien wären sonst zu löschen.\n"))
        << night.out;
    EXPECT_TRUE(fs::exists(archive));
    EXPECT_TRUE(host.Exists("ARCHIV/fremd.txt"));

    const ProcessResult off = RunOnHost(host, "vendrask-archiv", {"hold", "off", "--reason", "Prüfung beendet"});
    EXPECT_EQ(off.status, 0) << off.err;
    EXPECT_TRUE(Contains(off.out, "Löschsperre aufgehoben (bestand seit ")) << off.out;
    std::vector<std::string> holds;
    for (const auto& record : TArchiveJournal(host.Root() + "/ARCHIV", TArchiveJournal::TMode::Read).Read())
        if (record.Kind.rfind("sperre", 0) == 0) holds.push_back(record.Kind + ":" + record.Detail);
    EXPECT_EQ(holds, (std::vector<std::string>{"sperre-an:Betriebsprüfung 2024", "sperre-aus:Prüfung beendet"}));

    EXPECT_EQ(RunOnHost(host, "vendrask", {"-AUTO", "-L"}).status, 0);
    EXPECT_FALSE(fs::exists(archive));
    EXPECT_FALSE(host.Exists("ARCHIV/fremd.txt"));
}

}  // namespace

namespace {

TEST(RetentionCommand, TheProcedureDescribesThisInstallationAsConfiguredNow) {
    HostFixture host;
    int year = 0;
    HostWithAnArchiveOfThisYear(host, year);
    host.Setting("PruefIntervall", "14");
    testsupport::WriteFile(vendrask::TRetentionRules::PathIn(host.Root() + "/ARCHIV"),
                           "\"stadata/rechnung *\" 8 Buchungsbelege\n* 10 Alles andere\n");
    ASSERT_EQ(RunOnHost(host, "vendrask-archiv", {"hold", "on", "--reason", "Streitfall Meier"}).status, 0);
    ASSERT_EQ(RunOnHost(host, "vendrask-archiv", {"verify-all"}).status, 0);

    const ProcessResult text = RunOnHost(host, "vendrask-archiv", {"procedure"});
    EXPECT_EQ(text.status, 0) << text.err;
    const TArchiveJournal journal(host.Root() + "/ARCHIV", TArchiveJournal::TMode::Read);
    for (const std::string& part : std::vector<std::string>{
             "Verfahrensdokumentation: Archivierung mit vendrask ",
             "Installation: " + host.Root() + " (Mandant: ",
             "  stadata  " + host.Root() + "/stadata\n",
             "  stadata/*  archivieren, nach 2 Tagen\n",
             "  ARCHIV/SK*  nicht archivieren, nach 5 Tagen\n",
             "  stadata/rechnung *  8 Jahre  Buchungsbelege\n",
             "  *  10 Jahre  Alles andere\n",
             ": Streitfall Meier; in ARCHIV wird nichts gelöscht.\n",
             "vendrask-nachtlauf.timer",
             "ein Archiv, das länger als 14 Tage nicht geprüft wurde, ist überfällig",
             "Letzte Prüfung eines Archivs: ",
             "Alle Archive vollständig geprüft seit ",
             "Das Journal\n  " + host.Root() + "/ARCHIV/.vendrask/journal.sqlite\n",
             "): intakt, " + std::to_string(journal.Count()) + " Einträge.\n",
             "Kopf: " + journal.Head() + "\n",
         })
        EXPECT_TRUE(Contains(text.out, part)) << part << "\n" << text.out;

    // A journal record changed behind vendrask's back shows in the text.
    const auto changed = RunProcess({"sqlite3", TArchiveJournal::PathIn(host.Root() + "/ARCHIV"),
                                     "DROP TRIGGER IF EXISTS record_no_update; UPDATE record SET detail = 'x' WHERE seq = 1;"});
    ASSERT_EQ(changed.status, 0) << changed.err;
    EXPECT_TRUE(Contains(RunOnHost(host, "vendrask-archiv", {"procedure"}).out, "NICHT intakt"));
}

}  // namespace
