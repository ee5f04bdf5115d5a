#include "app/olvexhost_explain.h"

#include <cstdio>
#include <filesystem>

#include "host/services/db_connector.h"
#include "host/services/formatting.h"
#include "host/services/fs_names.h"
#include "host/services/paths.h"
#include "host/services/search_rec.h"
#include "host/services/tavik_info.h"
#include "task/candidate_rules.h"
#include "task/cleanup_forecast.h"
#include "task/dmarchivu.h"
#include "task/own_archive.h"
#include "task/related_files.h"

using namespace tavik;
using vendrask::TdmOlvexArchiv;

namespace {

// Each candidate by its relative name, as the archive entry and the object table name it.
void PrintTable(const char* title, TVRList& table, const vendrask::TCandidateColumns& columns) {
    std::int64_t bytes = 0;
    for (int row = 0; row < table.GetRowCount(); ++row) bytes += table.GetInt64(row, columns.Groesse);
    std::printf("%s: %d Dateien, %s\n", title, table.GetRowCount(), tavik_FormatByteSize(bytes).c_str());
    for (int row = 0; row < table.GetRowCount(); ++row)
        std::printf("  %-50s %12s  %s %s  %s\n",
                    ConcatPathNames(std::string(table.GetText(row, columns.RelPath)),
                                    std::string(table.GetText(row, columns.FileName)))
                        .c_str(),
                    tavik_FormatByteSize(table.GetInt64(row, 1)).c_str(),
                    table.GetCellValueAsFormatedString(row, 2).c_str(),
                    table.GetCellValueAsFormatedString(row, 3).c_str(), std::string(table.GetText(row, 4)).c_str());
}

}  // namespace

int PrintCandidates() {
    TdmOlvexArchiv module({"olvexhost"});
    module.ExploreSystem();
    PrintTable("Zu archivieren", *module.SystemArch(), module.CandidateColumns());
    PrintTable("Zu löschen", *module.SystemDel(), module.CandidateColumns());
    return TavikInfo().FailureCount() > 0 ? 1 : 0;
}

int ExplainFile(const std::string& argument) {
    TdmOlvexArchiv module({"olvexhost"});
    const std::string path = std::filesystem::absolute(argument).lexically_normal().string();
    TSearchRec rec;
    if (!FindFirst(path, faAnyFile, rec)) {
        std::fprintf(stderr, "„%s“ ist keine gewöhnliche Datei.\n", path.c_str());
        return 1;
    }
    TTavikFSNames* names = module.TavikFSNames();
    TRObjTab* table = module.GetROBJTab();
    if (!names || !table) return 1;
    const std::string rel = names->GetTavikFSName(path);
    const auto object = table->GetObjektRTypExistByName(rel, module.RTyp());
    const TDateTime today = module.Clock();

    std::printf("Datei:          %s\n", path.c_str());
    std::printf("Relativer Name: %s\n", rel.c_str());
    std::printf("Geändert:       %s\n", tavik_DateToStr(rec.Time, 19).c_str());
    if (object.Exists)
        std::printf("Objekttabelle:  bekannt (RTyp %d): Archivieren %s, Tage %d\n", module.RTyp(),
                    object.Archive ? "ja" : "nein", object.Days);
    else
        std::printf("Objekttabelle:  unbekannt (RTyp %d)\n", module.RTyp());

    const vendrask::THostPlaces places = vendrask::HostPlacesOf(*names);
    const std::string& archiv = places.ArchivDir;
    std::string home;
    for (const auto& directory : names->Directories())
        if (path != directory.Path && IsSameOrBelow(path, directory.Path)) home = directory.Name;
    if (path != archiv && IsSameOrBelow(path, archiv)) {
        const bool own = !object.Exists && vendrask::IsOwnArchive(ExtractFileDir(path), archiv, rec.Name);
        const auto decision = vendrask::DecideDelete(object, rec.Time, today, own);
        std::printf("Archivieren:    nein, die Datei liegt in ARCHIV\n");
        std::printf("Löschen:        %s (%s)%s%s\n", decision.Candidate ? "ja" : "nein",
                    vendrask::ReasonText(decision.Reason, object.Days).c_str(), decision.Candidate ? ", Notiz: " : "",
                    decision.Candidate ? vendrask::DeleteNote(object).c_str() : "");
        const vendrask::TArchivKeeping keeping =
            vendrask::TArchivKeeping::ForLooking(archiv, BerlinYear(DateTimeToFileTime(today)));
        if (keeping.IsWrittenArchive(path)) {
            const auto forecast = vendrask::ForecastArchive(keeping, path, object, rec.Time, today);
            const auto& retention = forecast.Retention;
            std::printf("Aufbewahrung:   %s%s\n", vendrask::RetentionEndText(retention).c_str(),
                        retention.UntilYear > 0
                            ? (" (" + vendrask::ClassText(retention.Deciding) + ": " + retention.DecidingEntry + ")")
                                  .c_str()
                            : "");
            std::printf("Nächstes -L:    %s\n", forecast.Why.c_str());
        } else if (const auto kept = keeping.Judge(path); kept.Kept()) {
            std::printf("Nächstes -L:    bleibt: %s\n", kept.Reason.c_str());
        }
    } else if (!home.empty()) {
        const auto decision = vendrask::DecideArchive(object, rec.Time, today);
        std::printf("Verzeichnis:    %s\n", home.c_str());
        std::printf("Archivieren:    %s (%s)%s%s\n", decision.Candidate ? "ja" : "nein",
                    vendrask::ReasonText(decision.Reason, object.Days).c_str(), decision.Candidate ? ", Notiz: " : "",
                    decision.Candidate ? vendrask::ArchiveNote(object).c_str() : "");
        std::printf("Löschen:        nein, die Datei liegt nicht in ARCHIV\n");
        std::vector<std::string> related;
        if (GetDBConnector().GetRelatedFiles(rel, related)) {
            std::printf("Zugehörig:      %s\n", related.empty() ? "(keine Dateien, die Datei bringt keine Zeile)" : "");
            for (const auto& file : related) {
                if (file == rel) {
                    std::printf("                %s\n", file.c_str());
                    continue;
                }
                const auto check = vendrask::CheckRelatedFile(file, names->GetTavikFSPath(file), places);
                std::printf("                %s%s%s\n", file.c_str(),
                            check.Verdict == vendrask::TRelatedVerdict::Missing ? " (fehlt)"
                            : check.Verdict == vendrask::TRelatedVerdict::Refused ? " (bleibt: "
                                                                                   : "",
                            check.Verdict == vendrask::TRelatedVerdict::Refused ? (check.Why + ")").c_str() : "");
            }
        }
    } else {
        std::printf("Die Datei liegt in keinem Verzeichnis der Olvex-Installation; der Lauf sieht sie nicht.\n");
    }
    return 0;
}
