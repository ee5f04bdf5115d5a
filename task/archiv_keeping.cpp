#include "task/archiv_keeping.h"

#include "host/services/archive_journal.h"
#include "host/services/archive_name.h"
#include "host/services/error_kind.h"
#include "host/services/exceptions.h"
#include "host/services/fs_names.h"
#include "host/services/paths.h"
#include "task/archive_inventory.h"
#include "task/inventory_report.h"
#include "task/own_archive.h"

namespace vendrask {

using namespace tavik;

TDeletionHold CurrentHold(const TArchiveJournal& journal) {
    TDeletionHold hold;
    const auto last = journal.Last({journalkind::SperreAn, journalkind::SperreAus});
    if (last && last->Kind == journalkind::SperreAn) {
        hold.On = true;
        hold.Reason = last->Detail;
        hold.Since = last->Time;
    }
    return hold;
}

std::string HoldText(const TDeletionHold& hold) {
    if (!hold.On) return "keine Löschsperre";
    return "Löschsperre seit " + LocalMoment(hold.Since) + ": " + hold.Reason;
}

std::vector<std::string> KeepingLines(const TArchivKeeping& keeping) {
    std::vector<std::string> lines;
    lines.push_back(keeping.Hold().On ? HoldText(keeping.Hold()) + "; in ARCHIV wird nichts gelöscht."
                                      : std::string("Keine Löschsperre."));
    const std::string path = TRetentionRules::PathIn(keeping.ArchivDir());
    if (!keeping.Rules()) {
        lines.push_back("WARNUNG: " + keeping.RulesProblem());
        return lines;
    }
    lines.push_back("Aufbewahrungsfristen: " + path +
                    (keeping.Rules()->Defaulted() ? " (noch nicht angelegt, es gilt die Voreinstellung: alles 10 Jahre)"
                                                  : ""));
    for (const TRetentionClass& line : keeping.Rules()->SwitchedOff())
        lines.push_back("WARNUNG: Zeile " + std::to_string(line.Line) + " („" + line.Pattern +
                        " 0“) schaltet die Aufbewahrungsfrist aus; was sie erfasst, kann jederzeit gelöscht werden.");
    return lines;
}

TArchivKeeping TArchivKeeping::ForDeleting(const std::string& archivDir, TArchiveJournal& journal, int berlinYear) {
    TArchivKeeping keeping(archivDir, berlinYear);
    keeping.ReadJournal(journal);
    try {
        keeping.FRules = TakeRetentionRules(archivDir, journal);
    } catch (const EOlvex& error) {
        keeping.FRulesProblem = error.what();
    }
    return keeping;
}

TArchivKeeping TArchivKeeping::ForLooking(const std::string& archivDir, int berlinYear) {
    TArchivKeeping keeping(archivDir, berlinYear);
    try {
        const TArchiveJournal journal(archivDir, TArchiveJournal::TMode::Read);
        keeping.ReadJournal(journal);
    } catch (const EOlvex& error) {
        if (error.Kind() != TErrorKind::InputMissing) keeping.FJournalProblem = error.what();
    }
    try {
        keeping.FRules = ReadRetentionRules(archivDir);
    } catch (const EOlvex& error) {
        keeping.FRulesProblem = error.what();
    }
    return keeping;
}

void TArchivKeeping::ReadJournal(const TArchiveJournal& journal) {
    FHold = CurrentHold(journal);
    for (const auto& [name, result] : LastVerificationResults(journal))
        if (result == kVerifiedFaulty) FFaulty.insert(name);
    for (const auto& record : journal.ReadArchiveHistory())
        if (record.Kind == journalkind::ArchivGeschrieben) FWritten.insert(record.Archive);
}

bool TArchivKeeping::IsWrittenArchive(const std::string& path) const {
    if (ExtractFileDir(path) != FArchivDir) return false;
    const std::string name = ExtractFileName(path);
    if (!IsArchiveName(name)) return false;
    return FWritten.count(name) != 0 || OpensAsZipArchive(path);
}

TArchiveRetention TArchivKeeping::RetentionOf(const std::string& path) const {
    if (!FRules) {
        TArchiveRetention unknown;
        unknown.Problem = FRulesProblem;
        return unknown;
    }
    return RetentionOfArchive(path, *FRules);
}

TKeepVerdict TArchivKeeping::Judge(const std::string& path) const {
    if (path == FArchivDir || !IsSameOrBelow(path, FArchivDir)) return {};
    if (FHold.On)
        return {TKeptBy::Hold,
                HoldText(FHold) + "; in ARCHIV wird nichts gelöscht, bis sie aufgehoben ist (vendrask-archiv hold off).",
                "Löschsperre: " + FHold.Reason};
    if (ExtractFileDir(path) == FArchivDir && FFaulty.count(ExtractFileName(path)) != 0)
        return {TKeptBy::Evidence, "„" + path +
                                       "“ war bei der letzten Prüfung fehlerhaft und wird als Beweismittel nicht "
                                       "gelöscht. Bitte den Befund im Journal (vendrask-archiv journal) klären; "
                                       "eine spätere fehlerfreie Prüfung gibt es wieder frei.",
                "bei der letzten Prüfung fehlerhaft, Beweismittel"};
    if (!IsWrittenArchive(path)) return {};
    const TArchiveRetention retention = RetentionOf(path);
    if (retention.EndedIn(FYear)) return {};
    if (!FRules)
        return {TKeptBy::Retention, "aufzubewahren: die Aufbewahrungsfristen sind nicht lesbar. " + FRulesProblem,
                "aufzubewahren, Aufbewahrungsfristen nicht lesbar"};
    if (!retention.Readable) return {TKeptBy::Retention, KeptReason(retention), "aufzubewahren, Frist nicht bestimmbar"};
    return {TKeptBy::Retention, KeptReason(retention), KeptReason(retention)};
}

}  // namespace vendrask
