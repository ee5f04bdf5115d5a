#include "task/procedure_text.h"

#include "task/inventory_report.h"

namespace vendrask {

namespace {

std::string Days(int days) { return std::to_string(days) + (days == 1 ? " Tag" : " Tage"); }

void Heading(std::string& text, const std::string& title) { text += "\n" + title + "\n" + std::string(title.size(), '-') + "\n"; }

void RulesSection(std::string& text, const TProcedureFacts& facts) {
    Heading(text, "1. Verzeichnisse und Regeln");
    if (facts.Installation.empty()) {
        text += "Ohne Olvex-Installation (OLVEX_ROOT) sind Verzeichnisse und Regeln nicht bekannt.\n";
        return;
    }
    text += "Der nächtliche Lauf durchsucht diese Verzeichnisse der Installation " + facts.Installation + ":\n";
    for (const auto& directory : facts.Directories) text += "  " + directory.Name + "  " + directory.Path + "\n";
    text += "Jede Datei wird in der Objekttabelle nachgeschlagen (RTyp " + std::to_string(facts.RTyp) +
            "). Eine Datei ohne Regel wird archiviert,\n"
            "eine mit Regel, wenn die Regel das Archivieren vorsieht und die Datei älter als deren Tage ist.\n"
            "In ARCHIV löscht eine Regel Dateien, die älter als ihre Tage sind; ein Archiv von vendrask nur\n"
            "nach einer Regel, die es nennt, und erst nach seiner Aufbewahrungsfrist (Abschnitt 3).\n";
    if (facts.Rules.empty()) {
        text += "Die Objekttabelle enthält keine Regeln.\n";
        return;
    }
    text += "Regeln der Objekttabelle:\n";
    for (const auto& rule : facts.Rules)
        text += "  " + rule.Name + "  " + (rule.Archive ? "archivieren" : "nicht archivieren") + ", " +
                (rule.Days > 0 ? "nach " + std::to_string(rule.Days) + (rule.Days == 1 ? " Tag" : " Tagen")
                               : std::string("ohne Altersgrenze")) + "\n";
}

void ArchivingSection(std::string& text) {
    Heading(text, "2. Archivierung");
    text += "Die Dateien eines Laufs werden in ein neues ZIP-Archiv in ARCHIV gepackt (Name SK, Datum,\n"
            "laufende Nummer). Jeder Eintrag trägt die SHA-256-Prüfsumme seines Inhalts, der Kommentar des\n"
            "Archivs versiegelt Zahl und Prüfsummen der Einträge mit dem Kopf des Journals. Das Archiv wird\n"
            "vollständig zurückgelesen und mit den Dateien verglichen; erst dann werden die Dateien gelöscht,\n"
            "jede zuvor mit Pfad, Größe, Zeit und Prüfsumme im Journal verzeichnet. Eine Datei, die sich\n"
            "seitdem geändert hat, bleibt erhalten.\n";
}

void RetentionSection(std::string& text, const TArchivKeeping& keeping) {
    Heading(text, "3. Aufbewahrungsfristen und Löschsperre");
    for (const std::string& line : KeepingLines(keeping)) text += line + "\n";
    if (keeping.Rules()) {
        for (const TRetentionClass& line : keeping.Rules()->Classes())
            text += "  " + line.Pattern + "  " + std::to_string(line.Years) + " Jahre  " + line.Description + "\n";
        text += "Die erste passende Zeile gilt für einen Eintrag; passt keine, gilt die längste gesetzliche Frist\n"
                "von " + std::to_string(TRetentionRules::kLongestYears) + " Jahren.\n";
    }
    text += "Ein Archiv wird erst gelöscht, wenn die Frist jedes seiner Einträge abgelaufen ist: 31. Dezember\n"
            "des Jahres, in dem der Eintrag zuletzt geändert wurde, plus seine Jahre. Solange eine Löschsperre\n"
            "besteht, wird in ARCHIV nichts gelöscht. Jede Änderung der Fristen und jede Löschsperre steht im\n"
            "Journal.\n";
}

void ScheduleSection(std::string& text, const TProcedureFacts& facts) {
    Heading(text, "4. Zeitplan und Prüfung");
    text += facts.NightlyTimer.empty()
                ? std::string("Für den nächtlichen Lauf ist kein Zeitgeber installiert (vendrask-nachtlauf.timer).\n")
                : "Nächtlicher Lauf (vendrask-nachtlauf.timer): " + facts.NightlyTimer + "\n";
    text += facts.VerificationTimer.empty()
                ? std::string("Für die Prüfung ist kein Zeitgeber installiert (vendrask-pruefung.timer).\n")
                : "Prüfung der Archive (vendrask-pruefung.timer): " + facts.VerificationTimer +
                      (facts.VerificationBudget.empty() ? std::string()
                                                        : ", höchstens " + facts.VerificationBudget + " Minuten") +
                      "\n";
    text += "Jedes Archiv wird vollständig gelesen und mit seinen Prüfsummen verglichen, das am längsten nicht\n"
            "geprüfte zuerst; ein Archiv, das länger als " + Days(facts.VerificationInterval) +
            " nicht geprüft wurde, ist überfällig.\n"
            "Ein fehlerhaftes Archiv wird nie gelöscht, es ist Beweismittel.\n";
    text += facts.LastVerification.empty() ? std::string("Bisher wurde kein Archiv geprüft.\n")
                                           : "Letzte Prüfung eines Archivs: " + LocalMoment(facts.LastVerification) + "\n";
    text += facts.AllVerifiedSince.empty()
                ? std::string("Noch nicht alle Archive wurden vollständig geprüft.\n")
                : "Alle Archive vollständig geprüft seit " + LocalMoment(facts.AllVerifiedSince) + ".\n";
}

void JournalSection(std::string& text, const TProcedureFacts& facts) {
    Heading(text, "5. Journal");
    text += "Das Journal\n  " + facts.JournalPath +
            "\nverzeichnet jedes geschriebene Archiv, jede gelöschte Datei, jede Prüfung, Wiederherstellung und\n"
            "Ablehnung. Es wird nur ergänzt; jeder Eintrag trägt die Prüfsumme des vorigen, so dass eine\n"
            "Änderung die Kette bricht.\n";
    if (!facts.JournalPresent) {
        text += "Das Journal ist noch nicht angelegt: " + facts.JournalFinding + "\n";
        return;
    }
    text += "Verkettung bei Erstellung dieses Textes geprüft (" + LocalMoment(facts.Now) + "): " +
            (facts.JournalIntact ? "intakt, " : "NICHT intakt, ") + std::to_string(facts.JournalRecords) +
            " Einträge" + (facts.JournalIntact ? "." : ": " + facts.JournalFinding) + "\n";
    text += "Kopf: " + facts.JournalHead + "\n";
}

}  // namespace

std::string ProcedureText(const TProcedureFacts& facts, const TArchivKeeping& keeping) {
    std::string text = "Verfahrensdokumentation: Archivierung mit vendrask " + facts.Version + "\n";
    text += "Stand: " + LocalMoment(facts.Now) + "\n";
    if (!facts.Installation.empty()) text += "Installation: " + facts.Installation + " (Mandant: " + facts.Client + ")\n";
    text += "Archivverzeichnis: " + keeping.ArchivDir() + "\n";
    RulesSection(text, facts);
    ArchivingSection(text);
    RetentionSection(text, keeping);
    ScheduleSection(text, facts);
    JournalSection(text, facts);
    return text;
}

}  // namespace vendrask
