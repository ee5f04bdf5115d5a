// vendrask-archiv export: a year's records from real archives in ARCHIV as a BagIt bag, checked
// by an independent checker written from RFC 8493; the latest version of each name, nothing of
// other years, nothing outside the target, nothing left behind by a refused or failed export.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "host/services/archive_journal.h"
#include "host/services/sha256.h"
#include "tests/support/host_fixture.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ProcessResult;
using testsupport::RunProcess;

using testsupport::Contains;

struct TFile {
    std::string Name;  // below the packed folder "belege"
    std::string Content;
    long long Mtime;   // UTC seconds
};

// Moments in UTC; Germany is an hour ahead in winter.
constexpr long long kFeb2024 = 1706778000;      // 2024-02-01 09:00
constexpr long long kNov2024 = 1730797200;      // 2024-11-05 09:00
constexpr long long kMay2024 = 1714885500;      // 2024-05-05 05:05
constexpr long long kJul2024 = 1719820800;      // 2024-07-01 08:00
constexpr long long kJun2023 = 1685620800;      // 2023-06-01 12:00
constexpr long long kMar2025 = 1740816000;      // 2025-03-01 08:00
constexpr long long kNewYearsEve = 1735684200;  // 2024-12-31 23:30 in Berlin, 22:30 UTC
constexpr long long kNewYear = 1735687800;      // 2025-01-01 00:30 in Berlin, still 2024 in UTC

class ArchivExport : public ::testing::Test {
protected:
    std::string Archiv() const { return (dir / "ARCHIV").string(); }
    std::string Bag() const { return (dir / "pruefung").string(); }

    ProcessResult Run(std::vector<std::string> args) const {
        args.insert(args.begin(), testsupport::BinDir() + "/vendrask-archiv");
        testsupport::ProcessOptions options;
        options.unsetEnv = {"OLVEX_ROOT"};
        options.killAfterSeconds = 300;
        return RunProcess(args, options);
    }

    ProcessResult Export(int year, const std::string& target) const {
        return Run({"export", "--year", std::to_string(year), target, Archiv()});
    }

    // Packs the files with "vendrask-archiv pack" into ARCHIV/name, as entries "belege/...".
    void Pack(const std::string& name, const std::vector<TFile>& files) const {
        const fs::path source = dir / ("quelle-" + name) / "belege";
        for (const TFile& file : files) {
            testsupport::WriteFile(source / file.Name, file.Content);
            testsupport::SetMTime(source / file.Name, file.Mtime);
        }
        fs::create_directories(Archiv());
        const ProcessResult packed = Run({"pack", Archiv() + "/" + name, source.string()});
        ASSERT_EQ(packed.status, 0) << packed.out << packed.err;
    }

    // Two archives: a file archived again in the later one after it changed, one archived twice
    // with the same time, and files of 2023, 2024 and 2025, two of them either side of New Year.
    void TwoArchives() const {
        Pack("SK240110.001", {{"rechnung.txt", "Version 1\n", kFeb2024},
                              {"gleich.txt", "gleich alt\n", kMay2024},
                              {"alt.txt", "aus 2023\n", kJun2023},
                              {"silvester.txt", "Silvester\n", kNewYearsEve},
                              {"neujahr.txt", "Neujahr\n", kNewYear}});
        Pack("SK250105.001", {{"rechnung.txt", "Version 2, später geändert\n", kNov2024},
                              {"gleich.txt", "gleich neu\n", kMay2024},
                              {"unter/tief.txt", std::string(200'000, 'x'), kJul2024},
                              {"rabatt 100%.txt", "ein Prozentzeichen im Namen\n", kJul2024},
                              {"nächstes.txt", "aus 2025\n", kMar2025}});
    }

    // Every file below the bag's data/, by its path there.
    std::map<std::string, std::string> Payload() const {
        std::map<std::string, std::string> files;
        for (const auto& item : fs::recursive_directory_iterator(fs::path(Bag()) / "data"))
            if (item.is_regular_file())
                files[fs::relative(item.path(), fs::path(Bag()) / "data").string()] = testsupport::ReadFile(item.path());
        return files;
    }

    // Nothing but what the test made: no half bag, no temporary folder beside the target.
    std::set<std::string> Beside() const {
        std::set<std::string> names;
        for (const auto& item : fs::directory_iterator(dir.path())) names.insert(item.path().filename().string());
        return names;
    }

    ProcessResult CheckBag() const {
        return RunProcess({"python3", testsupport::TestDataDir() + "/bagit/check_bag.py", Bag()});
    }

    testsupport::TempDir dir;
};

TEST_F(ArchivExport, EachYearHoldsTheLatestVersionOfItsFilesAndNothingElse) {
    TwoArchives();
    struct TCase {
        int Year;
        std::map<std::string, std::string> Files;
        int Archives;
    };
    const std::vector<TCase> cases = {
        {2024,
         {{"belege/rechnung.txt", "Version 2, später geändert\n"},
          {"belege/gleich.txt", "gleich neu\n"},  // the same time: the newer archive
          {"belege/silvester.txt", "Silvester\n"},
          {"belege/unter/tief.txt", std::string(200'000, 'x')},
          {"belege/rabatt 100%.txt", "ein Prozentzeichen im Namen\n"}},
         2},
        {2025, {{"belege/neujahr.txt", "Neujahr\n"}, {"belege/nächstes.txt", "aus 2025\n"}}, 2},
        {2023, {{"belege/alt.txt", "aus 2023\n"}}, 1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Year);
        fs::remove_all(Bag());
        const ProcessResult exported = Export(c.Year, Bag());
        ASSERT_EQ(exported.status, 0) << exported.out << exported.err;
        EXPECT_EQ(Payload(), c.Files);
        const ProcessResult check = CheckBag();
        EXPECT_EQ(check.status, 0) << check.out << check.err;
        EXPECT_EQ(check.out, "gültig\n");
        const std::string files = std::to_string(c.Files.size()) + (c.Files.size() == 1 ? " Datei (" : " Dateien (");
        EXPECT_TRUE(Contains(exported.out, files)) << exported.out;
        EXPECT_TRUE(Contains(exported.out, ") des Jahres " + std::to_string(c.Year) + " aus " +
                                               std::to_string(c.Archives) + (c.Archives == 1 ? " Archiv" : " Archiven") +
                                               " nach „" + Bag() + "“ exportiert"))
            << exported.out;
        EXPECT_TRUE(Contains(exported.err, "Exportiere aus ")) << exported.err;
        EXPECT_EQ(Beside(), (std::set<std::string>{"ARCHIV", "pruefung", "quelle-SK240110.001", "quelle-SK250105.001"}));
    }
}

TEST_F(ArchivExport, TheBagIsDeclaredDescribedAndJournaled) {
    TwoArchives();
    const ProcessResult exported = Export(2024, Bag());
    ASSERT_EQ(exported.status, 0) << exported.out << exported.err;
    EXPECT_EQ(testsupport::ReadFile(fs::path(Bag()) / "bagit.txt"),
              "BagIt-Version: 1.0\nTag-File-Character-Encoding: UTF-8\n");
    const std::string info = testsupport::ReadFile(fs::path(Bag()) / "bag-info.txt");
    const std::int64_t octets = static_cast<std::int64_t>(std::string("Version 2, später geändert\n").size() +
                                                          std::string("gleich neu\n").size() +
                                                          std::string("Silvester\n").size() + 200'000 +
                                                          std::string("ein Prozentzeichen im Namen\n").size());
    EXPECT_TRUE(Contains(info, "Source-Organization: ARCHIV\n")) << info;  // no installation: the folder's name
    EXPECT_TRUE(Contains(info, "Payload-Oxum: " + std::to_string(octets) + ".5\n")) << info;
    EXPECT_TRUE(Contains(info, "External-Description: Archivierte Unterlagen des Jahres 2024 aus " + Archiv() +
                                   ", exportiert von vendrask\n"))
        << info;
    EXPECT_TRUE(Contains(info, "Bagging-Date: 2")) << info;
    const std::string manifest = testsupport::ReadFile(fs::path(Bag()) / "manifest-sha256.txt");
    EXPECT_TRUE(Contains(manifest, tavik::Sha256Hex("gleich neu\n") + "  data/belege/gleich.txt\n")) << manifest;
    // RFC 8493 2.1.3: a '%' of a path is written percent-encoded.
    EXPECT_TRUE(Contains(manifest, "  data/belege/rabatt 100%25.txt\n")) << manifest;
    const std::string tags = testsupport::ReadFile(fs::path(Bag()) / "tagmanifest-sha256.txt");
    for (const char* tag : {"bagit.txt", "bag-info.txt", "manifest-sha256.txt", "manifest-sha512.txt"})
        EXPECT_TRUE(Contains(tags, std::string("  ") + tag + "\n")) << tags;

    const tavik::TArchiveJournal journal(Archiv(), tavik::TArchiveJournal::TMode::Read);
    const auto record = journal.Last({tavik::journalkind::Exportiert});
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->Path, Bag());
    EXPECT_EQ(record->Entries, 5);
    EXPECT_EQ(record->Size, octets);
    EXPECT_EQ(record->Sha256, tavik::Sha256OfFile(Bag() + "/tagmanifest-sha256.txt"));
    EXPECT_TRUE(Contains(record->Detail, "2024")) << record->Detail;
    EXPECT_TRUE(Contains(record->Detail, "SK240110.001, SK250105.001")) << record->Detail;
    EXPECT_TRUE(Contains(exported.out, "Journal: " + journal.Head())) << exported.out;
    EXPECT_TRUE(journal.Check().Ok);
}

// The checker is no rubber stamp: one byte changed in a file of the bag, and it names the file.
TEST_F(ArchivExport, AChangedFileOfTheBagIsFoundAndNamed) {
    TwoArchives();
    ASSERT_EQ(Export(2024, Bag()).status, 0);
    const fs::path changed = fs::path(Bag()) / "data/belege/unter/tief.txt";
    std::string content = testsupport::ReadFile(changed);
    content[1000] = 'y';
    testsupport::WriteFile(changed, content);
    const ProcessResult check = CheckBag();
    EXPECT_EQ(check.status, 1);
    EXPECT_TRUE(Contains(check.out, "manifest-sha256.txt: data/belege/unter/tief.txt hat eine andere Prüfsumme"))
        << check.out;
    EXPECT_TRUE(Contains(check.out, "manifest-sha512.txt: data/belege/unter/tief.txt")) << check.out;

    // A file added to the payload is named too.
    testsupport::WriteFile(fs::path(Bag()) / "data/untergeschoben.txt", "x");
    EXPECT_TRUE(Contains(CheckBag().out, "data/untergeschoben.txt ist nicht verzeichnet"));
}

TEST_F(ArchivExport, RefusalsLeaveNothingBehind) {
    TwoArchives();
    testsupport::WriteFile(fs::path(Bag()) / "vorhanden.txt", "bleibt");
    struct TCase {
        const char* what;
        std::vector<std::string> args;
        int status;
        const char* named;
    };
    const std::string archiv = Archiv();
    const std::vector<TCase> cases = {
        {"target exists", {"export", "--year", "2024", Bag(), archiv}, 1, "gibt es bereits"},
        {"no records of the year", {"export", "--year", "2019", (dir / "neu").string(), archiv}, 1,
         "keine archivierten Dateien des Jahres 2019"},
        {"no year", {"export", (dir / "neu").string(), archiv}, 2, "--year JAHR"},
        {"a year of two digits", {"export", "--year", "24", (dir / "neu").string(), archiv}, 2, "vier Ziffern"},
        {"no target", {"export", "--year", "2024"}, 2, "Ziel"},
        {"target below a missing folder", {"export", "--year", "2024", (dir / "fehlt/neu").string(), archiv}, 1,
         "gibt es nicht"},
    };
    const std::set<std::string> before = Beside();
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        const ProcessResult refused = Run(c.args);
        EXPECT_EQ(refused.status, c.status) << refused.out << refused.err;
        EXPECT_TRUE(Contains(refused.err, c.named)) << refused.err;
        EXPECT_EQ(refused.out, "");
        EXPECT_EQ(Beside(), before);
        EXPECT_EQ(testsupport::ReadFile(fs::path(Bag()) / "vorhanden.txt"), "bleibt");
    }
}

// An archive changed behind vendrask's back (a byte of an entry, its CRC made to fit): the export
// fails naming archive and entry, and leaves no bag.
TEST_F(ArchivExport, AnEntryThatNoLongerFitsItsFingerprintFailsTheExport) {
    TwoArchives();
    const ProcessResult tampered = RunProcess({"python3", testsupport::TestDataDir() + "/fingerprint/tamper.py",
                                               Archiv() + "/SK250105.001", "content", "belege/gleich.txt"});
    ASSERT_EQ(tampered.status, 0) << tampered.out << tampered.err;
    const std::set<std::string> before = Beside();
    const ProcessResult exported = Export(2024, Bag());
    EXPECT_EQ(exported.status, 1) << exported.out;
    EXPECT_TRUE(Contains(exported.err, "„SK250105.001“")) << exported.err;
    EXPECT_TRUE(Contains(exported.err, "„belege/gleich.txt“")) << exported.err;
    EXPECT_TRUE(Contains(exported.err, "SHA-256-Fingerabdruck")) << exported.err;
    EXPECT_EQ(Beside(), before);
}

// Without ARCHIVVERZEICHNIS the installation's ARCHIV, as the nightly run filled it; the bag
// names the installation's client.
TEST_F(ArchivExport, TheInstallationsArchivAndClientWithoutAFolderGiven) {
    testsupport::HostFixture host;
    host.Rule(1, "stadata/*.dat", true, 30);
    host.File("stadata/m01/beleg.dat", "ein Beleg aus 2001", 1'000'000'000);
    testsupport::ProcessOptions options;
    options.env = {{"OLVEX_ROOT", host.Root()}};
    const ProcessResult run = RunProcess({testsupport::BinDir() + "/vendrask", "-AUTO", "-A"}, options);
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const ProcessResult exported =
        RunProcess({testsupport::BinDir() + "/vendrask-archiv", "export", "--year", "2001", Bag()}, options);
    ASSERT_EQ(exported.status, 0) << exported.out << exported.err;
    EXPECT_EQ(Payload(), (std::map<std::string, std::string>{{"stadata/m01/beleg.dat", "ein Beleg aus 2001"}}));
    const std::string info = testsupport::ReadFile(fs::path(Bag()) / "bag-info.txt");
    EXPECT_TRUE(Contains(info, "Source-Organization: Testmandant\n")) << info;
    EXPECT_EQ(CheckBag().status, 0);
}

// Names of files on Unix may hold line breaks and '%': the manifests write them percent-encoded
// (RFC 8493 2.1.3), and the independent checker finds each file by the decoded name.
TEST_F(ArchivExport, NamesWithLineBreaksAndPercentArePercentEncodedInTheManifests) {
    fs::create_directories(Archiv());
    const std::string make = R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as z:
    for name in ["zwei\nzeilen.txt", "wagen\rruecklauf.txt", "100%.txt", "%0A.txt"]:
        info = zipfile.ZipInfo(name, date_time=(2024, 6, 1, 12, 0, 0))
        info.create_system = 3
        info.external_attr = 0o100644 << 16
        z.writestr(info, name)
)";
    const ProcessResult made = RunProcess({"python3", "-c", make, Archiv() + "/SK240601.001"});
    ASSERT_EQ(made.status, 0) << made.err;
    const ProcessResult exported = Export(2024, Bag());
    ASSERT_EQ(exported.status, 0) << exported.out << exported.err;
    EXPECT_EQ(Payload(), (std::map<std::string, std::string>{{"zwei\nzeilen.txt", "zwei\nzeilen.txt"},
                                                             {"wagen\rruecklauf.txt", "wagen\rruecklauf.txt"},
                                                             {"100%.txt", "100%.txt"},
                                                             {"%0A.txt", "%0A.txt"}}));
    const std::string manifest = testsupport::ReadFile(fs::path(Bag()) / "manifest-sha512.txt");
    for (const char* written : {"  data/zwei%0Azeilen.txt\n", "  data/wagen%0Druecklauf.txt\n", "  data/100%25.txt\n",
                                "  data/%250A.txt\n"})
        EXPECT_TRUE(Contains(manifest, written)) << manifest;
    const ProcessResult check = CheckBag();
    EXPECT_EQ(check.status, 0) << check.out << check.err;
}

// Archives written by someone else under an archive's name: no entry writes outside the target.
TEST_F(ArchivExport, HostileEntryNamesWriteNothingOutsideTheTarget) {
    const std::string make = R"(
import sys, zipfile
path, kind = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(path, "w") as z:
    def add(name, data, mode=0o100644):
        info = zipfile.ZipInfo(name, date_time=(2024, 6, 1, 12, 0, 0))
        info.create_system = 3
        info.external_attr = mode << 16
        z.writestr(info, data)
    add("gut.txt", "gut")
    if kind == "link":
        # a link to the folder above, then a file "through" it
        add("weg", "..", 0o120777)
        add("weg/boese.txt", "boese")
    else:
        add(kind, "boese")
)";
    struct TCase {
        const char* name;
        bool exported;  // the year is exported (without the link), or refused
    };
    const std::vector<TCase> cases = {
        {"../boese.txt", false},
        {"../../boese.txt", false},
        {"belege/../../boese.txt", false},
        {"/tmp/vendrask-export-boese.txt", false},
        {"link", true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Archiv());
        fs::remove_all(Bag());
        fs::create_directories(Archiv());
        const ProcessResult made = RunProcess({"python3", "-c", make, Archiv() + "/SK240601.001", c.name});
        ASSERT_EQ(made.status, 0) << made.err;
        const ProcessResult exported = Export(2024, Bag());
        EXPECT_FALSE(fs::exists(dir / "boese.txt"));
        EXPECT_FALSE(fs::exists("/tmp/vendrask-export-boese.txt"));
        EXPECT_EQ(Beside(), c.exported ? (std::set<std::string>{"ARCHIV", "pruefung"})
                                       : (std::set<std::string>{"ARCHIV"}));
        if (c.exported) {
            ASSERT_EQ(exported.status, 0) << exported.err;
            // The link is no record; the file below its name lands in a real folder of the bag.
            EXPECT_EQ(Payload(), (std::map<std::string, std::string>{{"gut.txt", "gut"}, {"weg/boese.txt", "boese"}}));
            EXPECT_FALSE(fs::is_symlink(fs::path(Bag()) / "data/weg"));
            EXPECT_EQ(CheckBag().status, 0);
        } else {
            EXPECT_EQ(exported.status, 1) << exported.out;
            EXPECT_TRUE(Contains(exported.err, "„SK240601.001“")) << exported.err;
            EXPECT_TRUE(Contains(exported.err, std::string("„") + c.name + "“")) << exported.err;
        }
    }
}

}  // namespace
