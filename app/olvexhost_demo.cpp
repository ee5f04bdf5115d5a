#include "app/olvexhost_demo.h"

#include <sys/time.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "host/engine/archiv_format.h"
#include "host/services/exceptions.h"
#include "host/services/host_setup.h"

namespace {

constexpr std::time_t kDay = 24 * 60 * 60;

std::string Receipt(int number) {
    std::string text;
    char line[128];
    for (int row = 1; row <= 40; ++row) {
        std::snprintf(line, sizeof line, "BELEG;%06d;POS;%03d;ARTIKEL;A-%05d;MENGE;%d;BETRAG;%d,%02d\n", number, row,
                      (number * 37 + row) % 99999, row % 7 + 1, (number * row) % 900 + 10, row % 100);
        text += line;
    }
    return text;
}

std::string LogText(int day) {
    std::string text;
    char line[128];
    for (int i = 0; i < 60; ++i) {
        std::snprintf(line, sizeof line, "Tag %d %02d:%02d Buchungslauf Schritt %d beendet, Status OK\n", day,
                      i / 4, (i * 15) % 60, i);
        text += line;
    }
    return text;
}

std::string Scan(unsigned seed, std::size_t size) {
    std::mt19937 random(seed);
    std::string data(size, '\0');
    for (auto& c : data) c = static_cast<char>(random() & 0xFF);
    return data;
}

// A real archive as an earlier nightly run would have left it in ARCHIV, so the workbench can
// open it: a few receipts of that year, packed with the engine.
void WriteOldArchive(tavik::THostSetup& host, const std::string& name, int year, std::time_t modified) {
    const std::string staging = host.Root() + "/STATEMP/demo-" + name;
    std::vector<std::string> files;
    for (int i = 1; i <= 3; ++i) {
        char file[64];
        std::snprintf(file, sizeof file, "stadata/m01/beleg%02d%02d.dat", year, i);
        host.WriteFile("STATEMP/demo-" + name + "/" + file, Receipt(year * 100 + i), modified);
        files.push_back(file);
    }
    auto archive = tavik::GetArchivFormatClass(tavik::TArchivFormat::Zip)();
    archive->ArchivFile = host.Root() + "/ARCHIV/" + name;
    for (const auto& file : files) {
        tavik::TFileInfoItem item;
        item.FileName = file.substr(file.rfind('/') + 1);
        item.RelDir = file.substr(0, file.rfind('/'));
        item.AbsDir = staging + "/" + item.RelDir;
        archive->FileItemAdd(item);
    }
    if (!archive->ExecuteFilesAdd(false)) throw tavik::EOlvex(archive->LastError());
    std::filesystem::remove_all(staging);
    const timeval times[2] = {{modified, 0}, {modified, 0}};
    utimes(archive->ArchivFile.c_str(), times);
}

}  // namespace

void CreateDemoInstallation(const std::string& root, std::time_t now) {
    tavik::THostSetup host(root, "Demo GmbH");
    host.AddDirectory("EXPORT", "export");

    // Receipts: kept for a year, then archived; the opening balance never.
    host.AddRule(1, "stadata/m01/*.dat", true, 365);
    host.AddRule(1, "stadata/m01/beleg0001.dat", false, 0);
    for (int i = 1; i <= 24; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "stadata/m01/beleg%04d.dat", i);
        host.WriteFile(name, Receipt(i), now - (i * 30) * kDay);
    }
    // A receipt with its index and scanned original: they go together. Index files and scans
    // are never archived on their own, only with their receipt.
    host.AddRule(1, "stadata/m01/*.idx", false, 0);
    host.AddRule(1, "stadata/scan/*.pdf", false, 0);
    host.AddRelated("stadata/m01/beleg0020.dat",
                    {"stadata/m01/beleg0020.dat", "stadata/m01/beleg0020.idx", "stadata/scan/beleg0020.pdf"});
    host.WriteFile("stadata/m01/beleg0020.idx", "0020;1;40\n", now - 600 * kDay);
    host.WriteFile("stadata/scan/beleg0020.pdf", Scan(20, 96 * 1024), now - 600 * kDay);
    // Known to have no files of its own: adds no row.
    host.AddRelated("stadata/m01/beleg0021.dat", {});

    // Logs: 30 days; the longer pattern for the audit log wins with 10 years.
    host.AddRule(1, "stadata/log/*.log", true, 30);
    host.AddRule(1, "stadata/log/audit*.log", true, 3650);
    for (int day = 0; day < 60; day += 5) {
        char name[64];
        std::snprintf(name, sizeof name, "stadata/log/lauf%03d.log", day);
        host.WriteFile(name, LogText(day), now - day * kDay - 3600);
    }
    host.WriteFile("stadata/log/audit2019.log", LogText(1), now - 2000 * kDay);

    // Master data: known, never archived, however old.
    host.AddRule(1, "stadata/stamm/*", false, 0);
    host.WriteFile("stadata/stamm/kunden.dat", Receipt(9000), now - 3000 * kDay);
    host.WriteFile("stadata/stamm/artikel.dat", Receipt(9001), now - 10 * kDay);

    // Unknown files: always candidates.
    host.WriteFile("stadata/alt/sicherung_2019.bak", Scan(7, 64 * 1024), now - 1500 * kDay);
    host.WriteFile("stadata/notiz.txt", "Bitte Belege bis Monatsende scannen.\n", now - 2 * kDay);
    host.WriteFile("export/datev_2024.csv", Receipt(4242), now - 400 * kDay);
    // Rules of another RTyp do not apply to this program.
    host.AddRule(2, "export/*", true, 1);

    // Temporary files: archived after two days.
    host.AddRule(1, "STATEMP/*", true, 2);
    host.WriteFile("STATEMP/druck001.tmp", "Druckauftrag\n", now - 5 * kDay);
    host.WriteFile("STATEMP/druck002.tmp", "Druckauftrag\n", now - 3600);

    // Old archives: deleted after ten years; an unknown file in ARCHIV is deleted at once.
    host.AddRule(1, "ARCHIV/SK*", false, 3650);
    host.AddRule(1, "ARCHIV/liesmich.txt", false, 0);
    WriteOldArchive(host, "SK120105.001", 12, now - 5000 * kDay);
    WriteOldArchive(host, "SK240105.001", 24, now - 700 * kDay);
    host.WriteFile("ARCHIV/liesmich.txt", "Archive der Olvex-Belege.\n", now - 4000 * kDay);
    host.WriteFile("ARCHIV/kopie.tmp", "Zwischenstand\n", now - 1 * kDay);
}
