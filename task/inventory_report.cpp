#include "task/inventory_report.h"

#include <ctime>

#include "task/listed_name.h"

namespace vendrask {

namespace {

std::string Number(const std::optional<std::int64_t>& value) { return value ? std::to_string(*value) : std::string(); }

std::string State(const TInventoryArchive& archive) {
    if (!archive.Present)
        return archive.Deleted.empty() ? "fehlt (außerhalb von vendrask gelöscht)"
                                       : "von vendrask gelöscht am " + LocalMoment(archive.Deleted);
    if (archive.Failed()) return "fehlerhaft";
    if (archive.Overdue) return "überfällig";
    if (!archive.Journaled && archive.LastVerified.empty()) return "dem Journal unbekannt";
    return "in Ordnung";
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(";\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

std::string LocalMoment(const std::string& utc, const char* format) {
    std::tm parts{};
    if (utc.size() != 20 || ::strptime(utc.c_str(), "%Y-%m-%dT%H:%M:%SZ", &parts) == nullptr) return utc;
    const std::time_t moment = ::timegm(&parts);
    std::tm local{};
    localtime_r(&moment, &local);
    char text[32];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

const std::vector<std::string>& ReportColumns() {
    static const std::vector<std::string> columns = {"Archiv",         "Geschrieben", "Einträge",
                                                     "Größe (Bytes)",  "SHA-256",     "Zuletzt geprüft",
                                                     "Ergebnis",       "Zustand",     "Befund"};
    return columns;
}

std::vector<std::vector<std::string>> ReportRows(const TInventory& inventory) {
    std::vector<std::vector<std::string>> rows;
    for (const TInventoryArchive& archive : inventory.Archives)
        rows.push_back({archive.Name, LocalMoment(archive.Written), Number(archive.Entries), Number(archive.Size),
                        archive.Sha256, LocalMoment(archive.LastVerified), archive.LastResult, State(archive),
                        archive.LastResult == kVerifiedFaulty ? archive.LastDetail : std::string()});
    return rows;
}

std::vector<std::string> ReportHeading(const TInventory& inventory, const std::string& installation) {
    std::vector<std::string> lines;
    lines.push_back("Archivbestand von " + installation + " (" + inventory.ArchivDir + ")");
    lines.push_back("Stand: " + LocalMoment(inventory.Now));
    lines.push_back(JournalStateText(inventory));
    int present = 0, gone = inventory.Gone(), unknown = 0;
    for (const TInventoryArchive& archive : inventory.Archives) {
        if (archive.Present) ++present;
        if (archive.Present && !archive.Journaled && archive.LastVerified.empty()) ++unknown;
    }
    lines.push_back(std::to_string(present) + " Archive vorhanden, " + std::to_string(inventory.Failed()) +
                    " fehlerhaft, " + std::to_string(inventory.Overdue()) + " überfällig (Prüfintervall " +
                    std::to_string(inventory.IntervalDays) + " Tage), " + std::to_string(gone) +
                    " laut Journal geschrieben, aber nicht mehr vorhanden, " + std::to_string(unknown) +
                    " dem Journal unbekannt.");
    lines.push_back(inventory.AllVerifiedSince.empty()
                        ? std::string("Noch nicht alle Archive wurden vollständig geprüft.")
                        : "Alle Archive vollständig geprüft seit " + LocalMoment(inventory.AllVerifiedSince) + ".");
    lines.insert(lines.end(), inventory.Keeping.begin(), inventory.Keeping.end());
    return lines;
}

std::string ReportText(const TInventory& inventory, const std::string& installation) {
    std::string text;
    for (const std::string& line : ReportHeading(inventory, installation)) text += line + "\n";
    text += "\n";
    // Names and findings come from the folder and the journal: escaped, a tab or newline in
    // them starts no column or line of its own.
    const auto join = [](const std::vector<std::string>& fields) {
        std::string line;
        for (std::size_t i = 0; i < fields.size(); ++i) line += (i == 0 ? "" : "\t") + ListedName(fields[i]);
        return line + "\n";
    };
    text += join(ReportColumns());
    for (const auto& row : ReportRows(inventory)) text += join(row);
    return text;
}

std::string ReportCsv(const TInventory& inventory, const std::string& installation) {
    std::string text;
    for (const std::string& line : ReportHeading(inventory, installation)) text += CsvField("# " + line) + "\r\n";
    const auto join = [](const std::vector<std::string>& fields) {
        std::string line;
        for (std::size_t i = 0; i < fields.size(); ++i) line += (i == 0 ? "" : ";") + CsvField(fields[i]);
        return line + "\r\n";
    };
    text += join(ReportColumns());
    for (const auto& row : ReportRows(inventory)) text += join(row);
    return text;
}

}  // namespace vendrask
