#include "app/archiv_journal_command.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <iostream>
#include <optional>

#include "app/archiv_dir.h"
#include "app/archiv_status.h"
#include "task/listed_name.h"
#include "host/services/archive_journal.h"
#include "host/services/exceptions.h"
#include "host/services/fs_names.h"
#include "host/services/host_settings.h"
#include "task/archive_inventory.h"

namespace vendrask {

namespace {

using tavik::TArchiveJournal;
using tavik::TJournalRecord;

// The first moment of the local day "YYYY-MM-DD", plus days, as the journal writes moments (UTC).
std::optional<std::string> DayStart(const std::string& text, int days) {
    int year = 0, month = 0, day = 0;
    char rest = 0;
    if (text.size() != 10 || std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &rest) != 3)
        return std::nullopt;
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_isdst = -1;
    std::tm check = parts;
    if (std::mktime(&check) == -1 || check.tm_mday != day || check.tm_mon != month - 1) return std::nullopt;
    parts.tm_mday += days;
    const std::time_t start = std::mktime(&parts);
    return TArchiveJournal::UtcText(start);
}

std::string Number(const std::optional<std::int64_t>& value) { return value ? std::to_string(*value) : std::string(); }

void PrintRecord(const TJournalRecord& r) {
    const std::string fields[] = {std::to_string(r.Seq), r.Time, r.Kind, r.Archive, r.Entry, r.Path,
                                  Number(r.Size), r.Mtime, r.Sha256, Number(r.Entries), r.Result, r.Detail,
                                  r.Prev, r.Hash};
    std::string line;
    for (const std::string& field : fields) {
        if (!line.empty()) line += '\t';
        line += ListedName(field);
    }
    std::cout << line << '\n';
}

}  // namespace

int RunJournalCommand(const std::vector<std::string>& args, const char* usageText) {
    bool check = false;
    std::optional<std::string> from, to, dir;
    std::vector<std::string> heads;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--check") {
            check = true;
        } else if (arg == "--from" || arg == "--to") {
            if (i + 1 >= args.size()) return ArchivUsage(arg + " erwartet ein Datum JJJJ-MM-TT.", usageText);
            const std::optional<std::string> start = DayStart(args[++i], arg == "--from" ? 0 : 1);
            if (!start) return ArchivUsage("„" + args[i] + "“ ist kein gültiges Datum JJJJ-MM-TT.", usageText);
            (arg == "--from" ? from : to) = start;
        } else if (arg == "--head") {
            if (i + 1 >= args.size() || args[i + 1].size() != 64)
                return ArchivUsage("--head erwartet einen Journalkopf (64 Hexziffern).", usageText);
            heads.push_back(args[++i]);
        } else if (const std::string problem = TakeArchivDir(arg, dir, "journal"); !problem.empty()) {
            return ArchivUsage(problem, usageText);
        }
    }
    if (check && (from || to)) return ArchivUsage("--check prüft immer das ganze Journal, ohne --from und --to.", usageText);
    if (!check && !heads.empty()) return ArchivUsage("--head gilt nur mit --check.", usageText);

    dir = ArchivDirOf(dir, usageText);
    if (!dir) return kArchivUsage;

    try {
        const TArchiveJournal journal(*dir, TArchiveJournal::TMode::Read);
        if (!check) {
            std::cout << "seq\ttime\tkind\tarchive\tentry\tpath\tsize\tmtime\tsha256\tentries\tresult\tdetail\tprev\thash\n";
            for (const TJournalRecord& record : journal.Read(from, to)) PrintRecord(record);
            if (!std::cout.flush()) {
                std::cerr << "vendrask-archiv: Das Journal kann nicht auf die Standardausgabe geschrieben werden (ist "
                             "der Datenträger voll oder die Ausgabe geschlossen?).\n";
                return kArchivFailed;
            }
            return kArchivOk;
        }
        const tavik::TJournalCheck result = journal.Check();
        if (!result.Ok) {
            std::cerr << "vendrask-archiv: Journal nicht intakt: " << result.Reason << " Die Einträge bis "
                      << result.Records << " sind unverändert (Journal „" << journal.Path() << "“).\n";
            return kArchivFailed;
        }
        for (const std::string& head : heads) {
            if (journal.Knows(head)) continue;
            std::cerr << "vendrask-archiv: Journal nicht intakt: der Kopf " << head
                      << " kommt darin nicht vor; das Journal wurde nach ihm gekürzt oder ersetzt (Journal „"
                      << journal.Path() << "“).\n";
            return kArchivFailed;
        }
        // Each archive's seal names the head at its writing: the journal must still hold it.
        const TInventory inventory = ReadInventory(*dir, tavik::kDefaultPruefIntervall, std::time(nullptr));
        if (!inventory.UnknownAnchors.empty()) {
            std::cerr << "vendrask-archiv: Journal nicht intakt: das Archiv „" << inventory.UnknownAnchors.front()
                      << "“ nennt einen Journalkopf, den das Journal nicht enthält; das Journal wurde danach gekürzt "
                         "oder ersetzt (Journal „"
                      << journal.Path() << "“).\n";
            return kArchivFailed;
        }
        std::cout << "Journal intakt: " << result.Records << " Einträge, Kopf " << result.Head << "\n";
        return kArchivOk;
    } catch (const tavik::EOlvex& error) {
        std::cerr << "vendrask-archiv: " << error.what() << "\n";
        return kArchivFailed;
    }
}

}  // namespace vendrask
