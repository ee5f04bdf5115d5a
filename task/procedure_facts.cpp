#include "task/procedure_facts.h"

#include <fstream>

#include "host/services/archive_journal.h"
#include "host/services/fs_names.h"
#include "host/services/tavik_programm.h"
#include "task/archive_inventory.h"
#include "task/dmarchivu.h"

namespace vendrask {

namespace {

using namespace tavik;

// The value of the first line "key=value" of a file; empty when there is none.
std::string SettingIn(const std::string& path, const std::string& key) {
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, key.size() + 1, key + "=") != 0) continue;
        std::string value = line.substr(start + key.size() + 1);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\r')) value.pop_back();
        return value;
    }
    return {};
}

// When the installed timer runs: its OnCalendar, looked up where systemd finds units (an
// administrator's copy in /etc first).
std::string TimerSchedule(const std::string& unit) {
    for (const char* dir : {"/etc/systemd/system/", "/usr/lib/systemd/system/", "/lib/systemd/system/"}) {
        const std::string value = SettingIn(dir + unit, "OnCalendar");
        if (!value.empty()) return value;
    }
    return {};
}

}  // namespace

TProcedureFacts ReadProcedureFacts(const std::string& archivDir, int intervalDays, std::time_t now,
                                   TdmOlvexArchiv* module, const std::string& version) {
    TProcedureFacts facts;
    facts.Now = TArchiveJournal::UtcText(now);
    facts.Version = version;
    if (module) {
        if (TTavikFSNames* names = module->TavikFSNames()) {
            facts.Installation = names->Root();
            for (const auto& directory : names->Directories())
                facts.Directories.push_back({directory.Name, directory.Path});
        }
        facts.Client = TavikProgramm().GetTextMandant();
        facts.RTyp = module->RTyp();
        facts.Rules = GetDBConnector().ObjectRules(facts.RTyp);
    }
    facts.NightlyTimer = TimerSchedule("vendrask-nachtlauf.timer");
    facts.VerificationTimer = TimerSchedule("vendrask-pruefung.timer");
    facts.VerificationBudget = SettingIn("/etc/default/vendrask", "VENDRASK_PRUEFDAUER");
    facts.VerificationInterval = intervalDays;
    facts.JournalPath = TArchiveJournal::PathIn(archivDir);
    const TInventory inventory = ReadInventory(archivDir, intervalDays, now);
    facts.JournalPresent = inventory.JournalPresent;
    facts.JournalIntact = inventory.JournalIntact();
    facts.JournalRecords = inventory.Chain.Records;
    facts.JournalHead = inventory.Chain.Head;
    facts.JournalFinding = JournalStateText(inventory);
    facts.AllVerifiedSince = inventory.AllVerifiedSince;
    for (const TInventoryArchive& archive : inventory.Archives)
        if (archive.LastVerified > facts.LastVerification) facts.LastVerification = archive.LastVerified;
    return facts;
}

}  // namespace vendrask
